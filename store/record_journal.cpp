#include "store/record_journal.h"

#include "store/checksum.h"
#include "store/file_calls.h"
#include "store/side_files.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace {

constexpr char MAGIC[8] = {'K', 'S', 'T', 'R', 'J', 'N', 'L', '1'};
constexpr uint32_t KIND_BLOCKS = 1; // old bytes of blocks changed in place
constexpr uint32_t KIND_IMAGE = 2;  // the path of a complete new image
constexpr size_t BODY_BUFFER = 64 * 1024;

struct Header
{
    char magic[8];
    uint32_t kind;
    uint32_t reserved;
    uint64_t dev; // the record file this journal belongs to
    uint64_t ino;
    int64_t sizeBefore;
    int64_t sizeAfter;
    uint64_t entries;
    uint64_t bodyLength;
    uint64_t bodyHash;
    uint64_t headerHash; // of the bytes above
};

struct Entry
{
    int64_t offset;
    uint32_t oldLength; // 0 for a block behind the old end of the file
    uint32_t newLength;
    uint64_t newHash;
};

bool g_pending = false;

uint64_t header_hash(const Header& h)
{
    return checksum(&h, offsetof(Header, headerHash));
}

void fill_header(Header& h, uint32_t kind, const struct stat& st, int64_t sizeAfter, uint64_t entries, uint64_t length,
                 uint64_t hash)
{
    memset(&h, 0, sizeof h);
    memcpy(h.magic, MAGIC, sizeof MAGIC);
    h.kind = kind;
    h.dev = st.st_dev;
    h.ino = st.st_ino;
    h.sizeBefore = st.st_size;
    h.sizeAfter = sizeAfter;
    h.entries = entries;
    h.bodyLength = length;
    h.bodyHash = hash;
    h.headerHash = header_hash(h);
}

bool read_all(int fd, void* data, size_t size, off_t offset)
{
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = pread(fd, bytes, size, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

// Opens (creating when needed) a journal file in the first place that can
// hold one. `created` tells whether its name is new.
int open_journal(const std::string& record, std::string& path, bool& created)
{
    // The state folder only when the record file's own folder cannot take it.
    for (const bool inState : {false, true}) {
        const std::string where = inState ? journal_in_state(record) : journal_beside(record);
        if (where.empty())
            break;
        int fd = fc::open(where.c_str(), O_RDWR | O_NOFOLLOW);
        created = false;
        if (fd < 0 && errno == ENOENT) {
            fd = fc::open(where.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
            created = fd >= 0;
        }
        if (fd >= 0) {
            path = where;
            return fd;
        }
    }
    return -1;
}

// Writes a journal's header (with the body still to write, when given) and
// syncs it: from here on the journal counts.
bool seal(int fd, const std::string& path, bool created, const Header& header, const std::vector<char>& body = {})
{
    std::vector<char> bytes(reinterpret_cast<const char*>(&header), reinterpret_cast<const char*>(&header + 1));
    bytes.insert(bytes.end(), body.begin(), body.end());
    if (!fc::pwrite_all(fd, bytes.data(), bytes.size(), 0) || !fc::datasync(fd))
        return false;
    return !created || fc::sync_folder_of(path);
}

// Marks a journal as spent. Not synced: a spent journal found again after a
// power loss describes a change that is already whole, which recovery keeps.
void spend(int fd)
{
    const char zero[sizeof MAGIC] = {};
    fc::pwrite_all(fd, zero, sizeof zero, 0);
}

enum class Found { None, Spent, Applied, Failed };

// Applies one journal to the record file; the journal is spent afterwards.
// A block change is kept when it is whole, unless `rollback` asks for the old
// blocks in any case (the change failed before it was synced).
Found apply_journal(const std::string& journal, const std::string& record, bool rollback = false)
{
    const int jfd = ::open(journal.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (jfd < 0)
        return errno == ENOENT ? Found::None : Found::Failed;
    Header h;
    std::vector<char> body;
    bool whole = read_all(jfd, &h, sizeof h, 0) && memcmp(h.magic, MAGIC, sizeof MAGIC) == 0 &&
                 h.headerHash == header_hash(h) && h.bodyLength < (uint64_t{1} << 40);
    if (whole) {
        body.resize(h.bodyLength);
        whole = read_all(jfd, body.data(), body.size(), sizeof h) && checksum(body.data(), body.size()) == h.bodyHash;
    }
    if (!whole) {
        // Torn or spent: it was never sealed, so the record file was not touched under it.
        close(jfd);
        return Found::Spent;
    }
    const int rfd = ::open(record.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (rfd < 0 || fstat(rfd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != h.dev || st.st_ino != h.ino) {
        // Another file stands at the path now (a save renamed a new one in): the journal is not its.
        const bool gone = rfd < 0 && errno == ENOENT;
        if (rfd >= 0)
            close(rfd);
        close(jfd);
        return rfd >= 0 || gone ? Found::Spent : Found::Failed;
    }
    bool ok = true;
    if (h.kind == KIND_BLOCKS) {
        // Whole when every block holds its new bytes and the file has its new size.
        bool complete = !rollback && st.st_size == h.sizeAfter;
        std::vector<Entry> entries;
        std::vector<const char*> olds;
        size_t at = 0;
        for (uint64_t i = 0; i < h.entries && ok; ++i) {
            Entry e;
            if (at + sizeof e > body.size()) {
                ok = false;
                break;
            }
            memcpy(&e, body.data() + at, sizeof e);
            at += sizeof e;
            if (at + e.oldLength > body.size() || e.newLength > sizeof(CatgRecord)) {
                ok = false;
                break;
            }
            entries.push_back(e);
            olds.push_back(body.data() + at);
            at += e.oldLength;
            if (complete) {
                CatgRecord now;
                complete = read_all(rfd, &now, e.newLength, e.offset) && checksum(&now, e.newLength) == e.newHash;
            }
        }
        if (ok && !complete) {
            for (size_t i = 0; i < entries.size() && ok; ++i)
                if (entries[i].oldLength > 0)
                    ok = fc::pwrite_all(rfd, olds[i], entries[i].oldLength, entries[i].offset);
            ok = ok && fc::truncate(rfd, h.sizeBefore) && fc::datasync(rfd);
        }
    } else if (h.kind == KIND_IMAGE) {
        const std::string image(body.begin(), body.end());
        const int ifd = ::open(image.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        struct stat ist;
        if (ifd >= 0 && fstat(ifd, &ist) == 0 && ist.st_size == h.sizeAfter) {
            ok = fc::copy_bytes(ifd, 0, rfd, 0, h.sizeAfter) && fc::truncate(rfd, h.sizeAfter) && fc::datasync(rfd);
        }
        // Without its image the copy had ended: the image goes only after the journal is spent.
        if (ifd >= 0)
            close(ifd);
        if (ok)
            ::unlink(image.c_str());
    }
    close(rfd);
    if (ok)
        spend(jfd);
    close(jfd);
    return ok ? Found::Applied : Found::Failed;
}

// Images of earlier saves left by a crash: ".<name>.XXXXXX" beside the record
// file and in the state folder's images.
void remove_left_over_images(const std::string& record)
{
    namespace fs = std::filesystem;
    const fs::path besideStem = beside(record, ".");
    std::vector<fs::path> stems{besideStem};
    if (const std::string inState = in_state(record, "images", "."); !inState.empty())
        stems.emplace_back(inState);
    for (const fs::path& stem : stems) {
        const std::string wanted = stem.filename().string();
        const fs::path folder = stem.parent_path().empty() ? fs::path(".") : stem.parent_path();
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            const std::string name = entry.path().filename().string();
            if (name.size() != wanted.size() + 6 || name.compare(0, wanted.size(), wanted) != 0)
                continue;
            struct stat st;
            if (lstat(entry.path().c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid())
                ::unlink(entry.path().c_str());
        }
    }
}

} // namespace

BlockJournal::BlockJournal(int fd, std::string record)
    : m_fd(fd), m_record(std::move(record)), m_bodyHash(CHECKSUM_SEED)
{
    m_statOk = fstat(fd, &m_stat) == 0;
    m_sizeAfter = m_stat.st_size;
}

BlockJournal::~BlockJournal()
{
    if (m_journalFd >= 0)
        close(m_journalFd);
}

bool BlockJournal::openJournal()
{
    if (m_journalFd >= 0)
        return true;
    m_journalFd = open_journal(m_record, m_journal, m_created);
    return m_journalFd >= 0;
}

bool BlockJournal::flushBody()
{
    if (m_body.empty())
        return true;
    if (!fc::pwrite_all(m_journalFd, m_body.data(), m_body.size(), static_cast<off_t>(sizeof(Header) + m_bodyWritten)))
        return false;
    m_bodyHash = checksum(m_body.data(), m_body.size(), m_bodyHash);
    m_bodyWritten += static_cast<int64_t>(m_body.size());
    m_body.clear();
    return true;
}

bool BlockJournal::add(int64_t offset, const CatgRecord* old, std::shared_ptr<const CatgRecord> scrambled)
{
    if (!m_statOk || !openJournal())
        return false;
    Entry e{offset, old ? static_cast<uint32_t>(sizeof *old) : 0u, static_cast<uint32_t>(sizeof *scrambled),
            checksum(scrambled.get(), sizeof *scrambled)};
    const auto* raw = reinterpret_cast<const char*>(&e);
    m_body.insert(m_body.end(), raw, raw + sizeof e);
    if (old) {
        const auto* bytes = reinterpret_cast<const char*>(old);
        m_body.insert(m_body.end(), bytes, bytes + sizeof *old);
    }
    m_sizeAfter = std::max<int64_t>(m_sizeAfter, offset + static_cast<int64_t>(sizeof *scrambled));
    m_changes.push_back({offset, std::move(scrambled)});
    ++m_count;
    return m_body.size() < BODY_BUFFER || flushBody();
}

bool BlockJournal::commit()
{
    if (m_changes.empty())
        return true;
    if (!m_statOk || !openJournal())
        return false;
    // A small change goes out with its header in one write; a large one was written as it grew.
    std::vector<char> rest;
    if (m_bodyWritten == 0)
        rest.swap(m_body);
    else if (!flushBody())
        return false;
    const uint64_t length = static_cast<uint64_t>(m_bodyWritten) + rest.size();
    const uint64_t hash = checksum(rest.data(), rest.size(), m_bodyHash);
    Header h;
    fill_header(h, KIND_BLOCKS, m_stat, m_sizeAfter, m_count, length, hash);
    if (!seal(m_journalFd, m_journal, m_created, h, rest)) {
        spend(m_journalFd);
        return false;
    }
    bool ok = true;
    for (const Change& change : m_changes)
        if (!(ok = fc::pwrite_all(m_fd, change.block.get(), sizeof *change.block, change.offset)))
            break;
    if (ok && fc::datasync(m_fd)) {
        spend(m_journalFd);
        return true;
    }
    // Put the old blocks back now; when even that fails, the next operation or start does.
    close(m_journalFd);
    m_journalFd = -1;
    g_pending = apply_journal(m_journal, m_record, true) == Found::Failed;
    return false;
}

bool copy_image_in_place(int fd, const std::string& record, const std::string& image, int64_t imageSize)
{
    struct stat st;
    std::string journal;
    bool created = false;
    if (fstat(fd, &st) != 0)
        return false;
    const int jfd = open_journal(record, journal, created);
    if (jfd < 0)
        return false;
    Header h;
    fill_header(h, KIND_IMAGE, st, imageSize, 1, image.size(), checksum(image.data(), image.size()));
    bool ok = seal(jfd, journal, created, h, std::vector<char>(image.begin(), image.end()));
    if (!ok) {
        spend(jfd);
        close(jfd);
        return false;
    }
    const int ifd = ::open(image.c_str(), O_RDONLY | O_CLOEXEC);
    ok = ifd >= 0 && fc::copy_bytes(ifd, 0, fd, 0, imageSize) && fc::truncate(fd, imageSize) && fc::datasync(fd);
    if (ifd >= 0)
        close(ifd);
    if (ok) {
        spend(jfd);
        ::unlink(image.c_str());
    }
    close(jfd);
    if (ok)
        return true;
    // The copy is done again from the image; once that is whole, so is the save.
    const Found again = apply_journal(journal, record);
    g_pending = again == Found::Failed;
    return again == Found::Applied;
}

bool recover_record_file(const std::string& record)
{
    bool ok = true;
    for (const std::string& place : journal_places(record))
        ok = apply_journal(place, record) != Found::Failed && ok;
    g_pending = !ok;
    if (ok)
        remove_left_over_images(record);
    return ok;
}

bool recovery_pending()
{
    return g_pending;
}

void remove_journals(const std::string& record)
{
    for (const std::string& place : journal_places(record))
        if (fc::unlink(place.c_str()))
            fc::sync_folder_of(place);
}
