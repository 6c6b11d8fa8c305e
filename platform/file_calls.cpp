#include "platform/file_calls.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

FileCallHook g_hook = nullptr;

// False (errno set) when the hook fails the call.
bool allowed(FileCall call, const char* path = nullptr, int fd = -1)
{
    if (!g_hook)
        return true;
    if (const int error = g_hook(call, path, fd)) {
        errno = error;
        return false;
    }
    return true;
}

// Runs `call` again while it is interrupted by a signal.
template <typename Call> auto again(Call call)
{
    decltype(call()) result;
    do
        result = call();
    while (result < 0 && errno == EINTR);
    return result;
}

} // namespace

void set_file_call_hook(FileCallHook hook)
{
    g_hook = hook;
}

namespace fc {

int open(const char* path, int flags, mode_t mode)
{
    if (!allowed(FileCall::Open, path))
        return -1;
    return again([&] { return ::open(path, flags | O_CLOEXEC, mode); });
}

ssize_t pread_some(int fd, void* data, size_t size, off_t offset)
{
    auto* bytes = static_cast<char*>(data);
    size_t done = 0;
    while (done < size) {
        if (!allowed(FileCall::Read, nullptr, fd))
            return -1;
        const ssize_t n =
            again([&] { return ::pread(fd, bytes + done, size - done, offset + static_cast<off_t>(done)); });
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

bool pread_all(int fd, void* data, size_t size, off_t offset)
{
    const ssize_t n = pread_some(fd, data, size, offset);
    if (n >= 0 && static_cast<size_t>(n) != size)
        errno = EIO; // the file ended before the bytes it should hold
    return n >= 0 && static_cast<size_t>(n) == size;
}

bool fstat(int fd, struct stat& st)
{
    return allowed(FileCall::Stat, nullptr, fd) && again([&] { return ::fstat(fd, &st); }) == 0;
}

// Writes the whole buffer in as many steps as the kernel takes; `step`
// writes at most `size` bytes at `done` bytes into the buffer.
template <typename Step> bool write_whole(int fd, const void* data, size_t size, Step step)
{
    const auto* bytes = static_cast<const char*>(data);
    for (size_t done = 0; done < size;) {
        if (!allowed(FileCall::Write, nullptr, fd))
            return false;
        const ssize_t n = again([&] { return step(bytes + done, size - done, done); });
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool pwrite_all(int fd, const void* data, size_t size, off_t offset)
{
    return write_whole(fd, data, size, [fd, offset](const char* bytes, size_t left, size_t done) {
        return ::pwrite(fd, bytes, left, offset + static_cast<off_t>(done));
    });
}

bool write_all(int fd, const void* data, size_t size)
{
    return write_whole(fd, data, size,
                       [fd](const char* bytes, size_t left, size_t) { return ::write(fd, bytes, left); });
}

bool datasync(int fd)
{
    return allowed(FileCall::Sync, nullptr, fd) && again([&] { return ::fdatasync(fd); }) == 0;
}

bool fsync(int fd)
{
    return allowed(FileCall::Sync, nullptr, fd) && again([&] { return ::fsync(fd); }) == 0;
}

bool truncate(int fd, off_t size)
{
    return allowed(FileCall::Truncate, nullptr, fd) && again([&] { return ::ftruncate(fd, size); }) == 0;
}

bool rename(const char* from, const char* to)
{
    return allowed(FileCall::Rename, to) && ::rename(from, to) == 0;
}

bool link(const char* from, const char* to)
{
    return allowed(FileCall::Link, to) && ::link(from, to) == 0;
}

bool unlink(const char* path)
{
    return allowed(FileCall::Unlink, path) && ::unlink(path) == 0;
}

bool mkdir(const char* path)
{
    if (!allowed(FileCall::Mkdir, path))
        return false;
    if (::mkdir(path, 0700) == 0)
        return true;
    struct stat st;
    return errno == EEXIST && ::lstat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool lock(int fd)
{
    return allowed(FileCall::Lock, nullptr, fd) && again([&] { return ::flock(fd, LOCK_EX | LOCK_NB); }) == 0;
}

int make_temp(std::string& templ)
{
    if (!allowed(FileCall::Open, templ.c_str()))
        return -1;
    return again([&] { return mkostemp(templ.data(), O_CLOEXEC); });
}

const void* map_read(int fd, off_t offset, size_t size)
{
    if (size == 0 || !allowed(FileCall::Read, nullptr, fd))
        return nullptr;
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, offset);
    return map == MAP_FAILED ? nullptr : map;
}

void unmap(const void* map, size_t size)
{
    ::munmap(const_cast<void*>(map), size);
}

bool copy_bytes(int from, off_t from_offset, int to, off_t to_offset, int64_t size)
{
    bool kernel = true;
    std::vector<char> buffer;
    while (size > 0) {
        if (!allowed(FileCall::Write, nullptr, to))
            return false;
        const size_t step = static_cast<size_t>(std::min<int64_t>(size, int64_t{1} << 30));
        ssize_t n;
        if (kernel) {
            loff_t in = from_offset, out = to_offset;
            n = ::copy_file_range(from, &in, to, &out, step, 0);
            // Across file systems or where the kernel cannot: read and write.
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                kernel = false;
                buffer.resize(1 << 20);
                continue;
            }
        } else {
            n = pread_some(from, buffer.data(), std::min(step, buffer.size()), from_offset);
            if (n > 0 && !pwrite_all(to, buffer.data(), static_cast<size_t>(n), to_offset))
                return false;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO; // the file ended before its size
            return false;
        }
        from_offset += n;
        to_offset += n;
        size -= n;
    }
    return true;
}

bool sync_folder_of(const std::string& path)
{
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    const int fd = fc::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    const bool ok = fsync(fd);
    ::close(fd);
    return ok;
}

} // namespace fc
