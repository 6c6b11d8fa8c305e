// The records of a record file as a password manager's entries: its
// category as the group, its name as the title, its text as the notes.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kdata {

struct ExportEntry
{
    std::string title; // UTF-8
    std::string notes; // UTF-8, LF line ends
};

struct ExportGroup
{
    bool top = false; // the top group itself: records whose category has no header
    std::string name; // UTF-8; empty for the top group
    std::vector<ExportEntry> entries;
};

// The name KeePassXC gives its top group.
inline constexpr const char* kTopGroup = "Root";

// A KeePass 2 XML file, as keepassxc-cli import reads it: the top group
// holds the categories' groups and the entries of records without one.
void write_keepass_xml(const std::vector<ExportGroup>& groups, std::ostream& out);
// CSV with the columns of KeePassXC's CSV export; the group as its path
// ("Root/<category>").
void write_keepass_csv(const std::vector<ExportGroup>& groups, std::ostream& out);

} // namespace kdata
