// A password manager's entries as the import reads them, before they become
// records: KeePass 2 XML (what KeePassXC and our export write) and KeePassXC's CSV.
#pragma once

#include <string>
#include <vector>

namespace kdata {

struct ImportEntry
{
    // UTF-8. The group's path below the top group, nested names joined with
    // "/"; empty for the top group itself.
    std::string group;
    bool group_only = false; // a group without entries: only its category is made
    std::string title;
    std::string username;
    std::string password;
    std::string url;
    std::string notes;
};

// The entries in file order, refused (one line saying where) when the file
// is not of that form. Entries of the recycle bin and older versions of an
// entry (its history) are left out.
std::vector<ImportEntry> read_keepass_xml(const std::string& bytes);
// Rows of the columns "Group", "Title", "Username", "Password", "URL" and
// "Notes" (found by the header row); the group's first name is the top group.
std::vector<ImportEntry> read_keepass_csv(const std::string& bytes);

} // namespace kdata
