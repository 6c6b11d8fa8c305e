// The password of a protect or unprotect: typed at the terminal without
// echo, or one line of standard input when that is no terminal.
#pragma once

#include "tools/command_table.h"

#include <string>

namespace kdata {

// Reads it (prompt on the error stream); the caller wipes it after use.
std::string read_password(const tools::Call& call, const char* prompt);

} // namespace kdata
