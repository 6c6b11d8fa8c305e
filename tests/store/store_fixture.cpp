#include "store_fixture.h"

#include "commons/commons.h"
#include "store/app_config.h"
#include "store/kind_table.h"

#include <cstring>
#include <regex>
#include <sstream>

CatgRecord make_record(int32_t flag, int32_t kind, const std::string& name, const std::string& data)
{
    CatgRecord r;
    memset(&r, 0, sizeof r);
    r.flag = flag;
    r.catg_kind = kind;
    memcpy(r.name, name.data(), std::min(name.size(), sizeof r.name));
    memcpy(r.data, data.data(), std::min(data.size(), sizeof r.data));
    return r;
}

std::string header_bytes(int32_t kind_id, const std::string& name)
{
    KindHeader h;
    memset(&h, 0, sizeof h);
    h.kind_id = kind_id;
    memcpy(h.name, name.data(), std::min(name.size(), sizeof h.name));
    scramble_block(&h, sizeof h);
    return std::string(reinterpret_cast<const char*>(&h), sizeof h);
}

std::string record_bytes(const CatgRecord& plain)
{
    CatgRecord r = plain;
    scramble_block(&r, sizeof r);
    return std::string(reinterpret_cast<const char*>(&r), sizeof r);
}

std::string count_bytes(int32_t count)
{
    const auto v = static_cast<uint32_t>(count);
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
}

std::string file_bytes(const std::vector<std::pair<int32_t, std::string>>& headers,
                       const std::vector<CatgRecord>& records)
{
    std::string bytes = count_bytes(static_cast<int32_t>(headers.size()));
    for (const auto& [id, name] : headers)
        bytes += header_bytes(id, name);
    for (const CatgRecord& r : records)
        bytes += record_bytes(r);
    return bytes;
}

void StoreTest::SetUp()
{
    TempDirTest::SetUp();
    m_file = path("records.dat");
    memset(&g_app_config, 0, sizeof g_app_config);
    memset(KindTable, 0, sizeof KindTable);
    strcpy(g_app_config.datafile, m_file.c_str());
}

void StoreTest::TearDown()
{
    memset(&g_app_config, 0, sizeof g_app_config);
    memset(KindTable, 0, sizeof KindTable);
    TempDirTest::TearDown();
}

void StoreTest::enableLog()
{
    ASSERT_EQ(sub_regwrite("log_type", "2"), 0);
    ASSERT_EQ(sub_regwrite("log_name", path("trace.log").c_str()), 0);
}

std::vector<std::string> StoreTest::logLines() const
{
    static const std::regex record(
        R"(^\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\*\( *([^:]{1,15}):(\d{4,})\) (NORML|ERROR) \d{4,}-\d{4,} : (.*)\r$)");
    std::vector<std::string> lines;
    std::istringstream in(testenv::read_file(path("trace.log")));
    std::string line;
    std::smatch m;
    while (std::getline(in, line))
        lines.push_back(std::regex_match(line, m, record)
                            ? m[1].str() + ":" + m[2].str() + " " + m[3].str() + " " + m[4].str()
                            : "BAD " + line);
    return lines;
}

std::string StoreTest::fileBytes() const
{
    return testenv::read_file(m_file);
}

CatgRecord StoreTest::blockAt(int64_t offset) const
{
    const std::string bytes = fileBytes();
    CatgRecord r;
    memset(&r, 0, sizeof r);
    if (offset >= 0 && static_cast<size_t>(offset) + sizeof r <= bytes.size()) {
        memcpy(&r, bytes.data() + offset, sizeof r);
        unscramble_block(&r, sizeof r);
    }
    return r;
}
