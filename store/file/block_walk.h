// Walks the record area of an opened record file block by block, without
// copying it: read-only memory maps of the file, a window of blocks at a
// time, so that a walk that looks only at the blocks' heads (the list fills,
// the purge, the free-block scan) touches only the pages that hold them, and
// the pages a walk has passed leave the process (its memory stays that of one
// window, whatever the file's size). Where the file cannot be mapped, a batch
// of blocks is read per system call instead, starting small for a walk that
// stops early and growing to 32 blocks (148 KB).
#pragma once

#include "store/record_file.h"

#include <memory>

// Where the records of an opened record file lie.
struct RecordArea
{
    int32_t count = 0;  // header count N read from offset 0
    int64_t start = 0;  // offset of record index 0
    int64_t blocks = 0; // whole record blocks; a partial last block is not counted
    int64_t size = 0;   // the file's size
    // The protected form (protected_form.h): blocks are opened as they are read.
    bool sealed = false;
};

class SealedBlocks;

class BlockWalk
{
public:
    static constexpr int FIRST_BATCH_BLOCKS = 8;
    static constexpr int MAX_BATCH_BLOCKS = 32;

    // With `heads_only`, a protected file's blocks come without their data
    // text. The walk covers record indices first up to (not including) end.
    BlockWalk(int fd, const RecordArea& area, bool heads_only = false, int64_t first = 0, int64_t end = INT64_MAX);
    ~BlockWalk();
    BlockWalk(BlockWalk&& other) noexcept;
    BlockWalk(const BlockWalk&) = delete;
    BlockWalk& operator=(const BlockWalk&) = delete;
    BlockWalk& operator=(BlockWalk&&) = delete;

    // The next block, still scrambled, valid until the walk moves on; null at
    // the end of the area or when a read fails (failed() tells which).
    const CatgRecord* next();
    // Record index of the block that next() returned last.
    int64_t index() const { return m_next - 1; }
    bool failed() const { return m_failed; }

private:
    bool fill();
    bool mapWindow();
    void unmapWindow();

    int m_fd;
    RecordArea m_area;
    bool m_mapping = false;      // reading through maps
    const char* m_map = nullptr; // the window mapped now
    size_t m_mapSize = 0;
    int64_t m_mapFrom = 0; // file offset of m_map
    std::unique_ptr<CatgRecord[]> m_batch;
    int64_t m_batchFirst = 0; // record index of m_batch[0]
    int m_batchCount = 0;
    int m_batchSize = FIRST_BATCH_BLOCKS; // blocks the next fill reads
    int64_t m_next = 0;                   // record index that next() returns
    bool m_failed = false;
    std::shared_ptr<SealedBlocks> m_sealed;
};
