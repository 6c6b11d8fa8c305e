// The record file's journal: a change in place is whole or absent, also when
// the process dies or the machine loses power half-way, and a journal never
// writes over a file it does not describe.
//
// On disk (integers little-endian, as the record file's):
//   header   JournalHeader, 64 bytes
//   body     Blocks: per change, a JournalEntry, the old bytes (oldLength),
//            then one 64-bit hash per 512-byte piece of the file that the
//            new bytes touch (of the new bytes inside that piece).
//            Image: a JournalImage, the image's path, then one 64-bit hash
//            per 512-byte piece of the old file.
//
// The rules, which every writer and recovery keep:
//  1. A journal counts only when its header hash and body hash hold
//     ("sealed"). The sealing write, its sync and the sync of the journal's
//     folder entry all come before the first byte written to the record file.
//  2. While a sealed journal exists, each piece of the record file that it
//     names holds its old bytes or its new bytes (a write in flight tears a
//     file at piece boundaries, never inside a 512-byte piece).
//  3. A journal is spent (its magic zeroed) only after what it protects is
//     durable. A spent journal is removed, or its spending synced, before the
//     record file is replaced by a rename.
//  4. Recovery writes only over a file whose every named piece holds old or
//     new bytes (or, for an image, the old file's or the image's). A journal
//     that meets anything else describes another file: it is set aside and
//     the file is left as it is.
//  5. Recovery that meets a failure stops without changing more and keeps
//     its journal sealed; the next recovery makes the same decision again.
//  6. An image named by a sealed journal is removed only after the journal
//     is spent and that is synced.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr int64_t JOURNAL_PIECE = 512;

struct JournalHeader
{
    char magic[8];
    uint32_t kind; // 1: blocks changed in place; 2: a complete image copied in place
    uint32_t pieceSize;
    int64_t sizeBefore;
    int64_t sizeAfter;
    uint64_t entries;
    uint64_t bodyLength;
    uint64_t bodyHash;
    uint64_t headerHash; // of the bytes above
};
static_assert(sizeof(JournalHeader) == 64);

struct JournalEntry
{
    int64_t offset;
    uint32_t oldLength; // the bytes there before; fewer than newLength at the end of the file
    uint32_t newLength;
};
static_assert(sizeof(JournalEntry) == 16);

struct JournalImage
{
    uint64_t pathLength;
    int64_t imageSize;
    uint64_t imageHash; // of the whole image
    int64_t oldSize;
};
static_assert(sizeof(JournalImage) == 32);

// One range of the record file and the bytes it is to hold.
struct ByteChange
{
    int64_t offset;
    std::string bytes;
};

// How a change or a recovery ended.
enum class JournalResult {
    Unchanged,  // every range already held its new bytes: nothing was written
    Done,       // the change is durable
    Failed,     // the record file is as it was before (at once or through its journal)
    Pending,    // half-done, journal kept: recovery finishes it at the next start
    Undecided,  // failed, and so did undoing it: the next start keeps it whole or undoes it
    RolledBack, // recovery: an incomplete change was undone
    SetAside,   // recovery: the journal did not describe the file; moved aside, file untouched
    NotOurs,    // recovery: a journal that is not ours stands there; nothing read or written
};

// Changes the record file at native path `record`, open for update as `fd`,
// whole or not at all, under a journal in the first place that can hold one
// (`places` gives them, asked only when something is to be written).
// `before_write` runs once, before anything is written, when some range does
// not hold its bytes yet, with the bytes the change will overwrite.
using BeforeWrite = std::function<void(const std::vector<ByteChange>& overwritten)>;
JournalResult apply_changes(int fd, const std::string& record, const std::function<std::vector<std::string>()>& places,
                            const std::vector<ByteChange>& changes, const BeforeWrite& before_write);

// Copies the complete, synced image at `image` (`imageSize` bytes) over the
// record file in place, under a journal naming it. Failed: the old file is
// in place; Pending: neither, and recovery completes the copy; Undecided: the
// journal could be neither completed nor given up (keep the image).
JournalResult copy_image_in_place(int fd, const std::string& record, const std::vector<std::string>& places,
                                  const std::string& image, int64_t imageSize);

// Applies the journal at `journal` to the record file at `record`, if it is
// sealed: keeps a complete change, rolls back an incomplete one, completes an
// image copy. `image_ok` says whether an image path is one of ours.
// None (returned as Unchanged): nothing sealed there.
JournalResult recover_journal(const std::string& journal, const std::string& record,
                              bool (*image_ok)(const std::string& image, const std::string& record));

// Where a journal that did not match was moved.
std::string set_aside_path(const std::string& journal);
