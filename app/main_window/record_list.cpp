#include "app/main_window/record_list.h"

#include "app/widgets/list_item.h"
#include "app/widgets/text_edge.h"
#include "platform/list_order.h"

#include <QAbstractListModel>

#include <algorithm>
#include <cstring>
#include <utility>

std::string& RecordRows::own(std::shared_ptr<std::string>& shared)
{
    if (shared.use_count() > 1)
        shared = std::make_shared<std::string>(*shared);
    return *shared;
}

void RecordRows::add(const char* cp932, int index)
{
    std::string& own = ownNames();
    rows.push_back({static_cast<uint32_t>(own.size()), static_cast<uint32_t>(strlen(cp932)), index});
    own.append(cp932);
}

QString RecordRows::text(const Row& row) const
{
    return from_cp932(std::string(name(row)).c_str());
}

class RecordList::Rows : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(all.rows.size());
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= rowCount())
            return {};
        const RecordRows::Row& row = all.rows[static_cast<size_t>(index.row())];
        if (role == Qt::DisplayRole)
            return all.text(row);
        if (role == Qt::UserRole)
            return row.index;
        return {};
    }

    void replace(RecordRows replacement)
    {
        beginResetModel();
        all = std::move(replacement);
        endResetModel();
    }

    int insertSorted(const char* cp932, int index)
    {
        const std::string key = list_order::key_cp932(cp932);
        const auto at = std::lower_bound(all.rows.begin(), all.rows.end(), key,
                                         [this](const RecordRows::Row& row, const std::string& key) {
                                             return list_order::key_cp932(all.name(row)) < key;
                                         });
        const int row = static_cast<int>(at - all.rows.begin());
        beginInsertRows(QModelIndex(), row, row);
        std::string& names = all.ownNames();
        all.rows.insert(at, {static_cast<uint32_t>(names.size()), static_cast<uint32_t>(strlen(cp932)), index});
        names.append(cp932);
        endInsertRows();
        return row;
    }

    RecordRows all;
};

RecordList::RecordList(QWidget* parent) : QListView(parent), m_rows(new Rows(this))
{
    setModel(m_rows);
    set_list_look(this);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &RecordList::rowSelectionChanged);
    connect(this, &QAbstractItemView::pressed, this,
            [this](const QModelIndex& index) { emit rowPressed(index.row()); });
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { emit rowDoubleClicked(index.row()); });
}

int RecordList::count() const
{
    return m_rows->rowCount();
}

QString RecordList::text(int row) const
{
    return row >= 0 && row < count() ? m_rows->all.text(m_rows->all.rows[static_cast<size_t>(row)]) : QString();
}

int RecordList::recordIndex(int row) const
{
    return row >= 0 && row < count() ? m_rows->all.rows[static_cast<size_t>(row)].index : -1;
}

int RecordList::rowOf(int recordIndex) const
{
    const auto& rows = m_rows->all.rows;
    const auto at = std::find_if(rows.begin(), rows.end(),
                                 [recordIndex](const RecordRows::Row& row) { return row.index == recordIndex; });
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

void RecordList::setRows(RecordRows rows)
{
    m_rows->replace(std::move(rows));
}

void RecordList::clear()
{
    m_rows->replace({});
}

int RecordList::addSorted(const char* cp932, int index)
{
    return m_rows->insertSorted(cp932, index);
}

int RecordList::addSorted(const QString& text, int index)
{
    std::string cp932;
    to_cp932(text, cp932);
    return addSorted(cp932.c_str(), index);
}

void RecordList::keyPressEvent(QKeyEvent* event)
{
    QListView::keyPressEvent(event);
    select_moved_to(this, event);
}
