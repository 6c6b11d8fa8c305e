// The category table changes of the category editor. Categories change in
// KindTable only; the record file is touched to make sure it exists and to
// free the records of a deleted category.
#include "store/kindedt.h"

#include "commons/commons.h"
#include "platform/cp932.h"
#include "store/app_config.h"
#include "store/file/protected_form.h"
#include "store/file/record_io.h"
#include "store/kind_table.h"

#include <cerrno>
#include <cstring>
#include <set>
#include <vector>

namespace {

// 10 x (slot + 1) unless a category or a live record already carries it
// (slots get packed by the next load, and records may carry ids whose header
// was never saved); then the lowest free multiple of 10.
int32_t new_kind_id(int slot)
{
    std::set<int32_t> used;
    for (const KindSlot& s : KindTable)
        if (s.in_use == 1)
            used.insert(s.kind_id);
    RecordReader reader(g_app_config.datafile);
    CatgRecord record;
    int index = 0;
    while (reader.next(record, index))
        if (record.flag == 1)
            used.insert(record.catg_kind);
    return kind_id_for_slot(slot, used);
}

void make_sure_file_exists()
{
    const char* path = g_app_config.datafile;
    RecordFile file;
    // Created only where it is missing; the category stays in the table either way.
    switch (file.openUpdate(path, __FILE_NAME__)) {
    case OpenStatus::Ok:
        break;
    case OpenStatus::Missing:
    case OpenStatus::ReadOnly:
        logputd(0, __FILE_NAME__, __LINE__, "Data File (%s) Open Error\n", path);
        break;
    case OpenStatus::Damaged:
        log_damaged(__FILE_NAME__, __LINE__, path);
        break;
    }
}

// 0 when every live record of the category is free now (or there is no file).
int purge_records(int32_t kind_id)
{
    const char* path = g_app_config.datafile;
    RecordFile file;
    // Never created here: without a file there is nothing to free.
    const OpenStatus status = file.openUpdate(path, __FILE_NAME__, false);
    if (status == OpenStatus::Missing && errno == ENOENT)
        return 0;
    if (status == OpenStatus::Damaged)
        log_damaged(__FILE_NAME__, __LINE__, path);
    else if (status != OpenStatus::Ok)
        logputd(0, __FILE_NAME__, __LINE__, "Data File (%s) Open Error\n", path);
    if (status != OpenStatus::Ok)
        return -1;
    // Every record of the category is freed in one journaled change: all or none.
    CatgRecord freed;
    memset(&freed, 0, sizeof freed);
    scramble_block(&freed, sizeof freed);
    std::vector<ByteChange> changes;
    BlockWalk walk = file.walk(true);
    while (const CatgRecord* block = walk.next()) {
        // Flag and category decide; the name is decoded only for a record that goes.
        int32_t head[2];
        memcpy(head, block, sizeof head);
        unscramble_block(head, sizeof head);
        if (head[0] != 1 || head[1] != kind_id)
            continue;
        char name[NAME_SIZE + 1];
        scrambled_field_text(block->name, NAME_SIZE, name);
        logputd(1, __FILE_NAME__, 211, "Purge kind=%d, name=(%s)\n", kind_id, log_text(name));
        changes.push_back(file.blockChange(walk.index(), freed));
    }
    const JournalResult result = walk.failed() ? JournalResult::Failed : file.apply(changes);
    const bool ok = result == JournalResult::Done || result == JournalResult::Unchanged;
    if (!ok)
        log_write_error(__FILE_NAME__, __LINE__, path);
    return ok ? 0 : -1;
}

} // namespace

int32_t kind_id_for_slot(int slot, const std::set<int32_t>& used)
{
    const int32_t preferred = 10 * (slot + 1);
    if (!used.contains(preferred))
        return preferred;
    int32_t id = 10;
    while (used.contains(id))
        id += 10;
    return id;
}

int kindedt_add(const char* name)
{
    int slot = -1;
    for (int i = 0; i < KIND_MAX && slot < 0; ++i)
        if (KindTable[i].in_use != 1)
            slot = i;
    if (slot >= 0) {
        KindSlot& s = KindTable[slot];
        s.kind_id = new_kind_id(slot);
        s.in_use = 1;
        memset(s.name, 0, sizeof s.name);
        cp932::copy_cut(s.name, sizeof s.name, name);
    }
    make_sure_file_exists();
    return slot;
}

void kindedt_rename(int slot, const char* name)
{
    if (slot < 0 || slot >= KIND_MAX || KindTable[slot].in_use != 1)
        return;
    cp932::copy_cut(KindTable[slot].name, sizeof KindTable[slot].name, name);
}

int kindedt_delete(int slot)
{
    if (slot < 0 || slot >= KIND_MAX || KindTable[slot].in_use != 1)
        return -1;
    const KindSlot kept = KindTable[slot];
    memset(&KindTable[slot], 0, sizeof KindTable[slot]);
    // A slot that somehow holds no id must not free the records of "category 0".
    if (kept.kind_id <= 0 || purge_records(kept.kind_id) == 0)
        return 0;
    // The records are still there: so is their category, nothing is half-deleted.
    KindTable[slot] = kept;
    return -1;
}
