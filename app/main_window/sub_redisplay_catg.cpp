#include "app/main_window/kestrelDlg.h"

#include "app/main_window/data_pane.h"
#include "app/main_window/record_list.h"
#include "app/widgets/list_item.h"

#include "commons/commons.h"
#include "platform/list_order.h"
#include "store/app_config.h"
#include "store/file/protected_form.h"
#include "store/file/record_io.h"
#include "store/record_file.h"

#include <QListWidget>
#include <QSignalBlocker>

#include <string>
#include <utility>
#include <vector>

namespace {

// A live record as the walk met it: its category and its row (-1 when the
// filter left it out), so that the trace lines follow the file's order.
struct Seen
{
    int32_t kind;
    int row;
};

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

    // With normal lines off, the rows come from the kept list order: no walk
    // and no sort while the file holds what this run last read or wrote.
    const bool trace = trace_lines_on();
    if (!trace) {
        RecordRows rows;
        if (!m_listIndex.rows(config.datafile, filter > 0 ? filter : 0, rows)) {
            logputd(0, __FILE_NAME__, __LINE__, "Datafile (%s) Open error\n", config.datafile);
            return;
        }
        m_list2->setRows(std::move(rows));
        logputd(1, __FILE_NAME__, __LINE__, "Display CATG Data Done\n");
        return;
    }

    // Read every record first and sort once: placing each row into the sorted
    // list as it is read costs a search of the list per row. The trace lines
    // follow in the order the walk met the records, with the place each row
    // got; whether they are written at all is asked once, so that with normal
    // lines off a block costs the decoding of its flag, category and, when it
    // is listed, its name.
    RecordRows rows;
    std::vector<Seen> seen;
    std::vector<std::string> names; // each row's name as stored, for its trace line
    list_order::SortedRows keys;
    {
        RecordReader reader(config.datafile);
        if (!reader.isOpen()) {
            logputd(0, __FILE_NAME__, __LINE__, "Datafile (%s) Open error\n", config.datafile);
            return;
        }
        int32_t flag = 0;
        int32_t kind = 0;
        int index = 0;
        char name[NAME_SIZE + 1];
        while (reader.nextHead(flag, kind, index)) {
            if (flag != 1)
                continue;
            if (filter > 0 && kind != filter) {
                if (trace)
                    seen.push_back({kind, -1});
                continue;
            }
            reader.name(name);
            if (trace) {
                seen.push_back({kind, static_cast<int>(rows.rows.size())});
                names.emplace_back(name);
            }
            rows.add(name, index);
            keys.add_cp932(name);
        }
    }

    const list_order::SortedRows::Placement placement = keys.place(trace);
    keys = list_order::SortedRows(); // freed before the list grows: the peak is the whole list
    for (const Seen& record : seen) {
        if (filter > 0)
            logputd(1, __FILE_NAME__, __LINE__, "kind compare fc.catg_kind=%d, kind_id=%d\n", record.kind, filter);
        if (record.row >= 0) {
            logputd(1, __FILE_NAME__, __LINE__, "Adding Data ncnt=%d, nidx=%d, name=(%s)\n",
                    rows.rows[record.row].index, placement.places[record.row], log_text(names[record.row].c_str()));
        }
    }

    std::vector<RecordRows::Row> ordered;
    ordered.reserve(rows.rows.size());
    for (int row : placement.order)
        ordered.push_back(rows.rows[row]);
    rows.rows = std::move(ordered);
    m_list2->setRows(std::move(rows));
    logputd(1, __FILE_NAME__, __LINE__, "Display CATG Data Done\n");
}
