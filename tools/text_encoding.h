// UTF-16LE and UTF-8 conversions that .reg files need beside CP932.
#pragma once

#include <string>
#include <string_view>

namespace kreg {

// True when the bytes are well-formed UTF-8.
bool is_utf8(std::string_view bytes);
// UTF-16LE bytes -> UTF-8. False on an odd byte count or an unpaired surrogate.
bool utf16le_to_utf8(std::string_view utf16, std::string& out);
// UTF-8 -> UTF-16LE bytes (no BOM). False when the input is not UTF-8.
bool utf8_to_utf16le(std::string_view utf8, std::string& out);

// CP932 bytes (which may hold zero bytes) <-> UTF-16LE bytes.
bool cp932_to_utf16le(std::string_view cp932, std::string& out);
bool utf16le_to_cp932(std::string_view utf16, std::string& out);

} // namespace kreg
