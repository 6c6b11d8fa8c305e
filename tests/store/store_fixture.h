// Shared set-up of the store tests: a record file path in the test's own
// folder, builders for record file bytes, the category table and the log read
// back as text.
#pragma once

#include "store/record_file.h"
#include "test_env.h"

#include <cstring>
#include <string>
#include <vector>

using Lines = std::vector<std::string>;

// A plain (unscrambled) record block.
CatgRecord make_record(int32_t flag, int32_t kind, const std::string& name, const std::string& data = "");
inline bool operator==(const CatgRecord& a, const CatgRecord& b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}
// The 4-byte plain header count.
std::string count_bytes(int32_t count);
// A whole record file: count, scrambled headers, scrambled records.
std::string file_bytes(const std::vector<std::pair<int32_t, std::string>>& headers,
                       const std::vector<CatgRecord>& records);

class StoreTest : public TempDirTest
{
protected:
    void SetUp() override;

    // Turns logging on into <folder>/trace.log.
    void enableLog();
    // The log's records as "unit:line LEVEL message"; the time stamp and ids
    // vary and are left out.
    Lines logLines() const;
    // The used KindTable slots as "slot:id:name".
    Lines kinds() const;
    std::string fileBytes() const { return testenv::read_file(m_file); }

    std::filesystem::path m_file;
};
