// The one-pass walk over live records that finding records uses.
#include "store_fixture.h"

#include "store/record_search.h"

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
