#include "FindResultsDlg.h"

#include "dialog_units.h"
#include "message_box.h"
#include "text_edge.h"

#include "store/kind_table.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>

namespace {

// The name of the category `kind` in KindTable; empty for a record whose
// category no longer exists (it is listed under "(ALL)" only).
QString category_name(int32_t kind)
{
    char name[NAME_SIZE + 1];
    for (const KindSlot& slot : KindTable) {
        if (slot.in_use == 1 && slot.kind_id == kind) {
            field_text(slot.name, NAME_SIZE, name);
            return from_cp932(name);
        }
    }
    return QString();
}

} // namespace

FindResultsDlg::FindResultsDlg(const std::vector<FindHit>& hits)
{
    const QFont font = dialog_font(10);
    setFont(font);
    setWindowTitle(QStringLiteral("検索結果"));
    const DialogUnits units(font);
    setFixedSize(units.size(300, 160));

    m_list = new QTreeWidget(this);
    units.place(m_list, 7, 7, 286, 122);
    m_list->setColumnCount(3);
    m_list->setHeaderLabels({QStringLiteral("レコード"), QStringLiteral("カテゴリ"), QStringLiteral("データ")});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setColumnWidth(0, units.size(80, 0).width());
    m_list->setColumnWidth(1, units.size(60, 0).width());
    // The hits come in the record list's order; the row's item data is the hit.
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(hits.size()));
    for (size_t i = 0; i < hits.size(); ++i) {
        auto* row = new QTreeWidgetItem({hits[i].name, category_name(hits[i].kind), hits[i].line});
        row->setData(0, Qt::UserRole, static_cast<int>(i));
        rows << row;
    }
    m_list->addTopLevelItems(rows);
    if (!rows.isEmpty())
        m_list->setCurrentItem(rows.first());
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &FindResultsDlg::accept);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    units.place(ok, 76, 139, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &FindResultsDlg::accept);

    auto* cancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    units.place(cancel, 174, 139, 50, 14);
    connect(cancel, &QPushButton::clicked, this, &FindResultsDlg::reject);
    m_list->setFocus();
}

void FindResultsDlg::accept()
{
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty()) {
        MessageBox::message(QStringLiteral("レコードを選択してください"));
        return;
    }
    m_choice = selected.first()->data(0, Qt::UserRole).toInt();
    m_result = 1;
    QDialog::accept();
}

void FindResultsDlg::reject()
{
    m_result = 0;
    QDialog::reject();
}
