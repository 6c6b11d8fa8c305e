// A row of a sorted list: the list places it by its text in the order of the
// platform's sorted list box (list_order), and the row's meaning is its item data.
#pragma once

#include <QListWidgetItem>

#include <string>
#include <string_view>

class QAbstractItemView;
class QKeyEvent;
class QListView;
class QListWidget;
class QWidget;

class ListItem : public QListWidgetItem
{
public:
    ListItem(const QString& text, int data);
    bool operator<(const QListWidgetItem& other) const override;
};

// A text as the list order takes it, and its sort key (compared bytewise).
inline std::u16string_view list_text(QStringView text)
{
    return {text.utf16(), static_cast<std::size_t>(text.size())};
}
std::string list_key(QStringView text);

// Single selection, rows of one height, a vertical scroll bar only when the
// rows need it and none across (a long text is cut at the list's edge), as
// every list of the windows has.
void set_list_look(QListView* list);
// A sorted list of that look, whose keys select as select_moved_to says.
QListWidget* new_sorted_list(QWidget* parent);
// Shortens a placed list to whole rows, as the platform does with a list box
// whose template does not ask for "no integral height".
void keep_whole_rows(QListView* list);
// After a key moved the caret (arrows, Home, End, Page Up and Down), selects
// the caret's row, also when the caret stood there unselected: the
// platform's list box selects the row it moves to and notifies as a click does.
void select_moved_to(QAbstractItemView* list, const QKeyEvent* event);
// The selected row's item; null when none is selected.
QListWidgetItem* selected_item(const QListWidget* list);

// Removes a row and leaves no row selected, as the platform's list box does;
// selecting a neighbour would let the next command act on a row never chosen.
void delete_row(QListWidgetItem* row);

// Item data of a row; -1 when the row does not exist or carries none.
int item_data(const QListWidget* list, int row);
// Adds a row at its sorted place and returns the row it got.
int add_sorted_row(QListWidget* list, const QString& text, int data);
// The selected row of a single-selection list; -1 when none is selected.
int selected_row(const QListWidget* list);
