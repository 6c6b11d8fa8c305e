// Shared set-up of the store tests: a record file path in the test's own
// folder, builders for record file bytes, and the log read back as lines.
#pragma once

#include "store/record_file.h"
#include "test_env.h"

#include <string>
#include <vector>

// A plain (unscrambled) record block.
CatgRecord make_record(int32_t flag, int32_t kind, const std::string& name, const std::string& data = "");
// The scrambled bytes of a header entry and of a record block.
std::string header_bytes(int32_t kind_id, const std::string& name);
std::string record_bytes(const CatgRecord& plain);
// The 4-byte plain header count.
std::string count_bytes(int32_t count);
// A whole record file: count, headers, records.
std::string file_bytes(const std::vector<std::pair<int32_t, std::string>>& headers,
                       const std::vector<CatgRecord>& records);

class StoreTest : public TempDirTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Turns logging on into <folder>/trace.log.
    void enableLog();
    // The log's records as "unit:line LEVEL message", without time stamp and
    // ids, which vary; "BAD" for a line that does not have the record form.
    std::vector<std::string> logLines() const;
    // Record file bytes and one unscrambled block of them.
    std::string fileBytes() const;
    CatgRecord blockAt(int64_t offset) const;

    std::filesystem::path m_file;
};
