#include "record_bytes_helpers.h"

#include "platform/cp932.h"
#include "test_env.h"

#include <bit>
#include <cstring>

// The file's integers are little-endian; the tests copy them as they are.
static_assert(std::endian::native == std::endian::little);

namespace {

void flip(void* data, std::size_t size)
{
    auto* bytes = static_cast<unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>(~((bytes[i] << 4) | (bytes[i] >> 4)));
}

template <class Block> std::string scrambled(Block block)
{
    flip(&block, sizeof block);
    return std::string(reinterpret_cast<const char*>(&block), sizeof block);
}

template <class Block> Block unscrambled(const std::string& bytes, std::size_t at)
{
    Block block;
    std::memcpy(&block, bytes.data() + at, sizeof block);
    flip(&block, sizeof block);
    return block;
}

} // namespace

std::string sj(const std::string& utf8)
{
    std::string out;
    EXPECT_TRUE(cp932::from_utf8(utf8, out)) << utf8;
    return out;
}

CatgRecord plain_record(int32_t flag, int32_t kind, const std::string& name, const std::string& data)
{
    CatgRecord record{flag, kind, {}, {}};
    name.copy(record.name, sizeof record.name - 1);
    data.copy(record.data, sizeof record.data - 1);
    return record;
}

std::string record_file_bytes(const Headers& headers, const std::vector<CatgRecord>& records)
{
    const int32_t count = static_cast<int32_t>(headers.size());
    std::string out(reinterpret_cast<const char*>(&count), sizeof count);
    for (const auto& [id, name] : headers) {
        KindHeader header{id, {}};
        name.copy(header.name, sizeof header.name - 1);
        out += scrambled(header);
    }
    for (const CatgRecord& record : records)
        out += scrambled(record);
    return out;
}

RecordFileContents read_record_file(const std::filesystem::path& path)
{
    RecordFileContents contents;
    const std::string bytes = testenv::read_file(path);
    if (bytes.size() < sizeof contents.count)
        return contents;
    std::memcpy(&contents.count, bytes.data(), sizeof contents.count);
    std::size_t at = sizeof contents.count;
    for (int32_t i = 0; i < contents.count && at + sizeof(KindHeader) <= bytes.size(); ++i, at += sizeof(KindHeader)) {
        const auto header = unscrambled<KindHeader>(bytes, at);
        contents.headers.emplace_back(header.kind_id, std::string(header.name, strnlen(header.name, NAME_SIZE)));
    }
    for (; at + sizeof(CatgRecord) <= bytes.size(); at += sizeof(CatgRecord))
        contents.records.push_back(unscrambled<CatgRecord>(bytes, at));
    return contents;
}

std::string data_of(const CatgRecord& record)
{
    return std::string(record.data, strnlen(record.data, DATA_SIZE));
}

bool operator==(const CatgRecord& a, const CatgRecord& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void PrintTo(const CatgRecord& record, std::ostream* out)
{
    *out << "flag " << record.flag << ", kind " << record.catg_kind << ", name "
         << ::testing::PrintToString(std::string(record.name, strnlen(record.name, NAME_SIZE))) << ", data "
         << ::testing::PrintToString(data_of(record));
}
