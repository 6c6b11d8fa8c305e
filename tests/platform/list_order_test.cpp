#include "platform/list_order.h"

#include "platform/cp932.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

std::string utf8(std::u16string_view text)
{
    std::string out;
    for (char16_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
        } else {
            out += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                    static_cast<char>(0x80 | (c & 0x3F))};
        }
    }
    return out;
}

// Each row: texts in the order a sorted list box of a Japanese Windows shows
// them (the first two are the lists of a user's record file).
const std::vector<std::vector<std::u16string>> kOrders = {
    {u"(ALL)", u"ＳＮＳ", u"ｶｰﾄﾞ", u"ゲーム", u"メール", u"銀行"},
    {u"ＡＮＡ", u"eb", u"e-mail", u"JAL", u"ｱｲﾌｫﾝ", u"あおぞら銀行", u"アマゾン", u"イオン"},
    // width after everything else; hyphens and apostrophes last of all
    {u"ANA", u"ＡＮＡ", u"email", u"e-mail", u"emails", u"its", u"it's", u"it'ss"},
    // kana of all kinds together, voicing after, then kana type, then width
    {u"かき", u"カギ", u"がく", u"ガク", u"ｶﾞｸ", u"きょう", u"キョウ", u"ｷｮｳ"},
    // Latin before kana in one name: the kana's lower levels decide
    {u"ab", u"abか", u"abカ", u"abｶ", u"abが", u"abカa"},
    // a length mark counts as its vowel, just before that vowel
    {u"カード", u"ｶｰﾄﾞ", u"カアド", u"カト", u"コーヒー", u"コオヒイ"},
    // symbols, digits, Latin, kana, kanji in JIS order, then the other scripts
    {u"!", u"1", u"１", u"10", u"2", u"a", u"あ", u"亜", u"唖", u"腕", u"弌", u"α", u"ж"},
};

} // namespace

TEST(ListOrder, SortsAsTheJapaneseListBox)
{
    std::mt19937 random(21);
    for (const std::vector<std::u16string>& expected : kOrders) {
        std::vector<std::u16string> texts = expected;
        for (int round = 0; round < 5; ++round) {
            std::shuffle(texts.begin(), texts.end(), random);
            std::sort(texts.begin(), texts.end(),
                      [](const std::u16string& a, const std::u16string& b) { return list_order::compare(a, b) < 0; });
            for (std::size_t i = 0; i < texts.size(); ++i)
                ASSERT_EQ(utf8(texts[i]), utf8(expected[i])) << "row " << utf8(expected[0]) << ", place " << i;
        }
    }
}

TEST(ListOrder, CaseAloneCannotTellTextsApart)
{
    for (const auto& [a, b] : std::vector<std::pair<std::u16string, std::u16string>>{
             {u"abc", u"ABC"}, {u"ａｂｃ", u"ＡＢＣ"}, {u"Ωmega", u"ωMEGA"}, {u"Жук", u"жУК"}, {u"Ⅰ", u"ⅰ"}})
        EXPECT_EQ(list_order::key(a), list_order::key(b)) << utf8(a);
    EXPECT_NE(list_order::key(u"abc"), list_order::key(u"ａｂｃ"));
}

// The key of stored bytes is the key of the text the list shows for them.
TEST(ListOrder, Cp932KeysMatchTheShownText)
{
    std::size_t checked = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            const std::string bytes{static_cast<char>(lead), static_cast<char>(trail), 'x'};
            char16_t shown[3];
            if (!cp932::is_lead_byte(static_cast<unsigned char>(lead)) || cp932::to_utf16(bytes, shown) != 2)
                continue;
            ASSERT_EQ(list_order::key_cp932(bytes), list_order::key(std::u16string_view(shown, 2))) << lead << trail;
            ++checked;
        }
    }
    EXPECT_GT(checked, 7000u);
    EXPECT_EQ(list_order::key_cp932("a\xFF\x81"), list_order::key(u"a\uFFFD\uFFFD"));
}

// Equal texts: the row added later stands first, and each row's place when
// it was added counts the earlier rows of a smaller text.
TEST(ListOrder, RowsOfEqualTextsAndTheirPlaces)
{
    list_order::SortedRows rows;
    for (const char* name : {"b", "a", "B", "\x83\x4A", "A"}) // カ
        rows.add_cp932(name);
    const list_order::SortedRows::Placement placement = rows.place(true);
    EXPECT_EQ(placement.order, (std::vector<int>{4, 1, 2, 0, 3}));
    EXPECT_EQ(placement.places, (std::vector<int>{0, 0, 1, 3, 0}));
    EXPECT_TRUE(list_order::row_before(list_order::key(u"a"), 7, list_order::key(u"A"), 3));
    EXPECT_FALSE(list_order::row_before(list_order::key(u"b"), 7, list_order::key(u"a"), 3));
}

TEST(ListOrder, SortByKeyOrdersAsRowBeforeDoes)
{
    // Keys sharing long beginnings, keys that begin others, equal keys (the
    // row added later first), and groups on both sides of the few-items sort.
    std::mt19937 random(7);
    for (const int count : {0, 1, 5, 11, 12, 13, 200, 5000}) {
        SCOPED_TRACE(count);
        std::vector<std::pair<std::string, int>> rows;
        for (int i = 0; i < count; ++i) {
            std::string key = i % 3 ? "account " : "acc";
            key += std::to_string(random() % (count / 4 + 1));
            if (i % 7 == 0)
                key += std::string(1, static_cast<char>(random() % 3)); // bytes 0, 1 and 2 after the number
            rows.emplace_back(key, i);
        }
        std::vector<std::pair<std::string, int>> expected = rows;
        std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
            return list_order::row_before(a.first, a.second, b.first, b.second);
        });
        list_order::sort_by_key(
            rows.data(), rows.size(), [](const auto& row) { return std::string_view(row.first); },
            [](const auto& row) { return row.second; });
        EXPECT_EQ(rows, expected);
    }
}
