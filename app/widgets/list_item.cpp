#include "app/widgets/list_item.h"

#include "platform/list_order.h"

#include <QKeyEvent>
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

namespace {

class SortedList : public QListWidget
{
public:
    using QListWidget::QListWidget;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        QListWidget::keyPressEvent(event);
        select_moved_to(this, event);
    }
};

// The height of one row: every row is one line of the list's font.
int row_height(const QListView* list)
{
    QListWidget probe;
    probe.setFont(list->font());
    probe.addItem(QStringLiteral("Ag"));
    return probe.sizeHintForRow(0);
}

} // namespace

void set_list_look(QListView* list)
{
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setTextElideMode(Qt::ElideNone);
    // Every row is one line of the list's font: the list takes the first
    // row's size for all instead of measuring each row after every refill.
    list->setUniformItemSizes(true);
}

void keep_whole_rows(QListView* list)
{
    const int frame = list->frameWidth();
    const int row = row_height(list);
    const int inside = list->height() - 2 * frame;
    if (row > 0 && inside > row)
        list->resize(list->width(), inside / row * row + 2 * frame);
}

void select_moved_to(QAbstractItemView* list, const QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        break;
    default:
        return;
    }
    if (event->modifiers() & ~Qt::KeypadModifier)
        return;
    const QModelIndex caret = list->currentIndex();
    if (caret.isValid() && !list->selectionModel()->isSelected(caret))
        list->selectionModel()->select(caret, QItemSelectionModel::ClearAndSelect);
}

QListWidget* new_sorted_list(QWidget* parent)
{
    auto* list = new SortedList(parent);
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
