// kestrel-data check: the record file read byte by byte as its format
// defines it, without the store's own reader, so that every kind of damage
// is named rather than stopped at.
#include "store/record_file.h"
#include "tools/data/data_commands.h"
#include "tools/data/record_path.h"
#include "tools/data/record_text.h"
#include "tools/terminal_text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iomanip>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace kdata {
namespace {

// At most this many findings of one kind are listed one by one.
constexpr size_t kListed = 20;
// Record blocks read at a time.
constexpr size_t kBlocksPerRead = 256;

struct Findings
{
    int64_t size = 0;
    int32_t count = 0;
    int categories = 0;
    int64_t live = 0;
    int64_t free = 0;
    int64_t orphans = 0;
    int64_t damaged = 0;
    int64_t tail = 0;
    std::vector<std::string> journals;
    std::vector<std::string> images;
    std::vector<std::string> problems; // what keeps the file from being whole
    std::vector<std::string> notes;

    void problem(std::string text, int64_t nth = 0)
    {
        if (nth < static_cast<int64_t>(kListed))
            problems.push_back(std::move(text));
    }
};

int32_t le32(const unsigned char* bytes)
{
    return static_cast<int32_t>(uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                                uint32_t(bytes[3]) << 24);
}

// Why a text field is not what the format holds (zero-terminated CP932
// within its size); empty when it is.
std::string field_fault(const char* field, size_t size, const char* what)
{
    const void* end = std::memchr(field, '\0', size);
    if (!end)
        return std::string(what) + " has no terminator";
    std::string ignored;
    if (!text_utf8(std::string_view(field, static_cast<const char*>(end) - field), ignored))
        return std::string(what) + " is not CP932 text";
    return {};
}

std::string shown_name(const char* field, size_t size)
{
    const void* end = std::memchr(field, '\0', size);
    return tools::to_utf8(std::string(field, end ? static_cast<const char*>(end) - field : size));
}

bool read_fully(int fd, void* buffer, size_t size, int64_t offset)
{
    auto* bytes = static_cast<char*>(buffer);
    while (size > 0) {
        const ssize_t n = pread(fd, bytes, size, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

// The category headers; false when the file cannot hold them.
bool check_headers(int fd, Findings& found, std::set<int32_t>& ids)
{
    unsigned char count[COUNT_SIZE];
    if (found.size < COUNT_SIZE || !read_fully(fd, count, sizeof count, 0)) {
        found.problem("shorter than its header count (" + std::to_string(found.size) + " bytes)");
        return false;
    }
    found.count = le32(count);
    if (found.count < 0 || found.count > KIND_MAX) {
        found.problem("header count " + std::to_string(found.count) + " is outside 0 to 128");
        return false;
    }
    if (found.size < record_offset(found.count, 0)) {
        found.problem("shorter than its " + std::to_string(found.count) + " category headers");
        return false;
    }
    for (int32_t i = 0; i < found.count; ++i) {
        KindHeader header;
        if (!read_fully(fd, &header, sizeof header, COUNT_SIZE + i * HEADER_SIZE))
            throw Refused("cannot read: " + std::string(std::strerror(errno)));
        unscramble_block(&header, sizeof header);
        const std::string which = "category header " + std::to_string(i) + ": ";
        if (std::string fault = field_fault(header.name, sizeof header.name, "its name"); !fault.empty())
            found.problem(which + fault);
        else if (header.kind_id <= 0)
            found.problem(which + "id " + std::to_string(header.kind_id) + " is not above 0");
        else if (!ids.insert(header.kind_id).second)
            found.problem(which + "id " + std::to_string(header.kind_id) + " is used twice");
        else
            ++found.categories;
    }
    return true;
}

void check_record(const CatgRecord& record, int64_t index, const std::set<int32_t>& ids, Findings& found)
{
    if (record.flag != 1) {
        ++found.free;
        return;
    }
    ++found.live;
    std::string fault = field_fault(record.name, sizeof record.name, "its name");
    if (fault.empty())
        fault = field_fault(record.data, sizeof record.data, "its text");
    if (!fault.empty()) {
        found.problem("record " + std::to_string(index) + ": damaged block: " + fault, found.damaged++);
        return;
    }
    if (!ids.contains(record.catg_kind)) {
        if (found.orphans++ < static_cast<int64_t>(kListed))
            found.notes.push_back("record " + std::to_string(index) + " (" +
                                  shown_name(record.name, sizeof record.name) + "): category " +
                                  std::to_string(record.catg_kind) +
                                  " has no header; kestrel lists it only under (ALL)");
    }
}

void check_records(int fd, const std::set<int32_t>& ids, Findings& found)
{
    const int64_t start = record_offset(found.count, 0);
    const int64_t blocks = (found.size - start) / RECORD_SIZE;
    found.tail = (found.size - start) % RECORD_SIZE;
    std::vector<CatgRecord> buffer(kBlocksPerRead);
    for (int64_t first = 0; first < blocks; first += kBlocksPerRead) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(kBlocksPerRead, blocks - first));
        if (!read_fully(fd, buffer.data(), n * RECORD_SIZE, start + first * RECORD_SIZE))
            throw Refused("cannot read: " + std::string(std::strerror(errno)));
        for (size_t i = 0; i < n; ++i) {
            unscramble_block(&buffer[i], sizeof buffer[i]);
            check_record(buffer[i], first + static_cast<int64_t>(i), ids, found);
        }
    }
    if (found.tail > 0)
        found.problem(std::to_string(found.tail) + " bytes after the last whole block (a cut record)");
    if (found.orphans > static_cast<int64_t>(kListed))
        found.notes.push_back("... and " + std::to_string(found.orphans - kListed) + " more without a header");
    if (found.damaged > static_cast<int64_t>(kListed))
        found.problems.push_back("... and " + std::to_string(found.damaged - kListed) + " more damaged blocks");
}

// kestrel's journal and the images of unfinished saves, beside the file.
void check_side_files(const std::string& file, Findings& found)
{
    const fs::path path = file;
    const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    // Appended, not added: GCC 12 warns falsely on "." + string at -O2 (-Wrestrict).
    std::string stem = ".";
    stem += path.filename().string();
    stem += ".";
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name == stem + "kestrel-journal")
            found.journals.push_back(entry.path().string());
        else if (name.size() == stem.size() + 6 && name.compare(0, stem.size(), stem) == 0)
            found.images.push_back(entry.path().string());
    }
    for (const std::string& journal : found.journals)
        found.problem("journal " + journal +
                      ": kestrel is running, or it did not end normally and will finish the file at its next start");
    for (const std::string& image : found.images)
        found.notes.push_back("left-over image of an unfinished save " + image +
                              " (the record file is the one from before that save)");
}

void report(const std::string& file, const Findings& found, std::ostream& out)
{
    auto row = [&out](const char* label, const std::string& value) {
        out << "  " << std::left << std::setw(40) << label << value << '\n';
    };
    out << file << ":\n";
    row("size", std::to_string(found.size) + " bytes");
    row("header count", std::to_string(found.count));
    row("categories", std::to_string(found.categories));
    row("live records", std::to_string(found.live));
    row("free records", std::to_string(found.free));
    row("records whose category has no header", std::to_string(found.orphans));
    row("damaged blocks", std::to_string(found.damaged));
    row("bytes after the last whole block", std::to_string(found.tail));
    row("journal beside it", found.journals.empty() ? "none" : "yes");
    row("left-over images beside it", std::to_string(found.images.size()));
    for (const std::string& note : found.notes)
        out << "note: " << note << '\n';
    for (const std::string& problem : found.problems)
        out << "problem: " << problem << '\n';
    out << file << ": " << (found.problems.empty() ? "whole" : "not whole") << '\n';
}

} // namespace

bool check_file(const std::string& file, std::ostream& out)
{
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw Refused("cannot read " + file + ": " + std::strerror(errno));
    Findings found;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        throw Refused(file + " is not a regular file");
    }
    found.size = st.st_size;
    try {
        std::set<int32_t> ids;
        if (check_headers(fd, found, ids))
            check_records(fd, ids, found);
    } catch (const Refused& error) {
        close(fd);
        throw Refused(file + ": " + error.what());
    }
    close(fd);
    check_side_files(file, found);
    report(file, found, out);
    return found.problems.empty();
}

void run_check(const tools::Call& call)
{
    const RecordPath path = record_path(call.arg(0));
    if (!check_file(path.native, call.out))
        throw Refused(path.shown + " is not whole");
}

} // namespace kdata
