// Gives record cursel a new name in place; its category and text stay.
#include "commons/commons.h"
#include "platform/cp932.h"
#include "store/app_config.h"
#include "store/file/protected_form.h"
#include "store/record_ops.h"
#include "store/rewrite_record.h"

int sub_change_datafile(int cursel, const char* name)
{
    logputd(1, __FILE_NAME__, 37, "Data change name cursel=%d, name=(%s)\n", cursel, log_text(name));
    return rewrite_record(__FILE_NAME__, 47, g_app_config.datafile, cursel,
                          [name](CatgRecord& record) { cp932::copy_cut(record.name, sizeof record.name, name); });
}
