// The record file's journal: a change in place is whole or absent, also when
// the process dies or the machine loses power half-way.
//
// A block change first writes the old bytes of every block it touches, with
// their offsets and a checksum of their new bytes, into the journal and syncs
// it; then it writes the blocks in place and syncs the record file. Whoever
// finds a whole journal later (the next operation, or the next start) keeps
// the change when every block already holds its new bytes, and otherwise
// writes the old bytes back. A save that cannot replace the record file by a
// rename journals the other way round: the journal names the complete new
// image, which is copied over the file again until the copy is whole.
#pragma once

#include "store/record_file.h"

#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

class BlockJournal
{
public:
    // `fd`: the record file, open for update, at native path `record`.
    BlockJournal(int fd, std::string record);
    ~BlockJournal();
    BlockJournal(const BlockJournal&) = delete;
    BlockJournal& operator=(const BlockJournal&) = delete;

    // The block at `offset` becomes `scrambled`. `old` is the block's present
    // (scrambled) content, null for a block behind the end of the file.
    bool add(int64_t offset, const CatgRecord* old, std::shared_ptr<const CatgRecord> scrambled);
    // Journals, writes and syncs every added block. On failure the record file
    // is as it was before (rolled back at once, or by whoever finds the journal).
    bool commit();

private:
    bool openJournal();
    bool flushBody();

    int m_fd;
    std::string m_record;
    struct stat m_stat
    {
    };
    bool m_statOk = false;
    std::string m_journal;
    int m_journalFd = -1;
    bool m_created = false;
    std::vector<char> m_body; // entries not yet written to the journal
    int64_t m_bodyWritten = 0;
    uint64_t m_bodyHash;
    int64_t m_sizeAfter = 0;
    uint64_t m_count = 0;
    struct Change
    {
        int64_t offset;
        std::shared_ptr<const CatgRecord> block;
    };
    std::vector<Change> m_changes;
};

// Replaces the record file's bytes in place by the complete image at native
// path `image` (synced by the caller) under a journal that names it, so that
// an interrupted copy is done again. The image is removed afterwards.
bool copy_image_in_place(int fd, const std::string& record, const std::string& image, int64_t imageSize);

// Brings the record file at native path `record` back to a whole state from
// any journal of it, and removes left-over images of earlier saves. False
// when a journal was found that could not be applied (the record file must
// not be used then).
bool recover_record_file(const std::string& record);
// True once a change failed half-way and could not be rolled back at once.
bool recovery_pending();

// Removes the record file's journals at the end of a run.
void remove_journals(const std::string& record);
