#include "store/file/run_backup.h"

#include "commons/commons.h"
#include "platform/atomic_file.h"
#include "platform/file_calls.h"
#include "platform/registry_digits.h"
#include "store/file/checksum.h"
#include "store/file/journal.h"
#include "store/file/side_files.h"
#include "store/record_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int DEFAULT_KEPT = 5;
constexpr size_t STAMP_SIZE = 15; // yyyymmdd-hhmmss

int backups_to_keep()
{
    // Read quietly: the missing value, most users' case, must not change the
    // trace of the run's first record operation.
    return reg::read_digits("SOFTWARE\\qelt_key_yoyaku", "kest_backups", DEFAULT_KEPT, 100000);
}

// Where a backup's name, behind its prefix, is "yyyymmdd-hhmmss" or "yyyymmdd-hhmmss-<n>":
// its place in time (stamp, n), else false.
bool backup_order(const std::string& rest, std::pair<std::string, long>& order)
{
    if (rest.size() < STAMP_SIZE)
        return false;
    for (size_t i = 0; i < STAMP_SIZE; ++i)
        if (i == 8 ? rest[i] != '-' : (rest[i] < '0' || rest[i] > '9'))
            return false;
    long n = 1;
    if (rest.size() > STAMP_SIZE) {
        if (rest[STAMP_SIZE] != '-' || rest.size() == STAMP_SIZE + 1 || rest.size() > STAMP_SIZE + 10)
            return false;
        char* end = nullptr;
        n = strtol(rest.c_str() + STAMP_SIZE + 1, &end, 10);
        if (*end != '\0' || n < 2)
            return false;
    }
    order = {rest.substr(0, STAMP_SIZE), n};
    return true;
}

// Removes all but the newest `kept` backups of one record file, and copies
// that a crash left half-written.
void drop_old_backups(const fs::path& folder, const std::string& prefix, int kept)
{
    std::vector<std::pair<std::pair<std::string, long>, fs::path>> backups;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        std::pair<std::string, long> order;
        if (name.starts_with(prefix) && backup_order(name.substr(prefix.size()), order))
            backups.emplace_back(order, entry.path());
        else if (name.starts_with("." + prefix))
            fc::unlink(entry.path().c_str());
    }
    std::sort(backups.begin(), backups.end());
    for (size_t i = 0; i + static_cast<size_t>(kept) < backups.size(); ++i)
        fc::unlink(backups[i].second.c_str());
}

// A free name for a backup made now: the local time, numbered when taken.
fs::path new_backup_name(const fs::path& folder, const std::string& prefix)
{
    const time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    char stamp[STAMP_SIZE + 1];
    strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    fs::path name = folder / (prefix + stamp);
    std::error_code ec;
    for (int n = 2; fs::exists(fs::symlink_status(name, ec)); ++n)
        name = folder / (prefix + stamp + "-" + std::to_string(n));
    return name;
}

// The template of the temporary name a copy is written under before it gets
// `name`, beside it (removed by drop_old_backups when a crash left it).
std::string temp_template(const fs::path& name)
{
    // Appended, not added: GCC 12 warns falsely on "." + string at -O2 (-Wrestrict).
    std::string hidden = ".";
    hidden += name.filename().string();
    hidden += ".XXXXXX";
    return (name.parent_path() / hidden).string();
}

// Writes the copy under a temporary name, syncs it and only then gives it its
// name, so that a backup that is there is whole. False with errno set.
bool write_backup(int from, off_t size, const fs::path& folder, const std::string& prefix)
{
    const fs::path name = new_backup_name(folder, prefix);
    return atomic_file::replace_with(name.string(), temp_template(name), 0600, static_cast<gid_t>(-1),
                                     [from, size](int to) { return fc::copy_bytes(from, 0, to, 0, size); }) !=
           atomic_file::Outcome::Failed;
}

// A copy made off the user's path: the record file as the run found it,
// written under its temporary name while the window is already in use.
class BackgroundBackup
{
public:
    ~BackgroundBackup() { finish(false); }

    bool start(const std::string& native, int fd, off_t size, const std::string& folder, int kept)
    {
        m_native = native;
        m_folder = folder;
        m_kept = kept;
        m_name = new_backup_name(folder, backup_prefix(native));
        m_temp = temp_template(m_name);
        m_to = fc::make_temp(m_temp);
        if (m_to < 0) {
            close(fd);
            return false;
        }
        m_cancel = false;
        m_keep = false;
        m_read = false;
        m_overwritten.clear();
        m_thread = std::thread([this, fd, size] {
            // Idle I/O priority: the user's own reads and writes go first.
            syscall(SYS_ioprio_set, 1 /* IOPRIO_WHO_PROCESS */, 0, 3 << 13 /* IOPRIO_CLASS_IDLE */);
            constexpr off_t STEP = 8 << 20;
            bool ok = true;
            for (off_t at = 0; ok && at < size && !m_cancel; at += STEP)
                ok = fc::copy_bytes(fd, at, m_to, at, std::min(STEP, size - at));
            close(fd);
            {
                const std::lock_guard<std::mutex> hold(m_lock);
                m_read = true; // no change hands over more: the file is read
            }
            // What changes overwrote while it was read goes back, the earliest
            // last, so that the copy holds the file as the run found it.
            for (auto back = m_overwritten.rbegin(); ok && back != m_overwritten.rend(); ++back)
                ok = fc::pwrite_all(m_to, back->bytes.data(), back->bytes.size(), back->offset);
            // Synced only when the run keeps it, at its end (finish): a change
            // meanwhile does not wait behind the writing of a whole copy, and
            // the copy of a run that changes nothing may never reach the disk.
            m_ok = ok && !m_cancel;
            m_error = errno;
        });
        return true;
    }

    bool takes(const std::string& native, const std::vector<ByteChange>& overwritten)
    {
        if (!running() || native != m_native)
            return false;
        const std::lock_guard<std::mutex> hold(m_lock);
        if (m_read)
            return false;
        m_overwritten.insert(m_overwritten.end(), overwritten.begin(), overwritten.end());
        return true;
    }

    // The copy is to be kept when the run ends; `path` names the file in an error line.
    void keepAtEnd(const char* path)
    {
        m_path = path;
        m_keep = true;
    }

    // A copy kept earlier: its name synced, and the oldest copies removed.
    void settle()
    {
        if (!m_pruneLater)
            return;
        m_pruneLater = false;
        fc::sync_folder_of(m_name.string());
        drop_old_backups(m_folder, backup_prefix(m_native), m_kept);
    }

    bool running() const { return m_to >= 0; }
    bool keeping() const { return running() && m_keep; }
    const std::string& native() const { return m_native; }
    const std::string& path() const { return m_path; }

    // Waits for the copy; keeps it (synced, then under its name), or removes it. The name's
    // sync and the pruning of old backups wait for the end of the run, so that
    // the run's first change waits for no more than the rest of the copy.
    bool finish(bool keep)
    {
        settle();
        if (m_to < 0)
            return false;
        keep = keep || m_keep;
        m_cancel = !keep;
        m_thread.join();
        const bool synced = keep && m_ok && fc::fsync(m_to);
        const int syncError = errno;
        close(m_to);
        m_to = -1;
        errno = syncError;
        bool kept = synced && fc::rename(m_temp.c_str(), m_name.c_str());
        if (!kept) {
            if (keep)
                errno = m_ok ? errno : m_error;
            const int error = errno;
            fc::unlink(m_temp.c_str());
            errno = error;
            return false;
        }
        m_pruneLater = true;
        return true;
    }

private:
    std::string m_native;
    fs::path m_folder;
    fs::path m_name;
    std::string m_temp;
    int m_kept = 0;
    int m_to = -1;
    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    std::mutex m_lock;
    bool m_read = false;                   // the copy has read the whole file (under m_lock)
    std::vector<ByteChange> m_overwritten; // handed over by changes while it read (under m_lock)
    bool m_keep = false;                   // a change asked to keep it
    std::string m_path;                    // the record file as the log names it
    bool m_pruneLater = false;             // a kept copy's name still to sync, old copies still to remove
    bool m_ok = false;
    int m_error = 0;
};

BackgroundBackup g_background;

} // namespace

std::string backup_prefix(const std::string& native)
{
    std::error_code ec;
    const std::string absolute = fs::absolute(native, ec).lexically_normal().string();
    char hash[10];
    snprintf(hash, sizeof hash, "%08x",
             static_cast<unsigned>(checksum(absolute.data(), absolute.size()) & 0xffffffffU));
    // Within NAME_MAX with the time stamp and the temporary name's ends.
    return fs::path(absolute).filename().string().substr(0, 200) + "-" + hash + "-";
}

bool start_background_backup(const std::string& native, int fd)
{
    g_background.finish(false);
    struct stat st;
    const int kept = backups_to_keep();
    const std::string folder = kept > 0 ? make_state_folder("backups") : std::string();
    if (fc::fstat(fd, st) && st.st_size > COUNT_SIZE && !folder.empty() &&
        g_background.start(native, fd, st.st_size, folder, kept))
        return true;
    close(fd);
    return false;
}

bool background_backup_takes(const std::string& native, const std::vector<ByteChange>& overwritten)
{
    return g_background.takes(native, overwritten);
}

bool keep_background_backup(const char* path, const std::string& native, bool wait)
{
    if (!g_background.running() || g_background.native() != native)
        return false;
    if (!wait) {
        g_background.keepAtEnd(path);
        return true;
    }
    if (!g_background.finish(true))
        logputd(1, __FILE_NAME__, __LINE__, "Data File (%s) backup error: %s\n", path, strerror(errno));
    return true;
}

void end_background_backup()
{
    const bool keep = g_background.keeping();
    if (!g_background.finish(false) && keep)
        logputd(1, __FILE_NAME__, __LINE__, "Data File (%s) backup error: %s\n", g_background.path().c_str(),
                strerror(errno));
    g_background.settle();
}

void back_up_record_file(const char* path, const std::string& native, int fd)
{
    struct stat st;
    // A file that holds only a zero count has nothing to lose.
    if (!fc::fstat(fd, st) || st.st_size <= COUNT_SIZE)
        return;
    const int kept = backups_to_keep();
    if (kept == 0)
        return;
    const std::string prefix = backup_prefix(native);
    const std::string folder = make_state_folder("backups");
    errno = ENOTDIR;
    if (folder.empty() || !write_backup(fd, st.st_size, folder, prefix)) {
        logputd(1, __FILE_NAME__, __LINE__, "Data File (%s) backup error: %s\n", path, strerror(errno));
        return;
    }
    drop_old_backups(folder, prefix, kept);
}
