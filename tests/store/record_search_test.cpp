// The one-pass walk over live records that finding records uses.
#include "store_fixture.h"

#include "store/record_search.h"

#include <algorithm>
#include <mutex>

namespace {

struct Seen
{
    int index;
    int32_t kind;
    std::string name;
    std::string data;
    bool operator==(const Seen&) const = default;
};

int walk(const std::filesystem::path& file, std::vector<Seen>& seen)
{
    return walk_live_records(file.c_str(), [&](const LiveRecord& r) {
        seen.push_back({r.index, r.kind, r.name, r.data});
    });
}

} // namespace

using RecordSearchTest = StoreTest;

TEST_F(RecordSearchTest, VisitsLiveRecordsInFileOrderWithFieldsCutAtTheirSize)
{
    CatgRecord unterminated = make_record(1, 20, "", "");
    memset(unterminated.name, 'n', sizeof unterminated.name);
    memset(unterminated.data, 'd', sizeof unterminated.data);
    const std::vector<CatgRecord> records{make_record(1, 10, "first", "a\r\nb"), make_record(0, 10, "gone", "x"),
                                          make_record(2, 10, "odd flag", "y"), unterminated,
                                          make_record(1, 999, "no category", "")};
    testenv::write_file(m_file, file_bytes({{10, "a"}, {20, "b"}}, records));
    std::vector<Seen> seen;
    EXPECT_EQ(walk(m_file, seen), 3);
    EXPECT_EQ(seen, (std::vector<Seen>{{0, 10, "first", "a\r\nb"},
                                       {3, 20, std::string(512, 'n'), std::string(4096, 'd')},
                                       {4, 999, "no category", ""}}));
}

TEST_F(RecordSearchTest, MissingOrDamagedFileVisitsNothing)
{
    std::vector<Seen> seen;
    EXPECT_EQ(walk(m_file, seen), -1);
    testenv::write_file(m_file, count_bytes(129) + file_bytes({}, {make_record(1, 10, "r")}).substr(4));
    EXPECT_EQ(walk(m_file, seen), -1);
    EXPECT_TRUE(seen.empty());
}

TEST_F(RecordSearchTest, ALargeFileWalkedInPartsVisitsEveryLiveRecordOnceInOrderWithinEachPart)
{
    std::vector<CatgRecord> records;
    for (int i = 0; i < 9000; ++i)
        records.push_back(i % 5 == 2 ? CatgRecord{} : make_record(1, i % 3, "n" + std::to_string(i), "d"));
    testenv::write_file(m_file, file_bytes({}, records));
    std::vector<Seen> whole;
    ASSERT_EQ(walk(m_file, whole), 7200);
    std::mutex lock;
    std::vector<std::vector<int>> seen(4);
    int walked = 0;
    const int visited = walk_live_records(m_file.c_str(), 4, walked, [&](int part, const LiveRecord& record) {
        const std::lock_guard<std::mutex> hold(lock);
        seen[static_cast<size_t>(part)].push_back(record.index);
    });
    EXPECT_EQ(visited, 7200);
    EXPECT_EQ(walked, 2); // 9,000 blocks make two parts of at least 4,096
    std::vector<int> all;
    for (int part = 0; part < walked; ++part) {
        EXPECT_TRUE(std::is_sorted(seen[static_cast<size_t>(part)].begin(), seen[static_cast<size_t>(part)].end()));
        all.insert(all.end(), seen[static_cast<size_t>(part)].begin(), seen[static_cast<size_t>(part)].end());
    }
    ASSERT_EQ(all.size(), whole.size());
    for (size_t i = 0; i < all.size(); ++i)
        ASSERT_EQ(all[i], whole[i].index);
}
