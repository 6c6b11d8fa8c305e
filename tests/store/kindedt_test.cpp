// Category table changes of the category editor and the purge of a deleted
// category's records.
#include "store_fixture.h"

#include "store/kind_table.h"
#include "store/kindedt.h"

#include <cstring>

using Lines = std::vector<std::string>;
using KindedtTest = StoreTest;

TEST_F(KindedtTest, AddToAnEmptyTableCreatesAnEmptyFileAndId10)
{
    EXPECT_EQ(kindedt_add("first"), 0);
    EXPECT_EQ(KindTable[0].in_use, 1);
    EXPECT_EQ(KindTable[0].kind_id, 10);
    EXPECT_STREQ(KindTable[0].name, "first");
    EXPECT_EQ(fileBytes(), std::string(4, '\0'));
    EXPECT_EQ(std::filesystem::status(m_file).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    // An existing file is left as it is.
    const std::string bytes = file_bytes({}, {make_record(1, 10, "r")});
    testenv::write_file(m_file, bytes);
    EXPECT_EQ(kindedt_add("second"), 1);
    EXPECT_EQ(KindTable[1].kind_id, 20);
    EXPECT_EQ(fileBytes(), bytes);
}

TEST_F(KindedtTest, DeleteThenAddReusesTheSlotAndItsFreedId)
{
    kindedt_add("a");
    kindedt_add("b");
    testenv::write_file(m_file, file_bytes({}, {make_record(1, 10, "of a"), make_record(1, 20, "of b")}));
    kindedt_delete(0);
    EXPECT_EQ(KindTable[0].in_use, 0);
    EXPECT_EQ(KindTable[0].kind_id, 0);
    EXPECT_EQ(std::string(KindTable[0].name, sizeof KindTable[0].name), std::string(512, '\0'));
    EXPECT_EQ(kindedt_add("c"), 0);
    EXPECT_EQ(KindTable[0].kind_id, 10);
    EXPECT_EQ(blockAt(4).flag, 0);
    EXPECT_STREQ(blockAt(4 + 4616).name, "of b");
}

TEST_F(KindedtTest, NewIdsAvoidIdsInUseByCategoriesAndLiveRecords)
{
    // After a packing load: id 30 sits in slot 1, slot 2 is free.
    KindTable[0] = {1, 10, "a"};
    KindTable[1] = {1, 30, "c"};
    EXPECT_EQ(kindedt_add("new"), 2);
    EXPECT_EQ(KindTable[2].kind_id, 20); // 30 is taken, 20 is the lowest free

    // Live records of a category whose header was never saved keep their id;
    // free blocks do not.
    memset(KindTable, 0, sizeof KindTable);
    testenv::write_file(m_file, file_bytes({}, {make_record(1, 10, "orphan"), make_record(2, 20, "free")}));
    EXPECT_EQ(kindedt_add("x"), 0);
    EXPECT_EQ(KindTable[0].kind_id, 20);
    EXPECT_EQ(kindedt_add("y"), 1);
    EXPECT_EQ(KindTable[1].kind_id, 30);
}

TEST_F(KindedtTest, AFullTableAddsNothingButStillMakesTheFile)
{
    for (int i = 0; i < KIND_MAX; ++i)
        KindTable[i] = {1, 10 * (i + 1), "k"};
    EXPECT_EQ(kindedt_add("one too many"), -1);
    EXPECT_EQ(fileBytes(), std::string(4, '\0'));
    for (int i = 0; i < KIND_MAX; ++i)
        EXPECT_STREQ(KindTable[i].name, "k");
}

TEST_F(KindedtTest, RenameKeepsIdAndCutsLongNames)
{
    kindedt_add("old");
    std::string name(600, 'x');
    kindedt_rename(0, name.c_str());
    EXPECT_EQ(std::string(KindTable[0].name), std::string(511, 'x'));
    EXPECT_EQ(KindTable[0].kind_id, 10);
    EXPECT_EQ(KindTable[1].in_use, 0);
    kindedt_rename(0, "new");
    EXPECT_STREQ(KindTable[0].name, "new");
    EXPECT_EQ(fileBytes(), std::string(4, '\0'));
}

TEST_F(KindedtTest, DeletePurgesOnlyTheCategorysLiveRecords)
{
    KindTable[0] = {1, 10, "ten"};
    KindTable[1] = {1, 20, "twenty"};
    const CatgRecord other = make_record(1, 20, "keep", "kept text");
    const CatgRecord freeOf10 = make_record(3, 10, "free");
    testenv::write_file(m_file, file_bytes({{10, "ten"}}, {make_record(1, 10, "one", "1"), make_record(1, 10, "two"),
                                                           other, make_record(1, 10, "three"), freeOf10}));
    enableLog();
    kindedt_delete(0);
    EXPECT_EQ(KindTable[0].in_use, 0);
    EXPECT_EQ(fileBytes(), file_bytes({{10, "ten"}}, {make_record(0, 0, ""), make_record(0, 0, ""), other,
                                                      make_record(0, 0, ""), freeOf10}));
    EXPECT_EQ(logLines(), (Lines{"kindedt.cpp:0211 NORML Purge kind=10, name=(one)",
                                 "kindedt.cpp:0211 NORML Purge kind=10, name=(two)",
                                 "kindedt.cpp:0211 NORML Purge kind=10, name=(three)"}));
}

TEST_F(KindedtTest, DeleteWithoutOrWithADamagedFileOnlyChangesTheTable)
{
    KindTable[0] = {1, 10, "ten"};
    kindedt_delete(0);
    EXPECT_EQ(KindTable[0].in_use, 0);
    EXPECT_FALSE(std::filesystem::exists(m_file));

    KindTable[0] = {1, 10, "ten"};
    const std::string damaged = count_bytes(200) + header_bytes(10, "ten") + record_bytes(make_record(1, 10, "r"));
    testenv::write_file(m_file, damaged);
    kindedt_delete(0);
    EXPECT_EQ(KindTable[0].in_use, 0);
    EXPECT_EQ(fileBytes(), damaged);
}
