#include "app/dialogs/KindEditDlg.h"

#include "app/dialogs/DataInputDlg.h"
#include "app/widgets/dialog_keys.h"
#include "app/widgets/dialog_units.h"
#include "app/widgets/list_item.h"
#include "app/widgets/message_box.h"
#include "app/widgets/text_edge.h"

#include "store/kind_table.h"
#include "store/kindedt.h"
#include "store/sysdata.h"

#include <QListWidget>
#include <QPushButton>

#include <cstring>

namespace {

const QString kSelectCategory = QStringLiteral("カテゴリを選択してください");

} // namespace

void add_slot_row(QListWidget* list, const char* name, int slot)
{
    add_sorted_row(list, from_cp932(name), slot);
}

void fill_slot_list(QListWidget* list)
{
    list->clear();
    for (int slot = 0; slot < KIND_MAX; ++slot) {
        if (KindTable[slot].in_use != 1)
            continue;
        char name[NAME_SIZE + 1];
        field_text(KindTable[slot].name, NAME_SIZE, name);
        add_slot_row(list, name, slot);
    }
}

KindEditDlg::KindEditDlg()
{
    const QFont font = dialog_font(9);
    setFont(font);
    setWindowTitle(QStringLiteral("ﾀﾞｲｱﾛｸﾞ"));
    const DialogUnits units(font);
    setFixedSize(units.size(187, 156));

    m_list = new_sorted_list(this);
    units.place(m_list, 7, 7, 173, 93);

    m_add = new QPushButton(QStringLiteral("追加"), this);
    units.place(m_add, 7, 109, 49, 12);
    connect(m_add, &QPushButton::clicked, this, &KindEditDlg::onAdd);

    m_rename = new QPushButton(QStringLiteral("変更"), this);
    units.place(m_rename, 68, 109, 49, 12);
    connect(m_rename, &QPushButton::clicked, this, &KindEditDlg::onRename);

    m_delete = new QPushButton(QStringLiteral("削除"), this);
    units.place(m_delete, 131, 109, 49, 12);
    connect(m_delete, &QPushButton::clicked, this, &KindEditDlg::onDelete);

    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    units.place(close, 67, 135, 50, 14);
    connect(close, &QPushButton::clicked, this, &KindEditDlg::accept);
    set_dialog_keys(this, {m_list, m_add, m_rename, m_delete, close}, close);
}

int KindEditDlg::exec()
{
    fill_slot_list(m_list);
    const int result = QDialog::exec();
    // The categories reach the file as the editor closes, so that a crash
    // later never leaves a deleted category's header without its records.
    switch (store_category_header()) {
    case SaveResult::NotSaved:
        MessageBox::message(
            QStringLiteral("カテゴリの変更をデータファイルに書き込めませんでした。終了時にもう一度書き込みます"));
        break;
    case SaveResult::Pending:
        MessageBox::message(QStringLiteral("カテゴリの変更の書き込みが途中で止まりました。次回の起動時に完了します"));
        break;
    case SaveResult::Undecided:
        MessageBox::message(QStringLiteral("カテゴリの変更の書き込みが途中で止まりました。次回の起動時に、"
                                           "変更前か変更後のどちらかにそろえます"));
        break;
    case SaveResult::Unchanged:
    case SaveResult::Saved:
        break;
    }
    return result;
}

void KindEditDlg::onAdd()
{
    DataInputDlg input;
    input.m_limit = NAME_SIZE - 1;
    input.exec();
    if (input.m_result != 1)
        return;
    const int slot = kindedt_add(input.m_text);
    if (slot < 0) {
        // The original dropped the name without a word; say why instead.
        MessageBox::message(QStringLiteral("これ以上カテゴリを追加できません"));
        return;
    }
    add_slot_row(m_list, input.m_text, slot);
}

void KindEditDlg::onRename()
{
    QListWidgetItem* row = selected_item(m_list);
    if (!row) {
        MessageBox::message(kSelectCategory);
        return;
    }
    const int slot = row->data(Qt::UserRole).toInt();
    DataInputDlg input;
    input.m_limit = NAME_SIZE - 1;
    field_text(KindTable[slot].name, NAME_SIZE - 1, input.m_text);
    input.exec();
    if (input.m_result != 1)
        return;
    kindedt_rename(slot, input.m_text);
    delete_row(row);
    add_slot_row(m_list, input.m_text, slot);
}

void KindEditDlg::onDelete()
{
    QListWidgetItem* row = selected_item(m_list);
    if (!row) {
        MessageBox::message(kSelectCategory);
        return;
    }
    if (!MessageBox::question(
            QStringLiteral("カテゴリとそのカテゴリに関連のあるデータを全て消去します。よろしいですか？")))
        return;
    const int slot = row->data(Qt::UserRole).toInt();
    if (kindedt_delete(slot) != 0) {
        MessageBox::message(QStringLiteral("カテゴリのデータを消去できませんでした"));
        return;
    }
    delete_row(row);
}
