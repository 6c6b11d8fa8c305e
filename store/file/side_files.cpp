#include "store/file/side_files.h"

#include "platform/cp932.h"
#include "platform/file_calls.h"
#include "store/file/checksum.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

bool own_folder(const fs::path& folder)
{
    struct stat st;
    return lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & 022) == 0;
}

} // namespace

std::string state_folder_path(const char* sub)
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
    return folder.string();
}

std::string make_state_folder(const char* sub)
{
    const fs::path folder = state_folder_path(sub);
    if (folder.empty())
        return {};
    // Made from the top down; a level made now is durable only once its parent is synced.
    fs::path made;
    for (const fs::path& part : folder) {
        made /= part;
        if (made == made.root_path())
            continue;
        struct stat st;
        if (lstat(made.c_str(), &st) == 0)
            continue;
        if (!fc::mkdir(made.c_str()) || !fc::sync_folder_of(made.string()))
            return {};
    }
    // kestrel's own levels must be ours; the ones above (the home folder) are the user's.
    const fs::path top = state_folder_path();
    for (fs::path level = folder; level.string().size() >= top.string().size(); level = level.parent_path())
        if (!own_folder(level))
            return {};
    return folder.string();
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

std::string in_state(const std::string& record, const char* sub, const char* suffix, bool make)
{
    const std::string folder = make ? make_state_folder(sub) : state_folder_path(sub);
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

std::vector<std::string> journal_places(const std::string& record, bool make)
{
    std::vector<std::string> places{beside(record, ".kestrel-journal")};
    if (std::string other = in_state(record, "journals", ".kestrel-journal", make); !other.empty())
        places.push_back(std::move(other));
    return places;
}

std::string resolve_links(const std::string& path)
{
    fs::path current = path;
    std::error_code ec;
    // The same bound as the kernel's own loop limit.
    for (int hops = 0; hops < 40 && fs::is_symlink(current, ec); ++hops) {
        const fs::path target = fs::read_symlink(current, ec);
        if (ec)
            break;
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return current.string();
}

std::string record_native_path(const char* cp932_path)
{
    std::string native;
    if (!cp932::native_path(cp932_path, native) || native.empty())
        return {};
    return resolve_links(native);
}

int open_own(const std::string& path, int flags, Own& how)
{
    // Never through a link, never waiting on a FIFO another user planted.
    const int fd = fc::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
    if (fd < 0) {
        how = errno == ENOENT ? Own::Missing : errno == ELOOP ? Own::NotOurs : Own::Failed;
        return -1;
    }
    struct stat st;
    if (!fc::fstat(fd, st)) {
        how = Own::Failed;
        close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & 022) != 0 || st.st_nlink != 1) {
        how = Own::NotOurs;
        close(fd);
        errno = EPERM;
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    how = Own::Ok;
    return fd;
}
