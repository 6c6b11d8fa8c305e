#include "tools/reg/key_path.h"

#include "platform/cp932.h"

#include <strings.h>
#include <vector>

namespace kreg {
namespace {

bool same_name(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Splits at backslashes that are characters of their own: in CP932 the
// second byte of a double-byte character may be 0x5C too.
std::vector<std::string_view> split_parts(std::string_view full)
{
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t i = 0; i < full.size(); ++i) {
        if (cp932::is_lead_byte(static_cast<unsigned char>(full[i]))) {
            ++i;
        } else if (full[i] == '\\') {
            parts.push_back(full.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(full.substr(start));
    // Trailing backslashes are tolerated, as the registry editor does.
    while (parts.size() > 1 && parts.back().empty())
        parts.pop_back();
    return parts;
}

bool build(const std::vector<std::string_view>& parts, size_t first, reg::Hive hive, KeyPath& out, std::string& why)
{
    out.hive = hive;
    out.subkey.clear();
    for (size_t i = first; i < parts.size(); ++i) {
        if (parts[i].empty()) {
            why = "empty key name part";
            return false;
        }
        // The Windows registry's own limit for one key name.
        if (parts[i].size() > 255) {
            why = "key name part longer than 255 bytes";
            return false;
        }
        if (!out.subkey.empty())
            out.subkey += '\\';
        out.subkey += parts[i];
    }
    return true;
}

bool hive_of(std::string_view name, reg::Hive& hive)
{
    if (same_name(name, "HKEY_LOCAL_MACHINE") || same_name(name, "HKLM")) {
        hive = reg::Hive::LocalMachine;
        return true;
    }
    if (same_name(name, "HKEY_CURRENT_USER") || same_name(name, "HKCU")) {
        hive = reg::Hive::CurrentUser;
        return true;
    }
    return false;
}

} // namespace

bool parse_key_path(std::string_view full, KeyPath& out, std::string& why)
{
    std::vector<std::string_view> parts = split_parts(full);
    reg::Hive hive;
    if (!hive_of(parts[0], hive)) {
        why = parts[0].empty() ? "missing root key" : "unsupported root key " + std::string(parts[0]);
        return false;
    }
    return build(parts, 1, hive, out, why);
}

bool map_imported_key(std::string_view full, KeyPath& out, std::string& why)
{
    std::vector<std::string_view> parts = split_parts(full);
    // A virtualised write lands in <user>\...\VirtualStore\MACHINE\SOFTWARE\X,
    // whatever user hive the file was exported from.
    for (size_t i = 0; i + 2 < parts.size(); ++i) {
        if (same_name(parts[i], "VirtualStore") && same_name(parts[i + 1], "MACHINE") &&
            same_name(parts[i + 2], "SOFTWARE")) {
            parts.erase(parts.begin(), parts.begin() + i + 2);
            parts.insert(parts.begin(), "HKEY_LOCAL_MACHINE");
            break;
        }
    }
    reg::Hive hive;
    if (!hive_of(parts[0], hive)) {
        why = parts[0].empty() ? "missing root key" : "unsupported root key " + std::string(parts[0]);
        return false;
    }
    // The 64-bit view of a 32-bit program's HKEY_LOCAL_MACHINE\SOFTWARE\X.
    if (hive == reg::Hive::LocalMachine && parts.size() >= 3 && same_name(parts[1], "SOFTWARE") &&
        same_name(parts[2], "Wow6432Node"))
        parts.erase(parts.begin() + 2);
    return build(parts, 1, hive, out, why);
}

std::string full_key_name(const KeyPath& key)
{
    std::string name = reg::hive_name(key.hive);
    if (!key.subkey.empty())
        name += '\\' + key.subkey;
    return name;
}

} // namespace kreg
