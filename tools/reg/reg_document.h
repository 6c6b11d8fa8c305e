// The contents of a .reg file: keys to create or delete, values to set or
// delete. Names and data are held as the registry stores them (CP932 text,
// raw bytes), whatever encoding the file itself used.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kreg {

enum class RegFormat {
    Version5, // "Windows Registry Editor Version 5.00": UTF-16LE text, string hex data in UTF-16LE
    Regedit4, // "REGEDIT4": CP932 text, string hex data in CP932
};

struct RegValue
{
    int line = 0;        // where it was read; 0 for values not read from a file
    std::string name;    // CP932; empty for the default value (@)
    bool remove = false; // "name"=-
    uint32_t type = 0;
    std::string data; // raw bytes as stored
};

struct RegKey
{
    int line = 0;
    std::string path;    // full key name in CP932, as written in the file
    bool remove = false; // [-key]
    std::vector<RegValue> values;
};

struct RegDocument
{
    RegFormat format = RegFormat::Version5;
    std::vector<RegKey> keys;
};

} // namespace kreg
