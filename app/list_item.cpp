#include "list_item.h"

#include "platform/list_order.h"

#include <QListWidget>

// A row holds its text and item data alone: with a list of every record,
// each further string per row is memory and time. A single row placed later
// costs a few compares; a whole refill sorts by folded keys it makes once.
ListItem::ListItem(const QString& text, int data) : QListWidgetItem(text)
{
    setData(Qt::UserRole, data);
}

bool ListItem::operator<(const QListWidgetItem& other) const
{
    return list_order::compare(list_text(text()), list_text(other.text())) < 0;
}

std::string list_key(QStringView text)
{
    return list_order::key(list_text(text));
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

void set_list_look(QListView* list)
{
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Every row is one line of the list's font: the list takes the first
    // row's size for all instead of measuring each row after every refill.
    list->setUniformItemSizes(true);
}

QListWidget* new_sorted_list(QWidget* parent)
{
    auto* list = new QListWidget(parent);
    list->setSortingEnabled(true);
    set_list_look(list);
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
