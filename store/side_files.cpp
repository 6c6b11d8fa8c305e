#include "store/side_files.h"

#include "platform/cp932.h"
#include "store/checksum.h"
#include "store/image_file.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

const char JOURNAL_SUFFIX[] = ".kestrel-journal";

bool make_folder(const fs::path& folder)
{
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec))
        return false;
    chmod(folder.c_str(), 0700);
    return true;
}

} // namespace

std::string state_folder(const char* sub)
{
    fs::path folder;
    if (const char* state = getenv("XDG_STATE_HOME"); state && *state == '/')
        folder = fs::path(state) / "kestrel";
    else if (const char* home = getenv("HOME"); home && *home)
        folder = fs::path(home) / ".local" / "state" / "kestrel";
    else
        return {};
    if (sub)
        folder /= sub;
    return make_folder(folder) ? folder.string() : std::string();
}

std::string beside(const std::string& record, const char* suffix)
{
    const fs::path path = record;
    const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    std::string name = ".";
    name += path.filename().string();
    name += suffix;
    return (folder / name).string();
}

std::string in_state(const std::string& record, const char* sub, const char* suffix)
{
    const std::string folder = state_folder(sub);
    if (folder.empty())
        return {};
    std::error_code ec;
    const std::string absolute = fs::absolute(record, ec).lexically_normal().string();
    // One file name per record file path: '/' and '%' escaped as %2F and %25.
    std::string name;
    for (const char c : absolute) {
        if (c == '/')
            name += "%2F";
        else if (c == '%')
            name += "%25";
        else
            name += c;
    }
    if (name.size() > 200) {
        // Within NAME_MAX: the path's end, told apart by a checksum of the whole path.
        char prefix[20];
        snprintf(prefix, sizeof prefix, "%016llx-",
                 static_cast<unsigned long long>(checksum(absolute.data(), absolute.size())));
        name = prefix + name.substr(name.size() - 180);
    }
    return (fs::path(folder) / (name + suffix)).string();
}

std::string journal_beside(const std::string& record)
{
    return beside(record, JOURNAL_SUFFIX);
}

std::string journal_in_state(const std::string& record)
{
    return in_state(record, "journals", JOURNAL_SUFFIX);
}

std::vector<std::string> journal_places(const std::string& record)
{
    std::vector<std::string> places{journal_beside(record)};
    if (std::string other = journal_in_state(record); !other.empty())
        places.push_back(std::move(other));
    return places;
}

std::string record_native_path(const char* cp932_path)
{
    std::string native;
    if (!cp932::native_path(cp932_path, native) || native.empty())
        return {};
    return resolve_links(native);
}
