// Category table load at start and the rewrite of the record file at the end.
#include "store_fixture.h"

#include "store/kind_table.h"
#include "store/sysdata.h"

#include <cerrno>

namespace fs = std::filesystem;
using SysdataTest = StoreTest;

TEST_F(SysdataTest, LoadFillsSlotsInFileOrder)
{
    testenv::write_file(
        m_file, file_bytes({{30, "thirty"}, {10, "ten"}, {20, std::string(512, 'A')}}, {make_record(1, 10, "r")}));
    KindTable[5].in_use = 1; // stale slots are cleared by the load
    enableLog();
    ASSERT_EQ(sub_sysdata_load(), 0);
    // A name without terminator is cut inside its field.
    EXPECT_EQ(kinds(), (Lines{"0:30:thirty", "1:10:ten", "2:20:" + std::string(511, 'A')}));
    const Lines lines = logLines();
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + 2), (Lines{"sub_sysdata_loa:0058 NORML Data Loaded 30 = (thirty) ",
                                                              "sub_sysdata_loa:0058 NORML Data Loaded 10 = (ten) "}));

    testenv::write_file(m_file, std::string(4, '\0'));
    EXPECT_EQ(sub_sysdata_load(), 0);
    EXPECT_EQ(kinds(), Lines{});
    fs::remove(m_file);
    EXPECT_EQ(sub_sysdata_load(), -1);
    EXPECT_EQ(logLines().back(), "sub_sysdata_loa:0043 ERROR Data File (" + m_file.string() + ") Open Error");
}

TEST_F(SysdataTest, SaveWritesUsedSlotsInOrderAndKeepsEveryBlock)
{
    std::vector<CatgRecord> records;
    for (int i = 0; i < 9; ++i)
        records.push_back(i == 4 ? make_record(0, 0, "")
                                 : make_record(1, 10 * (i % 3 + 1), std::string("r") + std::to_string(i)));
    testenv::write_file(m_file, file_bytes({{10, "old"}}, records));
    KindTable[0] = {1, 10, "zero"};
    KindTable[5] = {1, 60, "five"};
    KindTable[9] = {1, 100, "nine"};
    enableLog();
    ASSERT_EQ(sub_sysdata_save(), 0);
    // Every block keeps its record index (7 is "r7") behind the new header.
    EXPECT_EQ(fileBytes(), file_bytes({{10, "zero"}, {60, "five"}, {100, "nine"}}, records));

    const Lines lines = logLines();
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(
        Lines(lines.begin(), lines.begin() + 8),
        (Lines{"sub_sysdata_sav:0064 NORML Header check loop start", "sub_sysdata_sav:0075 NORML Header count = 3",
               "sub_sysdata_sav:0097 NORML Saving Data id=10, name=(zero)",
               "sub_sysdata_sav:0097 NORML Saving Data id=60, name=(five)",
               "sub_sysdata_sav:0097 NORML Saving Data id=100, name=(nine)",
               "sub_sysdata_sav:0107 NORML Skip Check Start", "sub_sysdata_sav:0111 NORML Skip Loop Start",
               "sub_sysdata_sav:0124 NORML Category id=10, name=(r0), data=()"}));
    EXPECT_EQ(lines[11], "sub_sysdata_sav:0124 NORML Category id=0, name=(), data=()");
    EXPECT_EQ(lines[16], "sub_sysdata_sav:0133 NORML Create Data Done. Rewinding Data");

    memset(KindTable, 0, sizeof KindTable); // no categories at all: the records still stay
    ASSERT_EQ(sub_sysdata_save(), 0);
    EXPECT_EQ(fileBytes(), file_bytes({}, records));
}

TEST_F(SysdataTest, SaveWithoutAFileWritesTheHeaderAloneWithMode0600)
{
    KindTable[0] = {1, 10, "a"};
    enableLog();
    ASSERT_EQ(sub_sysdata_save(), 0);
    EXPECT_EQ(fileBytes(), file_bytes({{10, "a"}}, {}));
    EXPECT_EQ(fs::status(m_file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(logLines().front(), "sub_sysdata_sav:0049 NORML Could not open Data File (" + m_file.string() + ")");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir()), {}), 4); // records, trace, registry, home: no temporary
}

TEST_F(SysdataTest, SaveKeepsSymbolicLinksAndMakesTheFilePrivate)
{
    fs::create_directory(path("real"));
    const fs::path target = path("real/records.dat");
    const fs::perms perms = fs::perms::owner_read | fs::perms::owner_write;
    testenv::write_file(target, file_bytes({}, {make_record(1, 10, "a")}));
    fs::permissions(target, perms | fs::perms::group_read); // copied in with group access
    fs::create_symlink("real/records.dat", m_file);
    KindTable[0] = {1, 10, "k"};
    ASSERT_EQ(sub_sysdata_save(), 0);
    EXPECT_EQ(fs::read_symlink(m_file), "real/records.dat");
    EXPECT_EQ(testenv::read_file(target), file_bytes({{10, "k"}}, {make_record(1, 10, "a")}));
    EXPECT_EQ(fs::status(target).permissions(), perms);
    EXPECT_EQ(std::distance(fs::directory_iterator(path("real")), {}), 1);
}

TEST_F(SysdataTest, SaveRefusesAPathThatExistsButCannotBeRead)
{
    // A loop of links: opening fails, yet something is there that must not be replaced.
    fs::create_symlink("other.dat", m_file);
    fs::create_symlink("records.dat", path("other.dat"));
    KindTable[0] = {1, 10, "a"};
    EXPECT_EQ(sub_sysdata_save(), -1);
    EXPECT_EQ(fs::read_symlink(m_file), "other.dat");
    EXPECT_EQ(fs::read_symlink(path("other.dat")), "records.dat");
}
