#include "tools/text_encoding.h"

#include <cerrno>
#include <iconv.h>

namespace kreg {
namespace {

// Converts with glibc's iconv; any invalid or incomplete input fails the whole call.
bool convert(const char* from, const char* to, std::string_view in, std::string& out)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    out.clear();
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char buffer[4096];
    bool ok = true;
    while (src_left > 0) {
        char* dst = buffer;
        size_t dst_left = sizeof buffer;
        size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
        out.append(buffer, sizeof buffer - dst_left);
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
    }
    iconv_close(cd);
    return ok;
}

} // namespace

bool is_utf8(std::string_view bytes)
{
    std::string ignored;
    return convert("UTF-8", "UTF-16LE", bytes, ignored);
}

bool utf16le_to_utf8(std::string_view utf16, std::string& out)
{
    return utf16.size() % 2 == 0 && convert("UTF-16LE", "UTF-8", utf16, out);
}

bool utf8_to_utf16le(std::string_view utf8, std::string& out)
{
    return convert("UTF-8", "UTF-16LE", utf8, out);
}

bool cp932_to_utf16le(std::string_view cp932_text, std::string& out)
{
    return convert("CP932", "UTF-16LE", cp932_text, out);
}

bool utf16le_to_cp932(std::string_view utf16, std::string& out)
{
    return utf16.size() % 2 == 0 && convert("UTF-16LE", "CP932", utf16, out);
}

} // namespace kreg
