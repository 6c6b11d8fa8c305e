// The values of kestrel's key whose type and size kestrel relies on.
#pragma once

#include "tools/reg/reg_document.h"

#include <string>

namespace kreg {

enum class ValueKind {
    Path,     // REG_SZ text of at most 1023 bytes
    Row,      // REG_SZ digits, maybe negative: a category row
    Count,    // REG_SZ digits: a number of backups, seconds or minutes
    Password, // 1024 bytes of REG_BINARY
};

struct ProgramValue
{
    const char* name;
    ValueKind kind;
    const char* option; // the import option that replaces a path
};

// The value of this name (matched as kestrel matches it), or null.
const ProgramValue* program_value(const std::string& name);
// The paths that import options replace, in the order of ImportOptions.
const ProgramValue* program_path(size_t index);
// The text of a REG_SZ value with one terminating zero and none inside.
bool sz_text(const RegValue& value, std::string& text);
// Empty when the value (CP932 name) may be stored under kestrel's key; else
// why not. kest_passwrd must be 1024 bytes of REG_BINARY (a shorter one
// locks the user out), kest_kindcsl REG_SZ digits, the counts REG_SZ digits,
// the paths REG_SZ text.
std::string check_program_value(const RegValue& value);

} // namespace kreg
