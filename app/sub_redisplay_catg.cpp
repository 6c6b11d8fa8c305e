#include "kestrelDlg.h"

#include "data_pane.h"
#include "list_item.h"
#include "text_edge.h"

#include "commons/commons.h"
#include "store/app_config.h"
#include "store/record_file.h"

#include <QListWidget>
#include <QSignalBlocker>

#include <ext/pb_ds/assoc_container.hpp>
#include <ext/pb_ds/tree_policy.hpp>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// A row to be: its text and its place among the rows added before it.
using Row = std::pair<QString, int>; // text, insertion number

// The sorted list places a new row before the rows of equal text, so among
// equal texts the later row comes first.
struct RowLess
{
    bool operator()(const Row& a, const Row& b) const
    {
        const int order = QString::compare(a.first, b.first, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a.second > b.second;
    }
};

// Counts, for each new row, the rows before it in O(log n), so that a list of
// many records is sorted once at the end instead of row by row.
using RowOrder = __gnu_pbds::tree<Row, __gnu_pbds::null_type, RowLess, __gnu_pbds::rb_tree_tag,
                                  __gnu_pbds::tree_order_statistics_node_update>;

} // namespace

void kestrelDlg::sub_redisplay_catg()
{
    AppConfig& config = g_app_config;
    const QSignalBlocker blocker(m_list2);
    m_list2->clear();
    closePane();

    logputd(1, __FILE_NAME__, __LINE__, "CATG Display Start. kind_cursel=%d\n", config.kind_cursel);
    if (config.kind_cursel < 0) {
        logputd(1, __FILE_NAME__, __LINE__, "Current Kind Not Selected.aborting\n");
        return;
    }
    int filter = item_data(m_list1, config.kind_cursel);
    if (filter == KIND_ALL) {
        logputd(1, __FILE_NAME__, __LINE__, "(ALL) Selected\n");
    } else if (filter < 0) {
        logputd(1, __FILE_NAME__, __LINE__, "No item data. aborting\n");
        return;
    }
    logputd(1, __FILE_NAME__, __LINE__, "CATG Display : Kind id = %d\n", filter);

    RecordReader reader(config.datafile);
    if (!reader.isOpen()) {
        logputd(0, __FILE_NAME__, __LINE__, "Datafile (%s) Open error\n", config.datafile);
        return;
    }

    std::vector<std::pair<Row, int>> rows; // row, record index
    RowOrder order;
    CatgRecord record;
    int index = 0;
    char name[NAME_SIZE + 1];
    while (reader.next(record, index)) {
        if (record.flag != 1)
            continue;
        if (filter > 0) {
            logputd(1, __FILE_NAME__, __LINE__, "kind compare fc.catg_kind=%d, kind_id=%d\n", record.catg_kind, filter);
            if (record.catg_kind != filter)
                continue;
        }
        field_text(record.name, NAME_SIZE, name);
        Row row(from_cp932(name), static_cast<int>(rows.size()));
        const int placed = static_cast<int>(order.order_of_key(row));
        order.insert(row);
        rows.emplace_back(std::move(row), index);
        logputd(1, __FILE_NAME__, __LINE__, "Adding Data ncnt=%d, nidx=%d, name=(%s)\n", index, placed, name);
    }

    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return RowLess()(a.first, b.first); });
    m_list2->setSortingEnabled(false);
    for (const auto& [row, recordIndex] : rows)
        m_list2->addItem(new ListItem(row.first, recordIndex));
    m_list2->setSortingEnabled(true);
    logputd(1, __FILE_NAME__, __LINE__, "Display CATG Data Done\n");
}
