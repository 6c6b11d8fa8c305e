#include "store/file/run_backup.h"

#include "commons/commons.h"
#include "platform/registry.h"
#include "platform/atomic_file.h"
#include "platform/file_calls.h"
#include "store/file/checksum.h"
#include "store/file/side_files.h"
#include "store/record_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int DEFAULT_KEPT = 5;
constexpr size_t STAMP_SIZE = 15; // yyyymmdd-hhmmss

int backups_to_keep()
{
    // Read quietly from the application's key: sub_regread would log a normal
    // line for the missing value, which is most users' case, and so change
    // the trace of the run's first record operation.
    char value[32] = {};
    uint32_t type = 0;
    uint32_t size = sizeof value - 1; // one byte more, so that the value always ends
    if (reg::read_value(reg::Hive::LocalMachine, "SOFTWARE\\qelt_key_yoyaku", "kest_backups", &type, value, &size) !=
            reg::Status::Ok ||
        type != reg::REG_SZ || value[0] == '\0')
        return DEFAULT_KEPT;
    long kept = 0;
    for (const char* c = value; *c; ++c) {
        if (*c < '0' || *c > '9')
            return DEFAULT_KEPT;
        kept = std::min(kept * 10 + (*c - '0'), 100000L);
    }
    return static_cast<int>(kept);
}

// Where a backup's name, behind its prefix, is "yyyymmdd-hhmmss" or "yyyymmdd-hhmmss-<n>":
// its place in time (stamp, n), else false.
bool backup_order(const std::string& rest, std::pair<std::string, long>& order)
{
    if (rest.size() < STAMP_SIZE)
        return false;
    for (size_t i = 0; i < STAMP_SIZE; ++i)
        if (i == 8 ? rest[i] != '-' : (rest[i] < '0' || rest[i] > '9'))
            return false;
    long n = 1;
    if (rest.size() > STAMP_SIZE) {
        if (rest[STAMP_SIZE] != '-' || rest.size() == STAMP_SIZE + 1 || rest.size() > STAMP_SIZE + 10)
            return false;
        char* end = nullptr;
        n = strtol(rest.c_str() + STAMP_SIZE + 1, &end, 10);
        if (*end != '\0' || n < 2)
            return false;
    }
    order = {rest.substr(0, STAMP_SIZE), n};
    return true;
}

// Removes all but the newest `kept` backups of one record file, and copies
// that a crash left half-written.
void drop_old_backups(const fs::path& folder, const std::string& prefix, int kept)
{
    std::vector<std::pair<std::pair<std::string, long>, fs::path>> backups;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        std::pair<std::string, long> order;
        if (name.starts_with(prefix) && backup_order(name.substr(prefix.size()), order))
            backups.emplace_back(order, entry.path());
        else if (name.starts_with("." + prefix))
            fc::unlink(entry.path().c_str());
    }
    std::sort(backups.begin(), backups.end());
    for (size_t i = 0; i + static_cast<size_t>(kept) < backups.size(); ++i)
        fc::unlink(backups[i].second.c_str());
}

// A free name for a backup made now: the local time, numbered when taken.
fs::path new_backup_name(const fs::path& folder, const std::string& prefix)
{
    const time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    char stamp[STAMP_SIZE + 1];
    strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    fs::path name = folder / (prefix + stamp);
    std::error_code ec;
    for (int n = 2; fs::exists(fs::symlink_status(name, ec)); ++n)
        name = folder / (prefix + stamp + "-" + std::to_string(n));
    return name;
}

// Writes the copy under a temporary name, syncs it and only then gives it its
// name, so that a backup that is there is whole. False with errno set.
bool write_backup(int from, off_t size, const fs::path& folder, const std::string& prefix)
{
    const fs::path name = new_backup_name(folder, prefix);
    std::string hidden = ".";
    hidden += name.filename().string();
    hidden += ".XXXXXX";
    return atomic_file::replace_with(name.string(), (folder / hidden).string(), 0600, static_cast<gid_t>(-1),
                                     [from, size](int to) { return fc::copy_bytes(from, 0, to, 0, size); }) !=
           atomic_file::Outcome::Failed;
}

} // namespace

std::string backup_prefix(const std::string& native)
{
    std::error_code ec;
    const std::string absolute = fs::absolute(native, ec).lexically_normal().string();
    char hash[10];
    snprintf(hash, sizeof hash, "%08x",
             static_cast<unsigned>(checksum(absolute.data(), absolute.size()) & 0xffffffffU));
    // Within NAME_MAX with the time stamp and the temporary name's ends.
    return fs::path(absolute).filename().string().substr(0, 200) + "-" + hash + "-";
}

void back_up_record_file(const char* path, const std::string& native, int fd)
{
    struct stat st;
    // A file that holds only a zero count has nothing to lose.
    if (!fc::fstat(fd, st) || st.st_size <= COUNT_SIZE)
        return;
    const int kept = backups_to_keep();
    if (kept == 0)
        return;
    const std::string prefix = backup_prefix(native);
    const std::string folder = make_state_folder("backups");
    errno = ENOTDIR;
    if (folder.empty() || !write_backup(fd, st.st_size, folder, prefix)) {
        logputd(1, __FILE_NAME__, __LINE__, "Data File (%s) backup error: %s\n", path, strerror(errno));
        return;
    }
    drop_old_backups(folder, prefix, kept);
}
