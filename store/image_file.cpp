#include "store/image_file.h"

#include "store/record_file.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace {

ImageWriteFn g_writeHook = nullptr;

// Eight record blocks: few system calls, little memory.
constexpr size_t BUFFER_SIZE = 8 * RECORD_SIZE;

int sync_folder(const std::string& folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const int result = fsync(fd);
    close(fd);
    return result;
}

} // namespace

void set_image_write_hook(ImageWriteFn hook)
{
    g_writeHook = hook;
}

std::string resolve_links(const std::string& path)
{
    namespace fs = std::filesystem;
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

ImageFile::~ImageFile()
{
    if (m_fd >= 0)
        close(m_fd);
    if (!m_tempPath.empty())
        unlink(m_tempPath.c_str());
}

bool ImageFile::create(const std::string& target, const struct stat* old)
{
    namespace fs = std::filesystem;
    m_target = resolve_links(target);
    const fs::path targetPath = m_target;
    const fs::path folder = targetPath.parent_path().empty() ? fs::path(".") : targetPath.parent_path();
    std::string templ = (folder / ("." + targetPath.filename().string() + ".XXXXXX")).string();
    m_fd = mkostemp(templ.data(), O_CLOEXEC);
    if (m_fd < 0)
        return false;
    m_tempPath = templ;
    m_buffer.reserve(BUFFER_SIZE);
    if (old) {
        // Keep owner and mode of the file being replaced; the owner only when allowed.
        if (fchown(m_fd, old->st_uid, old->st_gid) != 0)
            errno = 0;
        if (fchmod(m_fd, old->st_mode & 07777) != 0)
            return false;
    }
    return true;
}

bool ImageFile::write(const void* data, size_t size)
{
    const auto* bytes = static_cast<const char*>(data);
    if (m_buffer.size() + size > BUFFER_SIZE && !flush())
        return false;
    m_buffer.insert(m_buffer.end(), bytes, bytes + size);
    return true;
}

bool ImageFile::flush()
{
    const char* bytes = m_buffer.data();
    size_t size = m_buffer.size();
    while (size > 0) {
        const ssize_t written = g_writeHook ? g_writeHook(m_fd, bytes, size) : ::write(m_fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    m_buffer.clear();
    return true;
}

bool ImageFile::commit()
{
    if (!flush() || fsync(m_fd) != 0)
        return false;
    const int fd = m_fd;
    m_fd = -1;
    if (close(fd) != 0)
        return false;
    if (rename(m_tempPath.c_str(), m_target.c_str()) != 0)
        return false;
    m_tempPath.clear();
    const std::filesystem::path folder = std::filesystem::path(m_target).parent_path();
    return sync_folder(folder.empty() ? "." : folder.string()) == 0;
}
