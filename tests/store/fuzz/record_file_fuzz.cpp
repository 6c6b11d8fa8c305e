#include "record_file_fuzz.h"

#include "store/app_config.h"
#include "store/kind_table.h"
#include "store/kindedt.h"
#include "store/record_file.h"
#include "store/record_ops.h"
#include "store/sysdata.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        fprintf(stderr, "record file case broke: %s\n", what);
        abort();
    }
}

std::string read_all(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The header count, or -1 for a damaged file, which no operation may read or write.
int32_t header_count(const std::string& bytes)
{
    int32_t count = -1;
    if (bytes.size() >= 4)
        memcpy(&count, bytes.data(), 4);
    return count < 0 || count > KIND_MAX || static_cast<int64_t>(bytes.size()) < record_offset(count, 0) ? -1 : count;
}

// Walks the list as the main window fills it and reads every live record.
int walk(const char* path)
{
    RecordReader reader(path);
    CatgRecord record, again;
    char name[NAME_SIZE + 1];
    int index = -1, blocks = 0;
    for (; reader.next(record, index); ++blocks) {
        check(index == blocks, "walk index");
        field_text(record.name, NAME_SIZE, name);
        if (record.flag == 1)
            check(read_record(path, index, again) == 0 && memcmp(&again, &record, sizeof record) == 0, "read back");
    }
    return blocks;
}

} // namespace

void run_record_file_case(const std::string& folder, const uint8_t* data, size_t size)
{
    const std::string path = folder + "/records.dat";
    const std::string original(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(original.data(), static_cast<std::streamsize>(original.size()));
    }
    memset(&g_app_config, 0, sizeof g_app_config);
    snprintf(g_app_config.datafile, sizeof g_app_config.datafile, "%s", path.c_str());

    const bool wasDamaged = header_count(original) < 0;
    check((sub_sysdata_load() == 0) == !wasDamaged, "load result");
    const int blocks = walk(path.c_str());

    // A long CP932 name: cut at a character boundary inside the field.
    const std::string longName = std::string(300, '\x82') + std::string(600, 'a');
    sub_change_datafile(0, longName.c_str());
    sub_update_datafile(blocks - 1, "data", 20);
    sub_update_datafile(1, nullptr, -1);
    sub_delete_datafile(2);
    sub_change_datafile(blocks, "past the end");
    const int added = sub_add_datafile(10, "added");
    check(wasDamaged ? added == -1 : added >= 0 && added <= blocks, "add index");
    const int slot = kindedt_add(longName.c_str());
    kindedt_rename(slot, "renamed");
    for (int i = 0; i < KIND_MAX; ++i)
        if (KindTable[i].in_use == 1 && i != slot) {
            kindedt_delete(i);
            break;
        }
    const int saved = sub_sysdata_save();
    const std::string after = read_all(path);
    if (wasDamaged) {
        check(saved == -1 && after == original, "damaged file written");
        return;
    }
    check(saved == 0, "save result");
    const int32_t count = header_count(after);
    check(count >= 0 && (after.size() - record_offset(count, 0)) % RECORD_SIZE == 0, "saved record area");
    check(sub_sysdata_load() == 0, "reload");
    check(walk(path.c_str()) >= blocks, "records lost");
}
