// Category table changes of the category editor and the purge of a deleted
// category's records.
#include "store_fixture.h"

#include "store/kind_table.h"
#include "store/kindedt.h"

using KindedtTest = StoreTest;

TEST_F(KindedtTest, AddMakesSureOfTheFileAndRenameKeepsTheId)
{
    EXPECT_EQ(kindedt_add("first"), 0);
    EXPECT_EQ(fileBytes(), std::string(4, '\0'));
    EXPECT_EQ(std::filesystem::status(m_file).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    const std::string bytes = file_bytes({}, {make_record(1, 10, "r")}); // an existing file is left as it is
    testenv::write_file(m_file, bytes);
    EXPECT_EQ(kindedt_add("second"), 1);
    kindedt_rename(0, std::string(600, 'x').c_str());
    EXPECT_EQ(kinds(), (Lines{"0:10:" + std::string(511, 'x'), "1:20:second"}));
    EXPECT_EQ(fileBytes(), bytes);

    for (int i = 2; i < KIND_MAX; ++i)
        KindTable[i] = {1, 10 * (i + 1), "k"};
    std::filesystem::remove(m_file);
    EXPECT_EQ(kindedt_add("one too many"), -1); // a full table adds nothing but still makes the file
    EXPECT_EQ(fileBytes(), std::string(4, '\0'));
    EXPECT_EQ(kinds().size(), 128u);
    EXPECT_EQ(kinds()[127], "127:1280:k");
}

TEST_F(KindedtTest, NewIdsAvoidIdsInUseByCategoriesAndLiveRecords)
{
    // After a packing load: id 30 sits in slot 1, slot 2 is free; 20 is the lowest free id.
    KindTable[0] = {1, 10, "a"};
    KindTable[1] = {1, 30, "c"};
    EXPECT_EQ(kindedt_add("new"), 2);
    EXPECT_EQ(kinds(), (Lines{"0:10:a", "1:30:c", "2:20:new"}));

    // A deleted slot and its id are free again.
    kindedt_delete(0);
    EXPECT_EQ(std::string(KindTable[0].name, NAME_SIZE), std::string(NAME_SIZE, '\0'));
    EXPECT_EQ(kindedt_add("again"), 0);
    EXPECT_EQ(kinds(), (Lines{"0:10:again", "1:30:c", "2:20:new"}));

    // Live records of a category whose header was never saved keep their id;
    // free blocks do not.
    memset(KindTable, 0, sizeof KindTable);
    testenv::write_file(m_file, file_bytes({}, {make_record(1, 10, "orphan"), make_record(2, 20, "free")}));
    EXPECT_EQ(kindedt_add("x"), 0);
    EXPECT_EQ(kindedt_add("y"), 1);
    EXPECT_EQ(kinds(), (Lines{"0:20:x", "1:30:y"}));
}

TEST_F(KindedtTest, DeletePurgesOnlyTheCategorysLiveRecords)
{
    KindTable[0] = {1, 10, "ten"};
    KindTable[1] = {1, 20, "twenty"};
    const CatgRecord other = make_record(1, 20, "keep", "kept text"), freeOf10 = make_record(3, 10, "free");
    const CatgRecord purged = make_record(0, 0, "");
    testenv::write_file(m_file, file_bytes({{10, "ten"}}, {make_record(1, 10, "one", "1"), make_record(1, 10, "two"),
                                                           other, make_record(1, 10, "three"), freeOf10}));
    enableLog();
    kindedt_delete(0);
    EXPECT_EQ(kinds(), (Lines{"1:20:twenty"}));
    EXPECT_EQ(fileBytes(), file_bytes({{10, "ten"}}, {purged, purged, other, purged, freeOf10}));
    EXPECT_EQ(logLines(), (Lines{"kindedt.cpp:0211 NORML Purge kind=10, name=(one)",
                                 "kindedt.cpp:0211 NORML Purge kind=10, name=(two)",
                                 "kindedt.cpp:0211 NORML Purge kind=10, name=(three)"}));

    std::filesystem::remove(m_file); // without a file only the table changes
    kindedt_delete(1);
    EXPECT_EQ(kinds(), Lines{});
    EXPECT_FALSE(std::filesystem::exists(m_file));
}
