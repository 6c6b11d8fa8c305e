#include "list_item.h"

#include <QListWidget>

ListItem::ListItem(const QString& text, int data) : QListWidgetItem(text)
{
    setData(Qt::UserRole, data);
}

bool ListItem::operator<(const QListWidgetItem& other) const
{
    return list_text_less(text(), other.text());
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

int selected_row(const QListWidget* list)
{
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}
