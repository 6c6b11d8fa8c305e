// The record list's kept order: after every kind of change this run makes,
// and after a change from outside, it gives the rows a fresh walk of the file
// gives.
#include "app/main_window/list_index.h"
#include "app_fixture_helpers.h"

#include "commons/commons.h"
#include "platform/list_order.h"
#include "store/app_config.h"
#include "store/record_ops.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

// "text=record index" in list order.
QStringList listed(ListIndex& index, const std::string& path, int32_t filter)
{
    RecordRows rows;
    if (!index.rows(path.c_str(), filter, rows))
        return {QStringLiteral("(does not open)")};
    QStringList out;
    for (const RecordRows::Row& row : rows.rows)
        out << rows.text(row) + "=" + QString::number(row.index);
    return out;
}

class ListIndexTest : public AppTest
{
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        // Equal texts but for case, a free block, two categories, kana and kanji.
        writeDataFile({{10, sj("銀行")}, {20, sj("メール")}},
                      {plain_record(1, 10, "abc"), plain_record(1, 20, "ABC"), plain_record(0, 0, ""),
                       plain_record(1, 10, sj("みずほ")), plain_record(1, 20, "gmail"), plain_record(1, 10, "Zeta")});
        dataFile().string().copy(g_app_config.datafile, sizeof g_app_config.datafile - 1);
    }
    std::string file() const { return dataFile().string(); }
};

TEST_F(ListIndexTest, KeptRowsAreThoseOfAFreshWalkAfterEveryChange)
{
    ListIndex kept;
    EXPECT_EQ(listed(kept, file(), 0), (QStringList{"ABC=1", "abc=0", "gmail=4", "Zeta=5", "みずほ=3"}));
    EXPECT_EQ(listed(kept, file(), 20), (QStringList{"ABC=1", "gmail=4"}));

    struct Step
    {
        const char* what;
        std::function<void()> change;
        int rows; // of every category, after the change
    };
    const Step steps[] = {
        {"an add into the free block", [] { EXPECT_EQ(sub_add_datafile(20, "abc"), 2); }, 6},
        {"an add behind the last block", [] { EXPECT_EQ(sub_add_datafile(10, sj("ゆうちょ").c_str()), 6); }, 7},
        {"a rename", [] { EXPECT_EQ(sub_change_datafile(5, "alpha"), 0); }, 7},
        {"a change of category", [] { EXPECT_EQ(sub_update_datafile(0, nullptr, 20), 0); }, 7},
        {"a data text stored", [] { EXPECT_EQ(sub_update_datafile(3, "pin 1234", -1), 0); }, 7},
        {"the same data text again", [] { EXPECT_EQ(sub_update_datafile(3, "pin 1234", -1), 0); }, 7},
        {"a delete", [] { EXPECT_EQ(sub_delete_datafile(1), 0); }, 6},
        {"a change of the header count",
         [this] {
             writeDataFile({{10, sj("銀行")}}, {plain_record(1, 10, "one")});
         },
         1},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        for (int32_t filter : {0, 10, 20}) {
            ListIndex fresh;
            EXPECT_EQ(listed(kept, file(), filter), listed(fresh, file(), filter)) << "category " << filter;
        }
        EXPECT_EQ(listed(kept, file(), 0).size(), step.rows);
    }
}

TEST_F(ListIndexTest, ALargeFileWalkedInPartsListsInTheListOrder)
{
    // Enough blocks to be walked in two parts; names repeat in other cases
    // across the parts, and every seventh block is free.
    std::vector<CatgRecord> records;
    std::vector<std::pair<std::string, int>> live; // key, index
    for (int i = 0; i < 12000; ++i) {
        const std::string name = (i % 2 ? "Name " : "name ") + std::to_string(i * 7919 % 3001);
        records.push_back(i % 7 == 3 ? plain_record(0, 0, "") : plain_record(1, 10, name));
        if (i % 7 != 3)
            live.emplace_back(list_order::key_cp932(name), i);
    }
    writeDataFile({{10, sj("銀行")}}, records);
    std::sort(live.begin(), live.end(), [](const auto& a, const auto& b) {
        return list_order::row_before(a.first, a.second, b.first, b.second);
    });
    ListIndex kept;
    RecordRows rows;
    ASSERT_TRUE(kept.rows(file().c_str(), 0, rows));
    ASSERT_EQ(rows.rows.size(), live.size());
    for (size_t i = 0; i < live.size(); ++i)
        ASSERT_EQ(rows.rows[i].index, live[i].second) << "row " << i;
}

TEST_F(ListIndexTest, AFileChangedFromOutsideIsWalkedAgain)
{
    ListIndex kept;
    ASSERT_EQ(listed(kept, file(), 10).size(), 3);
    // The same header, another name and a block more: only the file's identity tells.
    writeDataFile({{10, sj("銀行")}, {20, sj("メール")}},
                  {plain_record(1, 10, "abc"), plain_record(1, 20, "ABC"), plain_record(0, 0, ""),
                   plain_record(1, 10, sj("みずほ")), plain_record(1, 20, "gmail"), plain_record(1, 10, "Omega"),
                   plain_record(0, 0, "")});
    EXPECT_EQ(listed(kept, file(), 10), (QStringList{"abc=0", "Omega=5", "みずほ=3"}));
    std::filesystem::remove(dataFile());
    EXPECT_EQ(listed(kept, file(), 10), QStringList{"(does not open)"});
}

TEST_F(ListIndexTest, TheWindowWithTheLogOffListsFromTheKeptOrder)
{
    ASSERT_EQ(sub_regwrite("log_type", "0"), 0);
    openWindow(0); // (ALL)
    EXPECT_EQ(rows_with_data(m_window->m_list2), (QStringList{"ABC=1", "abc=0", "gmail=4", "Zeta=5", "みずほ=3"}));
    ASSERT_EQ(sub_delete_datafile(1), 0);
    m_window->sub_redisplay_catg();
    EXPECT_EQ(rows_with_data(m_window->m_list2), (QStringList{"abc=0", "gmail=4", "Zeta=5", "みずほ=3"}));
    EXPECT_FALSE(std::filesystem::exists(path("trace.log")));
}

} // namespace
