#include "record_bytes_helpers.h"

#include "platform/cp932.h"
#include "store/kind_table.h"
#include "test_env.h"

#include <cstring>

namespace {

void flip(void* data, std::size_t size)
{
    auto* bytes = static_cast<unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>(~((bytes[i] << 4) | (bytes[i] >> 4)));
}

int32_t le32(const std::string& bytes, std::size_t at)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return static_cast<int32_t>(value);
}

std::string le32_bytes(int32_t value)
{
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<char>((static_cast<uint32_t>(value) >> (8 * i)) & 0xFF);
    return out;
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
    CatgRecord record;
    std::memset(&record, 0, sizeof record);
    record.flag = flag;
    record.catg_kind = kind;
    std::memcpy(record.name, name.data(), std::min(name.size(), sizeof record.name - 1));
    std::memcpy(record.data, data.data(), std::min(data.size(), sizeof record.data - 1));
    return record;
}

std::string record_file_bytes(const std::vector<std::pair<int32_t, std::string>>& headers,
                              const std::vector<CatgRecord>& records)
{
    std::string out = le32_bytes(static_cast<int32_t>(headers.size()));
    for (const auto& [id, name] : headers) {
        KindHeader header;
        std::memset(&header, 0, sizeof header);
        header.kind_id = id;
        std::memcpy(header.name, name.data(), std::min(name.size(), sizeof header.name - 1));
        flip(&header, sizeof header);
        out.append(reinterpret_cast<const char*>(&header), sizeof header);
    }
    for (CatgRecord record : records) {
        flip(&record, sizeof record);
        out.append(reinterpret_cast<const char*>(&record), sizeof record);
    }
    return out;
}

RecordFileContents read_record_file(const std::filesystem::path& path)
{
    RecordFileContents contents;
    const std::string bytes = testenv::read_file(path);
    if (bytes.size() < 4)
        return contents;
    contents.count = le32(bytes, 0);
    std::size_t at = 4;
    for (int32_t i = 0; i < contents.count && at + sizeof(KindHeader) <= bytes.size(); ++i) {
        KindHeader header;
        std::memcpy(&header, bytes.data() + at, sizeof header);
        flip(&header, sizeof header);
        contents.headers.emplace_back(header.kind_id, std::string(header.name, strnlen(header.name, NAME_SIZE)));
        at += sizeof header;
    }
    while (at + sizeof(CatgRecord) <= bytes.size()) {
        CatgRecord record;
        std::memcpy(&record, bytes.data() + at, sizeof record);
        flip(&record, sizeof record);
        contents.records.push_back(record);
        at += sizeof record;
    }
    contents.trailing = bytes.size() - at;
    return contents;
}

std::string name_of(const CatgRecord& record)
{
    return std::string(record.name, strnlen(record.name, NAME_SIZE));
}

std::string data_of(const CatgRecord& record)
{
    return std::string(record.data, strnlen(record.data, DATA_SIZE));
}

bool all_zero(const CatgRecord& record)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    for (std::size_t i = 0; i < sizeof record; ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

void set_kind_table(const std::vector<std::pair<int32_t, std::string>>& entries)
{
    std::memset(KindTable, 0, sizeof KindTable);
    for (std::size_t slot = 0; slot < entries.size() && slot < KIND_MAX; ++slot) {
        KindTable[slot].in_use = 1;
        KindTable[slot].kind_id = entries[slot].first;
        std::memcpy(KindTable[slot].name, entries[slot].second.data(),
                    std::min(entries[slot].second.size(), sizeof KindTable[slot].name - 1));
    }
}
