// Fills KindTable from the record file's category headers at start-up.
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

int sub_sysdata_load()
{
    memset(KindTable, 0, sizeof KindTable);
    const char* path = g_app_config.datafile;
    RecordFile file;
    switch (file.openRead(path)) {
    case OpenStatus::Missing:
        // A file that is there but could not be read still has its categories:
        // this run must not write a header without them.
        if (errno != ENOENT)
            make_session_read_only();
        logputd(0, __FILE_NAME__, 43, "Data File (%s) Open Error\n", path);
        return -1;
    case OpenStatus::Damaged:
    case OpenStatus::ReadOnly:
        // Nothing of a damaged file is taken, and nothing is written to it.
        log_damaged(__FILE_NAME__, __LINE__, path);
        make_session_read_only();
        return -1;
    case OpenStatus::Ok:
        break;
    }
    for (int i = 0; i < file.area().count; ++i) {
        KindHeader header;
        if (!file.readEntry(i, header)) {
            // A protected entry that does not open is left out, and kept: no header is written this run.
            if (file.area().sealed && data_key::loaded()) {
                log_damaged(__FILE_NAME__, __LINE__, path);
                note_damaged_entry();
                continue;
            }
            memset(KindTable, 0, sizeof KindTable);
            logputd(0, __FILE_NAME__, 43, "Data File (%s) Open Error\n", path);
            make_session_read_only();
            return -1;
        }
        unscramble_block(&header, sizeof header);
        KindSlot& slot = KindTable[i];
        cp932::copy_cut(slot.name, sizeof slot.name, header.name);
        slot.kind_id = header.kind_id;
        slot.in_use = 1;
        logputd(1, __FILE_NAME__, 58, "Data Loaded %d = (%s) \n", slot.kind_id, log_text(slot.name));
    }
    return 0;
}
