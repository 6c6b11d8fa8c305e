// Registry values as text at the terminal.
#pragma once

#include <cstdint>
#include <string>

namespace kreg {

// "REG_SZ", "REG_BINARY", ...
std::string type_name(uint32_t type);
// A value's data for the terminal: text types as text (up to the first zero
// byte), a four-byte REG_DWORD as the signed decimal number kestrel reads,
// anything else as hex.
std::string data_text(uint32_t type, const std::string& data);
// Text for one field of a list line: backslashes doubled, tabs, line breaks
// and other control characters as \t, \r, \n, \xNN.
std::string escaped_field(const std::string& text);

} // namespace kreg
