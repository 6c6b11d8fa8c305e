#include "store/file/journal.h"

#include "platform/file_calls.h"
#include "store/file/checksum.h"
#include "store/file/side_files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr char MAGIC[8] = {'K', 'S', 'T', 'R', 'J', 'N', 'L', '2'};
constexpr uint32_t KIND_BLOCKS = 1;
constexpr uint32_t KIND_IMAGE = 2;
constexpr int64_t CHUNK = 1 << 20; // whole-file passes read this much at a time

// Journals whose folder entry this process made durable: a name made by an
// earlier run, or whose sync failed, is synced once more before it is trusted.
std::set<std::string> g_durable_names;

uint64_t header_hash(const JournalHeader& h)
{
    return checksum(&h, offsetof(JournalHeader, headerHash));
}

JournalHeader make_header(uint32_t kind, int64_t sizeBefore, int64_t sizeAfter, uint64_t entries,
                          const std::string& body)
{
    JournalHeader h;
    memset(&h, 0, sizeof h);
    memcpy(h.magic, MAGIC, sizeof MAGIC);
    h.kind = kind;
    h.pieceSize = JOURNAL_PIECE;
    h.sizeBefore = sizeBefore;
    h.sizeAfter = sizeAfter;
    h.entries = entries;
    h.bodyLength = body.size();
    h.bodyHash = checksum(body.data(), body.size());
    h.headerHash = header_hash(h);
    return h;
}

void append(std::string& to, const void* data, size_t size)
{
    to.append(static_cast<const char*>(data), size);
}

// The 512-byte pieces of the file that [offset, offset + length) touches,
// each clipped to that range: calls `visit(from, to)`.
template <typename Visit> void for_each_piece(int64_t offset, int64_t length, Visit visit)
{
    for (int64_t at = offset; at < offset + length;) {
        const int64_t end = std::min(offset + length, (at / JOURNAL_PIECE + 1) * JOURNAL_PIECE);
        visit(at, end);
        at = end;
    }
}

bool all_zero(const char* bytes, int64_t size)
{
    return std::all_of(bytes, bytes + size, [](char c) { return c == 0; });
}

// An open journal file of ours, in the first place that takes one.
struct OpenJournal
{
    int fd = -1;
    std::string path;
    bool created = false;
};

OpenJournal open_journal(const std::vector<std::string>& places)
{
    OpenJournal j;
    for (const std::string& place : places) {
        Own how;
        j.fd = open_own(place, O_RDWR, how);
        j.created = false;
        if (j.fd < 0 && how == Own::Missing) {
            j.fd = fc::open(place.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
            // The state folder's place: its folder is made when a journal first goes there.
            if (j.fd < 0 && errno == ENOENT && fs::path(place).parent_path() == state_folder_path("journals") &&
                !make_state_folder("journals").empty())
                j.fd = fc::open(place.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
            j.created = j.fd >= 0;
        }
        if (j.fd >= 0) {
            j.path = place;
            return j;
        }
    }
    return j;
}

// Writes header and body and syncs them and the journal's name (rule 1).
bool seal(OpenJournal& j, const JournalHeader& h, const std::string& body)
{
    std::string bytes;
    bytes.reserve(sizeof h + body.size());
    append(bytes, &h, sizeof h);
    bytes += body;
    if (!fc::pwrite_all(j.fd, bytes.data(), bytes.size(), 0) || !fc::datasync(j.fd))
        return false;
    if (j.created || !g_durable_names.contains(j.path)) {
        if (!fc::sync_folder_of(j.path))
            return false;
        g_durable_names.insert(j.path);
    }
    return true;
}

// Marks a journal spent; synced where a later step relies on it (rule 3, 6).
bool spend(int fd, bool sync)
{
    const char zero[sizeof MAGIC] = {};
    return fc::pwrite_all(fd, zero, sizeof zero, 0) && (!sync || fc::datasync(fd));
}

// A sealed journal, read back.
struct Sealed
{
    JournalHeader header{};
    std::string body;
};

enum class Read { Sealed, None, Failed };

Read read_sealed(int fd, Sealed& s)
{
    struct stat st;
    if (!fc::fstat(fd, st))
        return Read::Failed;
    const ssize_t n = fc::pread_some(fd, &s.header, sizeof s.header, 0);
    if (n < 0)
        return Read::Failed;
    const JournalHeader& h = s.header;
    if (n != sizeof h || memcmp(h.magic, MAGIC, sizeof MAGIC) != 0 || h.headerHash != header_hash(h) ||
        h.pieceSize != JOURNAL_PIECE || h.bodyLength > static_cast<uint64_t>(st.st_size))
        return Read::None; // never sealed, or spent: the record file was not touched under it
    s.body.resize(h.bodyLength);
    const ssize_t b = fc::pread_some(fd, s.body.data(), s.body.size(), sizeof h);
    if (b < 0)
        return Read::Failed;
    if (static_cast<uint64_t>(b) != h.bodyLength || checksum(s.body.data(), s.body.size()) != h.bodyHash)
        return Read::None;
    return Read::Sealed;
}

// Hash number `i` of a run of hashes in a journal body, which need not be aligned.
uint64_t hash_at(const char* hashes, int64_t i)
{
    uint64_t hash;
    memcpy(&hash, hashes + i * sizeof hash, sizeof hash);
    return hash;
}

// One parsed block entry of a sealed journal.
struct Entry
{
    JournalEntry e;
    const char* old;
    const char* pieces; // hashes of the new bytes per piece (unaligned in the body)
};

bool parse_entries(const Sealed& s, std::vector<Entry>& entries)
{
    size_t at = 0;
    const std::string& body = s.body;
    for (uint64_t i = 0; i < s.header.entries; ++i) {
        Entry entry;
        if (at + sizeof entry.e > body.size())
            return false;
        memcpy(&entry.e, body.data() + at, sizeof entry.e);
        at += sizeof entry.e;
        int64_t pieces = 0;
        for_each_piece(entry.e.offset, entry.e.newLength, [&pieces](int64_t, int64_t) { ++pieces; });
        const size_t need = entry.e.oldLength + static_cast<size_t>(pieces) * sizeof(uint64_t);
        if (entry.e.offset < 0 || entry.e.oldLength > entry.e.newLength || at + need > body.size())
            return false;
        entry.old = body.data() + at;
        entry.pieces = body.data() + at + entry.e.oldLength;
        at += need;
        entries.push_back(entry);
    }
    return at == body.size();
}

enum class Match { New, OldOrNew, Neither, Failed };

// What the record file holds where a block journal's entries lie (rule 4).
Match match_blocks(int rfd, const Sealed& s, const std::vector<Entry>& entries)
{
    struct stat st;
    if (!fc::fstat(rfd, st))
        return Match::Failed;
    const JournalHeader& h = s.header;
    if (st.st_size < h.sizeBefore || st.st_size > h.sizeAfter)
        return Match::Neither;
    bool allNew = st.st_size == h.sizeAfter;
    std::string now;
    for (const Entry& entry : entries) {
        const JournalEntry& e = entry.e;
        now.assign(e.newLength, '\0');
        const ssize_t got = fc::pread_some(rfd, now.data(), now.size(), e.offset);
        if (got < 0)
            return Match::Failed;
        int piece = 0;
        bool neither = false;
        for_each_piece(e.offset, e.newLength, [&](int64_t from, int64_t to) {
            const int64_t at = from - e.offset, size = to - from;
            const bool present = at + size <= got;
            const bool isNew =
                present && checksum(now.data() + at, static_cast<size_t>(size)) == hash_at(entry.pieces, piece);
            // Old: the old bytes where there were some, beyond them nothing yet (or zeros of a grown size).
            const int64_t oldEnd = std::min<int64_t>(size, std::max<int64_t>(0, e.oldLength - at));
            bool isOld = (oldEnd == 0 || (at + oldEnd <= got && memcmp(now.data() + at, entry.old + at, oldEnd) == 0));
            if (isOld && oldEnd < size) {
                const int64_t tailFrom = at + oldEnd;
                const int64_t present_tail = std::max<int64_t>(0, std::min<int64_t>(got, at + size) - tailFrom);
                isOld = all_zero(now.data() + tailFrom, present_tail);
            }
            allNew = allNew && isNew;
            neither = neither || (!isNew && !isOld);
            ++piece;
        });
        if (neither)
            return Match::Neither;
    }
    return allNew ? Match::New : Match::OldOrNew;
}

bool roll_back(int rfd, const Sealed& s, const std::vector<Entry>& entries)
{
    for (const Entry& entry : entries)
        if (entry.e.oldLength > 0 && !fc::pwrite_all(rfd, entry.old, entry.e.oldLength, entry.e.offset))
            return false;
    return fc::truncate(rfd, s.header.sizeBefore) && fc::datasync(rfd);
}

// Hash of `size` bytes of `fd` from 0 and, when `pieces` is given, the hash of
// each 512-byte piece. False on a read error or an early end.
bool hash_file(int fd, int64_t size, uint64_t& whole, std::vector<uint64_t>* pieces)
{
    whole = CHECKSUM_SEED;
    std::string buffer(CHUNK, '\0');
    for (int64_t at = 0; at < size;) {
        const int64_t step = std::min(CHUNK, size - at);
        if (!fc::pread_all(fd, buffer.data(), static_cast<size_t>(step), at))
            return false;
        whole = checksum(buffer.data(), static_cast<size_t>(step), whole);
        if (pieces)
            for (int64_t p = 0; p < step; p += JOURNAL_PIECE)
                pieces->push_back(checksum(buffer.data() + p, static_cast<size_t>(std::min(JOURNAL_PIECE, step - p))));
        at += step;
    }
    return true;
}

struct ImageJournal
{
    JournalImage info;
    std::string image;
    const char* oldPieces; // unaligned in the body
};

bool parse_image(const Sealed& s, ImageJournal& j)
{
    if (s.body.size() < sizeof j.info)
        return false;
    memcpy(&j.info, s.body.data(), sizeof j.info);
    const uint64_t pieces = static_cast<uint64_t>((j.info.oldSize + JOURNAL_PIECE - 1) / JOURNAL_PIECE);
    if (j.info.oldSize < 0 || j.info.imageSize < 0 || j.info.pathLength > 4096 ||
        s.body.size() != sizeof j.info + j.info.pathLength + pieces * sizeof(uint64_t))
        return false;
    j.image.assign(s.body.data() + sizeof j.info, j.info.pathLength);
    j.oldPieces = s.body.data() + sizeof j.info + j.info.pathLength;
    return true;
}

// Each piece of the record file holds the old file's bytes or the image's (rule 4).
Match match_image(int rfd, int ifd, const ImageJournal& j)
{
    struct stat st;
    if (!fc::fstat(rfd, st))
        return Match::Failed;
    const int64_t size = st.st_size, oldSize = j.info.oldSize, imageSize = j.info.imageSize;
    if (size < std::min(oldSize, imageSize) || size > std::max(oldSize, imageSize))
        return Match::Neither;
    std::string now(CHUNK, '\0'), image(CHUNK, '\0');
    for (int64_t at = 0; at < size; at += CHUNK) {
        const int64_t step = std::min(CHUNK, size - at);
        const int64_t fromImage = std::clamp<int64_t>(imageSize - at, 0, step);
        if (!fc::pread_all(rfd, now.data(), static_cast<size_t>(step), at) ||
            !fc::pread_all(ifd, image.data(), static_cast<size_t>(fromImage), at))
            return Match::Failed;
        for (int64_t p = 0; p < step; p += JOURNAL_PIECE) {
            const int64_t piece = std::min(JOURNAL_PIECE, step - p);
            // A piece across the image's end holds the image up to there and
            // the old file behind it until the copy truncates the file.
            const int64_t inImage = std::clamp<int64_t>(fromImage - p, 0, piece);
            const bool isNew = inImage > 0 && memcmp(now.data() + p, image.data() + p, inImage) == 0;
            const int64_t index = (at + p) / JOURNAL_PIECE;
            const int64_t oldPiece = std::min(JOURNAL_PIECE, oldSize - (at + p));
            const bool isOld = oldPiece == piece && hash_at(j.oldPieces, index) == checksum(now.data() + p, piece);
            // The copy's truncation cuts the old file's piece at the image's end: whatever
            // reached the disk of it, the copy writes the image there again.
            const bool cut = size == imageSize && oldSize > imageSize && at + p + piece == size && piece < oldPiece;
            if (!isNew && !isOld && !cut)
                return Match::Neither;
        }
    }
    return Match::OldOrNew;
}

JournalResult set_aside(const std::string& journal)
{
    const std::string aside = set_aside_path(journal);
    if (!fc::rename(journal.c_str(), aside.c_str()) || !fc::sync_folder_of(aside))
        return JournalResult::Failed;
    return JournalResult::SetAside;
}

JournalResult recover_blocks(int jfd, const std::string& journal, int rfd, const Sealed& s, bool rollback)
{
    std::vector<Entry> entries;
    if (!parse_entries(s, entries))
        return set_aside(journal);
    const Match match = match_blocks(rfd, s, entries);
    if (match == Match::Failed)
        return JournalResult::Failed;
    if (match == Match::Neither)
        return set_aside(journal);
    if (match == Match::New && !rollback) {
        // Whole, maybe only in the page cache: durable before the journal goes.
        if (!fc::datasync(rfd) || !spend(jfd, false))
            return JournalResult::Failed;
        return JournalResult::Done;
    }
    if (!roll_back(rfd, s, entries) || !spend(jfd, false))
        return JournalResult::Failed;
    return JournalResult::RolledBack;
}

JournalResult recover_image(int jfd, const std::string& journal, int rfd, const std::string& record, const Sealed& s,
                            bool (*image_ok)(const std::string&, const std::string&))
{
    ImageJournal j;
    if (!parse_image(s, j) || !image_ok(j.image, record))
        return set_aside(journal);
    Own how;
    const int ifd = open_own(j.image, O_RDONLY, how);
    uint64_t hash = 0;
    struct stat ist;
    const bool imageWhole = ifd >= 0 && fc::fstat(ifd, ist) && ist.st_size == j.info.imageSize &&
                            hash_file(ifd, j.info.imageSize, hash, nullptr) && hash == j.info.imageHash;
    if (ifd < 0 && how == Own::Failed)
        return JournalResult::Failed;
    if (!imageWhole) {
        if (ifd >= 0)
            close(ifd);
        // Without its image the copy can only have ended: the file must be the image.
        struct stat st;
        uint64_t now = 0;
        if (!fc::fstat(rfd, st))
            return JournalResult::Failed;
        if (st.st_size != j.info.imageSize || !hash_file(rfd, st.st_size, now, nullptr) || now != j.info.imageHash)
            return JournalResult::Failed;
        if (!fc::datasync(rfd) || !spend(jfd, true))
            return JournalResult::Failed;
        return JournalResult::Done;
    }
    const Match match = match_image(rfd, ifd, j);
    bool ok = match == Match::OldOrNew && fc::copy_bytes(ifd, 0, rfd, 0, j.info.imageSize) &&
              fc::truncate(rfd, j.info.imageSize) && fc::datasync(rfd) && spend(jfd, true);
    close(ifd);
    if (match == Match::Neither)
        return set_aside(journal);
    if (!ok)
        return JournalResult::Failed;
    fc::unlink(j.image.c_str());
    return JournalResult::Done;
}

// Recovery of the journal open as `jfd` (closed here).
JournalResult recover_open(int jfd, const std::string& journal, const std::string& record, bool rollback,
                           bool (*image_ok)(const std::string&, const std::string&))
{
    Sealed s;
    const Read read = read_sealed(jfd, s);
    if (read != Read::Sealed) {
        close(jfd);
        return read == Read::None ? JournalResult::Unchanged : JournalResult::Failed;
    }
    const int rfd = fc::open(record.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY);
    struct stat st;
    JournalResult result;
    if (rfd < 0)
        // A file that is gone has nothing to put back and nothing to lose.
        result = errno == ENOENT ? set_aside(journal) : JournalResult::Failed;
    else if (!fc::fstat(rfd, st) || !S_ISREG(st.st_mode))
        result = JournalResult::Failed;
    else if (s.header.kind == KIND_BLOCKS)
        result = recover_blocks(jfd, journal, rfd, s, rollback);
    else if (s.header.kind == KIND_IMAGE && image_ok)
        result = recover_image(jfd, journal, rfd, record, s, image_ok);
    else
        result = set_aside(journal);
    if (rfd >= 0)
        close(rfd);
    close(jfd);
    return result;
}

} // namespace

std::string set_aside_path(const std::string& journal)
{
    return journal + ".set-aside";
}

JournalResult apply_changes(int fd, const std::string& record, const std::function<std::vector<std::string>()>& places,
                            const std::vector<ByteChange>& changes, const BeforeWrite& before_write)
{
    struct stat st;
    if (!fc::fstat(fd, st))
        return JournalResult::Failed;
    const int64_t sizeBefore = st.st_size;
    int64_t sizeAfter = sizeBefore;
    std::string body, old;
    uint64_t count = 0;
    std::vector<const ByteChange*> differing;
    std::vector<ByteChange> overwritten;
    for (const ByteChange& change : changes) {
        const auto length = static_cast<int64_t>(change.bytes.size());
        old.assign(change.bytes.size(), '\0');
        const ssize_t had = fc::pread_some(fd, old.data(), old.size(), change.offset);
        if (had < 0)
            return JournalResult::Failed;
        old.resize(static_cast<size_t>(had));
        if (old == change.bytes)
            continue; // a store of the bytes already there writes nothing
        const JournalEntry e{change.offset, static_cast<uint32_t>(had), static_cast<uint32_t>(length)};
        append(body, &e, sizeof e);
        body += old;
        for_each_piece(change.offset, length, [&](int64_t from, int64_t to) {
            const uint64_t hash =
                checksum(change.bytes.data() + (from - change.offset), static_cast<size_t>(to - from));
            append(body, &hash, sizeof hash);
        });
        sizeAfter = std::max(sizeAfter, change.offset + length);
        differing.push_back(&change);
        overwritten.push_back({change.offset, old});
        ++count;
    }
    if (differing.empty())
        return JournalResult::Unchanged;
    before_write(overwritten);
    OpenJournal j = open_journal(places());
    if (j.fd < 0)
        return JournalResult::Failed;
    const JournalHeader h = make_header(KIND_BLOCKS, sizeBefore, sizeAfter, count, body);
    if (!seal(j, h, body)) {
        // Nothing was written to the record file: a journal left sealed only rolls back to it.
        spend(j.fd, false);
        close(j.fd);
        return JournalResult::Failed;
    }
    bool ok = true;
    for (const ByteChange* change : differing)
        if (!(ok = fc::pwrite_all(fd, change->bytes.data(), change->bytes.size(), change->offset)))
            break;
    if (ok && fc::datasync(fd)) {
        spend(j.fd, false);
        close(j.fd);
        return JournalResult::Done;
    }
    // Put the old bytes back now; when even that fails, the next start does.
    const int error = errno;
    const JournalResult undone = recover_open(j.fd, j.path, record, true, nullptr);
    errno = error;
    return undone == JournalResult::RolledBack ? JournalResult::Failed : JournalResult::Undecided;
}

JournalResult recover_journal(const std::string& journal, const std::string& record,
                              bool (*image_ok)(const std::string& image, const std::string& record))
{
    Own how;
    const int jfd = open_own(journal, O_RDWR, how);
    if (jfd < 0)
        return how == Own::Missing   ? JournalResult::Unchanged
               : how == Own::NotOurs ? JournalResult::NotOurs
                                     : JournalResult::Failed;
    return recover_open(jfd, journal, record, false, image_ok);
}

JournalResult copy_image_in_place(int fd, const std::string& record, const std::vector<std::string>& places,
                                  const std::string& image, int64_t imageSize)
{
    struct stat st;
    JournalImage info{image.size(), imageSize, 0, 0};
    uint64_t oldHash = 0;
    std::vector<uint64_t> oldPieces;
    if (!fc::fstat(fd, st))
        return JournalResult::Failed;
    info.oldSize = st.st_size;
    const int ifd = fc::open(image.c_str(), O_RDONLY);
    if (ifd < 0)
        return JournalResult::Failed;
    if (!hash_file(fd, info.oldSize, oldHash, &oldPieces) || !hash_file(ifd, imageSize, info.imageHash, nullptr)) {
        close(ifd);
        return JournalResult::Failed;
    }
    std::string body;
    append(body, &info, sizeof info);
    body += image;
    append(body, oldPieces.data(), oldPieces.size() * sizeof(uint64_t));
    OpenJournal j = open_journal(places);
    if (j.fd < 0) {
        close(ifd);
        return JournalResult::Failed;
    }
    if (!seal(j, make_header(KIND_IMAGE, info.oldSize, imageSize, 1, body), body)) {
        // A journal that may be sealed would complete the copy at the next start: given up durably, or undecided.
        const bool givenUp = spend(j.fd, true);
        close(j.fd);
        close(ifd);
        return givenUp ? JournalResult::Failed : JournalResult::Undecided;
    }
    const bool ok = fc::copy_bytes(ifd, 0, fd, 0, imageSize) && fc::truncate(fd, imageSize) && fc::datasync(fd) &&
                    spend(j.fd, true);
    close(ifd);
    if (ok) {
        close(j.fd);
        fc::unlink(image.c_str());
        return JournalResult::Done;
    }
    // The copy is done again from the image; once that is whole, so is the save.
    const int error = errno;
    const JournalResult again =
        recover_open(j.fd, j.path, record, false, [](const std::string&, const std::string&) { return true; });
    errno = error;
    return again == JournalResult::Done ? JournalResult::Done : JournalResult::Pending;
}
