#include "tools/data/record_text.h"

#include "platform/cp932.h"

#include <vector>

namespace kdata {

namespace {

// UTF-8 for CP932 text; with drop_cr, a CR before an LF is left out.
bool convert(std::string_view cp932_text, std::string& utf8, bool drop_cr)
{
    // Every CP932 character is one UTF-16 unit of the Basic Multilingual Plane.
    thread_local std::vector<char16_t> units;
    units.resize(cp932_text.size());
    const std::size_t count = cp932::to_utf16(cp932_text, units.data());
    if (count == std::string_view::npos)
        return false;
    utf8.resize(count * 3);
    char* out = utf8.data();
    for (std::size_t i = 0; i < count; ++i) {
        const char16_t u = units[i];
        if (u < 0x80) {
            if (!(drop_cr && u == '\r' && i + 1 < count && units[i + 1] == '\n'))
                *out++ = static_cast<char>(u);
        } else if (u < 0x800) {
            *out++ = static_cast<char>(0xC0 | (u >> 6));
            *out++ = static_cast<char>(0x80 | (u & 0x3F));
        } else {
            *out++ = static_cast<char>(0xE0 | (u >> 12));
            *out++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    utf8.resize(static_cast<std::size_t>(out - utf8.data()));
    return true;
}

} // namespace

bool text_utf8(std::string_view cp932_text, std::string& utf8)
{
    return convert(cp932_text, utf8, false);
}

bool record_text_utf8(const std::string& cp932_text, std::string& utf8)
{
    return convert(cp932_text, utf8, true);
}

} // namespace kdata
