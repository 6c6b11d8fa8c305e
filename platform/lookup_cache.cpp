// The log facility reads two values on every call, most often a missing one
// whose lookup scans the folder. So query_value keeps its recent results and
// reuses one only while the key's folder and the value file still carry the
// stamps (device, inode, size, mtime, ctime) they had: every write renames a
// file into the folder and every delete unlinks one, and both stamp the
// folder, whichever process does it. The file system stamps with the kernel's
// coarse clock, so two changes within one tick can leave equal stamps. A
// result is therefore kept only when the folder and file were last changed
// well before the lookup began; any change after that carries a later stamp.
// A value found under exactly the name asked for depends on its file alone,
// so it is checked by the file's stamp only; a key missing as spelled, by the
// stamp of the deepest folder of its path that exists.
//
// Where the kernel offers change notification (inotify), a kept result needs
// no stat at all: the folders it depends on are watched before the lookup
// reads them, and any event on a watched folder drops every kept result. The
// kernel queues an event before the call that made the change returns, in
// whichever process, so one non-blocking read of the queue per lookup sees
// every change made before it, also within one tick of the clock. The stamps
// remain the check where notification is not available.

#include "platform/lookup_cache.h"

#include "platform/key_walk.h"
#include "platform/value_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/magic.h>
#include <mutex>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace reg::detail {
namespace {

// What a change of a file or folder alters.
struct Stamp
{
    dev_t dev;
    ino_t ino;
    off_t size;
    timespec mtime;
    timespec ctime;
};

Stamp stamp_of(const struct stat& st)
{
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

bool same_time(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool same_stamp(const Stamp& a, const Stamp& b)
{
    return a.dev == b.dev && a.ino == b.ino && a.size == b.size && same_time(a.mtime, b.mtime) &&
           same_time(a.ctime, b.ctime);
}

std::optional<Stamp> stamp_now(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return stamp_of(st);
}

// Change notification for the folders that kept lookups depend on. A folder
// of the registry (the root and below) is watched for every change of its
// entries and files; the folders above the root only for being moved or
// deleted, which would send the path elsewhere, so that busy folders such as
// /tmp raise no events.
class ChangeWatch
{
public:
    ChangeWatch() : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

    bool available() const { return m_fd >= 0; }

    // Watches every folder from the top of `folder`'s path down to `folder`
    // itself, which always gets the full watch. False when any watch failed.
    bool watch(const std::string& folder, const std::string& root)
    {
        if (m_fd < 0 || folder.empty())
            return false;
        for (size_t end = 0; end != std::string::npos;) {
            end = folder.find('/', end + 1);
            const std::string level = folder.substr(0, end == std::string::npos ? folder.size() : end);
            const bool inside = level.size() >= root.size() && level.compare(0, root.size(), root) == 0 &&
                                (level.size() == root.size() || level[root.size()] == '/');
            const uint32_t mask = inside || end == std::string::npos ? kFull : kSelf;
            if (inotify_add_watch(m_fd, level.c_str(), mask | IN_MASK_ADD | IN_ONLYDIR) < 0)
                return false;
        }
        return true;
    }

    // True when some event came in since the last call: a watched folder, or
    // a file in one, may have changed.
    bool changed()
    {
        bool any = false;
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t n = read(m_fd, buffer, sizeof buffer);
            if (n > 0) {
                any = true;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            return any || (n < 0 && errno != EAGAIN);
        }
    }

    // In a child after fork: the queue is shared with the parent, whose events
    // must not be taken from it. The child does without notification.
    void leave()
    {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = -1;
    }

private:
    static constexpr uint32_t kSelf = IN_DELETE_SELF | IN_MOVE_SELF;
    static constexpr uint32_t kFull =
        kSelf | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE;

    int m_fd;
};

// One lookup of a value in a key's folder, with what it depended on.
struct Lookup
{
    bool watched = false; // the folders it depends on were watched before it began
    std::string folder;   // the key's folder
    std::string wanted;   // the value's file name as asked for
    timespec began{};     // the clock when the lookup began
    // The folder whose entries decided the lookup, and its stamp: the key's
    // folder, or for a missing key the deepest folder of its path.
    std::string stamped;
    std::optional<Stamp> folderStamp;
    // The file that matched (empty when none did) and its stamp.
    std::string file;
    std::optional<Stamp> fileStamp;
    bool loaded = false; // the file held a well-formed value
    uint32_t type = REG_NONE;
    std::string data;
};

constexpr size_t kKeptLookups = 16;
constexpr size_t kMaxKeptData = 4096;

long long nanoseconds(const timespec& t)
{
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

// Whether a change stamped `changed` lies so far before `began` that any
// change from `began` on carries a later stamp. Kernel ticks are a few ms; a
// file system that keeps whole seconds only (FAT keeps two) needs more.
bool settled(const timespec& changed, const timespec& began)
{
    const long long margin = changed.tv_nsec != 0 ? 100000000LL : 3000000000LL;
    return nanoseconds(changed) + margin < nanoseconds(began);
}

// File systems that stamp a folder at once on every change made on this
// machine. Network and user-space file systems can hand out stale stamps, so
// lookups there are never kept.
bool stamps_reliable(const std::string& folder)
{
    struct statfs fs;
    if (statfs(folder.c_str(), &fs) != 0)
        return false;
    switch (fs.f_type) {
    case EXT4_SUPER_MAGIC: // ext2 and ext3 too
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case OVERLAYFS_SUPER_MAGIC:
        return true;
    default:
        return false;
    }
}

// The folder is stamped before it is searched, so a change during the search
// shows as a new stamp next time.
void look_up(Lookup& lookup)
{
    clock_gettime(CLOCK_REALTIME, &lookup.began);
    lookup.stamped = lookup.folder;
    lookup.folderStamp = stamp_now(lookup.folder);
    if (!lookup.folderStamp)
        return;
    if (std::optional<std::string> found = find_entry(lookup.folder, lookup.wanted, false)) {
        lookup.file = *found;
        std::optional<struct stat> seen;
        lookup.loaded = load_value(lookup.folder + "/" + lookup.file, lookup.type, lookup.data, &seen);
        if (seen)
            lookup.fileStamp = stamp_of(*seen);
    }
}

// A key that is missing as spelled stays missing while the deepest folder of
// its path that exists keeps its stamp, provided no name in that folder
// matches the next part of the path in another case. False when the key is
// not missing that way; the folder is stamped before it is searched.
bool look_up_missing_key(Lookup& lookup)
{
    clock_gettime(CLOCK_REALTIME, &lookup.began);
    std::string missing;
    std::string above = lookup.folder;
    while (!(lookup.folderStamp = stamp_now(above))) {
        size_t slash = above.rfind('/');
        if (slash == std::string::npos || slash == 0)
            return false;
        missing = above.substr(slash + 1);
        above.resize(slash);
    }
    lookup.stamped = above;
    return !missing.empty() && is_dir(above) && !find_entry(above, missing, true);
}

// What a lookup's result depends on: a value file of exactly the name asked
// for is taken without looking at the rest of the folder, so then that file
// alone; no match, or a match in another case, depends on the folder's
// entries (and the file that matched).
bool depends_on_folder(const Lookup& lookup)
{
    return lookup.file != lookup.wanted;
}

bool depends_on_file(const Lookup& lookup)
{
    return !lookup.file.empty();
}

bool worth_keeping(const Lookup& lookup)
{
    if (lookup.watched)
        return lookup.data.size() <= kMaxKeptData && stamps_reliable(lookup.stamped);
    if (depends_on_folder(lookup) && (!lookup.folderStamp || !settled(lookup.folderStamp->ctime, lookup.began)))
        return false;
    if (depends_on_file(lookup) && (!lookup.fileStamp || !settled(lookup.fileStamp->ctime, lookup.began)))
        return false;
    return lookup.data.size() <= kMaxKeptData && stamps_reliable(lookup.stamped);
}

// Whether nothing the kept lookup depends on has changed since it began.
bool still_current(const Lookup& lookup, const timespec& now)
{
    if (nanoseconds(now) < nanoseconds(lookup.began))
        return false; // the clock was set back: stamps prove nothing
    if (depends_on_folder(lookup)) {
        std::optional<Stamp> folder = stamp_now(lookup.stamped);
        if (!folder || !same_stamp(*folder, *lookup.folderStamp))
            return false;
    }
    if (depends_on_file(lookup)) {
        std::optional<Stamp> file = stamp_now(lookup.folder + "/" + lookup.file);
        if (!file || !same_stamp(*file, *lookup.fileStamp))
            return false;
    }
    return true;
}

Status answer(const Lookup& lookup, uint32_t* type, void* data, uint32_t* size)
{
    if (!lookup.loaded)
        return Status::NotFound;
    uint32_t length = static_cast<uint32_t>(lookup.data.size());
    if (length > *size || (!data && length > 0)) {
        *size = length;
        return Status::MoreData;
    }
    if (length > 0)
        std::memcpy(data, lookup.data.data(), length);
    *size = length;
    if (type)
        *type = lookup.type;
    return Status::Ok;
}

// The recent lookups of the process, shared by its threads.
class LookupCache
{
public:
    // The answer of a kept lookup that is still current; nullopt when there is none.
    std::optional<Status> kept(const std::string& folder, const std::string& wanted, uint32_t* type, void* data,
                               uint32_t* size)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return kept_locked(folder, wanted, type, data, size);
    }

    Status query(const std::string& folder, const std::string& wanted, uint32_t* type, void* data, uint32_t* size)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (std::optional<Status> status = kept_locked(folder, wanted, type, data, size))
            return *status;
        Lookup fresh;
        fresh.folder = folder;
        fresh.wanted = wanted;
        fresh.watched = m_watch.watch(folder, root_folder());
        look_up(fresh);
        Status status = answer(fresh, type, data, size);
        keep(std::move(fresh));
        return status;
    }

    // After a key of this folder could not be opened: keeps that result for
    // the value when the key is missing as spelled.
    void missing_key(const std::string& folder, const std::string& wanted)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Lookup fresh;
        fresh.folder = folder;
        fresh.wanted = wanted;
        // Watch the deepest folder that exists now; the lookup must then find
        // that same folder, or a change came in between.
        std::string above = folder;
        while (!above.empty() && !is_dir(above)) {
            const size_t slash = above.rfind('/');
            above.resize(slash == std::string::npos ? 0 : slash);
        }
        const bool watched = m_watch.watch(above, root_folder());
        if (!look_up_missing_key(fresh))
            return;
        if (watched && fresh.stamped == above)
            fresh.watched = true;
        else if (m_watch.available())
            return;
        keep(std::move(fresh));
    }

    // fork() handlers: the child starts with no kept lookups and no queue of
    // its own; the lock is held across the fork so that no lookup is half done.
    void before_fork() { m_mutex.lock(); }
    void after_fork_parent() { m_mutex.unlock(); }
    void after_fork_child()
    {
        m_watch.leave();
        m_kept.clear();
        m_mutex.unlock();
    }

private:
    void keep(Lookup&& lookup)
    {
        if (!worth_keeping(lookup))
            return;
        auto same = std::find_if(m_kept.begin(), m_kept.end(), [&](const Lookup& kept) {
            return kept.wanted == lookup.wanted && kept.folder == lookup.folder;
        });
        if (same != m_kept.end())
            m_kept.erase(same);
        else if (m_kept.size() >= kKeptLookups)
            m_kept.erase(m_kept.begin());
        m_kept.push_back(std::move(lookup));
    }

    std::optional<Status> kept_locked(const std::string& folder, const std::string& wanted, uint32_t* type, void* data,
                                      uint32_t* size)
    {
        auto kept = std::find_if(m_kept.begin(), m_kept.end(), [&](const Lookup& lookup) {
            return lookup.wanted == wanted && lookup.folder == folder;
        });
        if (kept == m_kept.end())
            return std::nullopt;
        if (kept->watched) {
            if (!m_watch.changed())
                return answer(*kept, type, data, size);
            m_kept.clear();
            return std::nullopt;
        }
        timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        if (still_current(*kept, now))
            return answer(*kept, type, data, size);
        m_kept.erase(kept);
        return std::nullopt;
    }

    std::mutex m_mutex;
    std::vector<Lookup> m_kept; // oldest first
    ChangeWatch m_watch;
};

// Never destroyed: a log call from a static destructor still finds it.
LookupCache& lookup_cache()
{
    static LookupCache* cache = [] {
        auto* made = new LookupCache;
        pthread_atfork([] { lookup_cache().before_fork(); }, [] { lookup_cache().after_fork_parent(); },
                       [] { lookup_cache().after_fork_child(); });
        return made;
    }();
    return *cache;
}

} // namespace

std::optional<Status> kept_lookup(const std::string& folder, const std::string& wanted, uint32_t* type, void* data,
                                  uint32_t* size)
{
    return lookup_cache().kept(folder, wanted, type, data, size);
}

Status cached_query(const std::string& folder, const std::string& wanted, uint32_t* type, void* data, uint32_t* size)
{
    return lookup_cache().query(folder, wanted, type, data, size);
}

void note_missing_key(const std::string& folder, const std::string& wanted)
{
    lookup_cache().missing_key(folder, wanted);
}

} // namespace reg::detail
