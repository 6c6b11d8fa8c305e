#include "platform/windows_path.h"

namespace winpath {

bool is_windows_path(std::string_view path)
{
    const bool drive = path.size() >= 2 && path[1] == ':' &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    return drive || path.starts_with("\\\\");
}

} // namespace winpath
