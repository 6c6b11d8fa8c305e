// Stores a new record in the first free block of the record file, or behind
// the last block when there is none.
#include "commons/commons.h"
#include "platform/cp932.h"
#include "store/app_config.h"
#include "store/file/protected_form.h"
#include "store/file/record_io.h"
#include "store/record_ops.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace {

// Every block before this one was live when the last addition looked: the
// next starts its search there (unless the trace lines want every block
// named). A block this run changed since lowers it; a file changed otherwise
// is searched from its first block again.
int64_t g_liveBefore = 0;
FileFollower g_followed;

int64_t first_maybe_free(const RecordFile& file)
{
    std::vector<int64_t> changed;
    if (!g_followed.follow(file.native(), file.fd(), changed))
        g_liveBefore = 0;
    for (int64_t index : changed)
        g_liveBefore = std::min(g_liveBefore, index);
    return g_liveBefore;
}

} // namespace

int sub_add_datafile(int curkind, const char* name)
{
    const char* path = g_app_config.datafile;
    logputd(1, __FILE_NAME__, 38, "Data ADD curkind=%d, name=(%s)\n", curkind, log_text(name));
    RecordFile file;
    switch (file.openUpdate(path, __FILE_NAME__)) {
    case OpenStatus::Missing:
        logputd(0, __FILE_NAME__, 48, "Data File (%s) open error\n", path);
        return -1;
    case OpenStatus::Damaged:
        log_damaged(__FILE_NAME__, 48, path);
        return -1;
    case OpenStatus::ReadOnly:
        log_write_error(__FILE_NAME__, 48, path);
        return -1;
    case OpenStatus::Ok:
        break;
    }
    const RecordArea& area = file.area();

    CatgRecord record;
    memset(&record, 0, sizeof record);
    record.flag = 1;
    record.catg_kind = curkind;
    cp932::copy_cut(record.name, sizeof record.name, name);
    logputd(1, __FILE_NAME__, 76, "Write Data kind=%d, name=(%s)\n", curkind, log_text(record.name));

    const bool trace = trace_lines_on();
    const int64_t from = first_maybe_free(file);
    bool found = false;
    BlockWalk walk = file.walk(true, trace ? 0 : from);
    while (const CatgRecord* scrambled = walk.next()) {
        const int n = static_cast<int>(walk.index());
        // The flag decides; the rest of the head is read and decoded only for
        // the trace line (copying it costs more than the walk itself).
        int32_t flag;
        memcpy(&flag, &scrambled->flag, sizeof flag);
        unscramble_block(&flag, sizeof flag);
        if (flag != 1) {
            logputd(1, __FILE_NAME__, 102, "Data Stored (UPDATE) ncnt=%d\n", n);
            found = true;
            break;
        }
        if (trace) {
            CatgRecord head;
            memcpy(&head, scrambled, offsetof(CatgRecord, data));
            unscramble_block(&head.catg_kind, sizeof head.catg_kind + sizeof head.name);
            char blockName[NAME_SIZE + 1];
            field_text(head.name, NAME_SIZE, blockName);
            logputd(1, __FILE_NAME__, 108, "SKIPPING %d, flag=%d, kind=%d, name=(%s)\n", n, flag, head.catg_kind,
                    log_text(blockName));
        }
    }
    // A failed read must not make the block behind it look like free space.
    if (walk.failed()) {
        logputd(0, __FILE_NAME__, __LINE__, "Data File (%s) read error\n", path);
        return -1;
    }
    const int64_t n = found ? walk.index() : area.blocks;
    g_liveBefore = n;
    logputd(1, __FILE_NAME__, 112, "Data Processed %d\n", static_cast<int>(n));
    // Without a free block the record goes to the first block boundary behind
    // the last whole block, over any partial block there.
    if (!found)
        logputd(1, __FILE_NAME__, 118, "Data Stored (ADD) ncnt=%d\n", static_cast<int>(n));
    scramble_block(&record, sizeof record);
    // Over a free block, over a partial block behind the last whole one, or at the end of the file.
    const JournalResult result = file.apply({file.blockChange(n, record)});
    if (result != JournalResult::Done && result != JournalResult::Unchanged) {
        log_write_error(__FILE_NAME__, __LINE__, path);
        return -1;
    }
    return static_cast<int>(n);
}
