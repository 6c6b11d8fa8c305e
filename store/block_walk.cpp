#include "store/block_walk.h"

#include <cerrno>
#include <unistd.h>

BlockWalk::BlockWalk(FILE* file, const RecordArea& area)
    : m_fd(fileno(file)), m_area(area), m_batch(new CatgRecord[MAX_BATCH_BLOCKS])
{
}

CatgRecord* BlockWalk::next()
{
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
    auto* bytes = reinterpret_cast<char*>(m_batch.get());
    const size_t wanted = static_cast<size_t>(count) * RECORD_SIZE;
    const off_t offset = m_area.start + m_next * RECORD_SIZE;
    size_t got = 0;
    while (got < wanted) {
        const ssize_t n = pread(m_fd, bytes + got, wanted - got, offset + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        // The size was checked at open: an early end means the file changed or failed under us.
        if (n <= 0) {
            m_failed = true;
            return false;
        }
        got += static_cast<size_t>(n);
    }
    m_batchFirst = m_next;
    m_batchCount = count;
    m_batchSize = m_batchSize * 2 < MAX_BATCH_BLOCKS ? m_batchSize * 2 : MAX_BATCH_BLOCKS;
    return true;
}
