// The category editor (unit kindedt): the categories of KindTable in a list,
// with add, rename and delete. Each row keeps its category's slot position.
#pragma once

#include <QDialog>

class QListWidget;
class QPushButton;

// Adds a row at its sorted place that keeps `slot` as its item data.
void add_slot_row(QListWidget* list, const char* name, int slot);
// Empties the list and adds a row for every category in use, slot 0 first.
void fill_slot_list(QListWidget* list);

class KindEditDlg : public QDialog
{
    Q_OBJECT

public:
    KindEditDlg();

    int exec() override;

    QListWidget* m_list;

    QPushButton* addButton() const { return m_add; }
    QPushButton* renameButton() const { return m_rename; }
    QPushButton* deleteButton() const { return m_delete; }

private:
    void onAdd();
    void onRename();
    void onDelete();

    QPushButton* m_add;
    QPushButton* m_rename;
    QPushButton* m_delete;
};
