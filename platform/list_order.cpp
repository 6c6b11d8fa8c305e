#include "platform/list_order.h"

#include "platform/cp932.h"

#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/unorm2.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace list_order {

namespace {

// A unit's weights, level by level: the base character (primary), its
// voicing and other marks, its size or length mark, its kana type, its form
// (width) last. Ranks from the ICU order of every CP932 character; 0 in
// `primary` for a unit outside CP932.
struct Weights
{
    uint16_t primary = 0;
    uint8_t level[4] = {1, 1, 1, 1};
    uint8_t vowel = 0;      // 1-5 (あいうえお) for a kana that a length mark lengthens
    uint8_t ignored = 0;    // nonzero for hyphens and apostrophes: their kind
    bool marksOnly = false; // no primary of its own: a lone voiced mark, a control character
};

constexpr char16_t kLengthMark = u'ー';
constexpr char16_t kHalfLengthMark = u'ｰ';
constexpr char16_t kHalfVoiced = u'ﾞ';
constexpr char16_t kHalfSemiVoiced = u'ﾟ';
constexpr char16_t kHalfKanaFirst = u'ｦ';
constexpr char16_t kHalfKanaLast = u'ﾝ';
constexpr int kLevels = 4; // below the primary
// A length mark after a kana weighs as its vowel with a size weight below
// the vowel's own: the vowels' sizes start above it.
constexpr uint8_t kLengthMarkSize = 1;
// A unit outside CP932 sorts after every known one, by its code.
constexpr uint16_t kUnknownPrimary = 0xFFFF;

bool is_kana(char16_t c)
{
    return (c >= u'ぁ' && c <= u'ゖ') || (c >= u'ァ' && c <= u'ヺ') ||
           (c >= kHalfKanaFirst && c <= kHalfKanaLast && c != kHalfLengthMark);
}

uint8_t ignored_kind(char16_t c)
{
    switch (c) {
    case u'\'':
        return 1;
    case u'-':
        return 2;
    case u'‐':
        return 3;
    case u'＇':
        return 4;
    case u'－':
        return 5;
    default:
        return 0;
    }
}

struct Unit
{
    std::u16string text; // as handed to ICU: case folded
    std::string sortKey; // ICU's, all levels
};

class Table
{
public:
    Table();

    const Weights& of(char16_t c) const { return m_single[c]; }
    // A half-width kana with its voiced or semi-voiced mark; null when the pair does not form one.
    const Weights* pair(char16_t kana, char16_t mark) const
    {
        if (kana < kHalfKanaFirst || kana > kHalfKanaLast || (mark != kHalfVoiced && mark != kHalfSemiVoiced))
            return nullptr;
        const Weights& weights = m_halfPairs[kana - kHalfKanaFirst][mark == kHalfSemiVoiced];
        return weights.primary ? &weights : nullptr;
    }
    const Weights& vowel(int v) const { return m_single[kVowels[v - 1]]; }

private:
    static constexpr char16_t kVowels[5] = {u'あ', u'い', u'う', u'え', u'お'};

    std::unique_ptr<Weights[]> m_single{new Weights[65536]};
    std::array<std::array<Weights, 2>, kHalfKanaLast - kHalfKanaFirst + 1> m_halfPairs{};
};

// The level (0 primary ... 4 identical) at which two ICU sort keys first
// differ, 5 for equal keys: ICU separates the levels by a byte 01 that no
// weight uses.
int differing_level(const std::string& a, const std::string& b)
{
    const std::size_t size = std::min(a.size(), b.size());
    int level = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (a[i] != b[i])
            return level;
        if (a[i] == '\x01')
            ++level;
    }
    return a.size() == b.size() ? kLevels + 1 : level;
}

std::u16string folded(char16_t c)
{
    return std::u16string(1, static_cast<char16_t>(u_foldCase(c, U_FOLD_CASE_DEFAULT)));
}

Table::Table()
{
    // Every character CP932 holds, and U+FFFD, which stands for bytes that are not CP932.
    std::vector<char16_t> chars{u'\uFFFD'};
    char16_t unit;
    for (int byte = 1; byte < 0x100; ++byte) {
        const char one = static_cast<char>(byte);
        if (!cp932::is_lead_byte(static_cast<unsigned char>(byte)) && cp932::to_utf16({&one, 1}, &unit) == 1)
            chars.push_back(unit);
    }
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!cp932::is_lead_byte(static_cast<unsigned char>(lead)))
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            const char two[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            if (cp932::to_utf16({two, 2}, &unit) == 1)
                chars.push_back(unit);
        }
    }
    std::sort(chars.begin(), chars.end());
    chars.erase(std::unique(chars.begin(), chars.end()), chars.end());

    UErrorCode status = U_ZERO_ERROR;
    UCollator* collator = ucol_open("ja", &status);
    if (U_FAILURE(status)) // no collation data: code order, case still ignored
        collator = nullptr;
    if (collator)
        ucol_setStrength(collator, UCOL_IDENTICAL);
    auto sort_key = [collator](const std::u16string& text) {
        if (!collator) {
            std::string bytes;
            for (char16_t c : text)
                bytes += {static_cast<char>((c >> 12) + 2), static_cast<char>((c >> 6 & 0x3F) + 2),
                          static_cast<char>((c & 0x3F) + 2)};
            return bytes;
        }
        std::string bytes(64, '\0');
        const auto* src = reinterpret_cast<const UChar*>(text.data());
        const auto length = static_cast<int32_t>(text.size());
        int32_t needed = ucol_getSortKey(collator, src, length, reinterpret_cast<uint8_t*>(bytes.data()),
                                         static_cast<int32_t>(bytes.size()));
        if (needed > static_cast<int32_t>(bytes.size())) {
            bytes.resize(static_cast<std::size_t>(needed));
            needed = ucol_getSortKey(collator, src, length, reinterpret_cast<uint8_t*>(bytes.data()), needed);
        }
        bytes.resize(needed > 0 ? static_cast<std::size_t>(needed - 1) : 0); // without the terminator
        return bytes;
    };

    // The units: each character folded, and each half-width kana with a mark that voices it.
    std::vector<Unit> units;
    std::vector<Weights*> targets; // per unit, the table entry it fills (one per character of it)
    const UNormalizer2* nfkc = unorm2_getNFKCInstance(&status);
    for (char16_t c : chars) {
        if (ignored_kind(c)) {
            m_single[c].ignored = ignored_kind(c);
            continue;
        }
        units.push_back({folded(c), {}});
        targets.push_back(&m_single[c]);
    }
    for (char16_t kana = kHalfKanaFirst; kana <= kHalfKanaLast; ++kana) {
        for (const char16_t mark : {kHalfVoiced, kHalfSemiVoiced}) {
            const char16_t pair[2] = {kana, mark};
            UChar composed[4];
            UErrorCode normalized = U_ZERO_ERROR;
            const int32_t length =
                nfkc ? unorm2_normalize(nfkc, reinterpret_cast<const UChar*>(pair), 2, composed, 4, &normalized) : 0;
            if (U_FAILURE(normalized) || length != 1)
                continue;
            units.push_back({std::u16string(pair, 2), {}});
            targets.push_back(&m_halfPairs[kana - kHalfKanaFirst][mark == kHalfSemiVoiced]);
        }
    }
    for (Unit& unit : units)
        unit.sortKey = sort_key(unit.text);

    // Ranks: a new primary for each unit that differs from the one before at
    // the primary level; below it, the rank among the units of the level above.
    std::vector<std::size_t> byOrder(units.size());
    for (std::size_t i = 0; i < byOrder.size(); ++i)
        byOrder[i] = i;
    std::sort(byOrder.begin(), byOrder.end(),
              [&units](std::size_t a, std::size_t b) { return units[a].sortKey < units[b].sortKey; });
    uint16_t primary = 0;
    uint8_t level[kLevels] = {};
    const Unit* previous = nullptr;
    for (std::size_t i : byOrder) {
        const int differs = previous ? differing_level(previous->sortKey, units[i].sortKey) : 0;
        if (!previous || differs == 0) {
            ++primary;
            std::fill(level, level + kLevels, 1);
        } else if (differs <= kLevels) {
            const int at = differs - 1;
            if (level[at] < 0xFF)
                ++level[at];
            for (int below = at + 1; below < kLevels; ++below)
                level[below] = 1;
        }
        Weights& weights = *targets[i];
        weights.primary = primary;
        weights.marksOnly = units[i].sortKey.empty() || units[i].sortKey[0] == '\x01';
        std::copy(level, level + kLevels, weights.level);
        previous = &units[i];
    }

    // Room below the vowels' sizes for the length mark.
    for (Weights* weights : targets)
        for (char16_t vowel : kVowels)
            if (weights->primary == m_single[vowel].primary && weights->level[0] == m_single[vowel].level[0] &&
                weights != &m_single[vowel])
                ++weights->level[1];
    for (char16_t vowel : kVowels)
        ++m_single[vowel].level[1];

    // The vowel a length mark takes after each kana: the one that the
    // collator finds equal up to voicing.
    if (collator) {
        ucol_setStrength(collator, UCOL_SECONDARY);
        auto equal = [collator](const std::u16string& a, const std::u16string& b) {
            return ucol_strcoll(collator, reinterpret_cast<const UChar*>(a.data()), static_cast<int32_t>(a.size()),
                                reinterpret_cast<const UChar*>(b.data()), static_cast<int32_t>(b.size())) == UCOL_EQUAL;
        };
        for (std::size_t i = 0; i < units.size(); ++i) {
            const std::u16string& text = units[i].text;
            if (!is_kana(text[0]))
                continue;
            for (int v = 1; v <= 5; ++v) {
                if (equal(text + kLengthMark, text + kVowels[v - 1])) {
                    targets[i]->vowel = static_cast<uint8_t>(v);
                    break;
                }
            }
        }
        ucol_close(collator);
    }
}

const Table& table()
{
    static const Table built;
    return built;
}

void put_unit16(std::string& out, uint16_t value)
{
    out += static_cast<char>(value >> 8);
    out += static_cast<char>(value & 0xFF);
}

} // namespace

void append_key(std::u16string_view text, std::string& key)
{
    const Table& weights = table();
    const std::size_t size = text.size();
    // The primaries go straight into the key, two bytes each; the lower
    // levels wait in one scratch buffer, a row of `size` bytes per level.
    thread_local std::string scratch;
    thread_local std::string marks; // hyphens and apostrophes: where and which
    if (scratch.size() < kLevels * size)
        scratch.resize(kLevels * size);
    char* levels[kLevels];
    for (int l = 0; l < kLevels; ++l)
        levels[l] = scratch.data() + l * size;
    marks.clear();
    const std::size_t start = key.size();
    key.resize(start + 2 * size + 2);
    char* primaries = key.data() + start;
    std::size_t units = 0;
    int vowel = 0;
    auto put_primary = [&primaries](uint16_t primary) {
        *primaries++ = static_cast<char>(primary >> 8);
        *primaries++ = static_cast<char>(primary & 0xFF);
    };
    // Lower weights are written only from the first unit that has one above
    // 1: most names (Latin, digits, kanji) have none.
    bool lower = false;
    auto put_levels = [&](const uint8_t(&weight)[kLevels]) {
        if (!lower) {
            if (weight[0] == 1 && weight[1] == 1 && weight[2] == 1 && weight[3] == 1) {
                ++units;
                return;
            }
            for (int l = 0; l < kLevels; ++l)
                std::memset(levels[l], 1, units);
            lower = true;
        }
        for (int l = 0; l < kLevels; ++l)
            levels[l][units] = static_cast<char>(weight[l]);
        ++units;
    };
    for (std::size_t i = 0; i < size; ++i) {
        const char16_t c = text[i];
        const Weights* unit = &weights.of(c);
        if (unit->ignored) {
            put_unit16(marks, static_cast<uint16_t>(units + 1));
            marks += static_cast<char>(unit->ignored);
            continue;
        }
        if (i + 1 < size && text[i + 1] >= kHalfVoiced)
            if (const Weights* pair = weights.pair(c, text[i + 1])) {
                unit = pair;
                ++i;
            }
        if ((c == kLengthMark || c == kHalfLengthMark) && vowel) {
            // A length mark after a kana counts as the vowel it lengthens, just before that vowel itself.
            const Weights& sound = weights.vowel(vowel);
            put_primary(sound.primary);
            put_levels({sound.level[0], kLengthMarkSize, 1, static_cast<uint8_t>(c == kLengthMark ? 1 : 2)});
            continue;
        }
        vowel = unit->vowel;
        if (!unit->primary) {
            // Outside CP932: after every known unit, by its code.
            const std::size_t at = static_cast<std::size_t>(primaries - key.data());
            key.resize(key.size() + 2);
            primaries = key.data() + at;
            put_primary(kUnknownPrimary);
            put_primary(c);
            put_levels({1, 1, 1, 1});
            continue;
        }
        if (!unit->marksOnly)
            put_primary(unit->primary);
        put_levels(unit->level);
    }
    put_primary(0);
    key.resize(static_cast<std::size_t>(primaries - key.data()));
    // Trailing weights of 1, the lowest there is, are left out: a key with
    // fewer of them orders the same, and most texts then carry no lower
    // levels at all. Each level ends in a zero byte.
    for (int l = 0; l < kLevels; ++l) {
        std::size_t length = lower ? units : 0;
        while (length > 0 && levels[l][length - 1] == 1)
            --length;
        key.append(levels[l], length);
        key += '\0';
    }
    key += marks;
}

void append_key_cp932(std::string_view cp932, std::string& key)
{
    thread_local std::u16string text;
    text.resize(cp932.size());
    std::size_t units = cp932::to_utf16(cp932, text.data());
    if (units == std::string_view::npos) {
        // Character by character: what is not CP932 counts as U+FFFD.
        units = 0;
        for (std::size_t i = 0; i < cp932.size();) {
            const std::size_t width =
                cp932::is_lead_byte(static_cast<unsigned char>(cp932[i])) && i + 1 < cp932.size() ? 2 : 1;
            if (cp932::to_utf16(cp932.substr(i, width), &text[units]) != 1)
                text[units] = u'\uFFFD';
            ++units;
            i += width;
        }
    }
    append_key(std::u16string_view(text.data(), units), key);
}

std::string key(std::u16string_view text)
{
    std::string bytes;
    append_key(text, bytes);
    return bytes;
}

std::string key_cp932(std::string_view cp932)
{
    std::string bytes;
    append_key_cp932(cp932, bytes);
    return bytes;
}

int compare(std::u16string_view a, std::u16string_view b)
{
    thread_local std::string keyA;
    thread_local std::string keyB;
    keyA.clear();
    keyB.clear();
    append_key(a, keyA);
    append_key(b, keyB);
    return keyA.compare(keyB);
}

bool row_before(std::string_view key_a, int added_a, std::string_view key_b, int added_b)
{
    const int order = key_a.compare(key_b);
    return order != 0 ? order < 0 : added_a > added_b;
}

void SortedRows::add(std::u16string_view text)
{
    const std::size_t offset = m_bytes.size();
    append_key(text, m_bytes);
    added(offset);
}

void SortedRows::add_cp932(std::string_view cp932)
{
    const std::size_t offset = m_bytes.size();
    append_key_cp932(cp932, m_bytes);
    added(offset);
}

void SortedRows::added(std::size_t offset)
{
    m_keys.push_back({static_cast<uint32_t>(offset), static_cast<uint32_t>(m_bytes.size() - offset)});
}

SortedRows::Placement SortedRows::place(bool places) const
{
    // The keys' places sorted together with their rows: a compare reads no other array.
    struct Sorted
    {
        uint32_t offset;
        uint32_t length;
        int row;
    };
    const int count = static_cast<int>(m_keys.size());
    std::vector<Sorted> sorted(m_keys.size());
    for (int i = 0; i < count; ++i)
        sorted[i] = {m_keys[i].offset, m_keys[i].length, i};
    const char* bytes = m_bytes.data();
    auto view = [bytes](const Sorted& key) { return std::string_view(bytes + key.offset, key.length); };
    std::sort(sorted.begin(), sorted.end(),
              [&view](const Sorted& a, const Sorted& b) { return row_before(view(a), a.row, view(b), b.row); });
    Placement placement;
    placement.order.resize(m_keys.size());
    for (int i = 0; i < count; ++i)
        placement.order[i] = sorted[i].row;
    if (!places)
        return placement;

    // The places, counted with a Fenwick tree over the keys' ranks: O(n log n) in all.
    std::vector<int> rank(m_keys.size()); // 1-based rank of the row's text among the distinct texts
    int distinct = 0;
    for (int i = 0; i < count; ++i) {
        if (i == 0 || view(sorted[i]) != view(sorted[i - 1]))
            ++distinct;
        rank[sorted[i].row] = distinct;
    }
    placement.places.assign(m_keys.size(), 0);
    std::vector<int> added(distinct + 1); // rows added so far, by rank
    for (int i = 0; i < count; ++i) {
        for (int r = rank[i] - 1; r > 0; r -= r & -r)
            placement.places[i] += added[r];
        for (int r = rank[i]; r <= distinct; r += r & -r)
            ++added[r];
    }
    return placement;
}

} // namespace list_order
