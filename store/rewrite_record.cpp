#include "store/rewrite_record.h"

#include "commons/commons.h"
#include "store/file/record_io.h"

int rewrite_record(const char* source, int open_line, const char* path, int index,
                   const std::function<void(CatgRecord&)>& change)
{
    RecordFile file;
    switch (file.openUpdate(path, source)) {
    case OpenStatus::Missing:
        logputd(0, source, open_line, "Data File (%s) Open Error\n", path);
        return -1;
    case OpenStatus::Damaged:
        log_damaged(source, open_line, path);
        return -1;
    case OpenStatus::ReadOnly:
        log_write_error(source, open_line, path);
        return -1;
    case OpenStatus::Ok:
        break;
    }
    CatgRecord block;
    // An index outside the record area is never written: no block of unread memory reaches the file.
    if (!file.readBlock(index, block))
        return -1;
    unscramble_block(&block, sizeof block);
    change(block);
    scramble_block(&block, sizeof block);
    const JournalResult result = file.apply({file.blockChange(index, block)});
    if (result != JournalResult::Done && result != JournalResult::Unchanged) {
        log_write_error(source, open_line, path);
        return -1;
    }
    return 0;
}
