#include "store/file/change_log.h"

#include "platform/file_calls.h"

#include <deque>
#include <mutex>
#include <sys/stat.h>

namespace {

// A reader that falls this far behind starts afresh: one walk costs less than
// keeping every change of a long run.
constexpr size_t KEPT = 4096;

struct Log
{
    std::mutex lock;
    std::deque<FileChange> kept; // the last changes, the newest at the back
    uint64_t noted = 0;          // changes noted in all
};

Log& log()
{
    // Never destroyed: the save from an exit handler still changes the file
    // after static objects are gone.
    static Log* const instance = new Log;
    return *instance;
}

} // namespace

uint64_t file_changes_now()
{
    Log& changes = log();
    const std::lock_guard<std::mutex> hold(changes.lock);
    return changes.noted;
}

bool file_changes_since(uint64_t since, std::vector<FileChange>& out)
{
    Log& changes = log();
    const std::lock_guard<std::mutex> hold(changes.lock);
    if (since > changes.noted || changes.noted - since > changes.kept.size())
        return false;
    out.insert(out.end(), changes.kept.end() - static_cast<std::ptrdiff_t>(changes.noted - since), changes.kept.end());
    return true;
}

void note_file_change(const std::string& native, int64_t index)
{
    Log& changes = log();
    const std::lock_guard<std::mutex> hold(changes.lock);
    changes.kept.push_back({native, index});
    if (changes.kept.size() > KEPT)
        changes.kept.pop_front();
    ++changes.noted;
}

FileFollower::Identity FileFollower::identityOf(int fd)
{
    struct stat st;
    if (!fc::fstat(fd, st))
        return {};
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
}

bool FileFollower::follow(const std::string& native, int fd, std::vector<int64_t>& changed)
{
    const uint64_t now = file_changes_now();
    std::vector<FileChange> changes;
    bool stands = m_known && m_native == native && file_changes_since(m_seen, changes);
    const size_t before = changed.size();
    for (const FileChange& change : changes) {
        if (change.native != native)
            continue;
        stands = stands && change.index >= 0;
        changed.push_back(change.index);
    }
    const Identity identity = identityOf(fd);
    // Another identity with no change of ours to tell why: changed from outside.
    stands = stands && (changed.size() > before || identity == m_identity);
    m_known = true;
    m_native = native;
    m_identity = identity;
    m_seen = now;
    return stands;
}
