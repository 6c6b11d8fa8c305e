#include "store/file/record_io.h"

#include "commons/commons.h"
#include "platform/atomic_file.h"
#include "platform/file_calls.h"
#include "store/file/protected_form.h"
#include "store/file/record_session.h"
#include "store/file/side_files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Opens a regular file without waiting on a FIFO or a device.
int open_regular(const std::string& native, int flags)
{
    const int fd = fc::open(native.c_str(), flags | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return -1;
    struct stat st;
    if (!fc::fstat(fd, st) || !S_ISREG(st.st_mode) || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        const int error = errno;
        close(fd);
        errno = S_ISREG(st.st_mode) ? error : EINVAL;
        return -1;
    }
    return fd;
}

// The header count and the file's size against it. False for a damaged file.
bool read_area(int fd, RecordArea& area)
{
    struct stat st;
    unsigned char raw[COUNT_SIZE];
    if (!fc::fstat(fd, st) || st.st_size < COUNT_SIZE || !fc::pread_all(fd, raw, sizeof raw, 0))
        return false;
    const int32_t count =
        static_cast<int32_t>(static_cast<uint32_t>(raw[0]) | static_cast<uint32_t>(raw[1]) << 8 |
                             static_cast<uint32_t>(raw[2]) << 16 | static_cast<uint32_t>(raw[3]) << 24);
    if (sealed_magic(raw))
        return read_sealed_area(fd, st.st_size, area);
    if (count < 0 || count > KIND_MAX)
        return false;
    const int64_t start = record_offset(count, 0);
    if (st.st_size < start)
        return false;
    area.count = count;
    area.start = start;
    area.blocks = (st.st_size - start) / RECORD_SIZE;
    area.size = st.st_size;
    return true;
}

// Creates a missing record file holding a zero header count. It is written
// and synced under a temporary name first and then linked into place, so a
// crash never leaves a record file without its count; link() fails with
// EEXIST when another process created the file first.
bool create_empty(const std::string& native)
{
    std::string temp = image_template(native, false);
    const int fd = fc::make_temp(temp);
    if (fd < 0)
        return false;
    const std::string zero = empty_record_file();
    bool ok = fchmod(fd, 0600) == 0 && fc::pwrite_all(fd, zero.data(), zero.size(), 0) && fc::datasync(fd);
    close(fd);
    const bool written = ok;
    ok = ok && fc::link(temp.c_str(), native.c_str());
    int error = errno;
    fc::unlink(temp.c_str());
    if (written && !ok && (error == EPERM || error == ENOTSUP || error == EOPNOTSUPP)) {
        // A file system without hard links: created exclusively in place instead.
        const int direct = fc::open(native.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOCTTY, 0600);
        ok = direct >= 0 && fc::pwrite_all(direct, zero.data(), zero.size(), 0) && fc::datasync(direct);
        error = errno;
        if (direct >= 0)
            close(direct);
    }
    ok = ok && fc::sync_folder_of(native);
    errno = error;
    return ok;
}

// The bytes of the record area's whole blocks.
int64_t block_bytes(const RecordArea& area)
{
    return area.blocks * (area.sealed ? SEALED_BLOCK_SIZE : RECORD_SIZE);
}

// The record file holds secrets: a mode that lets group or others in becomes 0600.
mode_t private_mode(const char* unit, const char* path, mode_t mode)
{
    mode &= 07777;
    if ((mode & 077) == 0)
        return mode;
    logputd(1, unit, __LINE__, "Data File (%s) was mode %04o, made 0600\n", path, static_cast<unsigned>(mode));
    return 0600;
}

SaveResult save_result(JournalResult result)
{
    switch (result) {
    case JournalResult::Unchanged:
        return SaveResult::Unchanged;
    case JournalResult::Done:
        return SaveResult::Saved;
    case JournalResult::Pending:
        return SaveResult::Pending;
    case JournalResult::Undecided:
        return SaveResult::Undecided;
    default:
        return SaveResult::NotSaved;
    }
}

// A new image of the file, written by `fill`, built in the state folder and
// copied over the file in place under the journal: the way that keeps hard
// links, another owner and a folder we cannot write.
SaveResult replace_in_place(RecordFile& old, const ImageFill& fill)
{
    std::string image = image_template(old.native(), true);
    if (image.empty() || make_state_folder("images").empty())
        return SaveResult::NotSaved;
    const int fd = fc::make_temp(image);
    if (fd < 0)
        return SaveResult::NotSaved;
    struct stat st;
    // The image and its name are durable before a journal names it.
    const bool built = fill(fd) && fc::fsync(fd) && fc::fstat(fd, st) && fc::sync_folder_of(image);
    close(fd);
    const JournalResult result =
        built ? copy_image_in_place(old.fd(), old.native(), journal_places(old.native(), false), image, st.st_size)
              : JournalResult::Failed;
    if (result == JournalResult::Pending || result == JournalResult::Undecided)
        session_change_pending(); // the journal names the image: it stays until recovery spends it
    else if (result != JournalResult::Done)
        fc::unlink(image.c_str());
    if (result != JournalResult::Failed)
        note_file_change(old.native(), -1);
    return save_result(result);
}

// The file open as `old` replaced by the image `fill` writes: renamed over
// it, or copied over it in place where a rename would not keep it as it is.
SaveResult replace_whole(RecordFile& old, const char* path, const char* unit, const ImageFill& fill)
{
    // A record file the user made read-only is not replaced.
    struct stat st;
    if (faccessat(AT_FDCWD, old.native().c_str(), W_OK, AT_EACCESS) != 0 || !fc::fstat(old.fd(), st))
        return SaveResult::NotSaved;
    session_back_up_before_change(path, old.native(), old.fd());
    // A rename would split hard links or hand the file to us.
    if (st.st_nlink > 1 || st.st_uid != geteuid())
        return replace_in_place(old, fill);
    if (!session_retire_journals(old.native()))
        return SaveResult::NotSaved;
    const mode_t mode = private_mode(unit, path, st.st_mode);
    const atomic_file::Outcome outcome =
        atomic_file::replace_with(old.native(), image_template(old.native(), false), mode, st.st_gid, fill);
    if (outcome == atomic_file::Outcome::Failed)
        // A folder we may not write, with a file we may: the image goes in place instead.
        return errno == EACCES || errno == EPERM || errno == EROFS ? replace_in_place(old, fill) : SaveResult::NotSaved;
    session_file_replaced(old.native());
    note_file_change(old.native(), -1);
    return SaveResult::Saved;
}

// A missing record file made whole from `fill`; false when it cannot be.
SaveResult create_whole(const std::string& native, const ImageFill& fill)
{
    if (atomic_file::replace_with(native, image_template(native, false), 0600, static_cast<gid_t>(-1), fill) ==
        atomic_file::Outcome::Failed)
        return SaveResult::NotSaved;
    session_file_replaced(native);
    note_file_change(native, -1);
    return SaveResult::Saved;
}

} // namespace

RecordFile::~RecordFile()
{
    if (m_fd >= 0)
        close(m_fd);
}

OpenStatus RecordFile::openRead(const char* path)
{
    m_path = path;
    m_native = record_native_path(path);
    if (m_native.empty()) {
        errno = ENOENT; // a path no file here can have (not CP932, or empty)
        return OpenStatus::Missing;
    }
    m_fd = open_regular(m_native, O_RDONLY);
    if (m_fd < 0)
        return OpenStatus::Missing;
    return read_area(m_fd, m_area) ? OpenStatus::Ok : OpenStatus::Damaged;
}

OpenStatus RecordFile::openUpdate(const char* path, const char* unit, bool create)
{
    m_path = path;
    m_native = record_native_path(path);
    if (m_native.empty()) {
        errno = EINVAL;
        return OpenStatus::Missing;
    }
    // A change left half-done earlier is finished before anything is changed again.
    if (!session_ready_for_change(m_native)) {
        // Still told apart from a damaged file, which no run writes either.
        m_fd = open_regular(m_native, O_RDONLY);
        return m_fd >= 0 && !read_area(m_fd, m_area) ? OpenStatus::Damaged : OpenStatus::ReadOnly;
    }
    for (int attempt = 0; attempt < 2 && m_fd < 0; ++attempt) {
        m_fd = open_regular(m_native, O_RDWR);
        // Only a file that is not there is made; one that fails to open still holds records.
        if (m_fd < 0 && (errno != ENOENT || !create || (!create_empty(m_native) && errno != EEXIST)))
            return OpenStatus::Missing;
    }
    if (m_fd < 0)
        return OpenStatus::Missing;
    if (!read_area(m_fd, m_area))
        return OpenStatus::Damaged;
    struct stat st;
    if (fc::fstat(m_fd, st) && (st.st_mode & 077) != 0 && fchmod(m_fd, 0600) == 0)
        private_mode(unit, path, st.st_mode);
    return OpenStatus::Ok;
}

bool RecordFile::readBlock(int64_t index, CatgRecord& scrambled) const
{
    if (index < 0 || index >= m_area.blocks)
        return false;
    if (!m_area.sealed)
        return fc::pread_all(m_fd, &scrambled, sizeof scrambled, m_area.start + index * RECORD_SIZE);
    unsigned char sealed[SEALED_BLOCK_SIZE];
    return fc::pread_all(m_fd, sealed, sizeof sealed, sealed_block_offset(m_area, index)) &&
           open_sealed_block(index, sealed, scrambled, false);
}

bool RecordFile::readEntry(int slot, KindHeader& scrambled) const
{
    if (slot < 0 || slot >= m_area.count)
        return false;
    if (!m_area.sealed)
        return fc::pread_all(m_fd, &scrambled, sizeof scrambled, COUNT_SIZE + slot * HEADER_SIZE);
    unsigned char sealed[SEALED_ENTRY_SIZE];
    return fc::pread_all(m_fd, sealed, sizeof sealed, SEALED_PROLOGUE_SIZE + slot * SEALED_ENTRY_SIZE) &&
           open_sealed_entry(slot, m_area.count, sealed, scrambled);
}

ByteChange RecordFile::blockChange(int64_t index, const CatgRecord& scrambled) const
{
    if (!m_area.sealed)
        return {m_area.start + index * RECORD_SIZE,
                std::string(reinterpret_cast<const char*>(&scrambled), sizeof scrambled)};
    unsigned char old[SEALED_BLOCK_SIZE];
    const int64_t offset = sealed_block_offset(m_area, index);
    // A block that cannot be read is not sealed afresh: the change fails (empty bytes).
    if (index < m_area.blocks && !fc::pread_all(m_fd, old, sizeof old, offset))
        return {offset, std::string()};
    return {offset, seal_block(index, scrambled, index < m_area.blocks ? old : nullptr)};
}

JournalResult RecordFile::apply(const std::vector<ByteChange>& changes)
{
    for (const ByteChange& change : changes)
        if (change.bytes.empty())
            return JournalResult::Failed;
    const JournalResult result = apply_changes(
        m_fd, m_native, [this] { return journal_places(m_native, false); }, changes,
        [this](const std::vector<ByteChange>& overwritten) {
            session_back_up_before_change(m_path, m_native, m_fd, &overwritten);
        });
    if (result == JournalResult::Undecided)
        session_change_pending();
    noteChanges(changes, result);
    if (result == JournalResult::Done)
        read_area(m_fd, m_area);
    return result;
}

void RecordFile::noteChanges(const std::vector<ByteChange>& changes, JournalResult result) const
{
    if (result == JournalResult::Unchanged || result == JournalResult::Failed)
        return; // the file is as it was
    if (result != JournalResult::Done) {
        note_file_change(m_native, -1); // old or new: whoever keeps part of it reads it again
        return;
    }
    const int64_t block = m_area.sealed ? SEALED_BLOCK_SIZE : RECORD_SIZE;
    for (const ByteChange& change : changes) {
        if (change.offset < m_area.start) // the header: no block changed, unless the count did
            continue;
        const int64_t end = change.offset + static_cast<int64_t>(change.bytes.size());
        for (int64_t index = (change.offset - m_area.start) / block; m_area.start + index * block < end; ++index)
            note_file_change(m_native, index);
    }
}

SaveResult write_header(const char* path, const std::string& windows_header, const char* unit)
{
    RecordFile old;
    const OpenStatus status = old.openUpdate(path, unit, false);
    const int openError = errno;
    // A protected file (or a new one in a protected run) takes the header sealed.
    const bool sealed = status == OpenStatus::Ok ? old.area().sealed : data_key::loaded();
    const std::string header = sealed ? sealed_header(windows_header, &old) : windows_header;
    if (header.empty())
        return SaveResult::NotSaved;
    errno = openError;
    switch (status) {
    case OpenStatus::Ok:
        break;
    case OpenStatus::Missing:
        // Only a file that is not there may become the header alone; one
        // that exists but cannot be opened still holds records.
        if (errno != ENOENT || old.native().empty())
            return SaveResult::NotSaved;
        return create_whole(old.native(),
                            [&header](int fd) { return fc::write_all(fd, header.data(), header.size()); });
    default:
        return SaveResult::NotSaved;
    }
    int32_t count = 0;
    memcpy(&count, windows_header.data(), sizeof count);
    // The same count leaves every block where it is: the entries change in place.
    if (count == old.area().count)
        return save_result(old.apply({ByteChange{0, header}}));
    return replace_whole(old, path, unit, [&old, &header](int fd) {
        return fc::write_all(fd, header.data(), header.size()) &&
               fc::copy_bytes(old.fd(), old.area().start, fd, static_cast<off_t>(header.size()),
                              block_bytes(old.area()));
    });
}

SaveResult replace_record_file(const char* path, const char* unit, const ImageFill& fill)
{
    RecordFile old;
    switch (old.openUpdate(path, unit, false)) {
    case OpenStatus::Ok:
        return replace_whole(old, path, unit, fill);
    case OpenStatus::Missing:
        return errno == ENOENT && !old.native().empty() ? create_whole(old.native(), fill) : SaveResult::NotSaved;
    default:
        return SaveResult::NotSaved;
    }
}

bool trace_lines_on()
{
    // The log facility's own rule: 0 is off, 1 lets error lines only through.
    // One byte more than the read may fill, so that the value always ends.
    char value[513] = {};
    if (sub_regread("log_type", value, sizeof value - 1) != 0)
        return false;
    const long type = strtol(value, nullptr, 10);
    return type != 0 && type != 1;
}

void log_damaged(const char* source, int line, const char* path)
{
    logputd(0, source, line, "Data File (%s) is damaged\n", path);
}

void log_write_error(const char* source, int line, const char* path)
{
    logputd(0, source, line, "Data File (%s) write error\n", path);
}
