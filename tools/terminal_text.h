// Text at the terminal: the tools read and print UTF-8; kestrel stores CP932.
#pragma once

#include <string>

namespace tools {

// CP932 for a UTF-8 text; refused (naming `what` and the text) when CP932
// cannot hold it.
std::string to_cp932(const std::string& utf8, const char* what);
// UTF-8 for CP932 text; the bytes as they are when they are not CP932.
std::string to_utf8(const std::string& cp932_text);

} // namespace tools
