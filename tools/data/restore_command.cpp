// kestrel-data restore: one backup put back as the record file, the file it
// replaces kept as a new backup first.
#include "platform/file_calls.h"
#include "store/file/record_session.h"
#include "store/file/run_backup.h"
#include "store/file/side_files.h"
#include "tools/data/data_commands.h"
#include "tools/data/record_change.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kdata {
namespace {

// BACKUP as given, or by its name in the backups folder as `backups` lists it.
std::string backup_path(const std::string& given)
{
    std::error_code ec;
    if (given.find('/') == std::string::npos && !fs::exists(given, ec)) {
        const std::string folder = state_folder_path("backups");
        if (!folder.empty())
            return (fs::path(folder) / given).string();
    }
    return given;
}

// The names of the record file's backups now.
std::set<std::string> backups_of(const std::string& native)
{
    std::set<std::string> names;
    const std::string prefix = backup_prefix(native);
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(state_folder_path("backups"), ec))
        if (entry.path().filename().string().starts_with(prefix))
            names.insert(entry.path().string());
    return names;
}

// True when the two open files hold the same bytes.
bool same_bytes(int a, int b, off_t size)
{
    std::string left(1 << 16, '\0'), right(1 << 16, '\0');
    for (off_t at = 0; at < size;) {
        const size_t n = static_cast<size_t>(std::min<off_t>(static_cast<off_t>(left.size()), size - at));
        if (!fc::pread_all(a, left.data(), n, at) || !fc::pread_all(b, right.data(), n, at) ||
            std::memcmp(left.data(), right.data(), n) != 0)
            return false;
        at += static_cast<off_t>(n);
    }
    return true;
}

class OpenBackup
{
public:
    explicit OpenBackup(const std::string& path)
        : m_fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK))
    {
        if (m_fd < 0)
            throw Refused("cannot read " + path + ": " + std::strerror(errno));
        if (!fc::fstat(m_fd, m_stat) || !S_ISREG(m_stat.st_mode)) {
            close(m_fd);
            throw Refused(path + " is not a regular file");
        }
    }
    ~OpenBackup()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    OpenBackup(const OpenBackup&) = delete;
    OpenBackup& operator=(const OpenBackup&) = delete;

    int fd() const { return m_fd; }
    const struct stat& st() const { return m_stat; }

private:
    int m_fd;
    struct stat m_stat = {};
};

} // namespace

void run_restore(const tools::Call& call)
{
    const RecordPath path = record_path(call.arg(1));
    const std::string backup = backup_path(call.args[0]);
    const OpenBackup from(backup);
    std::ostringstream report;
    struct stat checked;
    // Checked by its name; the bytes put back are those of the file opened before.
    if (!check_file(backup, report))
        throw Refused(backup + " is not a whole record file (kestrel-data check " + backup +
                      " tells why); nothing restored");
    if (stat(backup.c_str(), &checked) != 0 || checked.st_ino != from.st().st_ino ||
        checked.st_dev != from.st().st_dev || checked.st_size != from.st().st_size)
        throw Refused(backup + " changed while it was checked; nothing restored");

    const RecordLock lock(path);
    RecordFile current;
    switch (current.openRead(path.cp932.c_str())) {
    case OpenStatus::Ok:
        break;
    case OpenStatus::Missing:
        if (errno == ENOENT)
            break;
        throw Refused("cannot read " + path.shown + ": " + std::strerror(errno) + "; nothing restored");
    default:
        // The record file module never writes over a damaged file.
        throw Refused(path.shown + " is damaged (kestrel-data check tells why) and is never written over: move it "
                                   "aside, then restore; nothing restored");
    }
    std::string kept;
    if (current.fd() >= 0) {
        struct stat now;
        if (!fc::fstat(current.fd(), now))
            throw Refused("cannot read " + path.shown + ": " + std::strerror(errno) + "; nothing restored");
        if (now.st_dev == from.st().st_dev && now.st_ino == from.st().st_ino)
            throw Refused(backup + " is the record file itself; nothing restored");
        if (now.st_size == from.st().st_size && same_bytes(current.fd(), from.fd(), now.st_size)) {
            call.out << path.shown << " holds the bytes of " << backup << " already; nothing written\n";
            return;
        }
        // The file as it is now is kept first, and seen to be kept, before it is replaced.
        if (now.st_size > COUNT_SIZE) {
            const std::set<std::string> before = backups_of(current.native());
            session_back_up_before_change(path.cp932.c_str(), current.native(), current.fd());
            for (const std::string& name : backups_of(current.native()))
                if (!before.contains(name))
                    kept = name;
            if (kept.empty())
                throw Refused(path.shown + " could not be kept as a backup (kest_backups is 0, or the backups "
                                           "folder cannot be written); nothing restored");
        }
    }
    const off_t size = from.st().st_size;
    replace_or_refuse(
        path, __FILE_NAME__, [&from, size](int fd) { return fc::copy_bytes(from.fd(), 0, fd, 0, size); },
        "nothing restored");
    call.out << "restored " << path.shown << " from " << backup << '\n';
    if (!kept.empty())
        call.out << "the file it replaced is kept as " << kept << '\n';
}

} // namespace kdata
