// The categories and live records of a record file, in the order of
// kestrel's lists: what list, show and export go through.
#pragma once

#include "tools/data/record_path.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kdata {

struct CatalogRecord
{
    int index = 0;    // record index in the file
    std::string name; // CP932
    std::string text; // CP932, CR LF as stored; empty unless texts were asked for
};

struct CatalogGroup
{
    bool has_header = true; // false: the records whose category has no header
    int32_t kind_id = 0;
    std::string name; // CP932; empty for the records without a header
    std::vector<CatalogRecord> records;
};

// Every category in list order, each with its live records in list order,
// then (when there are any) the records whose category has no header.
// Refused when the file is missing or damaged.
std::vector<CatalogGroup> load_catalog(const RecordPath& path, bool with_texts);

} // namespace kdata
