// The four record operations: where they write, what they log, and what they
// refuse to write.
#include "store_fixture.h"

#include "store/app_config.h"
#include "store/record_ops.h"

#include <cstring>

using Lines = std::vector<std::string>;
using RecordOpsTest = StoreTest;

TEST_F(RecordOpsTest, AddReusesTheFirstFreeBlockAndLogsTheScan)
{
    testenv::write_file(
        m_file, file_bytes({{10, "k"}}, {make_record(1, 10, "a"), make_record(0, 0, ""), make_record(1, 20, "c")}));
    enableLog();
    EXPECT_EQ(sub_add_datafile(20, "new"), 1);
    EXPECT_EQ(fileBytes().size(), 4u + 516u + 3u * 4616u);
    const CatgRecord stored = blockAt(record_offset(1, 1));
    EXPECT_EQ(stored.flag, 1);
    EXPECT_EQ(stored.catg_kind, 20);
    EXPECT_STREQ(stored.name, "new");
    EXPECT_EQ(logLines(), (Lines{
                              "sub_add_datafil:0038 NORML Data ADD curkind=20, name=(new)",
                              "sub_add_datafil:0076 NORML Write Data kind=20, name=(new)",
                              "sub_add_datafil:0108 NORML SKIPPING 0, flag=1, kind=10, name=(a)",
                              "sub_add_datafil:0102 NORML Data Stored (UPDATE) ncnt=1",
                              "sub_add_datafil:0112 NORML Data Processed 1",
                          }));
}

TEST_F(RecordOpsTest, AddAppendsWhenEveryBlockIsLive)
{
    testenv::write_file(m_file, file_bytes({}, {make_record(1, 10, "a"), make_record(1, 10, "b")}));
    enableLog();
    EXPECT_EQ(sub_add_datafile(10, "c"), 2);
    EXPECT_EQ(fileBytes().size(), 4u + 3u * 4616u);
    EXPECT_STREQ(blockAt(record_offset(0, 2)).name, "c");
    EXPECT_EQ(logLines(), (Lines{
                              "sub_add_datafil:0038 NORML Data ADD curkind=10, name=(c)",
                              "sub_add_datafil:0076 NORML Write Data kind=10, name=(c)",
                              "sub_add_datafil:0108 NORML SKIPPING 0, flag=1, kind=10, name=(a)",
                              "sub_add_datafil:0108 NORML SKIPPING 1, flag=1, kind=10, name=(b)",
                              "sub_add_datafil:0112 NORML Data Processed 2",
                              "sub_add_datafil:0118 NORML Data Stored (ADD) ncnt=2",
                          }));
}

TEST_F(RecordOpsTest, AddTakesFlag2AndDeletedBlocksAsFree)
{
    testenv::write_file(m_file, file_bytes({}, {make_record(1, 10, "a"), make_record(2, 10, "odd", "left over")}));
    EXPECT_EQ(sub_add_datafile(30, "x"), 1);
    const CatgRecord stored = blockAt(record_offset(0, 1));
    EXPECT_EQ(stored.flag, 1);
    EXPECT_STREQ(stored.name, "x");
    EXPECT_STREQ(stored.data, ""); // the whole block is new, nothing of the old one stays

    EXPECT_EQ(sub_delete_datafile(0), 0);
    EXPECT_EQ(sub_add_datafile(10, "again"), 0);
    EXPECT_STREQ(blockAt(4).name, "again");
}

TEST_F(RecordOpsTest, AddCreatesAMissingFileWithMode0600)
{
    enableLog();
    EXPECT_EQ(sub_add_datafile(10, "first"), 0);
    const std::string bytes = fileBytes();
    ASSERT_EQ(bytes.size(), 4u + 4616u);
    EXPECT_EQ(bytes.substr(0, 4), std::string(4, '\0'));
    EXPECT_STREQ(blockAt(4).name, "first");
    const auto perms = std::filesystem::status(m_file).permissions();
    EXPECT_EQ(perms, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(logLines().back(), "sub_add_datafil:0118 NORML Data Stored (ADD) ncnt=0");
}

TEST_F(RecordOpsTest, AddOverAPartialLastBlockStartsOnTheBlockBoundary)
{
    testenv::write_file(m_file, file_bytes({}, {make_record(1, 10, "a")}) + std::string(10, '\x55'));
    EXPECT_EQ(sub_add_datafile(10, "b"), 1);
    EXPECT_EQ(fileBytes().size(), 4u + 2u * 4616u);
    EXPECT_STREQ(blockAt(record_offset(0, 1)).name, "b");
}

TEST_F(RecordOpsTest, ChangeUpdateKeepTheOtherFields)
{
    testenv::write_file(m_file, file_bytes({}, {make_record(1, 10, "long old name", "text")}));
    ASSERT_EQ(sub_change_datafile(0, "new"), 0);
    CatgRecord r = blockAt(4);
    EXPECT_EQ(r.flag, 1);
    EXPECT_EQ(r.catg_kind, 10);
    EXPECT_STREQ(r.name, "new");
    EXPECT_STREQ(r.data, "text");

    ASSERT_EQ(sub_update_datafile(0, nullptr, 20), 0);
    r = blockAt(4);
    EXPECT_EQ(r.catg_kind, 20);
    EXPECT_STREQ(r.data, "text");

    ASSERT_EQ(sub_update_datafile(0, "", -1), 0);
    r = blockAt(4);
    EXPECT_EQ(r.catg_kind, 20);
    EXPECT_STREQ(r.data, "");
    EXPECT_STREQ(r.name, "new");

    const std::string before = fileBytes();
    ASSERT_EQ(sub_update_datafile(0, nullptr, -1), 0);
    EXPECT_EQ(fileBytes(), before);
}

TEST_F(RecordOpsTest, EntryLinesOfChangeDeleteUpdate)
{
    testenv::write_file(m_file, file_bytes({}, {make_record(1, 10, "a")}));
    enableLog();
    sub_change_datafile(0, "b");
    sub_update_datafile(0, "text", -1);
    sub_update_datafile(0, nullptr, 20);
    sub_delete_datafile(0);
    EXPECT_EQ(logLines(), (Lines{
                              "sub_change_data:0037 NORML Data change name cursel=0, name=(b)",
                              "sub_update_data:0038 NORML Data Update cursel=0, data=(text)",
                              "sub_update_data:0038 NORML Data Update cursel=0, data=((null))",
                              "sub_delete_data:0038 NORML Data delete cursel=0",
                          }));
}

TEST_F(RecordOpsTest, IndexOutsideTheRecordAreaWritesNothing)
{
    testenv::write_file(m_file, file_bytes({}, {make_record(1, 10, "a")}) + std::string(100, '\x01'));
    const std::string before = fileBytes();
    EXPECT_EQ(sub_change_datafile(1, "x"), -1);
    EXPECT_EQ(sub_delete_datafile(5), -1);
    EXPECT_EQ(sub_update_datafile(-1, "x", 10), -1);
    EXPECT_EQ(fileBytes(), before);
}

TEST_F(RecordOpsTest, MissingFileIsCreatedButAnIndexIsRefused)
{
    EXPECT_EQ(sub_delete_datafile(0), -1);
    EXPECT_EQ(fileBytes(), std::string(4, '\0'));
}

TEST_F(RecordOpsTest, DamagedFilesAreNeverWritten)
{
    const std::vector<std::string> damaged{count_bytes(-3) + std::string(4616, '\xFF'),
                                           count_bytes(200) + std::string(9000, '\xFF'),
                                           count_bytes(1) + std::string(300, '\xFF'), std::string("\x00\x00", 2)};
    for (const std::string& bytes : damaged) {
        testenv::write_file(m_file, bytes);
        EXPECT_EQ(sub_add_datafile(10, "x"), -1);
        EXPECT_EQ(sub_change_datafile(0, "x"), -1);
        EXPECT_EQ(sub_delete_datafile(0), -1);
        EXPECT_EQ(sub_update_datafile(0, "x", 10), -1);
        EXPECT_EQ(fileBytes(), bytes);
    }
    enableLog();
    sub_delete_datafile(0);
    const Lines lines = logLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "sub_delete_data:0048 ERROR Data File (" + m_file.string() + ") is damaged");
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
    testenv::write_file(m_file, std::string(4, '\0'));
    // 510 ASCII bytes then double-byte characters: 511 bytes would split one.
    std::string sjisName = std::string(510, 'n');
    for (int i = 0; i < 5; ++i)
        sjisName += "\x82\xA0"; // HIRAGANA LETTER SMALL A
    ASSERT_EQ(sub_add_datafile(10, sjisName.c_str()), 0);
    std::string data;
    for (int i = 0; i < 2100; ++i)
        data += "\x82\xA0";
    ASSERT_EQ(sub_update_datafile(0, data.c_str(), -1), 0);
    const CatgRecord r = blockAt(4);
    EXPECT_EQ(std::string(r.name), std::string(510, 'n'));
    EXPECT_EQ(std::string(r.data), data.substr(0, 4094));
    EXPECT_EQ(r.data[4094], '\0');
}
