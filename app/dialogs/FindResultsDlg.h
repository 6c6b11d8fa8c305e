// The records that a search found, one row each (record name, category name,
// the line that holds the text), in the record list's order; the user picks
// one. The rows are a view over the hits: a row's texts are read from the
// record file only when it is shown.
#pragma once

#include "app/main_window/record_find.h"

#include <QDialog>

#include <vector>

class QTreeView;

class FindResultsDlg : public QDialog
{
    Q_OBJECT

public:
    explicit FindResultsDlg(const std::vector<FindHit>& hits);

    void accept() override;
    void reject() override;

    // 1 after a row was chosen, 0 after any cancel.
    int m_result = 0;
    // The chosen hit's position in the hits given.
    int m_choice = -1;

    QTreeView* list() const { return m_list; }

private:
    QTreeView* m_list;
};
