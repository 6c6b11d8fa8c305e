// Writes the category table into the record file at the end of a run (and
// when the category editor closes): the header built from KindTable in front
// of every record block of the file, which keep their order. Only what
// differs is written, whole or not at all.
#include "commons/commons.h"
#include "platform/cp932.h"
#include "store/app_config.h"
#include "store/file/protected_form.h"
#include "store/file/record_io.h"
#include "store/file/record_session.h"
#include "store/kind_table.h"
#include "store/sysdata.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace {

// The count and the category headers as the save writes them; the exit
// save's trace lines when `log` is set.
std::string header_bytes(bool log)
{
    if (log)
        logputd(1, __FILE_NAME__, 64, "Header check loop start\n");
    int32_t count = 0;
    for (const KindSlot& slot : KindTable)
        count += slot.in_use == 1 ? 1 : 0;
    if (log)
        logputd(1, __FILE_NAME__, 75, "Header count = %d\n", count);
    const auto value = static_cast<uint32_t>(count);
    const unsigned char raw[COUNT_SIZE] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                           static_cast<unsigned char>(value >> 16),
                                           static_cast<unsigned char>(value >> 24)};
    std::string bytes(reinterpret_cast<const char*>(raw), sizeof raw);
    for (const KindSlot& slot : KindTable) {
        if (slot.in_use != 1)
            continue;
        KindHeader header{};
        header.kind_id = slot.kind_id;
        cp932::copy_cut(header.name, sizeof header.name, slot.name);
        if (log)
            logputd(1, __FILE_NAME__, 97, "Saving Data id=%d, name=(%s)\n", header.kind_id, log_text(header.name));
        scramble_block(&header, sizeof header);
        bytes.append(reinterpret_cast<const char*>(&header), sizeof header);
    }
    return bytes;
}

// The trace line of every block, as the save passes it; blocks are decoded only for it.
bool log_blocks(const RecordFile& old)
{
    logputd(1, __FILE_NAME__, 111, "Skip Loop Start\n");
    if (!trace_lines_on())
        return true;
    // Names and texts of a protected file are not logged: its heads give the categories.
    BlockWalk walk = old.walk(data_key::loaded());
    char name[NAME_SIZE + 1];
    char data[DATA_SIZE + 1];
    while (const CatgRecord* scrambled = walk.next()) {
        CatgRecord block = *scrambled;
        unscramble_block(&block, sizeof block);
        field_text(block.name, NAME_SIZE, name);
        field_text(block.data, DATA_SIZE, data);
        logputd(1, __FILE_NAME__, 124, "Category id=%d, name=(%s), data=(%s)\n", block.catg_kind, log_text(name),
                log_text(data));
    }
    return !walk.failed();
}

} // namespace

int sub_sysdata_save()
{
    const char* path = g_app_config.datafile;
    RecordFile old;
    switch (old.openRead(path)) {
    case OpenStatus::Missing: {
        const int openError = errno;
        logputd(1, __FILE_NAME__, 49, "Could not open Data File (%s)\n", path);
        // Only a file that is not there may be replaced by the header alone;
        // one that exists but cannot be read still holds records.
        if (openError != ENOENT)
            return -1;
        break;
    }
    case OpenStatus::Damaged:
    case OpenStatus::ReadOnly:
        log_damaged(__FILE_NAME__, __LINE__, path);
        return -1;
    case OpenStatus::Ok:
        break;
    }
    const std::string header = header_bytes(true);
    logputd(1, __FILE_NAME__, 107, "Skip Check Start\n");
    // A read that ends early is an error, not the end: nothing is written then.
    const bool walked = old.fd() < 0 || log_blocks(old);
    logputd(1, __FILE_NAME__, 133, "Create Data Done. Rewinding Data\n");
    const SaveResult result =
        walked && !session_read_only() ? write_header(path, header, __FILE_NAME__) : SaveResult::NotSaved;
    if (result != SaveResult::Saved && result != SaveResult::Unchanged) {
        logputd(1, __FILE_NAME__, 139, "Data File (%s) open error\n", path);
        return -1;
    }
    return 0;
}

SaveResult store_category_header()
{
    if (session_read_only())
        return SaveResult::NotSaved;
    return write_header(g_app_config.datafile, header_bytes(false), __FILE_NAME__);
}

std::vector<CategoryChange> unsaved_category_changes()
{
    std::vector<CategoryChange> changes;
    std::vector<KindHeader> inFile;
    RecordFile file;
    if (file.openRead(g_app_config.datafile) == OpenStatus::Ok) {
        inFile.resize(static_cast<size_t>(file.area().count));
        for (size_t i = 0; i < inFile.size(); ++i)
            if (file.readEntry(static_cast<int>(i), inFile[i]))
                unscramble_block(&inFile[i], sizeof inFile[i]);
            else
                inFile[i] = KindHeader{};
    }
    char name[NAME_SIZE + 1];
    for (const KindSlot& slot : KindTable) {
        if (slot.in_use != 1)
            continue;
        const KindHeader* same = nullptr;
        for (const KindHeader& h : inFile)
            if (h.kind_id == slot.kind_id)
                same = &h;
        field_text(slot.name, NAME_SIZE, name);
        if (!same)
            changes.push_back({CategoryChange::Added, name});
        else if (strncmp(same->name, slot.name, NAME_SIZE) != 0)
            changes.push_back({CategoryChange::Renamed, name});
    }
    for (const KindHeader& h : inFile) {
        bool kept = false;
        for (const KindSlot& slot : KindTable)
            kept = kept || (slot.in_use == 1 && slot.kind_id == h.kind_id);
        if (!kept && h.kind_id != 0) {
            field_text(h.name, NAME_SIZE, name);
            changes.push_back({CategoryChange::Deleted, name});
        }
    }
    return changes;
}
