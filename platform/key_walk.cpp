#include "platform/key_walk.h"

#include "platform/registry_names.h"

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

namespace reg::detail {
namespace {

bool make_folder(const std::string& path)
{
    if (mkdir(path.c_str(), 0700) == 0)
        return true;
    return errno == EEXIST && is_dir(path);
}

} // namespace

bool is_dir(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_file(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<std::string> find_entry(const std::string& folder, const std::string& wanted, bool want_dir)
{
    auto fits = [&](const std::string& file) {
        std::string path = folder + "/" + file;
        return want_dir ? is_dir(path) : is_file(path);
    };
    if (fits(wanted))
        return wanted;
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return std::nullopt;
    std::optional<std::string> found;
    while (dirent* entry = readdir(dir)) {
        std::string file = entry->d_name;
        if (file != wanted && same_name(file, wanted) && fits(file)) {
            found = file;
            break;
        }
    }
    closedir(dir);
    return found;
}

bool make_folders(const std::string& path)
{
    if (is_dir(path))
        return true;
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        if (!make_folder(path.substr(0, slash)))
            return false;
    }
    return make_folder(path);
}

std::string spelled_folder(Hive hive, const std::vector<std::string>& parts)
{
    std::string folder = root_folder() + "/" + hive_name(hive);
    for (const auto& part : parts) {
        folder += '/';
        folder += part;
    }
    return folder;
}

Status walk(Hive hive, const char* subkey, bool create, KeyHandle* out)
{
    if (!out)
        return Status::InvalidName;
    *out = nullptr;
    std::vector<std::string> parts;
    if (Status s = split_subkey(subkey, parts); s != Status::Ok)
        return s;
    // The path as spelled is what a level-by-level walk would find first.
    if (std::string exact = spelled_folder(hive, parts); is_dir(exact)) {
        *out = new Key(exact);
        return Status::Ok;
    }
    std::string folder = root_folder();
    if (create && !make_folders(folder))
        return Status::IoError;
    parts.insert(parts.begin(), hive_name(hive));
    for (const auto& part : parts) {
        std::optional<std::string> found = find_entry(folder, part, true);
        if (!found) {
            if (!create)
                return Status::NotFound;
            if (!make_folder(folder + "/" + part))
                return Status::IoError;
            found = part;
        }
        folder += "/" + *found;
    }
    *out = new Key(folder);
    return Status::Ok;
}

} // namespace reg::detail
