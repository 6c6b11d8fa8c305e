#include "store/record_search.h"

#include "store/file/record_io.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

namespace {

// A text field of a still scrambled block, unscrambled only up to its
// terminator (a scrambled 0 is 0xFF): a search passes every block of the file,
// and most of a data field lies behind its text. Cut at the field's size when
// it holds no terminator.
void field_text_scrambled(const char* field, int size, char* out)
{
    const void* end = memchr(field, 0xFF, static_cast<size_t>(size));
    const size_t length = end ? static_cast<size_t>(static_cast<const char*>(end) - field) : static_cast<size_t>(size);
    memcpy(out, field, length);
    unscramble_block(out, static_cast<int>(length));
    out[length] = '\0';
}

} // namespace

namespace {

// Below this many blocks per part a file is walked by one thread.
constexpr int64_t PART_FROM_BLOCKS = 4096;

// The live records of record indices first up to end.
int walk_part(const RecordFile& file, int64_t first, int64_t end, const std::function<void(const LiveRecord&)>& visit)
{
    BlockWalk walk = file.walk(false, first, end);
    int live = 0;
    char name[NAME_SIZE + 1];
    char data[DATA_SIZE + 1];
    while (const CatgRecord* block = walk.next()) {
        int32_t head[2]; // flag, catg_kind
        memcpy(head, block, sizeof head);
        unscramble_block(head, sizeof head);
        if (head[0] != 1)
            continue;
        field_text_scrambled(block->name, NAME_SIZE, name);
        field_text_scrambled(block->data, DATA_SIZE, data);
        visit({static_cast<int>(walk.index()), head[1], name, data});
        ++live;
    }
    return live;
}

} // namespace

int walk_live_records(const char* path, const std::function<void(const LiveRecord&)>& visit)
{
    int walked = 0;
    return walk_live_records(path, 1, walked, [&visit](int, const LiveRecord& record) { visit(record); });
}

int walk_live_records(const char* path, int parts, int& walked,
                      const std::function<void(int part, const LiveRecord&)>& visit)
{
    RecordFile file;
    if (file.openRead(path) != OpenStatus::Ok)
        return -1;
    const int64_t blocks = file.area().blocks;
    walked = static_cast<int>(std::clamp<int64_t>(blocks / PART_FROM_BLOCKS, 1, std::max(parts, 1)));
    std::vector<int> live(static_cast<size_t>(walked), 0);
    std::vector<std::thread> others;
    for (int part = 0; part < walked; ++part) {
        const int64_t first = blocks * part / walked;
        const int64_t end = blocks * (part + 1) / walked;
        auto run = [&, part, first, end] {
            live[static_cast<size_t>(part)] =
                walk_part(file, first, end, [&visit, part](const LiveRecord& record) { visit(part, record); });
        };
        if (part + 1 < walked)
            others.emplace_back(run);
        else
            run(); // the last part on this thread
    }
    for (std::thread& other : others)
        other.join();
    int total = 0;
    for (int count : live)
        total += count;
    return total;
}
