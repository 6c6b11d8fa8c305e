// Paths in the forms only Windows gives a meaning to. Settings carried over
// from Windows may hold them; used here as they are, they would name files
// with a literal "C:\..." in their name.
#pragma once

#include <string_view>

namespace winpath {

// True for a drive-letter path ("C:\x", "c:/x", "C:x") or a network path
// ("\\server\share").
bool is_windows_path(std::string_view path);

} // namespace winpath
