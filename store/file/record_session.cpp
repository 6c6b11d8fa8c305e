#include "store/file/record_session.h"

#include "commons/commons.h"
#include "platform/file_calls.h"
#include "store/file/journal.h"
#include "store/file/protected_form.h"
#include "store/file/run_backup.h"
#include "store/file/side_files.h"
#include "store/record_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char IMAGE_SUFFIX[] = ".kestrel-image.XXXXXX";

class RecordSession
{
public:
    SessionStart begin(const char* path);
    void end();
    bool recover(const std::string& native);
    void lockInode(const std::string& native);

    std::string m_native;   // the record file held, empty when none
    std::string m_sideFile; // a side file this start did not use
    int m_nameLock = -1;    // the lock file's descriptor
    std::string m_nameLockPath;
    int m_inodeLock = -1; // the record file itself, locked as well: one lock for all its names
    bool m_readOnly = false;
    bool m_pending = false;
    std::set<std::string> m_backedUp; // native paths backed up this run

private:
    bool lockName(const char* path);
    void removeLeftOverImages();
};

RecordSession g_session;

// Busy: another process holds the lock on `fd`.
enum class Take { Held, Busy, Failed };
Take take(int fd)
{
    if (fc::lock(fd))
        return Take::Held;
    return errno == EWOULDBLOCK ? Take::Busy : Take::Failed;
}

bool RecordSession::lockName(const char* path)
{
    // Beside the record file, or (where that folder cannot be written, or a
    // lock file there is not ours) in the state folder, keyed by its path.
    for (const bool inState : {false, true}) {
        const std::string where =
            inState ? in_state(m_native, "locks", ".kestrel-lock", true) : beside(m_native, ".kestrel-lock");
        if (where.empty())
            continue;
        // A lock file can be removed by the holder that ends just after we
        // opened it: then the lock is taken again on the file that stands there now.
        for (int attempt = 0; attempt < 8; ++attempt) {
            Own how;
            const int fd = open_own(where, O_RDWR | O_CREAT, how);
            if (fd < 0) {
                if (how == Own::NotOurs)
                    logputd(0, __FILE_NAME__, __LINE__, "Lock file (%s) is not ours, not used\n", where.c_str());
                break;
            }
            const Take result = take(fd);
            struct stat held, now;
            if (result == Take::Held && fstat(fd, &held) == 0 &&
                (stat(where.c_str(), &now) != 0 || now.st_ino != held.st_ino || now.st_dev != held.st_dev)) {
                close(fd);
                continue;
            }
            if (result == Take::Busy) {
                close(fd);
                return false;
            }
            m_nameLock = fd;
            m_nameLockPath = result == Take::Held ? where : std::string();
            return true;
        }
    }
    logputd(0, __FILE_NAME__, __LINE__, "Data File (%s) could not be locked\n", path);
    return true; // a file that cannot be locked at all does not refuse the run
}

void RecordSession::lockInode(const std::string& native)
{
    if (m_inodeLock >= 0)
        close(m_inodeLock);
    m_inodeLock = fc::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
}

SessionStart RecordSession::begin(const char* path)
{
    end();
    m_sideFile.clear();
    m_native = record_native_path(path);
    if (m_native.empty())
        return SessionStart::Ready;
    lockInode(m_native);
    if (!lockName(path) || (m_inodeLock >= 0 && take(m_inodeLock) == Take::Busy)) {
        logputd(0, __FILE_NAME__, __LINE__, "Data File (%s) is in use by another kestrel\n", path);
        end();
        return SessionStart::Busy;
    }
    for (const std::string& journal : journal_places(m_native)) {
        switch (recover_journal(journal, m_native, image_is_ours)) {
        case JournalResult::NotOurs:
            logputd(0, __FILE_NAME__, __LINE__, "Journal (%s) is not ours, not applied\n", journal.c_str());
            m_sideFile = journal;
            m_readOnly = true;
            return SessionStart::ForeignJournal;
        case JournalResult::SetAside:
            logputd(0, __FILE_NAME__, __LINE__, "Journal (%s) does not match Data File (%s), moved to (%s)\n",
                    journal.c_str(), path, set_aside_path(journal).c_str());
            m_sideFile = set_aside_path(journal);
            break;
        case JournalResult::Failed:
        case JournalResult::Pending:
            logputd(0, __FILE_NAME__, __LINE__, "Data File (%s) could not be recovered from its journal\n", path);
            m_readOnly = m_pending = true;
            return SessionStart::Unrecovered;
        default:
            break;
        }
    }
    removeLeftOverImages();
    return SessionStart::Ready;
}

bool RecordSession::recover(const std::string& native)
{
    for (const std::string& journal : journal_places(native)) {
        const JournalResult result = recover_journal(journal, native, image_is_ours);
        if (result == JournalResult::Failed || result == JournalResult::Pending || result == JournalResult::NotOurs)
            return false;
    }
    return true;
}

void RecordSession::removeLeftOverImages()
{
    namespace fs = std::filesystem;
    for (const bool inState : {false, true}) {
        std::string templ = image_template(m_native, inState);
        if (templ.empty())
            continue;
        const fs::path stem = templ.substr(0, templ.size() - 6);
        const std::string wanted = stem.filename().string();
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(stem.parent_path(), ec)) {
            const std::string name = entry.path().filename().string();
            if (name.size() != wanted.size() + 6 || !name.starts_with(wanted))
                continue;
            // Ours: our naming, our file, and a record file's count at its start.
            Own how;
            const int fd = open_own(entry.path().string(), O_RDONLY, how);
            int32_t count = -1;
            if (fd < 0)
                continue;
            const bool image =
                fc::pread_all(fd, &count, sizeof count, 0) &&
                ((count >= 0 && count <= KIND_MAX) || sealed_magic(reinterpret_cast<unsigned char*>(&count)));
            close(fd);
            if (image)
                fc::unlink(entry.path().c_str());
        }
    }
}

void RecordSession::end()
{
    if (!m_native.empty() && !m_pending && !m_readOnly)
        for (const std::string& journal : journal_places(m_native))
            if (fc::unlink(journal.c_str()))
                fc::sync_folder_of(journal);
    // Removed while still held, so that nobody takes a lock on a file that is going away.
    if (!m_nameLockPath.empty())
        fc::unlink(m_nameLockPath.c_str());
    if (m_nameLock >= 0)
        close(m_nameLock);
    if (m_inodeLock >= 0)
        close(m_inodeLock);
    m_nameLock = m_inodeLock = -1;
    m_nameLockPath.clear();
    m_native.clear();
    m_readOnly = m_pending = false;
    m_backedUp.clear();
    end_background_backup(); // a run that changed nothing leaves no backup
}

} // namespace

SessionStart begin_record_session(const char* path)
{
    return g_session.begin(path);
}

void end_record_session()
{
    g_session.end();
}

const std::string& session_side_file()
{
    return g_session.m_sideFile;
}

void make_session_read_only()
{
    g_session.m_readOnly = true;
}

bool session_read_only()
{
    return g_session.m_readOnly;
}

bool session_ready_for_change(const std::string& native)
{
    if (g_session.m_readOnly && !g_session.m_pending)
        return false;
    if (!g_session.m_pending)
        return true;
    if (!g_session.recover(native))
        return false;
    // Finished now: a run that was writable before goes on writing.
    g_session.m_pending = false;
    if (!g_session.m_native.empty() && g_session.m_sideFile.empty())
        g_session.m_readOnly = false;
    return !g_session.m_readOnly;
}

void session_change_pending()
{
    g_session.m_pending = true;
}

void session_start_backup()
{
    if (g_session.m_native.empty() || g_session.m_readOnly || g_session.m_backedUp.contains(g_session.m_native))
        return;
    const int fd = fc::open(g_session.m_native.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd >= 0)
        start_background_backup(g_session.m_native, fd);
}

void session_back_up_before_change(const char* path, const std::string& native, int fd,
                                   const std::vector<ByteChange>* overwritten)
{
    if (overwritten)
        background_backup_takes(native, *overwritten);
    const bool first = g_session.m_backedUp.insert(native).second;
    // A whole new file may be copied over this one in place: a copy still reading it is finished first.
    const bool copying =
        overwritten ? first && keep_background_backup(path, native, false) : keep_background_backup(path, native, true);
    if (first && !copying)
        back_up_record_file(path, native, fd);
}

bool session_retire_journals(const std::string& native)
{
    for (const std::string& journal : journal_places(native)) {
        if (fc::unlink(journal.c_str())) {
            if (!fc::sync_folder_of(journal))
                return false;
            continue;
        }
        // One that cannot be removed stays spent: that is made durable instead.
        Own how;
        const int fd = open_own(journal, O_RDONLY, how);
        // One we could not have written (not there, not ours, not allowed here) is not ours to retire.
        if (fd < 0 && (how != Own::Failed || errno == EACCES || errno == EPERM || errno == EROFS))
            continue;
        const bool synced = fd >= 0 && fc::datasync(fd);
        if (fd >= 0)
            close(fd);
        if (!synced)
            return false;
    }
    return true;
}

void session_file_replaced(const std::string& native)
{
    if (native != g_session.m_native || g_session.m_inodeLock < 0)
        return;
    g_session.lockInode(native);
    if (g_session.m_inodeLock >= 0)
        take(g_session.m_inodeLock);
}

std::string image_template(const std::string& record, bool in_state_folder)
{
    return in_state_folder ? in_state(record, "images", IMAGE_SUFFIX, false) : beside(record, IMAGE_SUFFIX);
}

bool image_is_ours(const std::string& image, const std::string& record)
{
    for (const bool inState : {false, true}) {
        const std::string templ = image_template(record, inState);
        if (!templ.empty() && image.size() == templ.size() && image.starts_with(templ.substr(0, templ.size() - 6)))
            return true;
    }
    return false;
}
