// Category table load at start and the rewrite of the record file at the end.
#include "store_fixture.h"

#include "store/image_file.h"
#include "store/kind_table.h"
#include "store/sysdata.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

using Lines = std::vector<std::string>;
using SysdataTest = StoreTest;

namespace {

void use_slot(int slot, int32_t id, const char* name)
{
    KindTable[slot].in_use = 1;
    KindTable[slot].kind_id = id;
    strcpy(KindTable[slot].name, name);
}

} // namespace

TEST_F(SysdataTest, LoadFillsSlotsInFileOrder)
{
    testenv::write_file(m_file, file_bytes({{30, "thirty"}, {10, "ten"}}, {make_record(1, 10, "r")}));
    KindTable[5].in_use = 1; // stale slots are cleared by the load
    enableLog();
    ASSERT_EQ(sub_sysdata_load(), 0);
    EXPECT_EQ(KindTable[0].in_use, 1);
    EXPECT_EQ(KindTable[0].kind_id, 30);
    EXPECT_STREQ(KindTable[0].name, "thirty");
    EXPECT_EQ(KindTable[1].in_use, 1);
    EXPECT_EQ(KindTable[1].kind_id, 10);
    EXPECT_STREQ(KindTable[1].name, "ten");
    EXPECT_EQ(KindTable[2].in_use, 0);
    EXPECT_EQ(KindTable[5].in_use, 0);
    EXPECT_EQ(logLines(), (Lines{"sub_sysdata_loa:0058 NORML Data Loaded 30 = (thirty) ",
                                 "sub_sysdata_loa:0058 NORML Data Loaded 10 = (ten) "}));
}

TEST_F(SysdataTest, LoadOfCountZeroMissingAndDamagedFiles)
{
    testenv::write_file(m_file, std::string(4, '\0'));
    EXPECT_EQ(sub_sysdata_load(), 0);
    EXPECT_EQ(KindTable[0].in_use, 0);

    std::filesystem::remove(m_file);
    enableLog();
    EXPECT_EQ(sub_sysdata_load(), -1);
    EXPECT_EQ(logLines(), (Lines{"sub_sysdata_loa:0043 ERROR Data File (" + m_file.string() + ") Open Error"}));

    // Over 128 headers, and fewer headers than the count promises: nothing is taken.
    std::string over = count_bytes(129);
    for (int i = 0; i < 129; ++i)
        over += header_bytes(10 * (i + 1), "c");
    for (const std::string& bytes : {over, count_bytes(3) + header_bytes(10, "a") + header_bytes(20, "b")}) {
        testenv::write_file(m_file, bytes);
        EXPECT_EQ(sub_sysdata_load(), -1);
        for (const KindSlot& slot : KindTable)
            EXPECT_EQ(slot.in_use, 0);
    }
}

TEST_F(SysdataTest, LoadNeverCopiesPastAnUnterminatedName)
{
    KindHeader h;
    memset(&h, 'A', sizeof h);
    h.kind_id = 10;
    scramble_block(&h, sizeof h);
    testenv::write_file(m_file, count_bytes(1) + std::string(reinterpret_cast<const char*>(&h), sizeof h));
    ASSERT_EQ(sub_sysdata_load(), 0);
    EXPECT_EQ(std::string(KindTable[0].name), std::string(511, 'A'));
}

TEST_F(SysdataTest, SaveWritesUsedSlotsInOrderAndKeepsEveryBlock)
{
    std::vector<CatgRecord> records;
    for (int i = 0; i < 9; ++i)
        records.push_back(i == 4 ? make_record(0, 0, "") : make_record(1, 10 * (i % 3 + 1), "r" + std::to_string(i)));
    const std::string old = file_bytes({{10, "old"}}, records);
    testenv::write_file(m_file, old);
    use_slot(0, 10, "zero");
    use_slot(5, 60, "five");
    use_slot(9, 100, "nine");
    enableLog();
    ASSERT_EQ(sub_sysdata_save(), 0);

    const std::string bytes = fileBytes();
    EXPECT_EQ(bytes, file_bytes({{10, "zero"}, {60, "five"}, {100, "nine"}}, records));
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x03\0\0\0", 4));
    EXPECT_STREQ(blockAt(record_offset(3, 7)).name, "r7");

    const Lines lines = logLines();
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(
        Lines(lines.begin(), lines.begin() + 7),
        (Lines{"sub_sysdata_sav:0064 NORML Header check loop start", "sub_sysdata_sav:0075 NORML Header count = 3",
               "sub_sysdata_sav:0097 NORML Saving Data id=10, name=(zero)",
               "sub_sysdata_sav:0097 NORML Saving Data id=60, name=(five)",
               "sub_sysdata_sav:0097 NORML Saving Data id=100, name=(nine)",
               "sub_sysdata_sav:0107 NORML Skip Check Start", "sub_sysdata_sav:0111 NORML Skip Loop Start"}));
    EXPECT_EQ(lines[7], "sub_sysdata_sav:0124 NORML Category id=10, name=(r0), data=()");
    EXPECT_EQ(lines[11], "sub_sysdata_sav:0124 NORML Category id=0, name=(), data=()");
    EXPECT_EQ(lines[16], "sub_sysdata_sav:0133 NORML Create Data Done. Rewinding Data");
}

TEST_F(SysdataTest, SaveWithoutAFileWritesTheHeaderAlone)
{
    use_slot(0, 10, "a");
    enableLog();
    ASSERT_EQ(sub_sysdata_save(), 0);
    EXPECT_EQ(fileBytes(), file_bytes({{10, "a"}}, {}));
    EXPECT_EQ(std::filesystem::status(m_file).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(logLines().front(), "sub_sysdata_sav:0049 NORML Could not open Data File (" + m_file.string() + ")");
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir()), {}), 4); // records, trace, registry, home
}

TEST_F(SysdataTest, SaveOfAnEmptyTableKeepsTheRecords)
{
    const std::vector<CatgRecord> records{make_record(1, 10, "a", "x"), make_record(1, 20, "b", "y")};
    testenv::write_file(m_file, file_bytes({{10, "k"}, {20, "l"}}, records));
    ASSERT_EQ(sub_sysdata_save(), 0);
    EXPECT_EQ(fileBytes(), file_bytes({}, records));
}

TEST_F(SysdataTest, SaveLeavesADamagedFileUntouched)
{
    use_slot(0, 10, "a");
    for (const std::string& bytes :
         {count_bytes(-1), count_bytes(129), count_bytes(2) + header_bytes(10, "a"), std::string("\x01", 1)}) {
        testenv::write_file(m_file, bytes);
        EXPECT_EQ(sub_sysdata_save(), -1);
        EXPECT_EQ(fileBytes(), bytes);
    }
}

TEST_F(SysdataTest, SaveKeepsPermissionsAndSymbolicLinks)
{
    namespace fs = std::filesystem;
    fs::create_directory(path("real"));
    const fs::path target = path("real/records.dat");
    testenv::write_file(target, file_bytes({}, {make_record(1, 10, "a")}));
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("real/records.dat", m_file);
    use_slot(0, 10, "k");
    ASSERT_EQ(sub_sysdata_save(), 0);
    EXPECT_TRUE(fs::is_symlink(m_file));
    EXPECT_EQ(fs::read_symlink(m_file), "real/records.dat");
    EXPECT_EQ(testenv::read_file(target), file_bytes({{10, "k"}}, {make_record(1, 10, "a")}));
    EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(path("real")), {}), 1);
}

TEST_F(SysdataTest, SaveRefusesAPathThatExistsButCannotBeRead)
{
    namespace fs = std::filesystem;
    // A loop of links: opening fails, yet something is there that must not be replaced.
    fs::create_symlink("other.dat", m_file);
    fs::create_symlink("records.dat", path("other.dat"));
    use_slot(0, 10, "a");
    EXPECT_EQ(sub_sysdata_save(), -1);
    EXPECT_EQ(fs::read_symlink(m_file), "other.dat");
    EXPECT_EQ(fs::read_symlink(path("other.dat")), "records.dat");
    fs::remove(m_file);

    if (geteuid() == 0)
        return; // root reads any file
    const std::string old = file_bytes({}, {make_record(1, 10, "a")});
    testenv::write_file(m_file, old);
    fs::permissions(m_file, fs::perms::owner_write);
    EXPECT_EQ(sub_sysdata_save(), -1);
    fs::permissions(m_file, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fileBytes(), old);
}

namespace {

// Fails the write with number g_failAt (counting from 0) as a full disk does,
// after half of its bytes went through.
int g_writes = 0;
int g_failAt = -1;

ssize_t failing_write(int fd, const void* buffer, size_t size)
{
    if (g_writes++ == g_failAt) {
        if (size > 1)
            (void)::write(fd, buffer, size / 2);
        errno = ENOSPC;
        return -1;
    }
    return ::write(fd, buffer, size);
}

} // namespace

TEST_F(SysdataTest, AFailedWriteAtAnyPointLeavesTheOldFileWhole)
{
    // Enough blocks for the image to reach the file in several writes.
    std::vector<CatgRecord> records;
    for (int i = 0; i < 40; ++i)
        records.push_back(i % 7 == 3 ? make_record(0, 0, "")
                                     : make_record(1, i % 2 ? 20 : 10, "r" + std::to_string(i)));
    const std::string old = file_bytes({{10, "ten"}}, records);
    const std::string saved = file_bytes({{10, "ten"}, {20, "twenty"}}, records);
    use_slot(0, 10, "ten");
    use_slot(1, 20, "twenty");

    // Count the writes of a whole save first.
    testenv::write_file(m_file, old);
    g_writes = 0;
    g_failAt = -1;
    set_image_write_hook(failing_write);
    ASSERT_EQ(sub_sysdata_save(), 0);
    ASSERT_EQ(fileBytes(), saved);
    const int total = g_writes;
    ASSERT_GE(total, 5);

    for (int failAt = 0; failAt < total; ++failAt) {
        testenv::write_file(m_file, old);
        g_writes = 0;
        g_failAt = failAt;
        enableLog();
        std::filesystem::remove(path("trace.log"));
        EXPECT_EQ(sub_sysdata_save(), -1) << "write " << failAt;
        EXPECT_EQ(fileBytes(), old) << "write " << failAt;
        EXPECT_EQ(logLines().back(), "sub_sysdata_sav:0139 NORML Data File (" + m_file.string() + ") open error");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir()), {}), 4) << "temporary file left";
    }
    set_image_write_hook(nullptr);
}
