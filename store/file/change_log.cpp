#include "store/file/change_log.h"

#include <deque>
#include <mutex>

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
    static Log instance;
    return instance;
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
