#include "platform/atomic_file.h"

#include "platform/file_calls.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace atomic_file {

Outcome replace_with(const std::string& target, std::string temp_template, mode_t mode, gid_t gid,
                     const std::function<bool(int fd)>& fill)
{
    const int fd = fc::make_temp(temp_template);
    if (fd < 0)
        return Outcome::Failed;
    // The group only where we may give it; the mode in any case.
    if (gid != static_cast<gid_t>(-1) && fchown(fd, static_cast<uid_t>(-1), gid) != 0)
        errno = 0;
    bool ok = fchmod(fd, mode) == 0 && fill(fd) && fc::fsync(fd);
    int error = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && !fc::rename(temp_template.c_str(), target.c_str())) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temp_template.c_str());
        errno = error;
        return Outcome::Failed;
    }
    return fc::sync_folder_of(target) ? Outcome::Durable : Outcome::Renamed;
}

bool replace(const std::string& target, std::string temp_template, std::initializer_list<std::string_view> parts)
{
    return replace_with(target, std::move(temp_template), 0600, static_cast<gid_t>(-1), [&parts](int fd) {
               for (std::string_view part : parts)
                   if (!fc::write_all(fd, part.data(), part.size()))
                       return false;
               return true;
           }) != Outcome::Failed;
}

} // namespace atomic_file
