// Moves one record to another category, chosen from the categories of
// KindTable. The dialog stores the change itself.
#pragma once

#include <QDialog>

class QListWidget;

class CatgChangeDlg : public QDialog
{
    Q_OBJECT

public:
    CatgChangeDlg();

    int exec() override;
    void accept() override;

    // Record index of the record to move; set before the dialog runs.
    int m_index = -1;
    // One row per category; a row's item data is its KindTable slot.
    QListWidget* m_list;
};
