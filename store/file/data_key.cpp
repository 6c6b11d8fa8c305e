#include "store/file/data_key.h"

#include <sodium.h>

#include <cstring>

namespace {

// sodium_malloc memory: guarded, locked against swap, wiped when freed.
struct Secret
{
    unsigned char* bytes = nullptr;

    bool allocate()
    {
        if (!bytes && sodium_init() >= 0)
            bytes = static_cast<unsigned char*>(sodium_malloc(DATA_KEY_SIZE));
        return bytes != nullptr;
    }
    void release()
    {
        sodium_free(bytes);
        bytes = nullptr;
    }
};

Secret g_key;
KeyWrap g_wrap;

// The wrap's own fields bind its sealed key: a changed cost or salt is a damaged wrap.
void wrap_context(const KeyWrap& wrap, unsigned char* ad)
{
    memcpy(ad, &wrap, offsetof(KeyWrap, nonce));
}
constexpr size_t CONTEXT_SIZE = offsetof(KeyWrap, nonce);
constexpr uint64_t MAX_OPSLIMIT = 64;
constexpr uint64_t MAX_MEMLIMIT = 4ULL << 30;

// The key-encryption key of `password` under the wrap's cost and salt.
bool derive(const KeyWrap& wrap, const char* password, Secret& kek)
{
    if (!kek.allocate())
        return false;
    // The check of a file's prologue is no seal: a cost past any that kestrel
    // would choose is a damaged or planted file, not minutes of work or gigabytes.
    if (wrap.alg != crypto_pwhash_ALG_ARGON2ID13 || wrap.opslimit < crypto_pwhash_OPSLIMIT_MIN ||
        wrap.opslimit > MAX_OPSLIMIT || wrap.memlimit < crypto_pwhash_MEMLIMIT_MIN || wrap.memlimit > MAX_MEMLIMIT)
        return false;
    return crypto_pwhash(kek.bytes, DATA_KEY_SIZE, password, strlen(password), wrap.salt, wrap.opslimit,
                         static_cast<size_t>(wrap.memlimit), static_cast<int>(wrap.alg)) == 0;
}

// Opens the wrap into `out` (DATA_KEY_SIZE bytes of sodium memory).
bool open_wrap(const KeyWrap& wrap, const char* password, unsigned char* out)
{
    Secret kek;
    unsigned char ad[CONTEXT_SIZE];
    wrap_context(wrap, ad);
    const bool ok = derive(wrap, password, kek) &&
                    crypto_aead_xchacha20poly1305_ietf_decrypt(out, nullptr, nullptr, wrap.wrapped, sizeof wrap.wrapped,
                                                               ad, sizeof ad, wrap.nonce, kek.bytes) == 0;
    kek.release();
    return ok;
}

// Wraps `key` with `password` under a fresh salt and nonce.
bool make_wrap(const unsigned char* key, const char* password, KeyCost cost, KeyWrap& wrap)
{
    memset(&wrap, 0, sizeof wrap);
    wrap.alg = crypto_pwhash_ALG_ARGON2ID13;
    wrap.opslimit = cost.opslimit;
    wrap.memlimit = cost.memlimit;
    randombytes_buf(wrap.salt, sizeof wrap.salt);
    randombytes_buf(wrap.nonce, sizeof wrap.nonce);
    Secret kek;
    unsigned char ad[CONTEXT_SIZE];
    wrap_context(wrap, ad);
    const bool ok = derive(wrap, password, kek) &&
                    crypto_aead_xchacha20poly1305_ietf_encrypt(wrap.wrapped, nullptr, key, DATA_KEY_SIZE, ad, sizeof ad,
                                                               nullptr, wrap.nonce, kek.bytes) == 0;
    kek.release();
    return ok;
}

} // namespace

void wipe_secret(void* bytes, size_t size)
{
    sodium_memzero(bytes, size);
}

KeyCost KeyCost::standard()
{
    return {5, 128U * 1024U * 1024U};
}

KeyCost KeyCost::least()
{
    return {crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN};
}

namespace data_key {

const unsigned char* key()
{
    return g_key.bytes;
}

bool loaded()
{
    return g_key.bytes != nullptr;
}

const KeyWrap& wrap()
{
    return g_wrap;
}

Unlock unlock(const KeyWrap& wrap, const char* password)
{
    Secret opened;
    if (!opened.allocate())
        return Unlock::NoMemory;
    if (!open_wrap(wrap, password, opened.bytes)) {
        opened.release();
        return Unlock::WrongPassword;
    }
    forget();
    g_key = opened;
    g_wrap = wrap;
    return Unlock::Ok;
}

bool matches(const char* password)
{
    if (!loaded())
        return false;
    Secret opened;
    const bool ok = opened.allocate() && open_wrap(g_wrap, password, opened.bytes) &&
                    sodium_memcmp(opened.bytes, g_key.bytes, DATA_KEY_SIZE) == 0;
    opened.release();
    return ok;
}

bool create(const char* password, KeyCost cost)
{
    Secret fresh;
    KeyWrap wrap;
    if (!fresh.allocate())
        return false;
    randombytes_buf(fresh.bytes, DATA_KEY_SIZE);
    if (!make_wrap(fresh.bytes, password, cost, wrap)) {
        fresh.release();
        return false;
    }
    forget();
    g_key = fresh;
    g_wrap = wrap;
    return true;
}

bool rewrap(const char* password, KeyCost cost)
{
    KeyWrap wrap;
    if (!loaded() || !make_wrap(g_key.bytes, password, cost, wrap))
        return false;
    g_wrap = wrap;
    return true;
}

void restore_wrap(const KeyWrap& wrap)
{
    g_wrap = wrap;
}

void forget()
{
    g_key.release();
    memset(&g_wrap, 0, sizeof g_wrap);
}

} // namespace data_key
