#include "tools/data/export_entries.h"

namespace kdata {
namespace {

std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

} // namespace

void write_keepass_csv(const std::vector<ExportGroup>& groups, std::ostream& out)
{
    out << "\"Group\",\"Title\",\"Username\",\"Password\",\"URL\",\"Notes\",\"TOTP\",\"Icon\",\"Last Modified\","
           "\"Created\"\n";
    // As KeePassXC writes it: the top group's own entries first.
    for (const bool top : {true, false}) {
        for (const ExportGroup& group : groups) {
            if (group.top != top)
                continue;
            const std::string path = top ? kTopGroup : std::string(kTopGroup) + "/" + group.name;
            for (const ExportEntry& entry : group.entries)
                out << quoted(path) << ',' << quoted(entry.title) << ",\"\",\"\",\"\"," << quoted(entry.notes)
                    << ",\"\",\"0\",\"\",\"\"\n";
        }
    }
}

} // namespace kdata
