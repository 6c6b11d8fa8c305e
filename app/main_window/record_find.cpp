#include "app/main_window/record_find.h"

#include "app/widgets/list_item.h"
#include "app/widgets/text_edge.h"

#include "platform/list_order.h"
#include "store/record_file.h"
#include "store/record_search.h"

#include <algorithm>
#include <vector>

namespace {

// The folded forms of the BMP's characters, each worked out once, on first
// use: a search folds every record of the file. Every form lies in one pool.
class FoldTable
{
public:
    QStringView of(char16_t c)
    {
        Entry& entry = m_entries[c];
        if (!entry.known) {
            const QString folded = QString(QChar(c)).normalized(QString::NormalizationForm_KD).toCaseFolded();
            entry = {static_cast<uint32_t>(m_pool.size()), static_cast<uint16_t>(folded.size()), true};
            m_pool.insert(m_pool.end(), folded.utf16(), folded.utf16() + folded.size());
        }
        return QStringView(m_pool.data() + entry.offset, entry.length);
    }

private:
    struct Entry
    {
        uint32_t offset = 0;
        uint16_t length = 0;
        bool known = false;
    };
    std::vector<Entry> m_entries = std::vector<Entry>(0x10000);
    std::vector<char16_t> m_pool;
};

QStringView folded_char(char16_t c)
{
    static FoldTable table;
    return table.of(c);
}

// Appends the folded form of `text` to `out`; `origin`, when given, gets the
// position in `text` of the character that each folded unit came from. Most
// characters fold to one unit, written in place; longer forms grow the text.
void fold_into(const QString& text, QString& out, std::vector<int>* origin)
{
    const auto* in = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype size = text.size();
    qsizetype at = out.size();
    out.resize(at + size);
    // Written through a plain pointer: indexing a QString checks for sharing on every unit.
    char16_t* dst = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = in[i];
        if (c < 0x80) {
            dst[at++] = c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
            if (origin)
                origin->push_back(static_cast<int>(i));
            continue;
        }
        QString pair;
        const bool surrogates = QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(in[i + 1]);
        if (surrogates) // outside CP932: folded whole, without the table
            pair = text.mid(i, 2).normalized(QString::NormalizationForm_KD).toCaseFolded();
        const QStringView one = surrogates ? QStringView(pair) : folded_char(c);
        const qsizetype units = one.size();
        // Room for this form and one unit for each character still to come.
        const qsizetype still = size - i - (surrogates ? 2 : 1);
        if (at + units > out.size() - still) {
            out.resize(at + units + still);
            dst = reinterpret_cast<char16_t*>(out.data());
        }
        for (qsizetype u = 0; u < units; ++u)
            dst[at++] = one.utf16()[u];
        if (origin)
            origin->insert(origin->end(), static_cast<size_t>(units), static_cast<int>(i));
        if (surrogates)
            ++i;
    }
    out.truncate(at);
}

} // namespace

FoldedText fold_for_find(const QString& text)
{
    FoldedText folded;
    folded.origin.reserve(static_cast<size_t>(text.size()));
    fold_into(text, folded.text, &folded.origin);
    return folded;
}

TextFinder::TextFinder(const QString& needle) : m_needle(fold_for_find(needle).text), m_matcher(m_needle)
{
}

bool TextFinder::find(const QString& text, int& start, int& length) const
{
    if (m_needle.isEmpty())
        return false;
    // Most texts hold no match: fold them without keeping the origins, into
    // a string that keeps its room from one text to the next.
    m_quick.truncate(0);
    fold_into(text, m_quick, nullptr);
    if (m_matcher.indexIn(m_quick) < 0)
        return false;
    const FoldedText folded = fold_for_find(text);
    const QString& hay = folded.text;
    const auto& origin = folded.origin;
    const int size = static_cast<int>(hay.size());
    for (int at = hay.indexOf(m_needle); at >= 0; at = hay.indexOf(m_needle, at + 1)) {
        const int end = at + static_cast<int>(m_needle.size());
        // Whole characters only: a match may neither begin nor end inside the
        // folded form of one character, nor leave a combining mark behind.
        if (at > 0 && origin[at - 1] == origin[at])
            continue;
        if (end < size && (origin[end - 1] == origin[end] || hay[end].isMark()))
            continue;
        start = origin[at];
        length = (end < size ? origin[end] : static_cast<int>(text.size())) - start;
        return true;
    }
    return false;
}

bool hit_before(const FindHit& a, const FindHit& b)
{
    return list_order::row_before(a.key, a.index, b.key, b.index);
}

bool find_records(const char* path, const QString& needle, std::vector<FindHit>& hits)
{
    hits.clear();
    const TextFinder finder(needle);
    QString data;
    const int walked = walk_live_records(path, [&](const LiveRecord& record) {
        int start = -1;
        int length = 0;
        FindHit hit;
        if (record.data[0] != '\0') {
            data = pane_text_from_cp932(record.data);
            if (finder.find(data, start, length)) {
                hit.start = start;
                hit.length = length;
            }
        }
        if (hit.start < 0 && !finder.find(from_cp932(record.name), start, length))
            return;
        hit.index = record.index;
        hit.kind = record.kind;
        hit.key = list_order::key_cp932(record.name);
        hits.push_back(std::move(hit));
    });
    std::sort(hits.begin(), hits.end(), hit_before);
    return walked >= 0;
}

bool hit_texts(const char* path, const FindHit& hit, QString& name, QString& line)
{
    CatgRecord record;
    if (read_record(path, hit.index, record) != 0)
        return false;
    char text[DATA_SIZE + 1];
    field_text(record.name, NAME_SIZE, text);
    name = from_cp932(text);
    if (hit.start < 0) {
        line = name;
        return true;
    }
    field_text(record.data, DATA_SIZE, text);
    const QString data = pane_text_from_cp932(text);
    const int first = static_cast<int>(data.lastIndexOf(QLatin1Char('\n'), hit.start)) + 1;
    const int last = static_cast<int>(data.indexOf(QLatin1Char('\n'), hit.start));
    line = data.mid(first, last < 0 ? -1 : last - first);
    return true;
}
