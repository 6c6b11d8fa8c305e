#include "tools/reg/cp932_carrier.h"

#include "platform/cp932.h"

namespace kreg {
namespace {

constexpr char32_t kCarrierBase = 0xF0000;

} // namespace

bool carry_cp932(std::string_view cp932_text, std::string& out)
{
    std::string ignored;
    if (!cp932::to_utf8(cp932_text, ignored))
        return false;
    out.clear();
    for (size_t i = 0; i < cp932_text.size(); ++i) {
        unsigned char byte = static_cast<unsigned char>(cp932_text[i]);
        if (byte < 0x80) {
            out += static_cast<char>(byte);
            continue;
        }
        char32_t code = byte;
        if (cp932::is_lead_byte(byte)) // valid CP932, so a trail byte follows
            code = (code << 8) | static_cast<unsigned char>(cp932_text[++i]);
        code += kCarrierBase;
        // Four-byte UTF-8 form.
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
    return true;
}

bool uncarry_cp932(std::string_view carried, std::string& out)
{
    out.clear();
    for (size_t i = 0; i < carried.size(); ++i) {
        unsigned char byte = static_cast<unsigned char>(carried[i]);
        if (byte < 0x80) {
            out += static_cast<char>(byte);
            continue;
        }
        if ((byte & 0xF8) != 0xF0 || i + 3 >= carried.size())
            return false;
        char32_t code = byte & 0x07;
        for (int k = 1; k <= 3; ++k) {
            unsigned char next = static_cast<unsigned char>(carried[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        i += 3;
        if (code < kCarrierBase || code > kCarrierBase + 0xFFFF)
            return false;
        code -= kCarrierBase;
        if (code > 0xFF)
            out += static_cast<char>(code >> 8);
        out += static_cast<char>(code & 0xFF);
    }
    return true;
}

} // namespace kreg
