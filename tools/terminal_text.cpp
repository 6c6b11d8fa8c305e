#include "tools/terminal_text.h"

#include "platform/cp932.h"
#include "tools/command_table.h"

namespace tools {

std::string to_cp932(const std::string& utf8, const char* what)
{
    std::string text;
    if (!cp932::from_utf8(utf8, text))
        throw Refused(std::string(what) + " cannot be written in CP932: " + utf8);
    return text;
}

std::string to_utf8(const std::string& cp932_text)
{
    std::string utf8;
    return cp932::to_utf8(cp932_text, utf8) ? utf8 : cp932_text;
}

} // namespace tools
