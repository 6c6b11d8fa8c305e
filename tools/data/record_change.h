// What every command that changes the record file goes through: kestrel's
// lock on the file for the whole command, and the file replaced whole or not
// at all by the record file module.
#pragma once

#include "store/file/record_io.h"
#include "tools/data/record_path.h"

namespace kdata {

// Holds the record file's lock from construction to destruction; refused
// while kestrel (or another command) has the file, or while a journal beside
// it cannot be brought to an end.
class RecordLock
{
public:
    explicit RecordLock(const RecordPath& path);
    ~RecordLock();
    RecordLock(const RecordLock&) = delete;
    RecordLock& operator=(const RecordLock&) = delete;
};

// Replaces the record file by the image `fill` writes; refused (saying what
// the file holds now) unless the new file is in place. `what` ends the
// refusal: "nothing imported", "nothing restored".
void replace_or_refuse(const RecordPath& path, const char* unit, const ImageFill& fill, const std::string& what);

} // namespace kdata
