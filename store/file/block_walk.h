// Walks the record area of an opened record file block by block, reading a
// batch of blocks per system call straight into its own buffer. The batches
// start small, for a walk that stops early (a free block near the start),
// and grow to 32 blocks (148 KB), for a walk over the whole file: few calls,
// and a buffer that stays in the processor cache while it is read.
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

    // With `heads_only`, a protected file's blocks come without their data text.
    BlockWalk(int fd, const RecordArea& area, bool heads_only = false);

    // The next block, still scrambled; null at the end of the area or when a
    // read fails (failed() tells which).
    CatgRecord* next();
    // Record index of the block that next() returned last.
    int64_t index() const { return m_next - 1; }
    bool failed() const { return m_failed; }

private:
    bool fill();

    int m_fd;
    RecordArea m_area;
    std::unique_ptr<CatgRecord[]> m_batch;
    int64_t m_batchFirst = 0; // record index of m_batch[0]
    int m_batchCount = 0;
    int m_batchSize = FIRST_BATCH_BLOCKS; // blocks the next fill reads
    int64_t m_next = 0;                   // record index that next() returns
    bool m_failed = false;
    std::shared_ptr<SealedBlocks> m_sealed;
};
