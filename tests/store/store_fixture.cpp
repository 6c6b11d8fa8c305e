#include "store_fixture.h"

#include "commons/commons.h"
#include "store/app_config.h"
#include "store/file/record_session.h"
#include "store/kind_table.h"

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

std::string count_bytes(int32_t count)
{
    const auto v = static_cast<uint32_t>(count);
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

std::string file_bytes(const std::vector<std::pair<int32_t, std::string>>& headers,
                       const std::vector<CatgRecord>& records)
{
    std::string bytes = count_bytes(static_cast<int32_t>(headers.size()));
    for (const auto& [id, name] : headers) {
        KindHeader h;
        memset(&h, 0, sizeof h);
        h.kind_id = id;
        memcpy(h.name, name.data(), std::min(name.size(), sizeof h.name));
        scramble_block(&h, sizeof h);
        bytes.append(reinterpret_cast<const char*>(&h), sizeof h);
    }
    for (CatgRecord r : records) {
        scramble_block(&r, sizeof r);
        bytes.append(reinterpret_cast<const char*>(&r), sizeof r);
    }
    return bytes;
}

void StoreTest::SetUp()
{
    // The store keeps its state in process-wide globals: every test starts them afresh.
    TempDirTest::SetUp();
    end_record_session(); // no lock, read-only state or pending change of an earlier test
    m_file = path("records.dat");
    memset(&g_app_config, 0, sizeof g_app_config);
    memset(KindTable, 0, sizeof KindTable);
    strcpy(g_app_config.datafile, m_file.c_str());
}

void StoreTest::enableLog()
{
    ASSERT_EQ(sub_regwrite("log_type", "2"), 0);
    ASSERT_EQ(sub_regwrite("log_name", path("trace.log").c_str()), 0);
}

Lines StoreTest::logLines() const
{
    // "yyyy/mm/dd hh:mm:ss*(<unit in 15 columns>:<line>) <LEVEL> <pid>-<tid> : <message>\r"; the exact
    // time stamp and ids belong to the log facility's own tests.
    Lines lines;
    std::istringstream in(testenv::read_file(path("trace.log")));
    for (std::string line; std::getline(in, line);) {
        const size_t close = line.find(") ", 37);
        const size_t colon = line.find(" : ", 37);
        if (line.size() < 38 || line.compare(19, 2, "*(") != 0 || line[36] != ':' || line.back() != '\r' ||
            close == std::string::npos || colon == std::string::npos) {
            lines.push_back("BAD " + line);
            continue;
        }
        std::string unit = line.substr(21, 15);
        unit.erase(0, unit.find_first_not_of(' '));
        lines.push_back(unit + line.substr(36, close - 36) + line.substr(close + 1, 7) +
                        line.substr(colon + 3, line.size() - colon - 4));
    }
    return lines;
}

Lines StoreTest::kinds() const
{
    Lines used;
    for (int i = 0; i < KIND_MAX; ++i)
        if (KindTable[i].in_use)
            used.push_back(std::to_string(i) + ":" + std::to_string(KindTable[i].kind_id) + ":" +
                           std::string(KindTable[i].name, strnlen(KindTable[i].name, NAME_SIZE)));
    return used;
}
