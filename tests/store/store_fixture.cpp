#include "store_fixture.h"

#include "commons/commons.h"
#include "store/app_config.h"
#include "store/kind_table.h"

#include <cctype>
#include <cstring>
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

namespace {

bool digits(const std::string& text, size_t from, size_t count)
{
    if (from + count > text.size())
        return false;
    for (size_t i = from; i < from + count; ++i)
        if (!isdigit(static_cast<unsigned char>(text[i])))
            return false;
    return true;
}

// "yyyy/mm/dd hh:mm:ss*(<15 columns>:<line>) <LEVEL> <pid>-<tid> : <message>\r"
// -> "<source>:<line> <LEVEL> <message>"; empty when the line has another form.
std::string strip_header(const std::string& line)
{
    if (line.size() < 37 || line.back() != '\r' || !digits(line, 0, 4) || line[4] != '/' || !digits(line, 5, 2) ||
        line[7] != '/' || !digits(line, 8, 2) || line[10] != ' ' || !digits(line, 11, 2) || line[13] != ':' ||
        !digits(line, 14, 2) || line[16] != ':' || !digits(line, 17, 2) || line.compare(19, 2, "*(") != 0 ||
        line[36] != ':')
        return "";
    const std::string source = line.substr(21, 15);
    const size_t close = line.find(')', 37);
    if (close == std::string::npos || close - 37 < 4 || !digits(line, 37, close - 37))
        return "";
    const std::string level = line.substr(close + 2, 5);
    if (line[close + 1] != ' ' || (level != "NORML" && level != "ERROR"))
        return "";
    const size_t ids = close + 8;
    const size_t dash = line.find('-', ids);
    const size_t colon = line.find(" : ", ids);
    if (dash == std::string::npos || colon == std::string::npos || dash - ids < 4 || !digits(line, ids, dash - ids) ||
        colon - dash - 1 < 4 || !digits(line, dash + 1, colon - dash - 1))
        return "";
    return source.substr(source.find_first_not_of(' ')) + ":" + line.substr(37, close - 37) + " " + level + " " +
           line.substr(colon + 3, line.size() - colon - 4);
}

} // namespace

std::vector<std::string> StoreTest::logLines() const
{
    std::vector<std::string> lines;
    std::istringstream in(testenv::read_file(path("trace.log")));
    std::string line;
    while (std::getline(in, line)) {
        const std::string record = strip_header(line);
        lines.push_back(record.empty() ? "BAD " + line : record);
    }
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
