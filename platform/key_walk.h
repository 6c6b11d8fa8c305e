// Keys of the registry stand-in as folders: <root>/<hive>/<key>/<subkey>/...
// (0700). Opening a key tries the exact path in one step before walking it
// level by level, matching each name case-insensitively.
#pragma once

#include "platform/registry.h"

#include <optional>
#include <string>
#include <vector>

namespace reg {

class Key
{
public:
    explicit Key(std::string folder) : m_folder(std::move(folder)) {}
    const std::string& folder() const { return m_folder; }

private:
    std::string m_folder;
};

namespace detail {

bool is_dir(const std::string& path);
bool is_file(const std::string& path);
// Finds the entry of the folder whose name (file name as escaped) matches
// wanted case-insensitively. The exact spelling is tried first.
std::optional<std::string> find_entry(const std::string& folder, const std::string& wanted, bool want_dir);
// mkdir -p, with every folder it makes private.
bool make_folders(const std::string& path);
// The folder of a key with every name spelled as given (parts as escaped by split_subkey).
std::string spelled_folder(Hive hive, const std::vector<std::string>& parts);
// Opens (or with create, creates) the key's folder.
Status walk(Hive hive, const char* subkey, bool create, KeyHandle* out);

} // namespace detail
} // namespace reg
