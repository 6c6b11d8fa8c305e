#include "record_list.h"

#include "list_item.h"

#include <QAbstractListModel>

#include <algorithm>
#include <utility>

class RecordList::Rows : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(rows.size());
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= static_cast<int>(rows.size()))
            return {};
        const Row& row = rows[static_cast<size_t>(index.row())];
        if (role == Qt::DisplayRole)
            return row.text;
        if (role == Qt::UserRole)
            return row.index;
        return {};
    }

    void replace(std::vector<Row> replacement)
    {
        beginResetModel();
        rows = std::move(replacement);
        endResetModel();
    }

    int insertSorted(const QString& text, int index)
    {
        const auto at = std::lower_bound(rows.begin(), rows.end(), text, [](const Row& row, const QString& key) {
            return list_text_less(row.text, key);
        });
        const int row = static_cast<int>(at - rows.begin());
        beginInsertRows(QModelIndex(), row, row);
        rows.insert(at, Row{text, index});
        endInsertRows();
        return row;
    }

    std::vector<Row> rows;
};

RecordList::RecordList(QWidget* parent) : QListView(parent), m_rows(new Rows(this))
{
    setModel(m_rows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Every row is one line of the list's font: the view takes the first
    // row's size for all instead of measuring each row after every refill.
    setUniformItemSizes(true);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &RecordList::rowSelectionChanged);
    connect(this, &QAbstractItemView::pressed, this,
            [this](const QModelIndex& index) { emit rowPressed(index.row()); });
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { emit rowDoubleClicked(index.row()); });
}

int RecordList::count() const
{
    return static_cast<int>(m_rows->rows.size());
}

QString RecordList::text(int row) const
{
    return row >= 0 && row < count() ? m_rows->rows[static_cast<size_t>(row)].text : QString();
}

int RecordList::recordIndex(int row) const
{
    return row >= 0 && row < count() ? m_rows->rows[static_cast<size_t>(row)].index : -1;
}

int RecordList::rowOf(int recordIndex) const
{
    const auto& rows = m_rows->rows;
    const auto at =
        std::find_if(rows.begin(), rows.end(), [recordIndex](const Row& row) { return row.index == recordIndex; });
    return at == rows.end() ? -1 : static_cast<int>(at - rows.begin());
}

int RecordList::selectedRow() const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

int RecordList::currentRow() const
{
    return currentIndex().row();
}

void RecordList::setCurrentRow(int row)
{
    selectionModel()->setCurrentIndex(m_rows->index(row), QItemSelectionModel::ClearAndSelect);
}

void RecordList::scrollToRow(int row)
{
    scrollTo(m_rows->index(row));
}

QRect RecordList::rowRect(int row) const
{
    return visualRect(m_rows->index(row));
}

void RecordList::setRows(std::vector<Row> rows)
{
    m_rows->replace(std::move(rows));
}

void RecordList::clear()
{
    m_rows->replace({});
}

int RecordList::addSorted(const QString& text, int index)
{
    return m_rows->insertSorted(text, index);
}
