// Reads .reg files as the Windows registry editor writes them, and by hand.
#pragma once

#include "tools/reg/reg_document.h"

#include <string>
#include <string_view>

namespace kreg {

struct ReadError
{
    int line = 0; // 1-based line of the file
    std::string message;
};

// Parses a whole file. The encoding is taken from its start: a UTF-16LE or
// UTF-8 byte order mark; else CP932 for a REGEDIT4 file; else UTF-8 when the
// bytes are well-formed UTF-8, CP932 otherwise. CP932 names and text are kept
// byte for byte. False, with the first error, when any line is wrong, and
// when the file ends inside a value (a continuation line missing, or no line
// end after the last value: the file was cut off).
bool read_reg_file(std::string_view bytes, RegDocument& doc, ReadError& error);

} // namespace kreg
