// Record files for the window tests: built byte by byte and read back with
// the scramble transform written out here, independently of the store code.
#pragma once

#include "store/record_file.h"

#include <filesystem>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

// UTF-8 -> CP932 bytes (the test texts are written in UTF-8).
std::string sj(const std::string& utf8);

using Headers = std::vector<std::pair<int32_t, std::string>>; // id and name

// A record block.
CatgRecord plain_record(int32_t flag, int32_t kind, const std::string& name, const std::string& data = "");
// A whole record file: plain count, scrambled headers, scrambled blocks.
std::string record_file_bytes(const Headers& headers, const std::vector<CatgRecord>& records);

// What a record file holds, unscrambled.
struct RecordFileContents
{
    int32_t count = -1;
    Headers headers;
    std::vector<CatgRecord> records;
};
RecordFileContents read_record_file(const std::filesystem::path& path);

// The data text of a block, up to its terminator.
std::string data_of(const CatgRecord& record);
// Blocks compare byte for byte; a freed record equals CatgRecord{}.
bool operator==(const CatgRecord& a, const CatgRecord& b);
void PrintTo(const CatgRecord& record, std::ostream* out);
