#include "kestrelDlg.h"

#include "data_pane.h"
#include "list_item.h"
#include "record_list.h"

#include "commons/commons.h"
#include "store/app_config.h"
#include "store/file/protected_form.h"
#include "store/file/record_io.h"
#include "store/record_file.h"

#include <QListWidget>
#include <QSignalBlocker>

#include <algorithm>
#include <cstring>
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

// Where the rows go. The list orders them by text without regard to case,
// and among equal texts the later row first, as the sorted list places a new
// row before the rows of equal text. Added one by one, a row got the place
// that counts the earlier rows of a strictly smaller text.
struct Placement
{
    std::vector<int> order;  // the rows in list order
    std::vector<int> places; // for each row, the place it got when it was added
};

// The rows' texts folded, one after the other in one buffer, each UTF-16
// unit stored high byte first: memcmp then orders two keys as a compare of
// their units does, and the keys of a sort lie close together.
class SortKeys
{
public:
    struct Key
    {
        uint32_t offset; // in the buffer
        uint32_t length; // bytes
        int row;
    };

    void add(QStringView text)
    {
        const size_t offset = m_bytes.size();
        // Folding ASCII lowers A-Z alone: most names need no folded copy.
        m_bytes.resize(offset + 2 * static_cast<size_t>(text.size()));
        char* out = m_bytes.data() + offset;
        bool ascii = true;
        for (QChar unit : text) {
            const char16_t c = unit.unicode();
            if (c >= 0x80) {
                ascii = false;
                break;
            }
            *out++ = 0;
            *out++ = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
        }
        if (!ascii) {
            const QString folded = list_sort_key(text.toString());
            m_bytes.resize(offset);
            for (QChar unit : folded) {
                m_bytes.push_back(static_cast<char>(unit.unicode() >> 8));
                m_bytes.push_back(static_cast<char>(unit.unicode() & 0xFF));
            }
        }
        m_keys.push_back({static_cast<uint32_t>(offset), static_cast<uint32_t>(m_bytes.size() - offset),
                          static_cast<int>(m_keys.size())});
    }
    std::vector<Key>& keys() { return m_keys; }
    // <0, 0 or >0 as QString::compare of the folded texts.
    int compare(const Key& x, const Key& y) const
    {
        const int order = memcmp(m_bytes.data() + x.offset, m_bytes.data() + y.offset, std::min(x.length, y.length));
        return order != 0 ? order : static_cast<int>(x.length) - static_cast<int>(y.length);
    }

private:
    std::vector<char> m_bytes;
    std::vector<Key> m_keys; // in the order the rows were added
};

// One sort of the texts' folded keys, then, when the trace lines want them,
// the places counted with a Fenwick tree over the keys' ranks: O(n log n) in all.
Placement place_rows(SortKeys& keys, bool withPlaces)
{
    std::vector<SortKeys::Key>& sorted = keys.keys();
    const int count = static_cast<int>(sorted.size());
    std::sort(sorted.begin(), sorted.end(), [&keys](const SortKeys::Key& a, const SortKeys::Key& b) {
        const int order = keys.compare(a, b);
        return order != 0 ? order < 0 : a.row > b.row;
    });
    Placement placement{std::vector<int>(sorted.size()), {}};
    for (int i = 0; i < count; ++i)
        placement.order[i] = sorted[i].row;
    if (!withPlaces)
        return placement;

    std::vector<int> rank(sorted.size()); // 1-based rank of the row's text among the distinct texts
    int distinct = 0;
    for (int i = 0; i < count; ++i) {
        if (i == 0 || keys.compare(sorted[i], sorted[i - 1]) != 0)
            ++distinct;
        rank[sorted[i].row] = distinct;
    }
    placement.places.resize(sorted.size());

    std::vector<int> added(distinct + 1); // Fenwick tree: rows added so far, by rank
    for (int i = 0; i < count; ++i) {
        for (int r = rank[i] - 1; r > 0; r -= r & -r)
            placement.places[i] += added[r];
        for (int r = rank[i]; r <= distinct; r += r & -r)
            ++added[r];
    }
    return placement;
}

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

    // Read every record first and sort once: placing each row into the sorted
    // list as it is read costs a search of the list per row. The trace lines
    // follow in the order the walk met the records, with the place each row
    // got; whether they are written at all is asked once, so that with normal
    // lines off a block costs the decoding of its flag, category and, when it
    // is listed, its name.
    const bool trace = trace_lines_on();
    RecordRows rows;
    std::vector<Seen> seen;
    std::vector<std::string> names; // each row's name as stored, for its trace line
    SortKeys keys;
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
            keys.add(rows.add(name, index));
        }
    }

    const Placement placement = place_rows(keys, trace);
    keys = SortKeys(); // freed before the list grows: the peak is the whole list
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
