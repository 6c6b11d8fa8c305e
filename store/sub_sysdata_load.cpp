// Fills KindTable from the record file's category headers at start-up.
#include "commons/commons.h"
#include "platform/cp932.h"
#include "store/app_config.h"
#include "store/kind_table.h"
#include "store/record_area.h"
#include "store/sysdata.h"

#include <cstring>

int sub_sysdata_load()
{
    memset(KindTable, 0, sizeof KindTable);
    const char* path = g_app_config.datafile;
    FILE* file = nullptr;
    RecordArea area;
    switch (open_record_file(path, "rb", file, area)) {
    case OpenStatus::Missing:
        logputd(0, __FILE_NAME__, 43, "Data File (%s) Open Error\n", path);
        return -1;
    case OpenStatus::Damaged:
        // Nothing of a damaged file is taken: the run starts with an empty table.
        log_damaged(__FILE_NAME__, __LINE__, path);
        return -1;
    case OpenStatus::Ok:
        break;
    }
    for (int i = 0; i < area.count; ++i) {
        KindHeader header;
        if (fread(&header, sizeof header, 1, file) != 1) {
            memset(KindTable, 0, sizeof KindTable);
            fclose(file);
            log_damaged(__FILE_NAME__, __LINE__, path);
            return -1;
        }
        unscramble_block(&header, sizeof header);
        KindSlot& slot = KindTable[i];
        cp932::copy_cut(slot.name, sizeof slot.name, header.name);
        slot.kind_id = header.kind_id;
        slot.in_use = 1;
        logputd(1, __FILE_NAME__, 58, "Data Loaded %d = (%s) \n", slot.kind_id, slot.name);
    }
    fclose(file);
    return 0;
}
