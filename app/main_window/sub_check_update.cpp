#include "app/main_window/kestrelDlg.h"

#include "app/main_window/data_pane.h"
#include "app/main_window/record_list.h"
#include "app/widgets/message_box.h"

#include "commons/commons.h"
#include "store/app_config.h"
#include "store/record_ops.h"

#include <string>

namespace {

// Stores the pane's text into record `index`. Text the pane cannot hand back
// as CP932 is never stored in a changed form: the record keeps its text.
void store_pane(const DataPane* pane, int index)
{
    std::string text;
    if (!pane->storedText(text)) {
        logputd(0, __FILE_NAME__, __LINE__, "Data of record %d cannot be stored in CP932\n", index);
        return;
    }
    // The user must know that the text did not reach the file.
    if (sub_update_datafile(index, text.c_str(), -1) != 0)
        MessageBox::message(QStringLiteral("データを保存できませんでした"));
}

} // namespace

void kestrelDlg::sub_check_update(int mode)
{
    logputd(1, __FILE_NAME__, __LINE__, "sub_check_update(%d)\n", mode);
    if (!m_edit1->isEnabled())
        return;
    if (mode == 1) {
        const int row = m_list2->selectedRow();
        if (row < 0)
            return;
        store_pane(m_edit1, m_list2->recordIndex(row));
        closePane();
        return;
    }
    AppConfig& config = g_app_config;
    if (config.ncursel < 0)
        return;
    logputd(1, __FILE_NAME__, __LINE__, "Update Data Start. ncursel=%d\n", config.ncursel);
    store_pane(m_edit1, m_list2->recordIndex(config.ncursel));
}
