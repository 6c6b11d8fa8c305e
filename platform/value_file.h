// The value file of the registry stand-in: the bytes "KREG", the type as
// uint32 little-endian, the data length as uint32 little-endian, then exactly
// that many data bytes. A file of any other shape, or with more than
// kMaxValueSize data bytes, is treated as missing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace reg::detail {

constexpr size_t kValueHeaderSize = 12;

// The 12 bytes that precede the data of a value of `type` and `size` bytes.
std::string value_header(uint32_t type, uint32_t size);
// Reads a value file whole; false when it is missing or malformed. seen gets
// the status of the file that was read, when it could be opened.
bool load_value(const std::string& path, uint32_t& type, std::string& data, std::optional<struct stat>* seen = nullptr);

} // namespace reg::detail
