#include "tools/reg/program_values.h"

#include "platform/registry.h"

#include <iterator>
#include <strings.h>

namespace kreg {
namespace {

// kestrel reads its texts into 1024-byte buffers.
constexpr size_t kMaxTextBytes = 1023;
constexpr size_t kPasswordBytes = 1024;

// The paths come first, in the order of ImportOptions. For a count, `option`
// says what the number counts.
constexpr ProgramValue kProgramValues[] = {
    {"kest_datafile", ValueKind::Path, "--datafile"},
    {"kest_cwdpath", ValueKind::Path, "--cwdpath"},
    {"log_name", ValueKind::Path, "--logname"},
    {"kest_kindcsl", ValueKind::Row, nullptr},
    {"kest_passwrd", ValueKind::Password, nullptr},
    {"kest_backups", ValueKind::Count, "backups kept, 0 for none"},
    {"kest_clipsecs", ValueKind::Count, "seconds until a copied text leaves the clipboard, 0 for never"},
    {"kest_lockmins", ValueKind::Count, "idle minutes until the window locks, 0 for never"},
};
constexpr size_t kPaths = 3;

bool all_digits(const std::string& text, size_t from)
{
    return text.size() > from && text.find_first_not_of("0123456789", from) == std::string::npos;
}

} // namespace

const ProgramValue* program_value(const std::string& name)
{
    for (const ProgramValue& value : kProgramValues) {
        if (strcasecmp(value.name, name.c_str()) == 0)
            return &value;
    }
    return nullptr;
}

const ProgramValue* program_path(size_t index)
{
    return index < kPaths ? &kProgramValues[index] : nullptr;
}

bool sz_text(const RegValue& value, std::string& text)
{
    if (value.type != reg::REG_SZ || value.data.empty() || value.data.back() != '\0')
        return false;
    text = value.data.substr(0, value.data.size() - 1);
    return text.find('\0') == std::string::npos;
}

std::string check_program_value(const RegValue& value)
{
    const ProgramValue* known = program_value(value.name);
    if (!known || value.remove)
        return {};
    std::string text;
    const bool is_text = sz_text(value, text);
    switch (known->kind) {
    case ValueKind::Path:
        if (!is_text || text.size() > kMaxTextBytes)
            return std::string(known->name) + " must be REG_SZ text of at most 1023 bytes";
        break;
    case ValueKind::Row:
        if (!is_text || !all_digits(text, text.starts_with('-') ? 1 : 0))
            return std::string(known->name) + " must be REG_SZ digits (a category row such as \"0\" or \"-1\")";
        break;
    case ValueKind::Count:
        if (!is_text || !all_digits(text, 0))
            return std::string(known->name) + " must be REG_SZ digits (" + known->option + ")";
        break;
    case ValueKind::Password:
        if (value.type != reg::REG_BINARY || value.data.size() != kPasswordBytes)
            return std::string(known->name) + " must be 1024 bytes of REG_BINARY (the scrambled password)";
        break;
    }
    return {};
}

} // namespace kreg
