// The record file layout: scrambling, offsets, and reading by walk and by index.
#include "store_fixture.h"

#include "store/record_ops.h"

#include <cstring>

TEST(Scramble, SwapsHalvesAndInvertsAndIsItsOwnInverse)
{
    unsigned char bytes[] = {0x00, 0x01, 0x12, 'a', 'b', 'c'};
    EXPECT_EQ(scramble_block(bytes, sizeof bytes), 0);
    const unsigned char expected[] = {0xFF, 0xEF, 0xDE, 0xE9, 0xD9, 0xC9};
    EXPECT_EQ(0, memcmp(bytes, expected, sizeof bytes));
    EXPECT_EQ(unscramble_block(bytes, sizeof bytes), 0);
    const unsigned char original[] = {0x00, 0x01, 0x12, 'a', 'b', 'c'};
    EXPECT_EQ(0, memcmp(bytes, original, sizeof bytes));

    unsigned char untouched[] = {0x12, 0x34};
    scramble_block(untouched, 0);
    scramble_block(untouched, -5);
    EXPECT_EQ(untouched[0], 0x12);
    EXPECT_EQ(untouched[1], 0x34);
}

TEST(RecordOffset, CountsHeadersAndBlocksIn64Bits)
{
    EXPECT_EQ(record_offset(2, 3), 14884);
    EXPECT_EQ(record_offset(0, 0), 4);
    // Past 2 GiB the offset must not wrap.
    EXPECT_EQ(record_offset(128, 1000000), 4 + 128 * 516 + int64_t{1000000} * 4616);
}

TEST(FieldText, StopsAtTheFieldEndWithoutTerminator)
{
    char field[4] = {'a', 'b', 'c', 'd'};
    char out[5];
    field_text(field, 4, out);
    EXPECT_STREQ(out, "abcd");
    field[1] = '\0';
    field_text(field, 4, out);
    EXPECT_STREQ(out, "a");
}

using RecordFileTest = StoreTest;

TEST_F(RecordFileTest, EmptyFileHasNoRecordsAndTheFirstGoesToOffset4)
{
    testenv::write_file(m_file, std::string(4, '\0'));
    RecordReader reader(m_file.c_str());
    ASSERT_TRUE(reader.isOpen());
    EXPECT_EQ(reader.headerCount(), 0);
    CatgRecord r;
    int index = -1;
    EXPECT_FALSE(reader.next(r, index));

    EXPECT_EQ(sub_add_datafile(10, "first"), 0);
    const std::string bytes = fileBytes();
    ASSERT_EQ(bytes.size(), 4u + 4616u);
    EXPECT_EQ(bytes.substr(0, 8), std::string("\0\0\0\0\xEF\xFF\xFF\xFF", 8));
    EXPECT_STREQ(blockAt(4).name, "first");
}

TEST_F(RecordFileTest, WalkAndIndexReadUseTheFileHeaderCount)
{
    testenv::write_file(
        m_file, file_bytes({{10, "a"}, {20, "b"}}, {make_record(1, 10, "r0"), make_record(0, 0, ""),
                                                    make_record(1, 20, "r2"), make_record(1, 10, "r3", "text3")}));
    CatgRecord r;
    ASSERT_EQ(read_record(m_file.c_str(), 3, r), 0);
    EXPECT_STREQ(r.name, "r3");
    EXPECT_STREQ(r.data, "text3");
    EXPECT_EQ(blockAt(14884).catg_kind, 10);
    EXPECT_STREQ(blockAt(14884).name, "r3");
    EXPECT_EQ(read_record(m_file.c_str(), 4, r), -1);
    EXPECT_EQ(read_record(m_file.c_str(), -1, r), -1);

    RecordReader reader(m_file.c_str());
    EXPECT_EQ(reader.headerCount(), 2);
    std::vector<std::pair<int, std::string>> seen;
    int index = -1;
    while (reader.next(r, index))
        seen.emplace_back(index, std::string(r.name) + "/" + std::to_string(r.flag));
    const std::vector<std::pair<int, std::string>> expected{{0, "r0/1"}, {1, "/0"}, {2, "r2/1"}, {3, "r3/1"}};
    EXPECT_EQ(seen, expected);
}

TEST_F(RecordFileTest, DeletedRecordIsAllFFOnDiskAndReadsEmpty)
{
    testenv::write_file(m_file, file_bytes({}, {make_record(1, 10, "gone", "secret")}));
    ASSERT_EQ(sub_delete_datafile(0), 0);
    EXPECT_EQ(fileBytes().substr(4), std::string(4616, '\xFF'));
    CatgRecord r;
    ASSERT_EQ(read_record(m_file.c_str(), 0, r), 0);
    EXPECT_EQ(r.flag, 0);
    EXPECT_EQ(r.catg_kind, 0);
    EXPECT_STREQ(r.name, "");
    EXPECT_STREQ(r.data, "");
}

TEST_F(RecordFileTest, ReadersNeverOpenDamagedFilesNorReadAPartialBlock)
{
    const std::vector<std::string> damaged{
        "",                                                // no count at all
        std::string("\x01\0", 2),                          // count cut short
        count_bytes(-1),                                   // negative count
        count_bytes(129) + std::string(129 * 516, '\xFF'), // over 128 categories
        count_bytes(2) + header_bytes(10, "a"),            // shorter than its header
    };
    for (const std::string& bytes : damaged) {
        testenv::write_file(m_file, bytes);
        RecordReader reader(m_file.c_str());
        EXPECT_FALSE(reader.isOpen());
        CatgRecord r;
        int index = 0;
        EXPECT_FALSE(reader.next(r, index));
        EXPECT_EQ(read_record(m_file.c_str(), 0, r), -1);
    }

    testenv::write_file(m_file, file_bytes({}, {make_record(1, 10, "whole")}) + std::string(100, '\xEF'));
    RecordReader reader(m_file.c_str());
    CatgRecord r;
    int index = -1;
    ASSERT_TRUE(reader.next(r, index));
    EXPECT_EQ(index, 0);
    EXPECT_FALSE(reader.next(r, index));
    EXPECT_EQ(read_record(m_file.c_str(), 1, r), -1);
}

TEST_F(RecordFileTest, MissingFileIsNotCreatedByReaders)
{
    RecordReader reader(m_file.c_str());
    EXPECT_FALSE(reader.isOpen());
    CatgRecord r;
    EXPECT_EQ(read_record(m_file.c_str(), 0, r), -1);
    EXPECT_FALSE(std::filesystem::exists(m_file));
}
