// The record file a command works on: FILE as given, else the one named in
// the registry (kest_datafile), as kestrel itself finds it.
#pragma once

#include <string>

namespace kdata {

struct RecordPath
{
    std::string cp932;  // as kestrel stores and opens it
    std::string native; // the file system's name
    std::string shown;  // for messages (UTF-8)
};

// `given` is FILE from the command line (UTF-8), empty when none was given.
RecordPath record_path(const std::string& given);

} // namespace kdata
