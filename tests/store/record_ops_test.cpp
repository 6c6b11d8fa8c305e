// The four record operations: where they write, what they log, and what they
// refuse to write.
#include "store_fixture.h"

#include "store/app_config.h"
#include "store/record_ops.h"

#include <functional>

using RecordOpsTest = StoreTest;

TEST_F(RecordOpsTest, AddAppendsAfterLiveBlocksAndReusesTheFirstFreeOne)
{
    const CatgRecord a = make_record(1, 10, "a"), c = make_record(1, 10, "c");
    testenv::write_file(m_file, file_bytes({{10, "k"}}, {a, make_record(1, 20, "b")}));
    enableLog();
    EXPECT_EQ(sub_add_datafile(10, "c"), 2);
    EXPECT_EQ(fileBytes(), file_bytes({{10, "k"}}, {a, make_record(1, 20, "b"), c}));
    ASSERT_EQ(sub_delete_datafile(1), 0);
    EXPECT_EQ(sub_add_datafile(20, "new"), 1);
    EXPECT_EQ(fileBytes(), file_bytes({{10, "k"}}, {a, make_record(1, 20, "new"), c}));
    EXPECT_EQ(logLines(), (Lines{
                              "sub_add_datafil:0038 NORML Data ADD curkind=10, name=(c)",
                              "sub_add_datafil:0076 NORML Write Data kind=10, name=(c)",
                              "sub_add_datafil:0108 NORML SKIPPING 0, flag=1, kind=10, name=(a)",
                              "sub_add_datafil:0108 NORML SKIPPING 1, flag=1, kind=20, name=(b)",
                              "sub_add_datafil:0112 NORML Data Processed 2",
                              "sub_add_datafil:0118 NORML Data Stored (ADD) ncnt=2",
                              "sub_delete_data:0038 NORML Data delete cursel=1",
                              "sub_add_datafil:0038 NORML Data ADD curkind=20, name=(new)",
                              "sub_add_datafil:0076 NORML Write Data kind=20, name=(new)",
                              "sub_add_datafil:0108 NORML SKIPPING 0, flag=1, kind=10, name=(a)",
                              "sub_add_datafil:0102 NORML Data Stored (UPDATE) ncnt=1",
                              "sub_add_datafil:0112 NORML Data Processed 1",
                          }));
}

TEST_F(RecordOpsTest, WithTheLogOffAnAddSearchesOnFromTheBlockTheLastOneTook)
{
    // Every block before it was live then; a block this run freed lowers
    // that, and a file changed from outside is searched from the start.
    const CatgRecord live = make_record(1, 10, "x");
    testenv::write_file(m_file, file_bytes({{10, "k"}}, {live, CatgRecord{}, live, CatgRecord{}}));
    struct Step
    {
        const char* what;
        std::function<void()> change;
        int added;
    };
    const Step steps[] = {
        {"the first free block", [] {}, 1},
        {"the next one", [] {}, 3},
        {"behind the last block", [] {}, 4},
        {"a block this run freed before them", [] { ASSERT_EQ(sub_delete_datafile(0), 0); }, 0},
        {"a block freed from outside",
         [&] {
             testenv::write_file(m_file, file_bytes({{10, "k"}}, {live, live, CatgRecord{}, live, live, live}));
         },
         2},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        EXPECT_EQ(sub_add_datafile(10, "x"), step.added);
    }
}

TEST_F(RecordOpsTest, AddTakesFlag2AndDeletedBlocksAsFreeAndNeverAPartialOne)
{
    const CatgRecord a = make_record(1, 10, "a");
    testenv::write_file(m_file, file_bytes({}, {a, make_record(2, 10, "odd", "left over")}) + std::string(10, 'U'));
    EXPECT_EQ(sub_add_datafile(30, "x"), 1); // the whole block is new, nothing of the old one stays
    EXPECT_EQ(sub_add_datafile(30, "y"), 2); // starts on the block boundary, over the partial block
    EXPECT_EQ(sub_delete_datafile(0), 0);
    EXPECT_EQ(sub_add_datafile(10, "again"), 0);
    EXPECT_EQ(fileBytes(),
              file_bytes({}, {make_record(1, 10, "again"), make_record(1, 30, "x"), make_record(1, 30, "y")}));
}

TEST_F(RecordOpsTest, ChangeAndUpdateKeepTheOtherFieldsAndLogTheirEntry)
{
    CatgRecord r = make_record(1, 10, "long old name", "text");
    testenv::write_file(m_file, file_bytes({}, {r}));
    enableLog();
    ASSERT_EQ(sub_change_datafile(0, "new"), 0);
    memcpy(r.name, "new", 4); // the old name's bytes behind the terminator stay, as on Windows
    EXPECT_EQ(fileBytes(), file_bytes({}, {r}));
    ASSERT_EQ(sub_update_datafile(0, nullptr, 20), 0);
    r.catg_kind = 20;
    EXPECT_EQ(fileBytes(), file_bytes({}, {r}));
    ASSERT_EQ(sub_update_datafile(0, "", -1), 0);
    r.data[0] = '\0';
    EXPECT_EQ(fileBytes(), file_bytes({}, {r}));
    ASSERT_EQ(sub_update_datafile(0, nullptr, -1), 0);
    EXPECT_EQ(fileBytes(), file_bytes({}, {r}));
    sub_delete_datafile(0);
    EXPECT_EQ(logLines(), (Lines{
                              "sub_change_data:0037 NORML Data change name cursel=0, name=(new)",
                              "sub_update_data:0038 NORML Data Update cursel=0, data=((null))",
                              "sub_update_data:0038 NORML Data Update cursel=0, data=()",
                              "sub_update_data:0038 NORML Data Update cursel=0, data=((null))",
                              "sub_delete_data:0038 NORML Data delete cursel=0",
                          }));
}

TEST_F(RecordOpsTest, IndexOutsideTheRecordAreaWritesNothing)
{
    EXPECT_EQ(sub_delete_datafile(0), -1); // a missing file is created, but has no block 0
    EXPECT_EQ(fileBytes(), std::string(4, '\0'));

    const std::string bytes = file_bytes({}, {make_record(1, 10, "a")}) + std::string(100, '\x01');
    testenv::write_file(m_file, bytes);
    EXPECT_EQ(sub_change_datafile(1, "x"), -1);
    EXPECT_EQ(sub_delete_datafile(5), -1);
    EXPECT_EQ(sub_update_datafile(-1, "x", 10), -1);
    EXPECT_EQ(fileBytes(), bytes);
}

TEST_F(RecordOpsTest, OpenErrorLinesWhenTheFileCannotBeCreated)
{
    const std::string missing = path("no/such/folder/records.dat").string();
    strcpy(g_app_config.datafile, missing.c_str());
    enableLog();
    EXPECT_EQ(sub_add_datafile(10, "x"), -1);
    EXPECT_EQ(sub_change_datafile(0, "x"), -1);
    EXPECT_EQ(sub_delete_datafile(0), -1);
    EXPECT_EQ(sub_update_datafile(0, "x", 1), -1);
    const Lines lines = logLines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[1], "sub_add_datafil:0048 ERROR Data File (" + missing + ") open error");
    EXPECT_EQ(lines[3], "sub_change_data:0047 ERROR Data File (" + missing + ") Open Error");
    EXPECT_EQ(lines[5], "sub_delete_data:0048 ERROR Data File (" + missing + ") Open Error");
    EXPECT_EQ(lines[7], "sub_update_data:0048 ERROR Data File (" + missing + ") Open Error");
}

TEST_F(RecordOpsTest, OverlongTextIsCutAtACharacterBoundaryInsideItsField)
{
    // 510 ASCII bytes then double-byte characters: 511 bytes would split one.
    std::string name(510, 'n'), data;
    for (int i = 0; i < 2100; ++i)
        data += "\x82\xA0"; // HIRAGANA LETTER SMALL A
    ASSERT_EQ(sub_add_datafile(10, (name + data.substr(0, 10)).c_str()), 0);
    ASSERT_EQ(sub_update_datafile(0, data.c_str(), -1), 0);
    EXPECT_EQ(fileBytes(), file_bytes({}, {make_record(1, 10, name, data.substr(0, 4094))}));
}
