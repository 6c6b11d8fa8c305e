#include "store/file/block_walk.h"

#include "platform/file_calls.h"
#include "store/file/protected_form.h"

BlockWalk::BlockWalk(int fd, const RecordArea& area, bool heads_only)
    : m_fd(fd), m_area(area), m_batch(new CatgRecord[MAX_BATCH_BLOCKS]),
      m_sealed(area.sealed ? std::make_shared<SealedBlocks>(fd, area, heads_only) : nullptr)
{
}

CatgRecord* BlockWalk::next()
{
    if (m_sealed) {
        CatgRecord* block = m_sealed->next();
        m_next = m_sealed->index() + 1;
        m_failed = m_sealed->failed();
        return block;
    }
    if (m_failed || m_next >= m_area.blocks)
        return nullptr;
    if (m_next >= m_batchFirst + m_batchCount && !fill())
        return nullptr;
    return &m_batch[m_next++ - m_batchFirst];
}

bool BlockWalk::fill()
{
    const int64_t left = m_area.blocks - m_next;
    const int count = left < m_batchSize ? static_cast<int>(left) : m_batchSize;
    // The size was checked at open: an early end means the file changed or failed under us.
    if (!fc::pread_all(m_fd, m_batch.get(), static_cast<size_t>(count) * RECORD_SIZE,
                       m_area.start + m_next * RECORD_SIZE)) {
        m_failed = true;
        return false;
    }
    m_batchFirst = m_next;
    m_batchCount = count;
    m_batchSize = m_batchSize * 2 < MAX_BATCH_BLOCKS ? m_batchSize * 2 : MAX_BATCH_BLOCKS;
    return true;
}
