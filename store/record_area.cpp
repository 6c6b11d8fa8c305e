#include "store/record_area.h"

#include "commons/commons.h"
#include "platform/cp932.h"

#include <cstdlib>
#include <sys/stat.h>

bool read_record_area(FILE* file, RecordArea& area)
{
    struct stat st;
    if (fstat(fileno(file), &st) != 0 || fseeko(file, 0, SEEK_SET) != 0)
        return false;
    unsigned char raw[COUNT_SIZE];
    if (st.st_size < COUNT_SIZE || fread(raw, sizeof raw, 1, file) != 1)
        return false;
    const int32_t count =
        static_cast<int32_t>(static_cast<uint32_t>(raw[0]) | static_cast<uint32_t>(raw[1]) << 8 |
                             static_cast<uint32_t>(raw[2]) << 16 | static_cast<uint32_t>(raw[3]) << 24);
    if (count < 0 || count > KIND_MAX)
        return false;
    const int64_t start = record_offset(count, 0);
    if (st.st_size < start)
        return false;
    area.count = count;
    area.start = start;
    area.blocks = (st.st_size - start) / RECORD_SIZE;
    return true;
}

OpenStatus open_record_file(const char* path, const char* mode, FILE*& file, RecordArea& area)
{
    file = cp932::fopen_path(path, mode);
    if (!file)
        return OpenStatus::Missing;
    if (!read_record_area(file, area)) {
        fclose(file);
        file = nullptr;
        return OpenStatus::Damaged;
    }
    return OpenStatus::Ok;
}

OpenStatus open_for_update(const char* path, FILE*& file, RecordArea& area)
{
    const OpenStatus status = open_record_file(path, "rb+", file, area);
    if (status != OpenStatus::Missing)
        return status;
    file = cp932::fopen_path(path, "wb+");
    if (!file)
        return OpenStatus::Missing;
    const unsigned char zero[COUNT_SIZE] = {};
    if (fwrite(zero, sizeof zero, 1, file) != 1 || fflush(file) != 0) {
        fclose(file);
        file = nullptr;
        return OpenStatus::Missing;
    }
    area = RecordArea{0, COUNT_SIZE, 0};
    return OpenStatus::Ok;
}

bool read_block_at(FILE* file, int64_t offset, CatgRecord& plain)
{
    if (fseeko(file, offset, SEEK_SET) != 0 || fread(&plain, sizeof plain, 1, file) != 1)
        return false;
    unscramble_block(&plain, sizeof plain);
    return true;
}

bool write_block_at(FILE* file, int64_t offset, const CatgRecord& plain)
{
    CatgRecord scrambled = plain;
    scramble_block(&scrambled, sizeof scrambled);
    return fseeko(file, offset, SEEK_SET) == 0 && fwrite(&scrambled, sizeof scrambled, 1, file) == 1 &&
           fflush(file) == 0;
}

bool close_file(FILE* file)
{
    return fclose(file) == 0;
}

bool trace_lines_on()
{
    // The log facility's own rule: 0 is off, 1 lets error lines only through.
    char value[512] = {};
    if (sub_regread("log_type", value, sizeof value) != 0)
        return false;
    const long type = strtol(value, nullptr, 10);
    return type != 0 && type != 1;
}

void log_damaged(const char* source, int line, const char* path)
{
    logputd(0, source, line, "Data File (%s) is damaged\n", path);
}

void log_write_error(const char* source, int line, const char* path)
{
    logputd(0, source, line, "Data File (%s) write error\n", path);
}

int rewrite_record(const char* source, int open_line, const char* path, int index,
                   const std::function<void(CatgRecord&)>& change)
{
    FILE* file = nullptr;
    RecordArea area;
    switch (open_for_update(path, file, area)) {
    case OpenStatus::Missing:
        logputd(0, source, open_line, "Data File (%s) Open Error\n", path);
        return -1;
    case OpenStatus::Damaged:
        log_damaged(source, open_line, path);
        return -1;
    case OpenStatus::Ok:
        break;
    }
    CatgRecord record;
    const int64_t offset = area.start + static_cast<int64_t>(index) * RECORD_SIZE;
    // An index outside the record area is never written: no block of unread memory reaches the file.
    if (index < 0 || index >= area.blocks || !read_block_at(file, offset, record)) {
        fclose(file);
        return -1;
    }
    change(record);
    const bool written = write_block_at(file, offset, record);
    if (!close_file(file) || !written) {
        log_write_error(source, open_line, path);
        return -1;
    }
    return 0;
}
