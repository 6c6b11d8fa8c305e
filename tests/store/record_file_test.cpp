// The record file layout: scrambling, offsets, reading by walk and by index,
// and damaged files, which no operation reads or writes.
#include "store_fixture.h"

#include "store/file/data_key.h"
#include "store/file/form_change.h"
#include "store/file/protected_form.h"
#include "store/file/record_io.h"
#include "store/kind_table.h"
#include "store/kindedt.h"
#include "store/record_ops.h"
#include "store/sysdata.h"

#include <algorithm>

TEST(Scramble, SwapsHalvesAndInvertsAndIsItsOwnInverse)
{
    const std::string plain{'\0', '\x01', '\x12', 'a', 'b', 'c'};
    std::string bytes = plain;
    scramble_block(bytes.data(), 6);
    EXPECT_EQ(bytes, "\xFF\xEF\xDE\xE9\xD9\xC9");
    unscramble_block(bytes.data(), 6);
    scramble_block(bytes.data(), 0);
    scramble_block(bytes.data(), -5);
    EXPECT_EQ(bytes, plain);
}

TEST(FieldText, StopsAtTheFieldEndWithoutTerminator)
{
    const char field[4] = {'a', 'b', 'c', 'd'};
    char out[5];
    field_text(field, 4, out);
    EXPECT_STREQ(out, "abcd");
}

using RecordFileTest = StoreTest;

TEST_F(RecordFileTest, WalkAndIndexReadFollowTheHeaderCountAndSkipAPartialBlock)
{
    EXPECT_EQ(record_offset(2, 3), 14884);
    EXPECT_EQ(record_offset(128, 1000000), 4 + 128 * 516 + int64_t{1000000} * 4616); // no wrap past 2 GiB
    const std::vector<CatgRecord> records{make_record(1, 10, "r0"), make_record(0, 0, ""), make_record(1, 20, "r2"),
                                          make_record(1, 10, "r3", "text3")};
    testenv::write_file(m_file, file_bytes({{10, "a"}, {20, "b"}}, records) + std::string(100, '\xEF'));
    CatgRecord r;
    ASSERT_EQ(read_record(m_file.c_str(), 3, r), 0);
    EXPECT_EQ(r, records[3]);
    EXPECT_EQ(read_record(m_file.c_str(), 4, r), -1);
    EXPECT_EQ(read_record(m_file.c_str(), -1, r), -1);

    RecordReader reader(m_file.c_str());
    EXPECT_EQ(reader.headerCount(), 2);
    int index = -1;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(reader.next(r, index));
        EXPECT_EQ(index, i);
        EXPECT_EQ(r, records[i]);
    }
    EXPECT_FALSE(reader.next(r, index));
}

TEST_F(RecordFileTest, ReadersLeaveAMissingFileAndTheFirstAddGoesToOffset4)
{
    CatgRecord r;
    int index = -1;
    EXPECT_FALSE(RecordReader(m_file.c_str()).isOpen());
    EXPECT_EQ(read_record(m_file.c_str(), 0, r), -1);
    EXPECT_FALSE(std::filesystem::exists(m_file));

    enableLog();
    EXPECT_EQ(sub_add_datafile(10, "first"), 0);
    EXPECT_EQ(fileBytes(), file_bytes({}, {make_record(1, 10, "first")}));
    EXPECT_EQ(fileBytes().substr(0, 8), std::string("\0\0\0\0\xEF\xFF\xFF\xFF", 8));
    EXPECT_EQ(std::filesystem::status(m_file).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(logLines().back(), "sub_add_datafil:0118 NORML Data Stored (ADD) ncnt=0");

    testenv::write_file(m_file, std::string(4, '\0'));
    {
        RecordReader reader(m_file.c_str());
        ASSERT_TRUE(reader.isOpen());
        EXPECT_EQ(reader.headerCount(), 0);
        EXPECT_FALSE(reader.next(r, index));
    }
    EXPECT_EQ(sub_add_datafile(20, "again"), 0);
    EXPECT_EQ(fileBytes(), file_bytes({}, {make_record(1, 20, "again")}));
}

TEST_F(RecordFileTest, DeletedRecordIsAllFFOnDiskAndReadsAsAnEmptyBlock)
{
    testenv::write_file(m_file, file_bytes({}, {make_record(1, 10, "gone", "secret")}));
    ASSERT_EQ(sub_delete_datafile(0), 0);
    EXPECT_EQ(fileBytes(), std::string(4, '\0') + std::string(4616, '\xFF'));
    CatgRecord r;
    ASSERT_EQ(read_record(m_file.c_str(), 0, r), 0);
    EXPECT_EQ(r, make_record(0, 0, ""));
}

TEST_F(RecordFileTest, DamagedFilesAreNeitherReadNorWrittenByAnyOperation)
{
    const std::vector<std::string> damaged{
        "",
        std::string("\x01\0", 2),                          // count cut short
        count_bytes(-1) + std::string(4616, '\xFF'),       // negative count
        count_bytes(129) + std::string(129 * 516, '\xFF'), // over 128 categories
        count_bytes(2) + std::string(516 + 300, '\xFF'),   // shorter than its header
    };
    for (const std::string& bytes : damaged) {
        testenv::write_file(m_file, bytes);
        CatgRecord r;
        int index = 0;
        RecordReader reader(m_file.c_str());
        EXPECT_FALSE(reader.isOpen());
        EXPECT_FALSE(reader.next(r, index));
        EXPECT_EQ(read_record(m_file.c_str(), 0, r), -1);
        EXPECT_EQ(sub_add_datafile(10, "x"), -1);
        EXPECT_EQ(sub_change_datafile(0, "x"), -1);
        EXPECT_EQ(sub_delete_datafile(0), -1);
        EXPECT_EQ(sub_update_datafile(0, "x", 10), -1);
        KindTable[0] = {1, 10, "ten"};
        EXPECT_EQ(kindedt_delete(0), -1); // the purge is refused, so the category stays
        EXPECT_EQ(kinds(), Lines{"0:10:ten"});
        KindTable[0] = {1, 10, "ten"};
        EXPECT_EQ(sub_sysdata_save(), -1);
        EXPECT_EQ(sub_sysdata_load(), -1);
        EXPECT_EQ(kinds(), Lines{}); // nothing of it is taken
        EXPECT_EQ(fileBytes(), bytes) << bytes.size();
    }
    enableLog();
    sub_delete_datafile(0);
    EXPECT_EQ(logLines().back(), "sub_delete_data:0048 ERROR Data File (" + m_file.string() + ") is damaged");
}

// The head walk decodes only flag, category and, on request, the name; over a
// file of more blocks than several batches it must meet every block in order
// with the values the full walk gives, also a name that fills its whole field.
TEST_F(RecordFileTest, HeadWalkGivesWhatTheFullWalkGivesAcrossBatchesAndMapWindows)
{
    // Past two windows of the walk's maps, which start inside a block.
    std::vector<CatgRecord> records;
    for (int i = 0; i < 2300; ++i)
        records.push_back(make_record(i % 7 == 3 ? 0 : 1, 10 * (i % 5), i % 7 == 3 ? "" : "name " + std::to_string(i),
                                      "data " + std::to_string(i)));
    memset(records[500].name, 'x', sizeof records[500].name); // no terminator
    records[501].name[0] = '\xA0';                            // a byte that scrambles to 0xF5
    testenv::write_file(m_file, file_bytes({{10, "a"}}, records) + std::string(17, '\x01'));

    RecordReader full(m_file.c_str());
    RecordReader heads(m_file.c_str());
    CatgRecord record;
    int index = -1;
    int headIndex = -1;
    int32_t flag = 0;
    int32_t kind = 0;
    char name[NAME_SIZE + 1];
    char expected[NAME_SIZE + 1];
    int walked = 0;
    while (full.next(record, index)) {
        ASSERT_TRUE(index >= 0 && index < 2300);
        ASSERT_TRUE(record == records[static_cast<size_t>(index)]) << index;
        ASSERT_TRUE(heads.nextHead(flag, kind, headIndex)) << index;
        EXPECT_EQ(headIndex, index);
        EXPECT_EQ(flag, record.flag) << index;
        EXPECT_EQ(kind, record.catg_kind) << index;
        heads.name(name);
        field_text(record.name, NAME_SIZE, expected);
        ASSERT_STREQ(name, expected) << index;
        ++walked;
    }
    EXPECT_EQ(walked, 2300);
    EXPECT_FALSE(heads.nextHead(flag, kind, headIndex));
}

// A walk over a part of the record area meets exactly the blocks of that part,
// in order, whether the file is read through maps, in batches, or sealed.
TEST_F(RecordFileTest, AWalkOverAPartMeetsExactlyItsBlocks)
{
    std::vector<CatgRecord> records;
    for (int i = 0; i < 2300; ++i)
        records.push_back(make_record(1, 10, "name " + std::to_string(i)));
    testenv::write_file(m_file, file_bytes({{10, "a"}}, records));
    for (const bool sealed : {false, true}) {
        if (sealed) {
            ASSERT_EQ(protect_record_file(m_file.c_str(), "pw", KeyCost::least()), Conversion::Done);
            ASSERT_EQ(unlock_record_file(m_file.c_str(), "pw"), FileUnlock::Ok);
        }
        RecordFile file;
        ASSERT_EQ(file.openRead(m_file.c_str()), OpenStatus::Ok);
        // Within one batch, across map windows, to the end, past it, and empty.
        const std::pair<int64_t, int64_t> parts[] = {{0, 5}, {3, 40}, {1000, 2100}, {1150, 2300}, {2200, 9999}, {7, 7}};
        for (const auto& [first, end] : parts) {
            SCOPED_TRACE((sealed ? "sealed " : "") + std::to_string(first) + ".." + std::to_string(end));
            BlockWalk walk = file.walk(false, first, end);
            int64_t expected = first;
            while (const CatgRecord* block = walk.next()) {
                ASSERT_EQ(walk.index(), expected);
                CatgRecord plain = *block;
                unscramble_block(&plain, sizeof plain);
                ASSERT_TRUE(plain == records[static_cast<size_t>(expected)]);
                ++expected;
            }
            EXPECT_FALSE(walk.failed());
            EXPECT_EQ(expected, std::min<int64_t>(end, 2300));
        }
    }
}
