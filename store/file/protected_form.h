// The protected form of the record file: the same categories and records as
// the Windows form, each header entry and record block sealed with
// XChaCha20-Poly1305 under the data key (data_key.h), a fresh nonce at every
// write and the entry's or block's position as associated data, so that a
// block changed, moved or swapped does not open. A block's head (flag,
// category, name) is sealed apart from its data text, so that the walks over
// the names open the heads alone.
//
// On disk (integers little-endian):
//   prologue  SealedPrologue, 144 bytes: magic "KESTRELP" (its first four
//             bytes read as a header count far above 128, which a reader of
//             the Windows form refuses as damaged), version, header count N,
//             the wrapped data key with its Argon2id cost and salt, and a
//             BLAKE2b check of those bytes that tells a damaged prologue
//             from a wrong password
//   entries   N x 556: nonce 24, sealed KindHeader 516 + tag 16
//   blocks    M x 4696: head (nonce 24, sealed flag/category/name 520 + tag 16),
//             then data (nonce 24, sealed data 4096 + tag 16)
//
// The record file module hands every block to the store in the Windows
// form's in-memory (scrambled) bytes, whatever the form on disk, so the units
// of the store work on one form; sealing and opening happen only here.
#pragma once

#include "store/file/block_walk.h"
#include "store/file/data_key.h"
#include "store/record_file.h"

#include <memory>
#include <string>
#include <vector>

class RecordFile;

constexpr char SEALED_MAGIC[8] = {'K', 'E', 'S', 'T', 'R', 'E', 'L', 'P'};
constexpr uint32_t SEALED_VERSION = 1;
constexpr int64_t SEAL_NONCE = 24;
constexpr int64_t SEAL_TAG = 16;
constexpr int64_t HEAD_SIZE = 2 * sizeof(int32_t) + NAME_SIZE; // flag, catg_kind, name
constexpr int64_t SEALED_ENTRY_SIZE = SEAL_NONCE + HEADER_SIZE + SEAL_TAG;
constexpr int64_t SEALED_HEAD_SIZE = SEAL_NONCE + HEAD_SIZE + SEAL_TAG;
constexpr int64_t SEALED_DATA_SIZE = SEAL_NONCE + DATA_SIZE + SEAL_TAG;
constexpr int64_t SEALED_BLOCK_SIZE = SEALED_HEAD_SIZE + SEALED_DATA_SIZE;

struct SealedPrologue
{
    char magic[8];
    uint32_t version;
    int32_t count;
    KeyWrap wrap;
    unsigned char check[16]; // BLAKE2b-128 of the bytes above
};
static_assert(sizeof(SealedPrologue) == 144);
constexpr int64_t SEALED_PROLOGUE_SIZE = sizeof(SealedPrologue);

// True when the file's first four bytes are the protected form's.
bool sealed_magic(const unsigned char* first4);
// The area of a protected file of `size` bytes open as `fd`; false for a
// damaged one (prologue check, version or count wrong, shorter than its header).
bool read_sealed_area(int fd, int64_t size, RecordArea& area);
// Byte offset of block `index` of a protected file's area.
int64_t sealed_block_offset(const RecordArea& area, int64_t index);

// Opens sealed block `index` (SEALED_BLOCK_SIZE bytes) into the Windows form's
// scrambled bytes; with `heads_only` the data text is left as it is. False
// when a seal does not verify or no key is loaded.
bool open_sealed_block(int64_t index, const unsigned char* sealed, CatgRecord& scrambled, bool heads_only);
// The sealed bytes of block `index` holding `scrambled`; a part whose text is
// unchanged from `old_sealed` (when given) keeps its old bytes, so that what
// did not change is not written.
std::string seal_block(int64_t index, const CatgRecord& scrambled, const unsigned char* old_sealed);
// Opens header entry `slot` of a header of `count` entries; false when it does not verify.
bool open_sealed_entry(int slot, int32_t count, const unsigned char* sealed, KindHeader& scrambled);

// The protected form's header (prologue and entries) for the Windows form's
// header `windows` (count and scrambled entries). Entries equal to those of
// `old` (a protected file, or null) keep their bytes. Empty when no key is
// loaded or an entry of this run's file did not open (it is never dropped).
std::string sealed_header(const std::string& windows, const RecordFile* old);
// What a new record file holds: the empty protected form in a protected run
// (a key is loaded), else the Windows form's zero count.
std::string empty_record_file();
// A header entry of the run's file did not open: no header is written this run.
void note_damaged_entry();

// "(protected)" in place of a name or text in a log line when the run's
// record file is protected (a data key is loaded); the text itself otherwise.
const char* log_text(const char* text);

// The record file at a CP932 path is in the protected form (by its magic).
bool record_file_protected(const char* path);
// Checks `password` against the protected record file at `path` by opening
// its wrapped key, and makes the key the run's. Damaged: the prologue's own
// check fails (or the file cannot be read), whatever the password.
enum class FileUnlock { Ok, WrongPassword, Damaged };
FileUnlock unlock_record_file(const char* path, const char* password);

// Batched reading of a protected file's blocks, each opened as it is handed
// out. A block that does not open is logged and passed over: never shown,
// never taken for a free block.
class SealedBlocks
{
public:
    // Walks from record index `first` to the end of `area`.
    SealedBlocks(int fd, const RecordArea& area, bool heads_only, int64_t first = 0);
    CatgRecord* next();
    int64_t index() const { return m_index; }
    bool failed() const { return m_failed; }

private:
    int m_fd;
    RecordArea m_area;
    bool m_headsOnly;
    std::vector<unsigned char> m_batch;
    int64_t m_batchFirst = 0;
    int64_t m_batchCount = 0;
    int64_t m_next = 0;
    int64_t m_index = -1;
    bool m_failed = false;
    CatgRecord m_out;
};
