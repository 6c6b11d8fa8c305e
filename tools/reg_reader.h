// Reads .reg files as the Windows registry editor writes them, and by hand.
#pragma once

#include "tools/reg_document.h"

#include <string>
#include <string_view>

namespace kreg {

struct ReadError
{
    int line = 0; // 1-based line of the file
    std::string message;
};

// Parses a whole file. The encoding is taken from its start: a UTF-16LE or
// UTF-8 byte order mark, else UTF-8 when the bytes are well-formed UTF-8,
// else CP932. False, with the first error, when any line is wrong.
bool read_reg_file(std::string_view bytes, RegDocument& doc, ReadError& error);

} // namespace kreg
