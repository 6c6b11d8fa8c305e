#include "list_item.h"

#include <QListWidget>

ListItem::ListItem(const QString& text, int data) : QListWidgetItem(text), m_sortKey(list_sort_key(text))
{
    setData(Qt::UserRole, data);
}

void ListItem::setData(int role, const QVariant& value)
{
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        m_sortKey = list_sort_key(value.toString());
    QListWidgetItem::setData(role, value);
}

bool ListItem::operator<(const QListWidgetItem& other) const
{
    if (const auto* row = dynamic_cast<const ListItem*>(&other))
        return m_sortKey < row->m_sortKey;
    return list_text_less(text(), other.text());
}

// The case-insensitive compare folds each character and compares the folded
// UTF-16 units; toCaseFolded folds every character that CP932 holds the same
// way, so a plain compare of the folded texts gives the same order.
QString list_sort_key(const QString& text)
{
    return text.toCaseFolded();
}

bool list_text_less(const QString& a, const QString& b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}

int item_data(const QListWidget* list, int row)
{
    const QListWidgetItem* item = row >= 0 ? list->item(row) : nullptr;
    if (!item)
        return -1;
    bool ok = false;
    const int data = item->data(Qt::UserRole).toInt(&ok);
    return ok ? data : -1;
}

int add_sorted_row(QListWidget* list, const QString& text, int data)
{
    auto* item = new ListItem(text, data);
    list->addItem(item);
    return list->row(item);
}

QListWidget* new_sorted_list(QWidget* parent)
{
    auto* list = new QListWidget(parent);
    list->setSortingEnabled(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return list;
}

QListWidgetItem* selected_item(const QListWidget* list)
{
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void delete_row(QListWidgetItem* row)
{
    if (QListWidget* list = row->listWidget())
        list->setCurrentItem(nullptr);
    delete row;
}

int selected_row(const QListWidget* list)
{
    const QListWidgetItem* item = selected_item(list);
    return item ? list->row(item) : -1;
}
