#include "tools/reg/registry_text.h"

#include "platform/cp932.h"
#include "platform/registry.h"

#include <cstdio>

namespace kreg {
namespace {

std::string hex(const std::string& data)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : data) {
        out += digits[c >> 4];
        out += digits[c & 0x0F];
    }
    return out;
}

} // namespace

std::string type_name(uint32_t type)
{
    switch (type) {
    case reg::REG_NONE:
        return "REG_NONE";
    case reg::REG_SZ:
        return "REG_SZ";
    case reg::REG_EXPAND_SZ:
        return "REG_EXPAND_SZ";
    case reg::REG_BINARY:
        return "REG_BINARY";
    case reg::REG_DWORD:
        return "REG_DWORD";
    case reg::REG_DWORD_BIG_ENDIAN:
        return "REG_DWORD_BIG_ENDIAN";
    case reg::REG_LINK:
        return "REG_LINK";
    case reg::REG_MULTI_SZ:
        return "REG_MULTI_SZ";
    case reg::REG_QWORD:
        return "REG_QWORD";
    default:
        return "REG_TYPE_" + std::to_string(type);
    }
}

std::string data_text(uint32_t type, const std::string& data)
{
    if (type == reg::REG_SZ || type == reg::REG_EXPAND_SZ || type == reg::REG_MULTI_SZ) {
        std::string text = data.substr(0, data.find('\0'));
        std::string utf8;
        if (cp932::to_utf8(text, utf8))
            return utf8;
    }
    if (type == reg::REG_DWORD && data.size() == 4) {
        uint32_t number = 0;
        for (int i = 3; i >= 0; --i)
            number = (number << 8) | static_cast<unsigned char>(data[i]);
        return std::to_string(static_cast<int32_t>(number));
    }
    return hex(data);
}

std::string escaped_field(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char cell[5];
                std::snprintf(cell, sizeof cell, "\\x%02x", c);
                out += cell;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

} // namespace kreg
