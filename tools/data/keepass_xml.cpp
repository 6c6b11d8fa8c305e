#include "tools/data/export_entries.h"

#include <sys/random.h>

namespace kdata {
namespace {

std::string escaped(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
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

void write_string(std::ostream& out, const char* indent, const char* key, const std::string& value)
{
    out << indent << "<String><Key>" << key << "</Key><Value>" << escaped(value) << "</Value></String>\n";
}

void write_entry(std::ostream& out, const char* indent, const ExportEntry& entry)
{
    const std::string inner = std::string(indent) + "\t";
    out << indent << "<Entry>\n" << inner << "<UUID>" << uuid() << "</UUID>\n";
    write_string(out, inner.c_str(), "Title", entry.title);
    write_string(out, inner.c_str(), "UserName", "");
    write_string(out, inner.c_str(), "Password", "");
    write_string(out, inner.c_str(), "URL", "");
    write_string(out, inner.c_str(), "Notes", entry.notes);
    out << indent << "</Entry>\n";
}

} // namespace

void write_keepass_xml(const std::vector<ExportGroup>& groups, std::ostream& out)
{
    out << "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\n"
           "<KeePassFile>\n"
           "\t<Meta>\n\t\t<Generator>kestrel-data</Generator>\n\t\t<DatabaseName>kestrel</DatabaseName>\n\t</Meta>\n"
           "\t<Root>\n\t\t<Group>\n\t\t\t<UUID>"
        << uuid() << "</UUID>\n\t\t\t<Name>" << kTopGroup << "</Name>\n";
    // KeePass keeps a group's entries before its subgroups.
    for (const ExportGroup& group : groups) {
        if (group.top) {
            for (const ExportEntry& entry : group.entries)
                write_entry(out, "\t\t\t", entry);
        }
    }
    for (const ExportGroup& group : groups) {
        if (group.top)
            continue;
        out << "\t\t\t<Group>\n\t\t\t\t<UUID>" << uuid() << "</UUID>\n\t\t\t\t<Name>" << escaped(group.name)
            << "</Name>\n";
        for (const ExportEntry& entry : group.entries)
            write_entry(out, "\t\t\t\t", entry);
        out << "\t\t\t</Group>\n";
    }
    out << "\t\t</Group>\n\t</Root>\n</KeePassFile>\n";
}

} // namespace kdata
