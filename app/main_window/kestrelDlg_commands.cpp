// The commands of the main window: add, rename and delete a record, move one
// to another category, and open the category editor, the settings and the
// About box. Each stores the pane's pending text first, runs one dialog or one
// record operation, and refills what it changed.
#include "app/main_window/kestrelDlg.h"

#include "app/dialogs/AboutDlg.h"
#include "app/dialogs/CatgChangeDlg.h"
#include "app/dialogs/DataInputDlg.h"
#include "app/dialogs/KindEditDlg.h"
#include "app/dialogs/optwin.h"
#include "app/main_window/record_list.h"
#include "app/widgets/list_item.h"
#include "app/widgets/message_box.h"
#include "app/widgets/text_edge.h"

#include "commons/commons.h"
#include "platform/cp932.h"
#include "store/app_config.h"
#include "store/record_file.h"
#include "store/record_ops.h"

#include <QListWidget>
#include <QSignalBlocker>

#include <string>

namespace {

// The log carries the main window's unit name, whichever file runs the command.
const char* const kUnit = "kestrelDlg.cpp";

// Log text is CP932: the Japanese lines are converted before they are written.
void log_normal(int line, const char* utf8)
{
    std::string text;
    cp932::from_utf8(utf8, text);
    logputd(1, kUnit, line, "%s", text.c_str());
}

// The selected record row; -1, after telling the user, when none is selected.
int selected_record_row(const RecordList* list)
{
    const int row = list->selectedRow();
    if (row < 0)
        MessageBox::message(QStringLiteral("レコードを選択してください"));
    return row;
}

} // namespace

void kestrelDlg::onAdd()
{
    log_normal(__LINE__, "＝＝＝＝＝m_list2：追加ボタン処理＝＝＝＝＝＝\n");
    sub_check_update(1);

    const int category = selected_row(m_list1);
    if (category < 0 || item_data(m_list1, category) == KIND_ALL) {
        MessageBox::message(QStringLiteral("(ALL)以外のカテゴリを選択してください"));
        return;
    }

    DataInputDlg input;
    input.m_limit = NAME_SIZE - 1;
    input.exec();
    if (input.m_result != 1)
        return;

    const int index = sub_add_datafile(item_data(m_list1, category), input.m_text);
    if (index < 0) {
        MessageBox::message(QStringLiteral("レコードを保存できませんでした"));
        return;
    }

    // Show the new row without selecting it: selecting would open the pane.
    const int row = addRecordRow(input.m_text, index);
    {
        const QSignalBlocker quiet(m_list2);
        m_list2->setCurrentRow(row);
        m_list2->scrollToRow(row);
        m_list2->clearSelection();
    }
    closePane();
}

void kestrelDlg::onRename()
{
    log_normal(__LINE__, "＝＝＝＝＝m_list2：変更ボタン処理＝＝＝＝＝＝\n");
    sub_check_update(1);

    const int row = selected_record_row(m_list2);
    if (row < 0)
        return;
    if (!MessageBox::question(QStringLiteral("レコード名を変更します。よろしいですか？")))
        return;

    const int index = m_list2->recordIndex(row);
    DataInputDlg input;
    input.m_limit = NAME_SIZE - 1;
    // The stored bytes, not the row's text: a name written elsewhere may hold
    // characters that do not convert back to the same bytes.
    CatgRecord record;
    if (read_record(g_app_config.datafile, index, record) == 0) {
        field_text(record.name, NAME_SIZE - 1, input.m_text);
    } else {
        std::string name;
        to_cp932(m_list2->text(row), name);
        cp932::copy_cut(input.m_text, NAME_SIZE, name.c_str());
    }
    input.exec();
    if (input.m_result != 1)
        return;

    if (sub_change_datafile(index, input.m_text) != 0)
        MessageBox::message(QStringLiteral("レコード名を変更できませんでした"));
    sub_redisplay_catg();
}

void kestrelDlg::onDelete()
{
    log_normal(__LINE__, "＝＝＝＝＝m_list2：削除ボタン処理＝＝＝＝＝＝\n");
    // Stored even when the record is about to go: a Cancel below keeps it.
    sub_check_update(1);

    const int row = selected_record_row(m_list2);
    if (row < 0)
        return;
    if (!MessageBox::question(QStringLiteral("レコードを削除します。よろしいですか？")))
        return;

    if (sub_delete_datafile(m_list2->recordIndex(row)) != 0)
        MessageBox::message(QStringLiteral("レコードを削除できませんでした"));
    sub_redisplay_catg();
}

void kestrelDlg::onChangeCategory()
{
    // The refill below would drop text typed and not yet stored: store it first.
    sub_check_update(1);

    const int row = selected_record_row(m_list2);
    if (row < 0)
        return;

    CatgChangeDlg change;
    change.m_index = m_list2->recordIndex(row);
    change.exec();
    sub_redisplay_catg();
}

void kestrelDlg::onKindEdit()
{
    sub_check_update(1);
    KindEditDlg editor;
    editor.exec();
    sub_redisplay_kind();
    sub_redisplay_catg();
}

void kestrelDlg::onSettings()
{
    if (!MessageBox::question(
            QStringLiteral("データファイルの設定を変更すると、現在編集中のデータは破棄されますが、よろしいですか？")))
        return;
    // From here on the category table is not written back at the end, even
    // when the settings dialog is cancelled.
    g_app_config.datafile_changed = 1;
    sub_check_update(1);

    SettingsDlg settings;
    settings.exec();
    if (settings.m_result != 1)
        return;
    MessageBox::message(QStringLiteral("設定を変更しましたので、起動しなおしてください"));
    endModal();
}

void kestrelDlg::onAbout()
{
    AboutDlg about;
    about.exec();
}
