#include "app/dialogs/CatgChangeDlg.h"

#include "app/dialogs/KindEditDlg.h"
#include "app/widgets/dialog_keys.h"
#include "app/widgets/dialog_units.h"
#include "app/widgets/list_item.h"
#include "app/widgets/message_box.h"

#include "store/kind_table.h"
#include "store/record_ops.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

CatgChangeDlg::CatgChangeDlg()
{
    const QFont font = dialog_font(10);
    setFont(font);
    setWindowTitle(QStringLiteral("カテゴリの変更"));
    const DialogUnits units(font);
    setFixedSize(units.size(187, 138));

    auto* label = new QLabel(QStringLiteral("新しいカテゴリを選択してください"), this);
    units.place(label, 7, 7, 173, 11);

    m_list = new_sorted_list(this);
    units.place(m_list, 7, 26, 173, 76);
    keep_whole_rows(m_list);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    units.place(ok, 31, 117, 50, 14);
    connect(ok, &QPushButton::clicked, this, &CatgChangeDlg::accept);

    auto* cancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    units.place(cancel, 107, 117, 50, 14);
    connect(cancel, &QPushButton::clicked, this, &CatgChangeDlg::reject);
    set_dialog_keys(this, {label, m_list, ok, cancel}, ok);
}

int CatgChangeDlg::exec()
{
    // No row is preselected, not even the record's present category.
    fill_slot_list(m_list);
    m_list->setCurrentItem(nullptr);
    return QDialog::exec();
}

void CatgChangeDlg::accept()
{
    const QListWidgetItem* row = selected_item(m_list);
    if (!row) {
        MessageBox::message(QStringLiteral("カテゴリを選択してください"));
        return;
    }
    const int slot = row->data(Qt::UserRole).toInt();
    if (sub_update_datafile(m_index, nullptr, KindTable[slot].kind_id) != 0)
        MessageBox::message(QStringLiteral("レコードのカテゴリを変更できませんでした"));
    QDialog::accept();
}
