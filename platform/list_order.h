// The order of a sorted list box in a Japanese locale, as the Windows user
// knows it: case ignored; Latin letters of both widths together; hyphens and
// apostrophes ignored unless the texts are otherwise equal ("e-mail" sorts as
// "email"); hiragana, katakana and half-width katakana together in syllabary
// order, a voiced sound after its plain one, a length mark ("ー") as the
// vowel it lengthens; symbols, digits, Latin, kana, kanji in that order, the
// kanji of JIS levels 1 and 2 in JIS order. Where the Windows order is not
// known exactly, the Unicode collation order for Japanese decides (ICU's
// "ja" collator), through a table built once from it.
//
// A text's sort key is a byte string: two keys compared bytewise (memcmp)
// order their texts as the list does; equal keys mean texts the list cannot
// tell apart (they differ in case only), whose rows it keeps in the order
// described by SortedRows.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace list_order {

// Appends the sort key of a UTF-16 text / of CP932 bytes to `key`. CP932
// bytes that are not valid count as U+FFFD each, as the list shows them, so
// a name and its shown text get the same key.
void append_key(std::u16string_view text, std::string& key);
void append_key_cp932(std::string_view cp932, std::string& key);
std::string key(std::u16string_view text);
std::string key_cp932(std::string_view cp932);

// <0, 0 or >0 as text a sorts before, with or after text b.
int compare(std::u16string_view a, std::u16string_view b);

// Whether a row stands before another in a sorted list: by key, and among
// equal keys the row added later first (the list puts a new row before the
// rows of an equal text). `added` counts the order in which rows were added.
bool row_before(std::string_view key_a, int added_a, std::string_view key_b, int added_b);

// The rows of a sorted list, given in the order they are added, with their
// keys in one buffer: one sort places them all.
class SortedRows
{
public:
    void add(std::u16string_view text);
    void add_cp932(std::string_view cp932);
    std::size_t size() const { return m_keys.size(); }

    struct Placement
    {
        std::vector<int> order;  // the rows (numbered as added) in list order
        std::vector<int> places; // per row, the place it got when it was added; empty unless asked for
    };
    // With `places`, also where each row landed when the rows were added one
    // by one: the number of earlier rows of a strictly smaller text.
    Placement place(bool places) const;

private:
    struct Key
    {
        uint32_t offset;
        uint32_t length;
    };
    void added(std::size_t offset);

    std::string m_bytes;
    std::vector<Key> m_keys;
};

// Sorts `items` as row_before orders them: `key(item)` gives an item's key,
// `added(item)` its number. Keys of names often share a long beginning (the
// same word, then a number): this sort looks at each key byte once per level
// (a three-way radix quicksort), where comparing whole keys would read the
// shared beginning again in every comparison.
template <typename Item, typename KeyOf, typename AddedOf>
void sort_by_key(Item* items, std::size_t count, const KeyOf& key, const AddedOf& added, std::size_t depth = 0)
{
    // The byte at `depth`, or -1 past the key's end (a shorter key sorts first).
    const auto byte = [&](const Item& item) {
        const std::string_view k = key(item);
        return depth < k.size() ? static_cast<int>(static_cast<unsigned char>(k[depth])) : -1;
    };
    while (count > 1) {
        if (count < 12) { // few: whole keys compared from here on
            for (std::size_t i = 1; i < count; ++i)
                for (std::size_t j = i; j > 0; --j) {
                    const std::string_view a = key(items[j - 1]).substr(std::min(depth, key(items[j - 1]).size()));
                    const std::string_view b = key(items[j]).substr(std::min(depth, key(items[j]).size()));
                    if (!row_before(b, added(items[j]), a, added(items[j - 1])))
                        break;
                    std::swap(items[j - 1], items[j]);
                }
            return;
        }
        const int pivot = byte(items[count / 2]);
        // [0, less): below the pivot; [less, more): equal; [more, count): above.
        std::size_t less = 0;
        std::size_t i = 0;
        std::size_t more = count;
        while (i < more) {
            const int b = byte(items[i]);
            if (b < pivot)
                std::swap(items[less++], items[i++]);
            else if (b > pivot)
                std::swap(items[i], items[--more]);
            else
                ++i;
        }
        const bool allEqual = less == 0 && more == count;
        sort_by_key(items, less, key, added, depth);
        sort_by_key(items + more, count - more, key, added, depth);
        items += less;
        count = more - less;
        if (pivot < 0) { // equal keys: the row added later first
            std::sort(items, items + count, [&](const Item& a, const Item& b) { return added(a) > added(b); });
            return;
        }
        ++depth;
        if (!allEqual)
            continue;
        // Every key had the same byte here: on to where the first of them differ, at once.
        const std::string_view first = key(items[0]);
        std::size_t common = first.size();
        for (std::size_t k = 1; k < count && common > depth; ++k) {
            const std::string_view other = key(items[k]);
            std::size_t at = depth;
            const std::size_t limit = std::min(common, other.size());
            while (at < limit && other[at] == first[at])
                ++at;
            common = at;
        }
        depth = std::max(depth, common);
    }
}

} // namespace list_order
