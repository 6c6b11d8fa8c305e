// Frees record cursel: an all-zero block that the next addition takes again.
#include "commons/commons.h"
#include "store/app_config.h"
#include "store/rewrite_record.h"
#include "store/record_ops.h"

#include <cstring>

int sub_delete_datafile(int cursel)
{
    logputd(1, __FILE_NAME__, 38, "Data delete cursel=%d\n", cursel);
    return rewrite_record(__FILE_NAME__, 48, g_app_config.datafile, cursel,
                          [](CatgRecord& record) { memset(&record, 0, sizeof record); });
}
