// Replacing a small file whole: the bytes go to a temporary file in the same
// folder, are synced, and the temporary file is renamed over the target, so
// that a reader sees the old file or the new one, never a torn one.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace atomic_file {

// Writes `parts` one after the other as the new content of `target` (mode
// 0600). `temp_template` names the temporary file and ends in "XXXXXX".
// False with errno set; the target is then unchanged.
bool replace(const std::string& target, std::string temp_template, std::initializer_list<std::string_view> parts);

} // namespace atomic_file
