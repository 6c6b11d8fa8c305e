// The registry stand-in on disk.
//
// Layout under the root folder:
//   <root>/<hive>/<key>/<subkey>/...    a key is a folder (0700)
//   <key folder>/=<value name>          a value is a file (0600)
//   <key folder>/.tmp-XXXXXX            a value being written (never read)
//
// Names are CP932 bytes. In a file name every byte below 0x20, 0x7F and up,
// '/', '%', '=' and a leading '.' is written as '%' and two upper-case hex
// digits, so any name makes a safe file name, a key folder never starts with
// '=' (the value prefix) and nothing escaped starts with '.' (temporary
// files). The default value (empty name) is the file "=". An escaped name
// longer than NAME_MAX, or a key name over 255 bytes, is refused.
//
// Value file: the bytes "KREG", the type as uint32 little-endian, the data
// length as uint32 little-endian, then exactly that many data bytes. A file
// of any other shape, or with more than kMaxValueSize data bytes, is treated
// as missing.
//
// Names match case-insensitively (ASCII only, as Windows does for the names
// the system uses): a lookup tries the exact file name first and then scans
// the folder. A name is stored with the case it was created with. Opening a
// key likewise tries the exact path in one step before walking it level by
// level.
//
// Writes go to a temporary file in the key's folder, are flushed with fsync
// and renamed over the value file, so a reader sees the old or the new value.
//
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

#include "platform/registry.h"

#include "platform/atomic_file.h"
#include "platform/cp932.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <linux/magic.h>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <pwd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>

namespace reg {

class Key
{
public:
    explicit Key(std::string folder) : m_folder(std::move(folder)) {}
    const std::string& folder() const { return m_folder; }

private:
    std::string m_folder;
};

namespace {

constexpr char kMagic[4] = {'K', 'R', 'E', 'G'};
constexpr size_t kHeaderSize = 12;
constexpr size_t kMaxKeyName = 255;

char ascii_lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_name(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

bool less_name(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(ascii_lower(x)) < static_cast<unsigned char>(ascii_lower(y));
    });
}

std::string escape(std::string_view name)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(name[i]);
        if (b < 0x20 || b >= 0x7F || b == '/' || b == '%' || b == '=' || (i == 0 && b == '.')) {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 0xF];
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Undoes escape(); nullopt for a name that escape() cannot have produced.
std::optional<std::string> unescape(std::string_view file)
{
    std::string out;
    for (size_t i = 0; i < file.size(); ++i) {
        if (file[i] != '%') {
            out += file[i];
            continue;
        }
        if (i + 2 >= file.size())
            return std::nullopt;
        int hi = hex_digit(file[i + 1]);
        int lo = hex_digit(file[i + 2]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out;
}

std::string value_file(std::string_view name)
{
    std::string file = "=";
    file += escape(name);
    return file;
}

bool is_dir(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_file(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Finds the entry of the folder whose name (file name as escaped) matches
// wanted case-insensitively. The exact spelling is tried first.
std::optional<std::string> find_entry(const std::string& folder, const std::string& wanted, bool want_dir)
{
    auto fits = [&](const std::string& file) {
        std::string path = folder + "/" + file;
        return want_dir ? is_dir(path) : is_file(path);
    };
    if (fits(wanted))
        return wanted;
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return std::nullopt;
    std::optional<std::string> found;
    while (dirent* entry = readdir(dir)) {
        std::string file = entry->d_name;
        if (file != wanted && same_name(file, wanted) && fits(file)) {
            found = file;
            break;
        }
    }
    closedir(dir);
    return found;
}

// Escaped names keep ASCII letters as they are, so a case-insensitive match
// of the escaped forms is a case-insensitive match of the names.
Status key_element(std::string_view name, std::string& file)
{
    if (name.empty() || name.size() > kMaxKeyName)
        return Status::InvalidName;
    file = escape(name);
    if (file.size() > NAME_MAX)
        return Status::InvalidName;
    return Status::Ok;
}

// Splits a key path at backslashes, but not at a backslash that is the
// second byte of a double-byte character.
Status split_subkey(const char* subkey, std::vector<std::string>& parts)
{
    parts.clear();
    if (!subkey || !*subkey)
        return Status::Ok;
    std::string current;
    for (const char* p = subkey; *p; ++p) {
        if (cp932::is_lead_byte(static_cast<unsigned char>(*p)) && p[1]) {
            current += p[0];
            current += p[1];
            ++p;
        } else if (*p == '\\') {
            parts.push_back(current);
            current.clear();
        } else {
            current += *p;
        }
    }
    parts.push_back(current);
    for (auto& part : parts) {
        std::string file;
        if (Status s = key_element(part, file); s != Status::Ok)
            return s;
        part = file;
    }
    return Status::Ok;
}

Status value_name_file(const char* name, std::string& file)
{
    file = value_file(name ? name : "");
    return file.size() > NAME_MAX ? Status::InvalidName : Status::Ok;
}

bool make_folder(const std::string& path)
{
    if (mkdir(path.c_str(), 0700) == 0)
        return true;
    return errno == EEXIST && is_dir(path);
}

// mkdir -p, with every folder it makes private.
bool make_folders(const std::string& path)
{
    if (is_dir(path))
        return true;
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        if (!make_folder(path.substr(0, slash)))
            return false;
    }
    return make_folder(path);
}

std::string home_folder()
{
    if (const char* home = getenv("HOME"); home && *home)
        return home;
    if (passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return ".";
}

void put_u32(unsigned char* out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(v >> (8 * i));
}

uint32_t get_u32(const unsigned char* in)
{
    return uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
}

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

// Reads a value file whole; false when it is missing or malformed. seen gets
// the stamp of the file that was read, when it could be opened.
bool load_value(const std::string& path, uint32_t& type, std::string& data, std::optional<Stamp>* seen = nullptr)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0;
    if (ok && seen)
        *seen = stamp_of(st);
    ok = ok && S_ISREG(st.st_mode) && st.st_size >= off_t(kHeaderSize) &&
         st.st_size <= off_t(kHeaderSize + kMaxValueSize);
    std::string bytes;
    if (ok) {
        bytes.resize(static_cast<size_t>(st.st_size));
        size_t got = 0;
        while (got < bytes.size()) {
            ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        ok = got == bytes.size();
    }
    close(fd);
    if (!ok || std::memcmp(bytes.data(), kMagic, 4) != 0)
        return false;
    auto* raw = reinterpret_cast<const unsigned char*>(bytes.data());
    uint32_t length = get_u32(raw + 8);
    if (length > kMaxValueSize || bytes.size() != kHeaderSize + length)
        return false;
    type = get_u32(raw + 4);
    data = bytes.substr(kHeaderSize);
    return true;
}

// The folder of a key with every name spelled as given (parts as escaped by split_subkey).
std::string spelled_folder(Hive hive, const std::vector<std::string>& parts)
{
    std::string folder = root_folder() + "/" + hive_name(hive);
    for (const auto& part : parts) {
        folder += '/';
        folder += part;
    }
    return folder;
}

Status walk(Hive hive, const char* subkey, bool create, KeyHandle* out)
{
    if (!out)
        return Status::InvalidName;
    *out = nullptr;
    std::vector<std::string> parts;
    if (Status s = split_subkey(subkey, parts); s != Status::Ok)
        return s;
    // The path as spelled is what a level-by-level walk would find first.
    if (std::string exact = spelled_folder(hive, parts); is_dir(exact)) {
        *out = new Key(exact);
        return Status::Ok;
    }
    std::string folder = root_folder();
    if (create && !make_folders(folder))
        return Status::IoError;
    parts.insert(parts.begin(), hive_name(hive));
    for (const auto& part : parts) {
        std::optional<std::string> found = find_entry(folder, part, true);
        if (!found) {
            if (!create)
                return Status::NotFound;
            if (!make_folder(folder + "/" + part))
                return Status::IoError;
            found = part;
        }
        folder += "/" + *found;
    }
    *out = new Key(folder);
    return Status::Ok;
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
        lookup.loaded = load_value(lookup.folder + "/" + lookup.file, lookup.type, lookup.data, &lookup.fileStamp);
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

std::vector<std::string> names_in(KeyHandle key, bool values)
{
    std::vector<std::string> names;
    if (!key)
        return names;
    DIR* dir = opendir(key->folder().c_str());
    if (!dir)
        return names;
    while (dirent* entry = readdir(dir)) {
        std::string file = entry->d_name;
        if (file.empty() || file[0] == '.')
            continue;
        bool isValue = file[0] == '=';
        if (isValue != values)
            continue;
        std::string path = key->folder() + "/" + file;
        if (values ? !is_file(path) : !is_dir(path))
            continue;
        if (auto name = unescape(values ? std::string_view(file).substr(1) : std::string_view(file)))
            names.push_back(*name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end(), less_name);
    return names;
}

} // namespace

std::string root_folder()
{
    if (const char* root = getenv("KESTREL_REGISTRY"); root && *root)
        return root;
    if (const char* config = getenv("XDG_CONFIG_HOME"); config && *config)
        return std::string(config) + "/kestrel/registry";
    return home_folder() + "/.config/kestrel/registry";
}

const char* hive_name(Hive hive)
{
    return hive == Hive::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

Status open_key(Hive hive, const char* subkey, KeyHandle* out)
{
    return walk(hive, subkey, false, out);
}

Status create_key(Hive hive, const char* subkey, KeyHandle* out)
{
    return walk(hive, subkey, true, out);
}

void close_key(KeyHandle key)
{
    delete key;
}

Status query_value(KeyHandle key, const char* name, uint32_t* type, void* data, uint32_t* size)
{
    if (!key || !size)
        return Status::InvalidName;
    std::string file;
    if (Status s = value_name_file(name, file); s != Status::Ok)
        return s;
    return lookup_cache().query(key->folder(), file, type, data, size);
}

Status read_value(Hive hive, const char* subkey, const char* name, uint32_t* type, void* data, uint32_t* size)
{
    if (!size)
        return Status::InvalidName;
    std::vector<std::string> parts;
    if (Status s = split_subkey(subkey, parts); s != Status::Ok)
        return s;
    std::string file;
    if (Status s = value_name_file(name, file); s != Status::Ok)
        return s;
    // A kept lookup that is still current answers at the cost of a stat or
    // two, and its stamps show that the key is there as spelled (or missing).
    if (std::optional<Status> kept = lookup_cache().kept(spelled_folder(hive, parts), file, type, data, size))
        return *kept;
    KeyHandle key = nullptr;
    if (Status s = open_key(hive, subkey, &key); s != Status::Ok) {
        if (s == Status::NotFound)
            lookup_cache().missing_key(spelled_folder(hive, parts), file);
        return s;
    }
    Status status = query_value(key, name, type, data, size);
    close_key(key);
    return status;
}

Status set_value(KeyHandle key, const char* name, uint32_t type, const void* data, uint32_t size)
{
    if (!key || (!data && size > 0))
        return Status::InvalidName;
    if (size > kMaxValueSize)
        return Status::IoError;
    std::string file;
    if (Status s = value_name_file(name, file); s != Status::Ok)
        return s;
    const std::string& folder = key->folder();
    // Keep the spelling under which the value already exists.
    if (std::optional<std::string> found = find_entry(folder, file, false))
        file = *found;

    unsigned char header[kHeaderSize];
    std::memcpy(header, kMagic, 4);
    put_u32(header + 4, type);
    put_u32(header + 8, size);
    if (!atomic_file::replace(folder + "/" + file, folder + "/.tmp-XXXXXX",
                              {std::string_view(reinterpret_cast<const char*>(header), sizeof header),
                               std::string_view(static_cast<const char*>(data), size)}))
        return Status::IoError;
    return Status::Ok;
}

Status delete_value(KeyHandle key, const char* name)
{
    if (!key)
        return Status::InvalidName;
    std::string file;
    if (Status s = value_name_file(name, file); s != Status::Ok)
        return s;
    std::optional<std::string> found = find_entry(key->folder(), file, false);
    if (!found)
        return Status::NotFound;
    return unlink((key->folder() + "/" + *found).c_str()) == 0 ? Status::Ok : Status::IoError;
}

std::vector<std::string> value_names(KeyHandle key)
{
    return names_in(key, true);
}

std::vector<std::string> subkey_names(KeyHandle key)
{
    return names_in(key, false);
}

Status delete_key_tree(Hive hive, const char* subkey)
{
    if (!subkey || !*subkey)
        return Status::InvalidName; // the hive itself stays
    KeyHandle key = nullptr;
    if (Status s = open_key(hive, subkey, &key); s != Status::Ok)
        return s;
    std::error_code ec;
    std::filesystem::remove_all(key->folder(), ec);
    close_key(key);
    return ec ? Status::IoError : Status::Ok;
}

} // namespace reg
