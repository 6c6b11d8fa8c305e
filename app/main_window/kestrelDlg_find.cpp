// Find (Ctrl+F) and find next (F3): store the pane as every command does,
// search every live record's name and data text in one pass over the record
// file, and show the match with the text selected in the pane: in the list
// shown when it holds the record, else under "(ALL)".
#include "app/main_window/kestrelDlg.h"

#include "app/dialogs/FindDlg.h"
#include "app/dialogs/FindResultsDlg.h"
#include "app/main_window/data_pane.h"
#include "app/main_window/record_find.h"
#include "app/main_window/record_list.h"
#include "app/widgets/list_item.h"
#include "app/widgets/message_box.h"
#include "app/widgets/text_edge.h"

#include "commons/commons.h"
#include "store/app_config.h"
#include "store/record_file.h"

#include <QListWidget>
#include <QSignalBlocker>

#include <algorithm>
#include <vector>

namespace {

// The log carries the main window's unit name, whichever file runs the command.
const char* const kUnit = "kestrelDlg.cpp";

// The row whose item data is `data`; -1 when there is none.
int row_of(const QListWidget* list, int data)
{
    for (int row = 0; row < list->count(); ++row)
        if (item_data(list, row) == data)
            return row;
    return -1;
}

// The first hit after the selected record in the record list's order, from
// the top again after the last one.
const FindHit& next_hit_after_selected(const std::vector<FindHit>& hits, const RecordList* records)
{
    const int current = records->selectedRow();
    if (current < 0)
        return hits.front();
    std::string name;
    to_cp932(records->text(current), name);
    return next_hit(g_app_config.datafile, hits, name, records->recordIndex(current));
}

} // namespace

void kestrelDlg::onFind(bool next)
{
    sub_check_update(1);
    if (!next || m_findText.isEmpty()) {
        FindDlg find;
        find.m_text = m_findText;
        find.exec();
        if (find.m_result != 1)
            return;
        m_findText = find.m_text;
        next = false;
    }

    std::vector<FindHit> hits;
    if (!find_records(g_app_config.datafile, m_findText, hits, m_listIndex.order(g_app_config.datafile))) {
        logputd(0, kUnit, __LINE__, "Datafile (%s) Open error\n", g_app_config.datafile);
        MessageBox::message(QStringLiteral("データファイルを読めませんでした"));
        return;
    }
    logputd(1, kUnit, __LINE__, "Find: %d records hold the text\n", static_cast<int>(hits.size()));
    if (hits.empty()) {
        MessageBox::message(QStringLiteral("見つかりませんでした"));
        return;
    }

    const FindHit* chosen = &hits.front();
    if (next) {
        chosen = &next_hit_after_selected(hits, m_list2);
    } else if (hits.size() > 1) {
        FindResultsDlg results(hits);
        results.exec();
        if (results.m_result != 1)
            return;
        chosen = &hits[static_cast<size_t>(results.m_choice)];
    }

    // Under "(ALL)" every hit is listed, whatever its category; a record the
    // list shows already needs no refill.
    const int all = row_of(m_list1, KIND_ALL);
    if (m_list2->rowOf(chosen->index) < 0 && all >= 0 && selected_row(m_list1) != all)
        m_list1->setCurrentRow(all); // refills the record list
    const int row = m_list2->rowOf(chosen->index);
    if (row < 0)
        return;
    {
        // Selected again, so that the pane opens even when the row stayed selected.
        const QSignalBlocker quiet(m_list2);
        m_list2->clearSelection();
    }
    m_list2->setCurrentRow(row);
    m_list2->scrollToRow(row);
    if (!m_edit1->isEnabled())
        return;
    if (chosen->start >= 0 && chosen->start + chosen->length < m_edit1->document()->characterCount()) {
        QTextCursor cursor = m_edit1->textCursor();
        cursor.setPosition(chosen->start);
        cursor.setPosition(chosen->start + chosen->length, QTextCursor::KeepAnchor);
        m_edit1->setTextCursor(cursor);
    }
    m_edit1->setFocus();
}
