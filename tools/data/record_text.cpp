#include "tools/data/record_text.h"

#include "platform/cp932.h"

#include <vector>

namespace kdata {

bool text_utf8(std::string_view cp932_text, std::string& utf8)
{
    // Every CP932 character is one UTF-16 unit of the Basic Multilingual Plane.
    thread_local std::vector<char16_t> units;
    units.resize(cp932_text.size());
    const std::size_t count = cp932::to_utf16(cp932_text, units.data());
    if (count == std::string_view::npos)
        return false;
    utf8.clear();
    utf8.reserve(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        const char16_t u = units[i];
        if (u < 0x80) {
            utf8 += static_cast<char>(u);
        } else if (u < 0x800) {
            utf8 += static_cast<char>(0xC0 | (u >> 6));
            utf8 += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | (u >> 12));
            utf8 += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return true;
}

bool record_text_utf8(const std::string& cp932_text, std::string& utf8)
{
    std::string decoded;
    if (!text_utf8(cp932_text, decoded))
        return false;
    utf8.clear();
    utf8.reserve(decoded.size());
    for (size_t i = 0; i < decoded.size(); ++i) {
        if (!(decoded[i] == '\r' && i + 1 < decoded.size() && decoded[i + 1] == '\n'))
            utf8 += decoded[i];
    }
    return true;
}

} // namespace kdata
