#include "store/file/block_walk.h"

#include "platform/file_calls.h"
#include "store/file/protected_form.h"

#include <algorithm>

#include <unistd.h>

namespace {

// Below this the batch buffer is as cheap as a map and needs no page-table work.
constexpr int64_t MAP_FROM_BLOCKS = 64;
// Blocks of one map: 4.5 MB.
constexpr int64_t WINDOW_BLOCKS = 1024;

} // namespace

BlockWalk::BlockWalk(int fd, const RecordArea& area, bool heads_only, int64_t first, int64_t end)
    : m_fd(fd), m_area(area)
{
    m_area.blocks = std::min(area.blocks, end); // the walk's end stands for the area's
    m_next = m_batchFirst = std::clamp<int64_t>(first, 0, m_area.blocks);
    if (m_area.sealed) {
        m_sealed = std::make_shared<SealedBlocks>(fd, m_area, heads_only, m_next);
        return;
    }
    m_mapping = m_area.blocks - m_next >= MAP_FROM_BLOCKS && mapWindow();
    if (!m_mapping)
        m_batch.reset(new CatgRecord[MAX_BATCH_BLOCKS]);
}

BlockWalk::BlockWalk(BlockWalk&& other) noexcept
    : m_fd(other.m_fd), m_area(other.m_area), m_mapping(other.m_mapping), m_map(other.m_map),
      m_mapSize(other.m_mapSize), m_mapFrom(other.m_mapFrom), m_batch(std::move(other.m_batch)),
      m_batchFirst(other.m_batchFirst), m_batchCount(other.m_batchCount), m_batchSize(other.m_batchSize),
      m_next(other.m_next), m_failed(other.m_failed), m_sealed(std::move(other.m_sealed))
{
    other.m_map = nullptr;
}

BlockWalk::~BlockWalk()
{
    unmapWindow();
}

void BlockWalk::unmapWindow()
{
    if (m_map)
        fc::unmap(m_map, m_mapSize);
    m_map = nullptr;
}

// Maps the window that holds block m_next and the ones after it.
bool BlockWalk::mapWindow()
{
    unmapWindow();
    static const int64_t page = sysconf(_SC_PAGESIZE);
    const int64_t first = m_area.start + m_next * RECORD_SIZE;
    const int64_t last = m_area.start + std::min(m_area.blocks, m_next + WINDOW_BLOCKS) * RECORD_SIZE;
    m_mapFrom = first / page * page;
    m_mapSize = static_cast<size_t>(last - m_mapFrom);
    m_map = static_cast<const char*>(fc::map_read(m_fd, m_mapFrom, m_mapSize));
    m_batchFirst = m_next;
    m_batchCount = static_cast<int>(std::min(m_area.blocks, m_next + WINDOW_BLOCKS) - m_next);
    return m_map != nullptr;
}

const CatgRecord* BlockWalk::next()
{
    if (m_sealed) {
        const CatgRecord* block = m_sealed->next();
        m_next = m_sealed->index() + 1;
        m_failed = m_sealed->failed();
        return block;
    }
    if (m_failed || m_next >= m_area.blocks)
        return nullptr;
    if (m_mapping) {
        if (m_next >= m_batchFirst + m_batchCount && !mapWindow()) {
            m_failed = true;
            return nullptr;
        }
        return reinterpret_cast<const CatgRecord*>(m_map + (m_area.start + m_next++ * RECORD_SIZE - m_mapFrom));
    }
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
