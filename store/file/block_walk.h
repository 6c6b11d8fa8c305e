// Walks the record area of an opened record file block by block, without
// copying it: a read-only memory map of the file, so that a walk that looks
// only at the blocks' heads (the list fills, the purge, the free-block scan)
// touches only the pages that hold them. Where the file cannot be mapped, a
// batch of blocks is read per system call instead, starting small for a walk
// that stops early and growing to 32 blocks (148 KB).
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
};

class BlockWalk
{
public:
    static constexpr int FIRST_BATCH_BLOCKS = 8;
    static constexpr int MAX_BATCH_BLOCKS = 32;

    BlockWalk(int fd, const RecordArea& area);
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

    int m_fd;
    RecordArea m_area;
    const char* m_map = nullptr; // the whole file, when mapped
    std::unique_ptr<CatgRecord[]> m_batch;
    int64_t m_batchFirst = 0; // record index of m_batch[0]
    int m_batchCount = 0;
    int m_batchSize = FIRST_BATCH_BLOCKS; // blocks the next fill reads
    int64_t m_next = 0;                   // record index that next() returns
    bool m_failed = false;
};
