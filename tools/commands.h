// The subcommands of kestrel-reg, working on the registry store that the
// program itself reads. Arguments and output are UTF-8; the store holds CP932.
#pragma once

#include "tools/reg_document.h"

#include <cstdint>
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
// byte), a four-byte REG_DWORD as a decimal number, anything else as hex.
std::string data_text(uint32_t type, const std::string& data);
// The bytes that set stores for DATA: CP932 text with its terminating zero,
// hex digits (blanks, commas and colons between bytes allowed), or a 32-bit
// number (decimal, negative, or 0x hex) stored little-endian.
std::string set_data(SetType type, const std::string& text);

// Every value of the key, one line each: name, type and data, tab-separated.
void list_values(const std::string& key, std::ostream& out);
void get_value(const std::string& key, const std::string& name, std::ostream& out);
void set_value(const std::string& key, const std::string& name, const std::string& data, SetType type);
void delete_value(const std::string& key, const std::string& name);

// The key and its subkeys as a .reg file, written to file, or to out when
// file is empty or "-".
void export_key(const std::string& key, RegFormat format, const std::string& file, std::ostream& out);
// The key and its subkeys as a document (what export writes).
RegDocument export_document(const std::string& key, RegFormat format);

// Imports a .reg file, all or nothing as far as checking goes. With datafile,
// kest_datafile of key is then set to that path (made absolute).
void import_file(const std::string& file, const std::optional<std::string>& datafile, const std::string& key);

} // namespace kreg
