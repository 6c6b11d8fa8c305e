#include "store/record_search.h"

#include "store/file/record_io.h"

#include <cstring>

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

int walk_live_records(const char* path, const std::function<void(const LiveRecord&)>& visit)
{
    RecordFile file;
    if (file.openRead(path) != OpenStatus::Ok)
        return -1;
    BlockWalk walk = file.walk();
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
