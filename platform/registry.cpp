// The registry stand-in on disk: the public calls, over the name escaping
// (registry_names), the value file (value_file), the key folders (key_walk)
// and the kept lookups (lookup_cache).
//
// Layout under the root folder:
//   <root>/<hive>/<key>/<subkey>/...    a key is a folder (0700)
//   <key folder>/=<value name>          a value is a file (0600)
//   <key folder>/.tmp-XXXXXX            a value being written (never read)
//
// Names match case-insensitively: a lookup tries the exact file name first
// and then scans the folder. A name is stored with the case it was created
// with. Writes go to a temporary file in the key's folder, are flushed with
// fsync and renamed over the value file, so a reader sees the old or the new
// value.

#include "platform/registry.h"

#include "platform/atomic_file.h"
#include "platform/key_walk.h"
#include "platform/lookup_cache.h"
#include "platform/registry_names.h"
#include "platform/value_file.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <pwd.h>
#include <unistd.h>

namespace reg {

using namespace detail;

namespace {

// The deepest key Windows allows.
constexpr size_t kMaxKeyDepth = 512;

std::string home_folder()
{
    if (const char* home = getenv("HOME"); home && *home)
        return home;
    if (passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return ".";
}

std::vector<std::string> names_in(KeyHandle key, bool values)
{
    std::vector<std::string> names;
    if (!key)
        return names;
    DIR* dir = opendir(key->folder().c_str());
    if (!dir)
        return names;
    while (dirent* entry = readdir(dir)) {
        std::string file = entry->d_name;
        if (file.empty() || file[0] == '.')
            continue;
        bool isValue = file[0] == '=';
        if (isValue != values)
            continue;
        std::string path = key->folder() + "/" + file;
        if (values ? !is_file(path) : !is_dir(path))
            continue;
        if (auto name = unescape(values ? std::string_view(file).substr(1) : std::string_view(file)))
            names.push_back(*name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end(), less_name);
    return names;
}

} // namespace

std::string root_folder()
{
    if (const char* root = getenv("KESTREL_REGISTRY"); root && *root)
        return root;
    if (const char* config = getenv("XDG_CONFIG_HOME"); config && *config)
        return std::string(config) + "/kestrel/registry";
    return home_folder() + "/.config/kestrel/registry";
}

const char* hive_name(Hive hive)
{
    return hive == Hive::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

Status open_key(Hive hive, const char* subkey, KeyHandle* out)
{
    return walk(hive, subkey, false, out);
}

Status create_key(Hive hive, const char* subkey, KeyHandle* out)
{
    return walk(hive, subkey, true, out);
}

void close_key(KeyHandle key)
{
    delete key;
}

Status query_value(KeyHandle key, const char* name, uint32_t* type, void* data, uint32_t* size)
{
    if (!key || !size)
        return Status::InvalidName;
    std::string file;
    if (Status s = value_name_file(name, file); s != Status::Ok)
        return s;
    return cached_query(key->folder(), file, type, data, size);
}

Status read_value(Hive hive, const char* subkey, const char* name, uint32_t* type, void* data, uint32_t* size)
{
    if (!size)
        return Status::InvalidName;
    std::vector<std::string> parts;
    if (Status s = split_subkey(subkey, parts); s != Status::Ok)
        return s;
    std::string file;
    if (Status s = value_name_file(name, file); s != Status::Ok)
        return s;
    // A kept lookup that is still current answers at the cost of a stat or
    // two, and its stamps show that the key is there as spelled (or missing).
    if (std::optional<Status> kept = kept_lookup(spelled_folder(hive, parts), file, type, data, size))
        return *kept;
    KeyHandle key = nullptr;
    if (Status s = open_key(hive, subkey, &key); s != Status::Ok) {
        if (s == Status::NotFound)
            note_missing_key(spelled_folder(hive, parts), file);
        return s;
    }
    Status status = query_value(key, name, type, data, size);
    close_key(key);
    return status;
}

Status set_value(KeyHandle key, const char* name, uint32_t type, const void* data, uint32_t size)
{
    std::string file;
    if (Status s = value_write_file(key, name, data, size, file); s != Status::Ok)
        return s;
    const std::string& folder = key->folder();
    // Keep the spelling under which the value already exists.
    if (std::optional<std::string> found = find_entry(folder, file, false)) {
        file = *found;
        // A value stored again as it stands writes nothing: the configuration
        // saved at every end costs no disk when nothing in it changed.
        uint32_t oldType = 0;
        std::string oldData;
        if (load_value(folder + "/" + file, oldType, oldData) && oldType == type &&
            oldData == std::string_view(static_cast<const char*>(data), size))
            return Status::Ok;
    }

    if (!atomic_file::replace(folder + "/" + file, folder + "/.tmp-XXXXXX",
                              {value_header(type, size), std::string_view(static_cast<const char*>(data), size)}))
        return Status::IoError;
    return Status::Ok;
}

Status delete_value(KeyHandle key, const char* name)
{
    if (!key)
        return Status::InvalidName;
    std::string file;
    if (Status s = value_name_file(name, file); s != Status::Ok)
        return s;
    std::optional<std::string> found = find_entry(key->folder(), file, false);
    if (!found)
        return Status::NotFound;
    return unlink((key->folder() + "/" + *found).c_str()) == 0 ? Status::Ok : Status::IoError;
}

std::vector<std::string> value_names(KeyHandle key)
{
    return names_in(key, true);
}

std::vector<std::string> subkey_names(KeyHandle key)
{
    return names_in(key, false);
}

Status delete_key_tree(Hive hive, const char* subkey)
{
    if (!subkey || !*subkey)
        return Status::InvalidName; // the hive itself stays
    KeyHandle key = nullptr;
    if (Status s = open_key(hive, subkey, &key); s != Status::Ok)
        return s;
    std::error_code ec;
    std::filesystem::remove_all(key->folder(), ec);
    close_key(key);
    return ec ? Status::IoError : Status::Ok;
}

bool key_fits(Hive hive, const char* subkey)
{
    std::vector<std::string> parts;
    return split_subkey(subkey, parts) == Status::Ok && parts.size() <= kMaxKeyDepth &&
           spelled_folder(hive, parts).size() + 1 + NAME_MAX < PATH_MAX;
}

bool value_name_fits(const char* name)
{
    std::string file;
    return value_name_file(name, file) == Status::Ok;
}

} // namespace reg
