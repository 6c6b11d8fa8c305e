// Reads .reg files as the Windows registry editor writes them, and by hand,
// in one pass of bounded memory: entries are handed over one at a time.
#pragma once

#include "tools/reg/reg_document.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace kreg {

struct ReadError
{
    int line = 0; // 1-based line of the file
    std::string message;
};

// The bytes of a .reg file, read in order and again from the start.
class ByteSource
{
public:
    virtual ~ByteSource() = default;
    // Up to size bytes; 0 at the end, -1 on a read error.
    virtual long read(char* buffer, size_t size) = 0;
    virtual bool rewind() = 0;
};

// Receives a file's keys and values in file order; false, with error set,
// stops the reading.
class RegVisitor
{
public:
    virtual ~RegVisitor() = default;
    virtual bool key(const RegKey& key, ReadError& error) = 0; // key.values is empty
    virtual bool value(const RegValue& value, ReadError& error) = 0;
};

// A line of a .reg file may hold at most this many bytes: room for the
// largest value (1 MiB) written as UTF-16LE hex on one line.
constexpr size_t kMaxLineBytes = 8 * 1024 * 1024;

// Reads a whole file, handing each key and value to visitor. The encoding is
// taken from its start: a UTF-16LE or UTF-8 byte order mark; else CP932 for a
// REGEDIT4 file; else UTF-8 when all of its bytes are well-formed UTF-8
// (which takes a first pass over the file), CP932 otherwise. CP932 names and
// text are kept byte for byte. False, with the first error, when any line is
// wrong (a name holding a NUL character, value data over 1 MiB, a line over
// kMaxLineBytes), and when the file ends inside a value (a continuation line
// missing, or no line end after the last value: the file was cut off).
bool read_reg_stream(ByteSource& source, RegVisitor& visitor, RegFormat& format, ReadError& error);

// The same for a file held in memory, collected into doc.
bool read_reg_file(std::string_view bytes, RegDocument& doc, ReadError& error);

} // namespace kreg
