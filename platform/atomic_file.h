// Replacing a file whole: the bytes go to a temporary file in the same
// folder, are synced, and the temporary file is renamed over the target, and
// the folder is synced, so that a reader (and a power cut) sees the old file
// or the new one, never a torn one. The one routine behind the registry's
// values, the backups and the record file's save.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace atomic_file {

// What a replace ended with. Renamed: the new file stands at the target but
// its folder could not be synced (a power cut may still bring the old one back).
enum class Outcome { Failed, Renamed, Durable };

// Builds the new content of `target` through `fill` (writing to the open,
// empty temporary file) with `mode`, and the group `gid` unless it is -1.
// `temp_template` names the temporary file and ends in "XXXXXX". On Failed
// (errno set) the target is unchanged and the temporary file is gone.
Outcome replace_with(const std::string& target, std::string temp_template, mode_t mode, gid_t gid,
                     const std::function<bool(int fd)>& fill);

// Writes `parts` one after the other as the new content of `target` (mode
// 0600). False with errno set; the target is then unchanged.
bool replace(const std::string& target, std::string temp_template, std::initializer_list<std::string_view> parts);

} // namespace atomic_file
