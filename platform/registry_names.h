// Key and value names of the registry stand-in as file names on disk.
//
// Names are CP932 bytes. In a file name every byte below 0x20, 0x7F and up,
// '/', '%', '=' and a leading '.' is written as '%' and two upper-case hex
// digits, so any name makes a safe file name, a key folder never starts with
// '=' (the value prefix) and nothing escaped starts with '.' (temporary
// files). A value is the file "=<escaped name>"; the default value (empty
// name) is the file "=". An escaped name longer than NAME_MAX, or a key name
// over 255 bytes, is refused. Names match case-insensitively (ASCII only, as
// Windows does for the names the system uses).
#pragma once

#include "platform/registry.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace reg::detail {

bool same_name(std::string_view a, std::string_view b);
bool less_name(const std::string& a, const std::string& b);
std::string escape(std::string_view name);
// Undoes escape(); nullopt for a name that escape() cannot have produced.
std::optional<std::string> unescape(std::string_view file);
// The file name of a value ("=" and the escaped name).
std::string value_file(std::string_view name);
// The folder name of one key name; InvalidName when empty or too long.
Status key_element(std::string_view name, std::string& file);
// Splits a key path at backslashes (not at a backslash that is the second
// byte of a double-byte character) into escaped folder names.
Status split_subkey(const char* subkey, std::vector<std::string>& parts);
// The value file name for a value name (null: the default value).
Status value_name_file(const char* name, std::string& file);
// The value file that a write of `size` bytes at `data` under `name` goes to,
// with the checks every write makes: InvalidName without a key, without data
// or for a name too long; IoError for a value over kMaxValueSize.
Status value_write_file(KeyHandle key, const char* name, const void* data, uint32_t size, std::string& file);

} // namespace reg::detail
