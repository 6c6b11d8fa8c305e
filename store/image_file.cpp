#include "store/image_file.h"

#include "store/file_calls.h"
#include "store/record_journal.h"
#include "store/side_files.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace {

constexpr size_t BUFFER_SIZE = 1 << 20;

} // namespace

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

bool ImageFile::create(const std::string& target, const struct stat* old, mode_t mode)
{
    m_target = resolve_links(target);
    m_mode = mode;
    // A rename would split hard links or hand the file to us.
    m_inPlace = old && (old->st_nlink > 1 || old->st_uid != geteuid());
    if (!m_inPlace) {
        std::string templ = beside(m_target, ".XXXXXX");
        m_fd = fc::make_temp(templ);
        if (m_fd >= 0)
            m_tempPath = templ;
        else if (old && (errno == EACCES || errno == EPERM || errno == EROFS))
            m_inPlace = true; // a folder we cannot write, with a file we can
        else
            return false;
    }
    if (m_inPlace) {
        std::string templ = in_state(m_target, "images", ".XXXXXX");
        if (templ.empty() || (m_fd = fc::make_temp(templ)) < 0)
            return false;
        m_tempPath = templ;
    }
    m_buffer.reserve(BUFFER_SIZE);
    if (old && !m_inPlace && fchown(m_fd, old->st_uid, old->st_gid) != 0)
        errno = 0; // the owner only when allowed
    return fchmod(m_fd, m_mode) == 0;
}

bool ImageFile::write(const void* data, size_t size)
{
    const auto* bytes = static_cast<const char*>(data);
    if (m_buffer.size() + size > BUFFER_SIZE && !flush())
        return false;
    if (size >= BUFFER_SIZE) {
        m_size += static_cast<int64_t>(size);
        return fc::write_all(m_fd, bytes, size);
    }
    m_buffer.insert(m_buffer.end(), bytes, bytes + size);
    return true;
}

bool ImageFile::flush()
{
    if (!fc::write_all(m_fd, m_buffer.data(), m_buffer.size()))
        return false;
    m_size += static_cast<int64_t>(m_buffer.size());
    m_buffer.clear();
    return true;
}

bool ImageFile::copyFrom(int fd, off_t offset, int64_t length)
{
    if (!flush() || !fc::copy_bytes(fd, offset, m_fd, m_size, length))
        return false;
    m_size += length;
    // Later writes go on behind the copied bytes.
    return lseek(m_fd, m_size, SEEK_SET) == m_size;
}

bool ImageFile::commit()
{
    if (!flush() || !fc::fsync(m_fd))
        return false;
    if (m_inPlace) {
        const int fd = fc::open(m_target.c_str(), O_RDWR | O_NONBLOCK);
        struct stat st;
        if (fd < 0)
            return false;
        const bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && fchmod(fd, m_mode) == 0 &&
                        copy_image_in_place(fd, m_target, m_tempPath, m_size);
        close(fd);
        if (ok)
            m_tempPath.clear(); // the journal code removed it
        return ok;
    }
    const int fd = m_fd;
    m_fd = -1;
    if (close(fd) != 0 || !fc::rename(m_tempPath.c_str(), m_target.c_str()))
        return false;
    m_tempPath.clear();
    // The new image is in place; a folder that cannot be synced does not undo that.
    fc::sync_folder_of(m_target);
    return true;
}
