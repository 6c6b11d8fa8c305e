#include "store/record_lock.h"

#include "store/side_files.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int g_fd = -1;
std::string g_lockPath; // empty when the record file itself is locked

// Locks `fd`; Busy when another process holds it.
LockResult take(int fd)
{
    int result;
    do
        result = flock(fd, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result == 0)
        return LockResult::Held;
    return errno == EWOULDBLOCK ? LockResult::Busy : LockResult::Held;
}

} // namespace

LockResult lock_record_file(const char* path)
{
    unlock_record_file();
    const std::string record = record_native_path(path);
    if (record.empty())
        return LockResult::Failed;
    const std::string lockPath = beside(record, ".kestrel-lock");
    // A lock file can be removed by the holder that ends just after we opened
    // it: then the lock is taken again on the file that stands there now.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0)
            break;
        const LockResult result = take(fd);
        struct stat held, now;
        if (result == LockResult::Held && fstat(fd, &held) == 0 &&
            (stat(lockPath.c_str(), &now) != 0 || now.st_ino != held.st_ino || now.st_dev != held.st_dev)) {
            close(fd);
            continue;
        }
        if (result != LockResult::Held) {
            close(fd);
            return result;
        }
        g_fd = fd;
        g_lockPath = lockPath;
        return result;
    }
    // A folder we cannot write: the record file itself carries the lock (there
    // it is never replaced by a rename). Without a file there is nothing to lock.
    const int fd = open(record.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return LockResult::Held;
    const LockResult result = take(fd);
    if (result == LockResult::Held)
        g_fd = fd;
    else
        close(fd);
    return result;
}

void unlock_record_file()
{
    if (g_fd < 0)
        return;
    // Removed while still held, so that nobody takes a lock on a file that is going away.
    if (!g_lockPath.empty())
        unlink(g_lockPath.c_str());
    close(g_fd);
    g_fd = -1;
    g_lockPath.clear();
}
