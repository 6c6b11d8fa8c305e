// The record file module's interface: the units of the record store open,
// read, walk, change and replace the record file only through here, and
// write their own log lines. Its safety (the lock, recovery, the journal, the
// backups, the save's image) lives behind it in store/file/.
#pragma once

#include "store/file/block_walk.h"
#include "store/file/change_log.h"
#include "store/file/journal.h"
#include "store/record_file.h"

#include <functional>
#include <string>
#include <vector>

// Missing: the file could not be opened (errno tells why: ENOENT when it is
// not there). Damaged: shorter than 4 bytes, a count outside 0..KIND_MAX, or
// shorter than its header. ReadOnly: this run does not write the file.
enum class OpenStatus { Ok, Missing, Damaged, ReadOnly };

class RecordFile
{
public:
    RecordFile() = default;
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // For reading; never created. Anything but a regular file (a FIFO, a
    // device, a folder) is Missing with errno EINVAL.
    OpenStatus openRead(const char* path);
    // For update, as every record operation: only a file that is not there
    // (ENOENT) is created, exclusively, holding a zero header count, and
    // only when `create` is set. A file that group or others can read is made
    // 0600 (a normal line of the unit `unit`).
    OpenStatus openUpdate(const char* path, const char* unit, bool create = true);

    const RecordArea& area() const { return m_area; }
    int fd() const { return m_fd; }
    const std::string& native() const { return m_native; }

    // Blocks and entries come and go in the Windows form's scrambled bytes
    // whatever the form on disk; a protected file's are opened and sealed here.
    // Block `index` (scrambled); false outside the record area, on a read
    // error, or when a protected block does not open.
    bool readBlock(int64_t index, CatgRecord& scrambled) const;
    // Header entry `slot` (scrambled); false as readBlock.
    bool readEntry(int slot, KindHeader& scrambled) const;
    // The change that makes block `index` hold `scrambled`.
    ByteChange blockChange(int64_t index, const CatgRecord& scrambled) const;
    // The record area's blocks in file order, from record index first up to
    // end; `heads_only`: the walk needs no data text.
    BlockWalk walk(bool heads_only = false, int64_t first = 0, int64_t end = INT64_MAX) const
    {
        return BlockWalk(m_fd, m_area, heads_only, first, end);
    }
    // Writes the ranges whole or not at all, journaled and synced; the
    // run's first change backs the file up first. Unchanged when they held
    // their bytes already.
    JournalResult apply(const std::vector<ByteChange>& changes);

private:
    void noteChanges(const std::vector<ByteChange>& changes, JournalResult result) const;

    int m_fd = -1;
    const char* m_path = nullptr;
    std::string m_native;
    RecordArea m_area;
};

// The category header as the save writes it: the count, then each entry.
enum class SaveResult {
    Unchanged, // the file held that header already: nothing written
    Saved,     // the file holds it now, durably
    NotSaved,  // the old file is in place
    Pending,   // the new file is half copied in place; the next start completes it
    Undecided, // the disk failed even the undoing: the next start finds the old file or the new
};
// Puts `windows_header` (count and scrambled entries; sealed here for a
// protected file) in front of the record file's blocks.
// Where the count is the file's own, the entries change in place under the
// journal; otherwise a new image replaces the file (renamed over it, or
// copied over it in place where a rename would not keep it as it is). A
// missing file (ENOENT) becomes the header alone. `unit` names the caller
// in a line about the file's mode.
SaveResult write_header(const char* path, const std::string& windows_header, const char* unit);

// Writes a complete record file to the open, empty image `fd`.
using ImageFill = std::function<bool(int fd)>;
// Replaces the record file whole by the image `fill` writes (an import, a
// backup put back, a change of form), the same way as the save: backed up
// first, renamed over it or copied over it in place; a missing file is
// created. A damaged file or a read-only run is NotSaved.
SaveResult replace_record_file(const char* path, const char* unit, const ImageFill& fill);

// The error line of a damaged record file, for the unit `source`.
void log_damaged(const char* source, int line, const char* path);
// The error line of a failed write, for the unit `source`.
void log_write_error(const char* source, int line, const char* path);
// True when the log settings let normal lines through. The loops over every
// block ask once per call, so that with trace off a block is not decoded only
// to build a line that is never written.
bool trace_lines_on();
