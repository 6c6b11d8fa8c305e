#include "store/record_search.h"

#include "store/record_file.h"

int walk_live_records(const char* path, const std::function<void(const LiveRecord&)>& visit)
{
    RecordReader reader(path);
    if (!reader.isOpen())
        return -1;
    CatgRecord record;
    int index = 0;
    int live = 0;
    // Fields without a terminator are cut at their size, never read past.
    char name[NAME_SIZE + 1];
    char data[DATA_SIZE + 1];
    while (reader.next(record, index)) {
        if (record.flag != 1)
            continue;
        field_text(record.name, NAME_SIZE, name);
        field_text(record.data, DATA_SIZE, data);
        visit({index, record.catg_kind, name, data});
        ++live;
    }
    return live;
}
