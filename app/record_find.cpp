#include "record_find.h"

#include "list_item.h"
#include "text_edge.h"

#include "store/record_search.h"

#include <algorithm>
#include <vector>

namespace {

// The folded form of one character of the BMP, worked out once: a search
// folds every record of the file.
const QString& folded_char(char16_t c)
{
    static std::vector<QString> table(0x10000);
    static std::vector<bool> known(0x10000);
    if (!known[c]) {
        table[c] = QString(QChar(c)).normalized(QString::NormalizationForm_KD).toCaseFolded();
        known[c] = true;
    }
    return table[c];
}

// Stored text as the screen shows it; plain ASCII needs no converter.
QString shown_text(const char* bytes)
{
    for (const char* p = bytes; *p; ++p)
        if (static_cast<unsigned char>(*p) >= 0x80)
            return from_cp932(bytes);
    return QString::fromLatin1(bytes);
}

// Appends the folded form of `text` to `out`; `origin`, when given, gets the
// position in `text` of the character that each folded unit came from. Most
// characters fold to one unit, written in place; longer forms grow the text.
void fold_into(const QString& text, QString& out, std::vector<int>* origin)
{
    qsizetype at = out.size();
    out.resize(at + text.size());
    for (int i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            out[at++] = QChar(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
            if (origin)
                origin->push_back(i);
            continue;
        }
        QString pair;
        const bool surrogates = QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        if (surrogates) // outside CP932: folded whole, without the table
            pair = text.mid(i, 2).normalized(QString::NormalizationForm_KD).toCaseFolded();
        const QString& one = surrogates ? pair : folded_char(c);
        const qsizetype units = one.size();
        // Room for this form and one unit for each character still to come.
        if (at + units > out.size() - (text.size() - i - (surrogates ? 2 : 1)))
            out.resize(at + units + (text.size() - i - (surrogates ? 2 : 1)));
        for (qsizetype u = 0; u < units; ++u)
            out[at++] = one[u];
        if (origin)
            origin->insert(origin->end(), static_cast<size_t>(units), i);
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

TextFinder::TextFinder(const QString& needle) : m_needle(fold_for_find(needle).text)
{
}

bool TextFinder::find(const QString& text, int& start, int& length) const
{
    if (m_needle.isEmpty())
        return false;
    // Most texts hold no match: fold them without keeping the origins.
    QString quick;
    fold_into(text, quick, nullptr);
    if (!quick.contains(m_needle))
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

bool list_order_less(const FindHit& a, const FindHit& b)
{
    const int order = a.key.compare(b.key);
    return order != 0 ? order < 0 : a.index > b.index;
}

bool find_records(const char* path, const QString& needle, std::vector<FindHit>& hits)
{
    hits.clear();
    const TextFinder finder(needle);
    const int walked = walk_live_records(path, [&](const LiveRecord& record) {
        const QString name = shown_text(record.name);
        int start = -1;
        int length = 0;
        FindHit hit;
        if (record.data[0] != '\0') {
            QString data = shown_text(record.data);
            data.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            if (finder.find(data, start, length)) {
                const int first = static_cast<int>(data.lastIndexOf(QLatin1Char('\n'), start)) + 1;
                const int last = static_cast<int>(data.indexOf(QLatin1Char('\n'), start));
                hit.line = data.mid(first, last < 0 ? -1 : last - first);
                hit.start = start;
                hit.length = length;
            }
        }
        if (hit.start < 0) {
            if (!finder.find(name, start, length))
                return;
            hit.line = name;
        }
        hit.index = record.index;
        hit.kind = record.kind;
        hit.name = name;
        hit.key = list_sort_key(name);
        hits.push_back(std::move(hit));
    });
    std::sort(hits.begin(), hits.end(), list_order_less);
    return walked >= 0;
}
