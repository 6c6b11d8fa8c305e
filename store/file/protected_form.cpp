#include "store/file/protected_form.h"

#include "commons/commons.h"
#include "platform/file_calls.h"
#include "store/file/record_io.h"
#include "store/file/side_files.h"

#include <sodium.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The associated data of a seal: what it holds and where, so that a sealed
// part opens only as the part it was written as, in the place it was written to.
struct Position
{
    char what[4];
    uint32_t zero = 0;
    int64_t where;
};
static_assert(sizeof(Position) == 16);

Position position(const char (&what)[5], int64_t where)
{
    Position p{};
    memcpy(p.what, what, sizeof p.what);
    p.where = where;
    return p;
}

// Seals `size` bytes of `plain` into `out` (nonce, text, tag).
void seal(const void* plain, int64_t size, const Position& at, unsigned char* out)
{
    randombytes_buf(out, SEAL_NONCE);
    crypto_aead_xchacha20poly1305_ietf_encrypt(
        out + SEAL_NONCE, nullptr, static_cast<const unsigned char*>(plain), static_cast<unsigned long long>(size),
        reinterpret_cast<const unsigned char*>(&at), sizeof at, nullptr, out, data_key::key());
}

// Opens `size` plain bytes out of `sealed`; false when it does not verify.
bool open(const unsigned char* sealed, int64_t size, const Position& at, void* plain)
{
    return data_key::loaded() &&
           crypto_aead_xchacha20poly1305_ietf_decrypt(
               static_cast<unsigned char*>(plain), nullptr, nullptr, sealed + SEAL_NONCE,
               static_cast<unsigned long long>(size + SEAL_TAG), reinterpret_cast<const unsigned char*>(&at), sizeof at,
               sealed, data_key::key()) == 0;
}

Position entry_position(int slot, int32_t count)
{
    return position("ENTR", static_cast<int64_t>(slot) | static_cast<int64_t>(count) << 32);
}

void check_of(const SealedPrologue& prologue, unsigned char* out)
{
    crypto_generichash(out, sizeof prologue.check, reinterpret_cast<const unsigned char*>(&prologue),
                       offsetof(SealedPrologue, check), nullptr, 0);
}

SealedPrologue make_prologue(int32_t count)
{
    SealedPrologue prologue{};
    memcpy(prologue.magic, SEALED_MAGIC, sizeof prologue.magic);
    prologue.version = SEALED_VERSION;
    prologue.count = count;
    prologue.wrap = data_key::wrap();
    check_of(prologue, prologue.check);
    return prologue;
}

bool read_prologue(int fd, SealedPrologue& prologue)
{
    unsigned char check[sizeof prologue.check];
    if (!fc::pread_all(fd, &prologue, sizeof prologue, 0) ||
        memcmp(prologue.magic, SEALED_MAGIC, sizeof SEALED_MAGIC) != 0 || prologue.version != SEALED_VERSION)
        return false;
    check_of(prologue, check);
    return memcmp(check, prologue.check, sizeof check) == 0;
}

bool g_damagedEntry = false;

} // namespace

bool sealed_magic(const unsigned char* first4)
{
    return memcmp(first4, SEALED_MAGIC, 4) == 0;
}

bool read_sealed_area(int fd, int64_t size, RecordArea& area)
{
    SealedPrologue prologue;
    if (size < SEALED_PROLOGUE_SIZE || !read_prologue(fd, prologue) || prologue.count < 0 || prologue.count > KIND_MAX)
        return false;
    const int64_t start = SEALED_PROLOGUE_SIZE + prologue.count * SEALED_ENTRY_SIZE;
    if (size < start)
        return false;
    area.count = prologue.count;
    area.start = start;
    area.blocks = (size - start) / SEALED_BLOCK_SIZE;
    area.size = size;
    area.sealed = true;
    return true;
}

int64_t sealed_block_offset(const RecordArea& area, int64_t index)
{
    return area.start + index * SEALED_BLOCK_SIZE;
}

bool open_sealed_block(int64_t index, const unsigned char* sealed, CatgRecord& scrambled, bool heads_only)
{
    if (!open(sealed, HEAD_SIZE, position("HEAD", index), &scrambled) ||
        (!heads_only && !open(sealed + SEALED_HEAD_SIZE, DATA_SIZE, position("DATA", index), scrambled.data)))
        return false;
    scramble_block(&scrambled, heads_only ? static_cast<int>(HEAD_SIZE) : static_cast<int>(sizeof scrambled));
    return true;
}

std::string seal_block(int64_t index, const CatgRecord& scrambled, const unsigned char* old_sealed)
{
    CatgRecord plain = scrambled;
    unscramble_block(&plain, sizeof plain);
    std::string out(static_cast<size_t>(SEALED_BLOCK_SIZE), '\0');
    auto* bytes = reinterpret_cast<unsigned char*>(out.data());
    CatgRecord old;
    const bool headKept = old_sealed && open(old_sealed, HEAD_SIZE, position("HEAD", index), &old) &&
                          memcmp(&old, &plain, HEAD_SIZE) == 0;
    const bool dataKept = old_sealed &&
                          open(old_sealed + SEALED_HEAD_SIZE, DATA_SIZE, position("DATA", index), old.data) &&
                          memcmp(old.data, plain.data, DATA_SIZE) == 0;
    if (headKept)
        memcpy(bytes, old_sealed, SEALED_HEAD_SIZE);
    else
        seal(&plain, HEAD_SIZE, position("HEAD", index), bytes);
    if (dataKept)
        memcpy(bytes + SEALED_HEAD_SIZE, old_sealed + SEALED_HEAD_SIZE, SEALED_DATA_SIZE);
    else
        seal(plain.data, DATA_SIZE, position("DATA", index), bytes + SEALED_HEAD_SIZE);
    sodium_memzero(&plain, sizeof plain);
    sodium_memzero(&old, sizeof old);
    return out;
}

bool open_sealed_entry(int slot, int32_t count, const unsigned char* sealed, KindHeader& scrambled)
{
    if (!open(sealed, HEADER_SIZE, entry_position(slot, count), &scrambled))
        return false;
    scramble_block(&scrambled, sizeof scrambled);
    return true;
}

std::string sealed_header(const std::string& windows, const RecordFile* old)
{
    int32_t count = 0;
    if (!data_key::loaded() || g_damagedEntry || windows.size() < COUNT_SIZE)
        return {};
    memcpy(&count, windows.data(), sizeof count);
    if (count < 0 || count > KIND_MAX || windows.size() != static_cast<size_t>(COUNT_SIZE + count * HEADER_SIZE))
        return {};
    const SealedPrologue prologue = make_prologue(count);
    std::string out(reinterpret_cast<const char*>(&prologue), sizeof prologue);
    // The entries keep their bytes where the count and their text stay.
    const bool sameCount = old && old->area().sealed && old->area().count == count;
    // What cannot be read is not sealed afresh: nothing is written then.
    SealedPrologue oldPrologue;
    if (sameCount && !fc::pread_all(old->fd(), &oldPrologue, sizeof oldPrologue, 0))
        return {};
    if (sameCount && memcmp(&oldPrologue, &prologue, sizeof prologue) == 0)
        out.assign(reinterpret_cast<const char*>(&oldPrologue), sizeof oldPrologue);
    unsigned char sealed[SEALED_ENTRY_SIZE];
    for (int slot = 0; slot < count; ++slot) {
        const char* entry = windows.data() + COUNT_SIZE + slot * HEADER_SIZE;
        KindHeader oldEntry;
        if (sameCount &&
            !fc::pread_all(old->fd(), sealed, sizeof sealed, SEALED_PROLOGUE_SIZE + slot * SEALED_ENTRY_SIZE))
            return {};
        if (sameCount && open_sealed_entry(slot, count, sealed, oldEntry) &&
            memcmp(&oldEntry, entry, sizeof oldEntry) == 0) {
            out.append(reinterpret_cast<const char*>(sealed), sizeof sealed);
            continue;
        }
        KindHeader plain;
        memcpy(&plain, entry, sizeof plain);
        unscramble_block(&plain, sizeof plain);
        seal(&plain, HEADER_SIZE, entry_position(slot, count), sealed);
        sodium_memzero(&plain, sizeof plain);
        out.append(reinterpret_cast<const char*>(sealed), sizeof sealed);
    }
    return out;
}

std::string empty_record_file()
{
    if (!data_key::loaded())
        return std::string(COUNT_SIZE, '\0');
    const SealedPrologue prologue = make_prologue(0);
    return std::string(reinterpret_cast<const char*>(&prologue), sizeof prologue);
}

void note_damaged_entry()
{
    g_damagedEntry = true;
}

const char* log_text(const char* text)
{
    return data_key::loaded() ? "(protected)" : text;
}

bool record_file_protected(const char* path)
{
    const std::string native = record_native_path(path);
    const int fd = native.empty() ? -1 : fc::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
    unsigned char magic[sizeof SEALED_MAGIC];
    const bool sealed =
        fd >= 0 && fc::pread_all(fd, magic, sizeof magic, 0) && memcmp(magic, SEALED_MAGIC, sizeof magic) == 0;
    if (fd >= 0)
        close(fd);
    return sealed;
}

FileUnlock unlock_record_file(const char* path, const char* password)
{
    const std::string native = record_native_path(path);
    const int fd = native.empty() ? -1 : fc::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
    SealedPrologue prologue;
    const bool whole = fd >= 0 && read_prologue(fd, prologue);
    if (fd >= 0)
        close(fd);
    if (!whole)
        return FileUnlock::Damaged;
    g_damagedEntry = false;
    return data_key::unlock(prologue.wrap, password) == Unlock::Ok ? FileUnlock::Ok : FileUnlock::WrongPassword;
}

SealedBlocks::SealedBlocks(int fd, const RecordArea& area, bool heads_only, int64_t first)
    : m_fd(fd), m_area(area), m_headsOnly(heads_only), m_batchFirst(first), m_next(first)
{
    memset(m_out.data, 0xFF, sizeof m_out.data); // a walk over the heads hands out empty texts (scrambled)
}

CatgRecord* SealedBlocks::next()
{
    constexpr int64_t BATCH = 32;
    while (!m_failed && m_next < m_area.blocks) {
        if (m_next >= m_batchFirst + m_batchCount) {
            const int64_t count = std::min(BATCH, m_area.blocks - m_next);
            m_batch.resize(static_cast<size_t>(BATCH * SEALED_BLOCK_SIZE));
            if (!fc::pread_all(m_fd, m_batch.data(), static_cast<size_t>(count * SEALED_BLOCK_SIZE),
                               sealed_block_offset(m_area, m_next))) {
                m_failed = true;
                return nullptr;
            }
            m_batchFirst = m_next;
            m_batchCount = count;
        }
        const int64_t index = m_next++;
        if (open_sealed_block(index, m_batch.data() + (index - m_batchFirst) * SEALED_BLOCK_SIZE, m_out, m_headsOnly)) {
            m_index = index;
            return &m_out;
        }
        logputd(0, __FILE_NAME__, __LINE__, "Record %d of the protected Data File is damaged\n",
                static_cast<int>(index));
    }
    return nullptr;
}
