// KeePassXC's CSV: quoted fields (a quote inside doubled, line breaks kept
// inside quotes), the first row naming the columns.
#include "platform/cp932.h"
#include "tools/command_table.h"
#include "tools/data/import_entries.h"

#include <algorithm>

namespace kdata {
namespace {

using Row = std::vector<std::string>;

[[noreturn]] void fail(size_t line, const std::string& why)
{
    throw tools::Refused("not a KeePassXC CSV file: line " + std::to_string(line) + ": " + why);
}

// All rows; `lines` gets the line each row starts on.
std::vector<Row> rows_of(const std::string& text, std::vector<size_t>& lines)
{
    std::vector<Row> rows;
    size_t line = 1;
    size_t at = 0;
    while (at < text.size()) {
        Row row;
        lines.push_back(line);
        for (bool more = true; more;) {
            std::string field;
            if (at < text.size() && text[at] == '"') {
                const size_t opened = line;
                for (++at;; ++at) {
                    if (at >= text.size())
                        fail(opened, "a quoted field does not end");
                    if (text[at] == '"' && at + 1 < text.size() && text[at + 1] == '"')
                        field += text[at++];
                    else if (text[at] == '"')
                        break;
                    else {
                        line += text[at] == '\n';
                        field += text[at];
                    }
                }
                ++at;
            } else {
                const size_t end = std::min(text.find_first_of(",\r\n", at), text.size());
                field.assign(text, at, end - at);
                if (field.find('"') != std::string::npos)
                    fail(line, "a quote inside an unquoted field");
                at = end;
            }
            row.push_back(std::move(field));
            if (at < text.size() && text[at] == ',') {
                ++at;
                continue;
            }
            if (at < text.size() && text[at] == '\r')
                ++at;
            if (at < text.size() && text[at] != '\n')
                fail(line, "text after a quoted field");
            ++at;
            ++line;
            more = false;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace

std::vector<ImportEntry> read_keepass_csv(const std::string& bytes)
{
    std::string_view text = bytes;
    if (text.starts_with("\xEF\xBB\xBF")) // a byte order mark
        text.remove_prefix(3);
    if (!cp932::is_utf8(text))
        throw tools::Refused("not a KeePassXC CSV file: not UTF-8 text");
    std::vector<size_t> lines;
    const std::vector<Row> rows = rows_of(std::string(text), lines);
    if (rows.empty())
        fail(1, "no header row");
    const Row& header = rows[0];
    auto column = [&header](const char* name) {
        const auto found = std::find(header.begin(), header.end(), name);
        return found == header.end() ? std::string::npos : static_cast<size_t>(found - header.begin());
    };
    const size_t group = column("Group"), title = column("Title");
    if (group == std::string::npos || title == std::string::npos)
        fail(1, "no \"Group\" and \"Title\" columns");
    const size_t username = column("Username"), password = column("Password"), url = column("URL"),
                 notes = column("Notes");
    std::vector<ImportEntry> entries;
    for (size_t i = 1; i < rows.size(); ++i) {
        const Row& row = rows[i];
        if (row.size() == 1 && row[0].empty())
            continue; // an empty line
        if (row.size() != header.size())
            fail(lines[i], std::to_string(row.size()) + " fields, the header row has " + std::to_string(header.size()));
        auto field = [&row](size_t at) { return at == std::string::npos ? std::string() : row[at]; };
        ImportEntry entry;
        // "Root/Mail/Gmail": the top group's name first.
        const size_t slash = row[group].find('/');
        entry.group = slash == std::string::npos ? std::string() : row[group].substr(slash + 1);
        entry.title = row[title];
        entry.username = field(username);
        entry.password = field(password);
        entry.url = field(url);
        entry.notes = field(notes);
        entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace kdata
