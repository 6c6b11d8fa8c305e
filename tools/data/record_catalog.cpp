#include "tools/data/record_catalog.h"

#include "platform/list_order.h"
#include "store/app_config.h"
#include "store/kind_table.h"
#include "store/record_file.h"
#include "store/sysdata.h"
#include "tools/command_table.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace kdata {
namespace {

// The window's list order; among equal names the row added later (the later
// record, the later slot) first, as the window's lists place them.
template <typename T> void sort_by_name(std::vector<T>& rows)
{
    std::vector<std::pair<std::string, size_t>> keys;
    keys.reserve(rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        keys.emplace_back(list_order::key_cp932(rows[i].name), i);
    std::sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) {
        return list_order::row_before(a.first, static_cast<int>(a.second), b.first, static_cast<int>(b.second));
    });
    std::vector<T> sorted;
    sorted.reserve(rows.size());
    for (const auto& key : keys)
        sorted.push_back(std::move(rows[key.second]));
    rows = std::move(sorted);
}

} // namespace

std::vector<CatalogGroup> load_catalog(const RecordPath& path, bool with_texts)
{
    const tools::Refused unreadable("cannot read " + path.shown +
                                    ": missing or damaged (kestrel-data check tells what is wrong)");
    if (path.cp932.size() >= sizeof g_app_config.datafile)
        throw tools::Refused(path.shown + ": path longer than 1023 bytes");
    std::strcpy(g_app_config.datafile, path.cp932.c_str());
    if (sub_sysdata_load() != 0)
        throw unreadable;

    std::vector<CatalogGroup> groups;
    std::map<int32_t, size_t> group_of; // kind_id -> its group (the first header with that id)
    for (const KindSlot& slot : KindTable) {
        if (slot.in_use != 1 || group_of.contains(slot.kind_id))
            continue;
        group_of[slot.kind_id] = groups.size();
        groups.push_back({true, slot.kind_id, slot.name, {}});
    }
    CatalogGroup orphans{false, 0, {}, {}};

    RecordReader reader(path.cp932.c_str());
    if (!reader.isOpen())
        throw unreadable;
    CatalogRecord record;
    char text[NAME_SIZE + 1];
    int32_t flag = 0;
    int32_t kind = 0;
    if (with_texts) {
        CatgRecord block;
        while (reader.next(block, record.index)) {
            if (block.flag != 1)
                continue;
            // Up to the terminator, never past the field.
            record.name.assign(block.name, strnlen(block.name, NAME_SIZE));
            record.text.assign(block.data, strnlen(block.data, DATA_SIZE));
            auto group = group_of.find(block.catg_kind);
            (group == group_of.end() ? orphans : groups[group->second]).records.push_back(record);
        }
    } else {
        while (reader.nextHead(flag, kind, record.index)) {
            if (flag != 1)
                continue;
            reader.name(text);
            record.name = text;
            auto group = group_of.find(kind);
            (group == group_of.end() ? orphans : groups[group->second]).records.push_back(record);
        }
    }

    sort_by_name(groups);
    for (CatalogGroup& group : groups)
        sort_by_name(group.records);
    if (!orphans.records.empty()) {
        sort_by_name(orphans.records);
        groups.push_back(std::move(orphans));
    }
    return groups;
}

} // namespace kdata
