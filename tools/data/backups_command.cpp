#include "platform/cp932.h"
#include "store/file/run_backup.h"
#include "store/file/side_files.h"
#include "store/record_file.h"
#include "tools/data/data_commands.h"
#include "tools/data/record_path.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace kdata {
namespace {

constexpr size_t kStampSize = 15; // yyyymmdd-hhmmss

// "yyyy-mm-dd hh:mm:ss" from the stamp in a backup's name; empty when it has none.
std::string shown_time(const std::string& rest)
{
    if (rest.size() < kStampSize || rest[8] != '-' || !std::all_of(rest.begin(), rest.begin() + kStampSize, [](char c) {
            return c == '-' || (c >= '0' && c <= '9');
        }))
        return {};
    return rest.substr(0, 4) + "-" + rest.substr(4, 2) + "-" + rest.substr(6, 2) + " " + rest.substr(9, 2) + ":" +
           rest.substr(11, 2) + ":" + rest.substr(13, 2);
}

// Live records of a backup; -1 when it cannot be read as a record file.
long live_records(const fs::path& backup)
{
    std::string cp932_path;
    if (!cp932::from_utf8(backup.string(), cp932_path))
        return -1;
    RecordReader reader(cp932_path.c_str());
    if (!reader.isOpen())
        return -1;
    long live = 0;
    int32_t flag, kind;
    int index;
    while (reader.nextHead(flag, kind, index))
        live += flag == 1;
    return live;
}

} // namespace

void run_backups(const tools::Call& call)
{
    const RecordPath path = record_path(call.arg(0));
    const std::string prefix = backup_prefix(resolve_links(path.native));
    // Only looked at: a folder that is not there is not made.
    const std::string folder = state_folder_path("backups");
    std::vector<std::pair<std::string, fs::path>> found; // (stamp and number, path)
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) == 0 && entry.is_regular_file(ec) &&
            !shown_time(name.substr(prefix.size())).empty())
            found.emplace_back(name.substr(prefix.size()), entry.path());
    }
    if (found.empty()) {
        call.out << "no backups of " << path.shown << " in " << folder << '\n';
        return;
    }
    std::sort(found.begin(), found.end());
    for (const auto& [rest, backup] : found) {
        const long live = live_records(backup);
        call.out << backup.string() << '\t' << shown_time(rest) << '\t' << fs::file_size(backup, ec) << " bytes\t"
                 << (live < 0 ? std::string("unreadable") : std::to_string(live) + " records") << '\n';
    }
}

} // namespace kdata
