// kestrel-data import: a password manager's entries become records. A group
// becomes a category (found by name, else made as the category editor makes
// one), the title the record name, the fields and the notes its text. The
// whole input is checked before the record file is touched; the file is then
// replaced whole, every existing block kept where it is.
#include "platform/cp932.h"
#include "platform/file_calls.h"
#include "store/kindedt.h"
#include "tools/data/data_commands.h"
#include "tools/data/import_entries.h"
#include "tools/data/record_change.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace kdata {
namespace {

// The category of the top group's own entries.
const char* const kUnfiled = "未分類";

ExportFormat parse_format(const std::string& text)
{
    if (text == "keepass-xml")
        return ExportFormat::KeePassXml;
    if (text == "csv")
        return ExportFormat::Csv;
    throw UsageError(text.empty() ? "import: --format keepass-xml|csv is needed"
                                  : "unknown format '" + text + "' (keepass-xml or csv)");
}

std::string read_input(const std::string& name, std::istream& in)
{
    std::ostringstream bytes;
    if (name == "-") {
        bytes << in.rdbuf();
        return bytes.str();
    }
    std::ifstream file(name, std::ios::binary);
    if (!file || !(bytes << file.rdbuf()) || file.bad())
        throw Refused("cannot read " + name + ": " + std::strerror(errno));
    return bytes.str();
}

// The first character of UTF-8 text that CP932 cannot hold, shown with its code point.
std::string unheld_character(const std::string& utf8)
{
    for (size_t at = 0; at < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[at]);
        const size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const std::string character = utf8.substr(at, n);
        if (!cp932::representable(character)) {
            char32_t code = n == 1 ? lead : lead & (0x7F >> n);
            for (size_t i = 1; i < n && i < character.size(); ++i)
                code = code << 6 | (static_cast<unsigned char>(character[i]) & 0x3F);
            char shown[16];
            std::snprintf(shown, sizeof shown, "U+%04X", static_cast<unsigned>(code));
            return "\"" + character + "\" (" + shown + ")";
        }
        at += n;
    }
    return "a character";
}

// CP932 for `utf8`, or why it cannot be stored in a field of `limit` bytes of text.
std::string to_field(const std::string& utf8, size_t limit, const char* what, std::string& cp932_text)
{
    if (utf8.find('\0') != std::string::npos)
        return std::string(what) + " holds a NUL character";
    if (!cp932::from_utf8(utf8, cp932_text))
        return std::string(what) + " holds " + unheld_character(utf8) + ", which CP932 cannot hold";
    if (cp932_text.size() > limit)
        return std::string(what) + " is " + std::to_string(cp932_text.size()) + " bytes in CP932, over " +
               (limit == DATA_SIZE - 1 ? "4,095" : "511");
    return {};
}

// The fields that are not empty, one a line, then the notes; CR LF line
// ends, as kestrel's text pane stores them.
std::string record_text(const ImportEntry& entry)
{
    std::string lines;
    auto add = [&lines](const std::string& line) {
        if (!lines.empty())
            lines += '\n';
        lines += line;
    };
    if (!entry.username.empty())
        add("ユーザー名: " + entry.username);
    if (!entry.password.empty())
        add("パスワード: " + entry.password);
    if (!entry.url.empty())
        add("URL: " + entry.url);
    if (!entry.notes.empty())
        add(entry.notes);
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == '\r' && i + 1 < lines.size() && lines[i + 1] == '\n')
            continue;
        if (lines[i] == '\r' || lines[i] == '\n')
            text += "\r\n";
        else
            text += lines[i];
    }
    return text;
}

// The record file as it is: its header entries as stored, the ids in use and the free blocks.
struct OldFile
{
    RecordFile file;
    bool exists = false;
    std::string headers;                         // the scrambled entries, unchanged
    std::map<std::string, int32_t> kind_by_name; // CP932 name -> id (the first header of that name)
    std::set<int32_t> used_ids;                  // of headers and of live records
    std::vector<int64_t> free_blocks;
};

void read_old(const RecordPath& path, OldFile& old)
{
    switch (old.file.openRead(path.cp932.c_str())) {
    case OpenStatus::Ok:
        break;
    case OpenStatus::Missing:
        if (errno == ENOENT)
            return; // made by the import
        throw Refused("cannot read " + path.shown + ": " + std::strerror(errno) + "; nothing imported");
    default:
        throw Refused(path.shown + " is damaged (kestrel-data check tells why); nothing imported");
    }
    old.exists = true;
    const RecordArea& area = old.file.area();
    old.headers.resize(static_cast<size_t>(area.count * HEADER_SIZE));
    if (!fc::pread_all(old.file.fd(), old.headers.data(), old.headers.size(), COUNT_SIZE))
        throw Refused("cannot read " + path.shown + ": " + std::strerror(errno) + "; nothing imported");
    for (int32_t i = 0; i < area.count; ++i) {
        KindHeader header;
        std::memcpy(&header, old.headers.data() + i * HEADER_SIZE, sizeof header);
        unscramble_block(&header, sizeof header);
        old.kind_by_name.emplace(std::string(header.name, strnlen(header.name, NAME_SIZE)), header.kind_id);
        old.used_ids.insert(header.kind_id);
    }
    BlockWalk walk = old.file.walk();
    while (const CatgRecord* block = walk.next()) {
        int32_t head[2];
        std::memcpy(head, block, sizeof head);
        unscramble_block(head, sizeof head);
        if (head[0] == 1)
            old.used_ids.insert(head[1]);
        else
            old.free_blocks.push_back(walk.index());
    }
    if (walk.failed())
        throw Refused("cannot read " + path.shown + ": " + std::strerror(errno) + "; nothing imported");
}

// A new record, CP932; its block is built only as it is written.
struct NewRecord
{
    int32_t kind;
    std::string name;
    std::string text;
};

struct Plan
{
    std::vector<KindHeader> kinds; // the new categories, plain
    std::vector<NewRecord> records;
    std::vector<std::string> refused; // one line per entry that cannot be stored
};

Plan plan_import(const std::vector<ImportEntry>& entries, OldFile& old)
{
    Plan plan;
    const int32_t old_count = old.file.area().count;
    for (size_t i = 0; i < entries.size(); ++i) {
        const ImportEntry& entry = entries[i];
        const std::string category = entry.group.empty() ? kUnfiled : entry.group;
        const std::string which = entry.group_only
                                      ? "group \"" + category + "\""
                                      : "entry " + std::to_string(i + 1) + " \"" +
                                            (entry.group.empty() ? "" : entry.group + "/") + entry.title + "\"";
        std::string kind_name, name, text, why = to_field(category, NAME_SIZE - 1, "its group's name", kind_name);
        if (why.empty() && !entry.group_only) {
            if (entry.title.empty())
                why = "it has no title";
            else
                why = to_field(entry.title, NAME_SIZE - 1, "its title", name);
            if (why.empty())
                why = to_field(record_text(entry), DATA_SIZE - 1, "its text", text);
        }
        auto kind = old.kind_by_name.find(kind_name);
        if (why.empty() && kind == old.kind_by_name.end()) {
            const int slot = old_count + static_cast<int>(plan.kinds.size());
            if (slot >= KIND_MAX) {
                why = "no room for its category \"" + category + "\": a record file holds at most 128 categories";
            } else {
                KindHeader header{};
                header.kind_id = kind_id_for_slot(slot, old.used_ids); // as the category editor gives them
                std::memcpy(header.name, kind_name.data(), kind_name.size());
                plan.kinds.push_back(header);
                old.used_ids.insert(header.kind_id);
                kind = old.kind_by_name.emplace(kind_name, header.kind_id).first;
            }
        }
        if (!why.empty()) {
            plan.refused.push_back(which + ": " + why);
            continue;
        }
        if (entry.group_only)
            continue;
        plan.records.push_back({kind->second, std::move(name), std::move(text)});
    }
    return plan;
}

// The complete new record file: the count, the old header entries as they
// were and the new ones, every old block where it was, the new records in
// the free blocks first and then behind the old ones.
bool write_image(int fd, const OldFile& old, const Plan& plan)
{
    const RecordArea& area = old.file.area();
    const auto count = static_cast<uint32_t>(area.count + static_cast<int32_t>(plan.kinds.size()));
    const unsigned char raw[COUNT_SIZE] = {static_cast<unsigned char>(count), static_cast<unsigned char>(count >> 8),
                                           static_cast<unsigned char>(count >> 16),
                                           static_cast<unsigned char>(count >> 24)};
    std::string head(reinterpret_cast<const char*>(raw), sizeof raw);
    head += old.headers;
    for (KindHeader header : plan.kinds) {
        scramble_block(&header, sizeof header);
        head.append(reinterpret_cast<const char*>(&header), sizeof header);
    }
    if (!fc::pwrite_all(fd, head.data(), head.size(), 0))
        return false;
    const auto start = static_cast<off_t>(head.size());
    if (area.blocks > 0 && !fc::copy_bytes(old.file.fd(), area.start, fd, start, area.blocks * RECORD_SIZE))
        return false;
    for (size_t i = 0; i < plan.records.size(); ++i) {
        const int64_t index = i < old.free_blocks.size()
                                  ? old.free_blocks[i]
                                  : area.blocks + static_cast<int64_t>(i - old.free_blocks.size());
        const NewRecord& record = plan.records[i];
        CatgRecord block{};
        block.flag = 1;
        block.catg_kind = record.kind;
        std::memcpy(block.name, record.name.data(), record.name.size());
        std::memcpy(block.data, record.text.data(), record.text.size());
        scramble_block(&block, sizeof block);
        if (!fc::pwrite_all(fd, &block, sizeof block, start + index * RECORD_SIZE))
            return false;
    }
    return true;
}

} // namespace

void run_import(const tools::Call& call)
{
    const ExportFormat format = parse_format(call.option("format"));
    const RecordPath path = record_path(call.arg(1));
    // The input is read whole before the record file is locked: a file that
    // is not of its form changes nothing and leaves nothing beside it.
    const std::string input = read_input(call.args[0], call.in);
    const std::vector<ImportEntry> entries =
        format == ExportFormat::KeePassXml ? read_keepass_xml(input) : read_keepass_csv(input);

    const RecordLock lock(path);
    OldFile old;
    read_old(path, old);
    const Plan plan = plan_import(entries, old);
    const bool skip = call.has("skip-bad");
    for (const std::string& refused : plan.refused)
        (skip ? call.out : call.err) << (skip ? "skipped " : "kestrel-data: ") << refused << '\n';
    if (!plan.refused.empty() && !skip)
        throw Refused("nothing imported: " + std::to_string(plan.refused.size()) +
                      " entries cannot be stored (--skip-bad imports the others)");
    if (plan.records.empty() && plan.kinds.empty()) {
        call.out << "nothing to import; " << path.shown << " is unchanged\n";
        return;
    }
    replace_or_refuse(
        path, __FILE_NAME__, [&old, &plan](int fd) { return write_image(fd, old, plan); }, "nothing imported");
    call.out << "imported " << plan.records.size() << " records and " << plan.kinds.size() << " new categories into "
             << path.shown << '\n';
}

} // namespace kdata
