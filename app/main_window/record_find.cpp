#include "app/main_window/record_find.h"

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
    // One table per thread: a find walks parts of the file at once.
    thread_local FoldTable table;
    return table.of(c);
}

// Appends the folded form of `text` to `out`; `origin`, when given, gets the
// position in `text` of the character that each folded unit came from. Most
// characters fold to one unit, written in place; longer forms grow the text.
// True when every unit of `text` folded to one unit, in place: the origin of
// each folded unit is then its own position.
bool fold_into(const QString& text, QString& out, std::vector<int>* origin)
{
    bool inPlace = true;
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
        inPlace = inPlace && !surrogates && units == 1;
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
    return inPlace;
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
    const bool inPlace = fold_into(text, m_quick, nullptr);
    int at = static_cast<int>(m_matcher.indexIn(m_quick));
    if (at < 0)
        return false;
    if (inPlace) {
        // Every character one unit, in place: a match is whole characters
        // already, and only a combining mark behind it is left to refuse.
        const int needle = static_cast<int>(m_needle.size());
        for (; at >= 0; at = static_cast<int>(m_matcher.indexIn(m_quick, at + 1))) {
            if (at + needle < m_quick.size() && m_quick[at + needle].isMark())
                continue;
            start = at;
            length = needle;
            return true;
        }
        return false;
    }
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

namespace {

// The parts of a large file a find walks at once.
constexpr int FIND_PARTS = 2;

// What the walk of one part found: its hits, each with its name's sort key.
struct PartHits
{
    struct Hit
    {
        FindHit hit;
        uint32_t key; // in keys
        uint32_t length;
        std::string_view in(const std::string& keys) const { return std::string_view(keys).substr(key, length); }
    };
    std::vector<Hit> hits;
    std::string keys;
};

bool before(const PartHits::Hit& a, const std::string& keysA, const PartHits::Hit& b, const std::string& keysB)
{
    return list_order::row_before(a.in(keysA), a.hit.index, b.in(keysB), b.hit.index);
}

} // namespace

namespace {

// The hits of every part in the order of `listed`; false when a hit is not
// in it (the list order is not this file's).
bool place_by_list(const std::vector<PartHits>& found, const std::vector<int>& listed, std::vector<FindHit>& hits)
{
    std::vector<const FindHit*> byIndex;
    size_t total = 0;
    for (const PartHits& part : found) {
        for (const PartHits::Hit& hit : part.hits) {
            if (static_cast<size_t>(hit.hit.index) >= byIndex.size())
                byIndex.resize(static_cast<size_t>(hit.hit.index) + 1, nullptr);
            byIndex[static_cast<size_t>(hit.hit.index)] = &hit.hit;
        }
        total += part.hits.size();
    }
    hits.reserve(total);
    for (int index : listed)
        if (static_cast<size_t>(index) < byIndex.size() && byIndex[static_cast<size_t>(index)])
            hits.push_back(*byIndex[static_cast<size_t>(index)]);
    return hits.size() == total;
}

} // namespace

bool find_records(const char* path, const QString& needle, std::vector<FindHit>& hits, const std::vector<int>* listed)
{
    hits.clear();
    // Each part its own finder, its own text and its own hits.
    struct Part
    {
        explicit Part(const QString& needle) : finder(needle) {}
        TextFinder finder;
        QString data;
        PartHits found;
    };
    std::vector<Part> parts;
    parts.reserve(FIND_PARTS);
    for (int part = 0; part < FIND_PARTS; ++part)
        parts.emplace_back(needle);
    int walked = 0;
    const int live =
        walk_live_records(path, FIND_PARTS, walked, [&parts, listed](int number, const LiveRecord& record) {
            Part& part = parts[static_cast<size_t>(number)];
            int start = -1;
            int length = 0;
            FindHit hit;
            if (record.data[0] != '\0') {
                part.data = pane_text_from_cp932(record.data);
                if (part.finder.find(part.data, start, length)) {
                    hit.start = start;
                    hit.length = length;
                }
            }
            if (hit.start < 0 && !part.finder.find(from_cp932(record.name), start, length))
                return;
            hit.index = record.index;
            hit.kind = record.kind;
            const auto key = static_cast<uint32_t>(part.found.keys.size());
            if (!listed) // sorted by name below
                list_order::append_key_cp932(record.name, part.found.keys);
            part.found.hits.push_back({hit, key, static_cast<uint32_t>(part.found.keys.size() - key)});
        });
    if (live < 0)
        return false;
    if (listed) {
        std::vector<PartHits> found;
        for (Part& part : parts)
            found.push_back(std::move(part.found));
        if (place_by_list(found, *listed, hits))
            return true;
        hits.clear();
        return find_records(path, needle, hits); // the order is not this file's: by name
    }
    // Each part sorted, then the parts merged: the list order across the file.
    std::vector<size_t> next(parts.size(), 0);
    size_t total = 0;
    for (Part& part : parts) {
        const std::string& keys = part.found.keys;
        list_order::sort_by_key(
            part.found.hits.data(), part.found.hits.size(), [&keys](const PartHits::Hit& hit) { return hit.in(keys); },
            [](const PartHits::Hit& hit) { return hit.hit.index; });
        total += part.found.hits.size();
    }
    hits.reserve(total);
    while (hits.size() < total) {
        size_t best = parts.size();
        for (size_t p = 0; p < parts.size(); ++p) {
            if (next[p] == parts[p].found.hits.size())
                continue;
            if (best == parts.size() || before(parts[p].found.hits[next[p]], parts[p].found.keys,
                                               parts[best].found.hits[next[best]], parts[best].found.keys))
                best = p;
        }
        hits.push_back(parts[best].found.hits[next[best]++].hit);
    }
    return true;
}

const FindHit& next_hit(const char* path, const std::vector<FindHit>& hits, const std::string& name, int index)
{
    const std::string key = list_order::key_cp932(name);
    const auto after = std::upper_bound(hits.begin(), hits.end(), index, [&](int, const FindHit& hit) {
        CatgRecord record;
        char hitName[NAME_SIZE + 1] = {};
        if (read_record(path, hit.index, record) == 0)
            field_text(record.name, NAME_SIZE, hitName);
        return list_order::row_before(key, index, list_order::key_cp932(hitName), hit.index);
    });
    return after == hits.end() ? hits.front() : *after;
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
