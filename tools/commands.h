// The subcommands of kestrel-reg, working on the registry store that the
// program itself reads. Arguments and output are UTF-8; the store holds CP932.
#pragma once

#include "tools/reg_document.h"

#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>

namespace kreg {

// An operation the tool refuses: one line on standard error, exit status 1.
struct Refused : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// A wrong command line: exit status 2.
struct UsageError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

enum class SetType { Sz, Binary, Dword };

// "REG_SZ", "REG_BINARY", ...
std::string type_name(uint32_t type);
// A value's data for the terminal: text types as text (up to the first zero
// byte), a four-byte REG_DWORD as the signed decimal number kestrel reads,
// anything else as hex.
std::string data_text(uint32_t type, const std::string& data);
// Text for one field of a list line: backslashes doubled, tabs, line breaks
// and other control characters as \t, \r, \n, \xNN.
std::string escaped_field(const std::string& text);
// Empty when the value (CP932 name) may be stored under kestrel's key; else
// why not. kest_passwrd must be 1024 bytes of REG_BINARY (a shorter one
// locks the user out), kest_kindcsl REG_SZ digits, the paths REG_SZ text.
std::string check_program_value(const RegValue& value);
// The bytes that set stores for DATA: CP932 text with its terminating zero,
// hex digits (blanks, commas and colons between bytes allowed), or a 32-bit
// number (decimal, negative, or 0x hex) stored little-endian.
std::string set_data(SetType type, const std::string& text);

// Every value of the key, one line each: name, type and data, tab-separated
// (each escaped with escaped_field).
void list_values(const std::string& key, std::ostream& out);
void get_value(const std::string& key, const std::string& name, std::ostream& out);
void set_value(const std::string& key, const std::string& name, const std::string& data, SetType type);
void delete_value(const std::string& key, const std::string& name);

// The key and its subkeys as a .reg file, written to file (through a
// temporary file, synced and renamed over it), or to out when file is empty
// or "-".
void export_key(const std::string& key, RegFormat format, const std::string& file, std::ostream& out);
// The key and its subkeys as a document (what export writes).
RegDocument export_document(const std::string& key, RegFormat format);

// Paths that replace those of an imported file (UTF-8, made absolute).
struct ImportOptions
{
    std::optional<std::string> datafile =
        {}; // kest_datafile: an existing regular file or a new one in an existing folder
    std::optional<std::string> cwdpath = {}; // kest_cwdpath: an existing folder
    std::optional<std::string> logname = {}; // log_name: as datafile
};

// Imports a .reg file (file "-": from in), all or nothing as far as checking
// goes: the file is read and every value of kestrel's key (key) is checked
// before anything is stored. The paths of options are then stored in key. A
// Windows path left in kest_datafile, kest_cwdpath or log_name is stored with
// one warning on err naming the option that replaces it; a record file named
// by datafile that others can read is made 0600, with a notice on err.
void import_file(const std::string& file, const ImportOptions& options, const std::string& key, std::istream& in,
                 std::ostream& err);

} // namespace kreg
