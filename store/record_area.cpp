#include "store/record_area.h"

#include "commons/commons.h"
#include "store/file_calls.h"
#include "store/record_journal.h"
#include "store/run_backup.h"
#include "store/side_files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Opens a regular file without waiting on a FIFO or a device.
FILE* open_regular(const std::string& native, int flags, const char* mode)
{
    const int fd = fc::open(native.c_str(), flags | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        errno = EINVAL;
        return nullptr;
    }
    FILE* file = fdopen(fd, mode);
    if (!file)
        close(fd);
    return file;
}

// Creates a missing record file holding a zero header count. It is written
// and synced under a temporary name first and then linked into place, so a
// crash never leaves a record file without its count; link() fails with
// EEXIST when another process created the file first.
bool create_empty(const std::string& native)
{
    std::string temp = beside(native, ".XXXXXX");
    const int fd = fc::make_temp(temp);
    if (fd < 0)
        return false;
    const unsigned char zero[COUNT_SIZE] = {};
    bool ok = fchmod(fd, 0600) == 0 && fc::pwrite_all(fd, zero, sizeof zero, 0) && fc::datasync(fd);
    close(fd);
    const bool written = ok;
    ok = ok && fc::link(temp.c_str(), native.c_str());
    int error = errno;
    ::unlink(temp.c_str());
    if (written && !ok && (error == EPERM || error == ENOTSUP || error == EOPNOTSUPP)) {
        // A file system without hard links: created exclusively in place instead.
        const int direct = fc::open(native.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOCTTY, 0600);
        ok = direct >= 0 && fc::pwrite_all(direct, zero, sizeof zero, 0) && fc::datasync(direct);
        error = errno;
        if (direct >= 0)
            close(direct);
    }
    if (ok)
        fc::sync_folder_of(native);
    errno = error;
    return ok;
}

} // namespace

bool read_record_area(FILE* file, RecordArea& area)
{
    struct stat st;
    if (fstat(fileno(file), &st) != 0)
        return false;
    unsigned char raw[COUNT_SIZE];
    if (st.st_size < COUNT_SIZE || pread(fileno(file), raw, sizeof raw, 0) != sizeof raw)
        return false;
    const int32_t count =
        static_cast<int32_t>(static_cast<uint32_t>(raw[0]) | static_cast<uint32_t>(raw[1]) << 8 |
                             static_cast<uint32_t>(raw[2]) << 16 | static_cast<uint32_t>(raw[3]) << 24);
    if (count < 0 || count > KIND_MAX)
        return false;
    const int64_t start = record_offset(count, 0);
    if (st.st_size < start)
        return false;
    area.count = count;
    area.start = start;
    area.blocks = (st.st_size - start) / RECORD_SIZE;
    area.size = st.st_size;
    // Readers that go on with stdio start behind the count.
    return fseeko(file, COUNT_SIZE, SEEK_SET) == 0;
}

OpenStatus open_record_file(const char* path, const char* mode, FILE*& file, RecordArea& area)
{
    const std::string native = record_native_path(path);
    const bool update = strcmp(mode, "rb+") == 0;
    // A change left half-done by an earlier failure is undone before anything is changed again.
    if (update && !native.empty() && recovery_pending() && !recover_record_file(native)) {
        file = nullptr;
        errno = EIO;
        return OpenStatus::Missing;
    }
    file = native.empty() ? nullptr : open_regular(native, update ? O_RDWR : O_RDONLY, mode);
    if (!file) {
        if (native.empty())
            errno = EINVAL;
        return OpenStatus::Missing;
    }
    if (!read_record_area(file, area)) {
        fclose(file);
        file = nullptr;
        return OpenStatus::Damaged;
    }
    if (update)
        back_up_before_change(path, native, file);
    return OpenStatus::Ok;
}

OpenStatus open_for_update(const char* source, const char* path, FILE*& file, RecordArea& area)
{
    const std::string native = record_native_path(path);
    if (native.empty()) {
        errno = EINVAL;
        return OpenStatus::Missing;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        const OpenStatus status = open_record_file(path, "rb+", file, area);
        if (status == OpenStatus::Ok)
            make_private(source, __LINE__, path, fileno(file));
        // Only a file that is not there is made; one that fails to open still holds records.
        if (status != OpenStatus::Missing || errno != ENOENT)
            return status;
        if (!create_empty(native) && errno != EEXIST)
            return OpenStatus::Missing;
    }
    return OpenStatus::Missing;
}

mode_t private_mode(const char* source, int line, const char* path, mode_t mode)
{
    mode &= 07777;
    if ((mode & 077) == 0)
        return mode;
    logputd(1, source, line, "Data File (%s) was mode %04o, made 0600\n", path, static_cast<unsigned>(mode));
    return 0600;
}

void make_private(const char* source, int line, const char* path, int fd)
{
    struct stat st;
    if (fstat(fd, &st) == 0 && (st.st_mode & 077) != 0 && fchmod(fd, 0600) == 0)
        private_mode(source, line, path, st.st_mode);
}

bool read_block_at(FILE* file, int64_t offset, CatgRecord& plain)
{
    if (pread(fileno(file), &plain, sizeof plain, offset) != static_cast<ssize_t>(sizeof plain))
        return false;
    unscramble_block(&plain, sizeof plain);
    return true;
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

int rewrite_record(const char* source, int open_line, const char* path, int index,
                   const std::function<void(CatgRecord&)>& change)
{
    FILE* file = nullptr;
    RecordArea area;
    switch (open_for_update(source, path, file, area)) {
    case OpenStatus::Missing:
        logputd(0, source, open_line, "Data File (%s) Open Error\n", path);
        return -1;
    case OpenStatus::Damaged:
        log_damaged(source, open_line, path);
        return -1;
    case OpenStatus::Ok:
        break;
    }
    const int64_t offset = area.start + static_cast<int64_t>(index) * RECORD_SIZE;
    CatgRecord old;
    // An index outside the record area is never written: no block of unread memory reaches the file.
    if (index < 0 || index >= area.blocks || pread(fileno(file), &old, sizeof old, offset) != sizeof old) {
        fclose(file);
        return -1;
    }
    auto block = std::make_shared<CatgRecord>(old);
    unscramble_block(block.get(), sizeof *block);
    change(*block);
    scramble_block(block.get(), sizeof *block);
    BlockJournal journal(fileno(file), record_native_path(path));
    const bool written = journal.add(offset, &old, block) && journal.commit();
    fclose(file); // synced already: a failing close loses nothing
    if (!written) {
        log_write_error(source, open_line, path);
        return -1;
    }
    return 0;
}
