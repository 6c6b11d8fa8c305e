// Rewrites the record file at the end of a run: the header built from
// KindTable, then every record block of the old file in order. The new image
// replaces the old file in one rename, so the old file survives any failure.
#include "commons/commons.h"
#include "platform/cp932.h"
#include "store/app_config.h"
#include "store/block_walk.h"
#include "store/image_file.h"
#include "store/kind_table.h"
#include "store/record_journal.h"
#include "store/run_backup.h"
#include "store/side_files.h"
#include "store/sysdata.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void append(std::string& bytes, const void* data, size_t size)
{
    bytes.append(static_cast<const char*>(data), size);
}

// The count and the category headers as the save writes them.
std::string header_bytes()
{
    logputd(1, __FILE_NAME__, 64, "Header check loop start\n");
    int32_t count = 0;
    for (const KindSlot& slot : KindTable)
        count += slot.in_use == 1 ? 1 : 0;
    logputd(1, __FILE_NAME__, 75, "Header count = %d\n", count);
    const auto value = static_cast<uint32_t>(count);
    const unsigned char raw[COUNT_SIZE] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                           static_cast<unsigned char>(value >> 16),
                                           static_cast<unsigned char>(value >> 24)};
    std::string bytes;
    append(bytes, raw, sizeof raw);
    for (const KindSlot& slot : KindTable) {
        if (slot.in_use != 1)
            continue;
        KindHeader header{};
        header.kind_id = slot.kind_id;
        cp932::copy_cut(header.name, sizeof header.name, slot.name);
        logputd(1, __FILE_NAME__, 97, "Saving Data id=%d, name=(%s)\n", header.kind_id, header.name);
        scramble_block(&header, sizeof header);
        append(bytes, &header, sizeof header);
    }
    return bytes;
}

void log_block(CatgRecord block)
{
    unscramble_block(&block, sizeof block);
    char name[NAME_SIZE + 1];
    char data[DATA_SIZE + 1];
    field_text(block.name, NAME_SIZE, name);
    field_text(block.data, DATA_SIZE, data);
    logputd(1, __FILE_NAME__, 124, "Category id=%d, name=(%s), data=(%s)\n", block.catg_kind, name, data);
}

bool copy_records(FILE* old, const RecordArea& area, ImageFile& image)
{
    logputd(1, __FILE_NAME__, 111, "Skip Loop Start\n");
    const bool trace = trace_lines_on();
    // Without trace lines the blocks need no decoding: the kernel copies them.
    if (!trace)
        return image.copyFrom(fileno(old), area.start, area.blocks * RECORD_SIZE);
    BlockWalk walk(old, area);
    while (const CatgRecord* block = walk.next()) {
        // Blocks are copied as they are; they are decoded only for the trace line.
        if (trace)
            log_block(*block);
        if (!image.write(block, sizeof *block))
            return false;
    }
    // The size was checked at open: a read that ends early is an error, not the end.
    if (walk.failed())
        return false;
    return true;
}

} // namespace

int sub_sysdata_save()
{
    const char* path = g_app_config.datafile;
    FILE* old = nullptr;
    RecordArea area;
    switch (open_record_file(path, "rb", old, area)) {
    case OpenStatus::Missing: {
        const int openError = errno;
        logputd(1, __FILE_NAME__, 49, "Could not open Data File (%s)\n", path);
        // Only a file that is not there may be replaced by the header alone;
        // one that exists but cannot be read still holds records.
        if (openError != ENOENT)
            return -1;
        break;
    }
    case OpenStatus::Damaged:
        log_damaged(__FILE_NAME__, __LINE__, path);
        return -1;
    case OpenStatus::Ok:
        break;
    }
    struct stat oldStat;
    const bool haveStat = old && fstat(fileno(old), &oldStat) == 0;
    const std::string native = record_native_path(path);
    // A record file the user made read-only, or one left half-changed, is not replaced.
    if ((old && faccessat(AT_FDCWD, native.c_str(), W_OK, AT_EACCESS) != 0) ||
        (recovery_pending() && !recover_record_file(native))) {
        logputd(1, __FILE_NAME__, 139, "Data File (%s) open error\n", path);
        fclose(old);
        return -1;
    }
    const mode_t mode = haveStat ? private_mode(__FILE_NAME__, __LINE__, path, oldStat.st_mode) : 0600;
    ImageFile image;
    if (native.empty() || !image.create(native, haveStat ? &oldStat : nullptr, mode)) {
        logputd(0, __FILE_NAME__, 55, "Temporary File open error\n");
        if (old)
            fclose(old);
        return -1;
    }
    const std::string header = header_bytes();
    back_up_before_save(path, native, old, header.data(), header.size());
    bool built = image.write(header.data(), header.size());
    logputd(1, __FILE_NAME__, 107, "Skip Check Start\n");
    if (old) {
        built = built && copy_records(old, area, image);
        fclose(old);
    }
    logputd(1, __FILE_NAME__, 133, "Create Data Done. Rewinding Data\n");
    if (!built || !image.commit()) {
        logputd(1, __FILE_NAME__, 139, "Data File (%s) open error\n", path);
        return -1;
    }
    return 0;
}
