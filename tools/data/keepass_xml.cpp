#include "tools/data/export_entries.h"

#include <sys/random.h>

namespace kdata {
namespace {

void append_escaped(std::string& out, const std::string& text)
{
    size_t from = 0;
    for (size_t at; (at = text.find_first_of("&<>\"", from)) != std::string::npos; from = at + 1) {
        out.append(text, from, at - from);
        out += text[at] == '&' ? "&amp;" : text[at] == '<' ? "&lt;" : text[at] == '>' ? "&gt;" : "&quot;";
    }
    out.append(text, from, std::string::npos);
}

// A UUID in base64, as KeePass writes them: one random value per export,
// with a count added for each group and entry, so that the UUIDs of one file
// differ and those of two files almost surely do.
std::string uuid()
{
    static unsigned char bytes[18] = {};
    static bool seeded = false;
    for (size_t got = 0; !seeded && got < 16;) {
        const ssize_t n = getrandom(bytes + got, 16 - got, 0);
        if (n > 0)
            got += static_cast<size_t>(n);
        seeded = got == 16;
    }
    for (int i = 15; i >= 0 && ++bytes[i] == 0; --i) {
    }
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < 18; i += 3) {
        const unsigned v = bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2];
        out += digits[v >> 18];
        out += digits[(v >> 12) & 63];
        out += digits[(v >> 6) & 63];
        out += digits[v & 63];
    }
    return out.substr(0, 22) + "==";
}

void append_string(std::string& out, const std::string& indent, const char* key, const std::string& value)
{
    out += indent;
    out += "<String><Key>";
    out += key;
    out += "</Key><Value>";
    append_escaped(out, value);
    out += "</Value></String>\n";
}

void append_entry(std::string& out, const std::string& indent, const ExportEntry& entry)
{
    const std::string inner = indent + "\t";
    out += indent + "<Entry>\n" + inner + "<UUID>" + uuid() + "</UUID>\n";
    append_string(out, inner, "Title", entry.title);
    append_string(out, inner, "UserName", "");
    append_string(out, inner, "Password", "");
    append_string(out, inner, "URL", "");
    append_string(out, inner, "Notes", entry.notes);
    out += indent + "</Entry>\n";
}

} // namespace

void write_keepass_xml(const std::vector<ExportGroup>& groups, std::ostream& out)
{
    // Each group is built in memory and written in one go.
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\n"
                       "<KeePassFile>\n"
                       "\t<Meta>\n\t\t<Generator>kestrel-data</Generator>\n"
                       "\t\t<DatabaseName>kestrel</DatabaseName>\n\t</Meta>\n"
                       "\t<Root>\n\t\t<Group>\n\t\t\t<UUID>" +
                       uuid() + "</UUID>\n\t\t\t<Name>" + kTopGroup + "</Name>\n";
    // KeePass keeps a group's entries before its subgroups.
    for (const ExportGroup& group : groups) {
        if (group.top) {
            for (const ExportEntry& entry : group.entries)
                append_entry(text, "\t\t\t", entry);
        }
    }
    out << text;
    for (const ExportGroup& group : groups) {
        if (group.top)
            continue;
        text = "\t\t\t<Group>\n\t\t\t\t<UUID>" + uuid() + "</UUID>\n\t\t\t\t<Name>";
        append_escaped(text, group.name);
        text += "</Name>\n";
        for (const ExportEntry& entry : group.entries)
            append_entry(text, "\t\t\t\t", entry);
        text += "\t\t\t</Group>\n";
        out << text;
    }
    out << "\t\t</Group>\n\t</Root>\n</KeePassFile>\n";
}

} // namespace kdata
