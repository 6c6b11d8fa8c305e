// FNV-1a, 64 bits: tells a whole journal or block from a torn or changed one.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint64_t CHECKSUM_SEED = 0xcbf29ce484222325ULL;

inline uint64_t checksum(const void* data, size_t size, uint64_t hash = CHECKSUM_SEED)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ bytes[i]) * 0x100000001b3ULL;
    return hash;
}
