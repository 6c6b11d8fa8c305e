#include "store/file/block_walk.h"

#include "platform/file_calls.h"

namespace {

// Below this the batch buffer is as cheap as a map and needs no page-table work.
constexpr int64_t MAP_FROM_BLOCKS = 64;

} // namespace

BlockWalk::BlockWalk(int fd, const RecordArea& area) : m_fd(fd), m_area(area)
{
    if (m_area.blocks >= MAP_FROM_BLOCKS)
        m_map = static_cast<const char*>(fc::map_read(fd, static_cast<size_t>(m_area.size)));
    if (!m_map)
        m_batch.reset(new CatgRecord[MAX_BATCH_BLOCKS]);
}

BlockWalk::BlockWalk(BlockWalk&& other) noexcept
    : m_fd(other.m_fd), m_area(other.m_area), m_map(other.m_map), m_batch(std::move(other.m_batch)),
      m_batchFirst(other.m_batchFirst), m_batchCount(other.m_batchCount), m_batchSize(other.m_batchSize),
      m_next(other.m_next), m_failed(other.m_failed)
{
    other.m_map = nullptr;
}

BlockWalk::~BlockWalk()
{
    if (m_map)
        fc::unmap(m_map, static_cast<size_t>(m_area.size));
}

const CatgRecord* BlockWalk::next()
{
    if (m_failed || m_next >= m_area.blocks)
        return nullptr;
    if (m_map)
        return reinterpret_cast<const CatgRecord*>(m_map + m_area.start + m_next++ * RECORD_SIZE);
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
