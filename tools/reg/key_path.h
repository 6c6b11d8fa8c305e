// Full key names as the registry editor writes them
// ("HKEY_LOCAL_MACHINE\SOFTWARE\qelt_key_yoyaku"), split into hive and subkey.
#pragma once

#include "platform/registry.h"

#include <string>
#include <string_view>

namespace kreg {

// The key the program keeps its configuration and log settings in.
inline constexpr const char* kDefaultKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\qelt_key_yoyaku";

struct KeyPath
{
    reg::Hive hive = reg::Hive::LocalMachine;
    std::string subkey; // CP932, backslash-separated, empty for the hive itself
};

// Parses a full key name (CP932). The hive may be written in full or as HKLM /
// HKCU. False (with a reason) for another hive, an empty part or a part
// longer than 255 bytes.
bool parse_key_path(std::string_view full, KeyPath& out, std::string& why);

// As parse_key_path, then moves keys that Windows redirects back to where the
// 32-bit program sees them: ...\SOFTWARE\Wow6432Node\X and
// ...\VirtualStore\MACHINE\SOFTWARE\X become HKEY_LOCAL_MACHINE\SOFTWARE\X.
bool map_imported_key(std::string_view full, KeyPath& out, std::string& why);

// The full key name: hive name in full, a backslash, the subkey.
std::string full_key_name(const KeyPath& key);

} // namespace kreg
