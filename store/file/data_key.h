// The data key of a protected record file: 32 random bytes that seal every
// header entry and record block, held in memory locked against swap
// (sodium_malloc) for the run, and stored in the file only wrapped by a key
// that Argon2id derives from the login password. The password itself is never
// kept: callers wipe their copies once a call returns.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t DATA_KEY_SIZE = 32;
constexpr size_t KEY_SALT_SIZE = 16;
constexpr size_t KEY_NONCE_SIZE = 24;
constexpr size_t WRAPPED_KEY_SIZE = DATA_KEY_SIZE + 16;

// Argon2id's cost, stored with each wrapped key so that a later version can
// raise it for new passwords and still open older files.
struct KeyCost
{
    uint64_t opslimit;
    uint64_t memlimit;
    // About half a second on a current laptop (kestrel-bench measures it).
    static KeyCost standard();
    // The least Argon2id allows: for tests, which derive keys by the hundred.
    static KeyCost least();
};

// A wrapped data key as the file stores it.
struct KeyWrap
{
    uint32_t alg;
    uint32_t reserved;
    uint64_t opslimit;
    uint64_t memlimit;
    unsigned char salt[KEY_SALT_SIZE];
    unsigned char nonce[KEY_NONCE_SIZE];
    unsigned char wrapped[WRAPPED_KEY_SIZE];
};
static_assert(sizeof(KeyWrap) == 112);

enum class Unlock { Ok, WrongPassword, NoMemory };

// Wipes a copy of a password where the compiler cannot leave it out.
void wipe_secret(void* bytes, size_t size);

namespace data_key {

// The key of the run, null when none is loaded.
const unsigned char* key();
bool loaded();
// The wrap the next header write stores (changed by rewrap()).
const KeyWrap& wrap();

// Opens `wrap` with `password` and makes its key the run's. `context` (the
// file's magic and version) is bound to the wrap, so that neither moves.
Unlock unlock(const KeyWrap& wrap, const char* password);
// True when `password` opens the run's wrap to the run's key (the settings
// dialog's check of the old password).
bool matches(const char* password);
// A fresh random key for a file being protected, wrapped with `password`.
bool create(const char* password, KeyCost cost);
// Wraps the run's key anew with `password` (fresh salt); the next header write stores it.
bool rewrap(const char* password, KeyCost cost);
// Puts back a wrap of the run's key that rewrap() replaced.
void restore_wrap(const KeyWrap& wrap);
// Wipes the key; nothing is loaded afterwards.
void forget();

} // namespace data_key
