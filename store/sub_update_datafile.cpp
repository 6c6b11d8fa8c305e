// Replaces record cursel's data text and/or moves it to another category.
#include "commons/commons.h"
#include "platform/cp932.h"
#include "store/app_config.h"
#include "store/file/protected_form.h"
#include "store/record_ops.h"
#include "store/rewrite_record.h"

int sub_update_datafile(int cursel, const char* data, int kind)
{
    logputd(1, __FILE_NAME__, 38, "Data Update cursel=%d, data=(%s)\n", cursel, data ? log_text(data) : "(null)");
    return rewrite_record(__FILE_NAME__, 48, g_app_config.datafile, cursel, [data, kind](CatgRecord& record) {
        if (data)
            cp932::copy_cut(record.data, sizeof record.data, data);
        if (kind >= 0)
            record.catg_kind = kind;
    });
}
