#include "app/dialogs/FindResultsDlg.h"

#include "app/widgets/dialog_units.h"
#include "app/widgets/message_box.h"
#include "app/widgets/text_edge.h"

#include "store/app_config.h"
#include "store/kind_table.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeView>

#include <map>

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

// The hits as rows of three columns. The texts of the rows on screen are
// read from the record file and kept while they may be painted again.
class HitModel : public QAbstractTableModel
{
public:
    HitModel(const std::vector<FindHit>& hits, QObject* parent) : QAbstractTableModel(parent), m_hits(hits) {}

    int rowCount(const QModelIndex& parent) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_hits.size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 3; }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        const FindHit& hit = m_hits[static_cast<size_t>(index.row())];
        if (index.column() == 1)
            return category_name(hit.kind);
        const Texts& texts = textsOf(index.row());
        return index.column() == 0 ? texts.name : texts.line;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        static const char16_t* const titles[] = {u"レコード", u"カテゴリ", u"データ"};
        return QString::fromUtf16(titles[section]);
    }

private:
    struct Texts
    {
        QString name;
        QString line;
    };

    const Texts& textsOf(int row) const
    {
        if (m_cache.size() > 512)
            m_cache.clear(); // a screenful at a time is all that is painted
        auto found = m_cache.find(row);
        if (found == m_cache.end()) {
            Texts texts;
            hit_texts(g_app_config.datafile, m_hits[static_cast<size_t>(row)], texts.name, texts.line);
            found = m_cache.emplace(row, std::move(texts)).first;
        }
        return found->second;
    }

    const std::vector<FindHit>& m_hits;
    mutable std::map<int, Texts> m_cache;
};

} // namespace

FindResultsDlg::FindResultsDlg(const std::vector<FindHit>& hits)
{
    const QFont font = dialog_font(10);
    setFont(font);
    setWindowTitle(QStringLiteral("検索結果"));
    const DialogUnits units(font);
    setFixedSize(units.size(300, 160));

    m_list = new QTreeView(this);
    units.place(m_list, 7, 7, 286, 122);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The hits come in the record list's order; a row's position is the hit's.
    m_list->setModel(new HitModel(hits, m_list));
    m_list->setColumnWidth(0, units.size(80, 0).width());
    m_list->setColumnWidth(1, units.size(60, 0).width());
    if (!hits.empty())
        m_list->setCurrentIndex(m_list->model()->index(0, 0));
    connect(m_list, &QTreeView::doubleClicked, this, &FindResultsDlg::accept);

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
    const QModelIndexList selected = m_list->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        MessageBox::message(QStringLiteral("レコードを選択してください"));
        return;
    }
    m_choice = selected.first().row();
    m_result = 1;
    QDialog::accept();
}

void FindResultsDlg::reject()
{
    m_result = 0;
    QDialog::reject();
}
