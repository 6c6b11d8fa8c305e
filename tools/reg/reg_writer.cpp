#include "tools/reg/reg_writer.h"

#include "platform/cp932.h"
#include "platform/registry.h"
#include "tools/reg/cp932_carrier.h"

#include <cstdio>

namespace kreg {
namespace {

// Hex lists break once a line reaches this many characters, before the
// backslash; continuation lines start with two blanks and hold 25 bytes.
constexpr size_t kHexWrapColumn = 77;

std::string escaped(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out;
}

// CP932 text as the file's UTF-8 text: carried in a REGEDIT4 file, which is
// written back to CP932 byte for byte; converted in a Version 5 file, whose
// UTF-16LE cannot keep the second form of CP932's duplicate characters, so
// text holding one is refused rather than changed.
bool file_text(RegFormat format, std::string_view cp932_text, std::string& utf8)
{
    if (format == RegFormat::Regedit4)
        return carry_cp932(cp932_text, utf8);
    std::string back;
    return cp932::to_utf8(cp932_text, utf8) && cp932::from_utf8(utf8, back) && back == cp932_text;
}

std::string shown_name(const RegValue& value)
{
    std::string name = "@";
    if (!value.name.empty())
        cp932::to_utf8(value.name, name);
    return name;
}

size_t characters(std::string_view utf8)
{
    size_t count = 0;
    for (unsigned char c : utf8)
        count += (c & 0xC0) != 0x80;
    return count;
}

// A REG_SZ value that reads back identically from "name"="text": CP932 text
// with one terminating zero and no line breaks.
bool as_quoted_text(const RegValue& value, RegFormat format, std::string& utf8)
{
    const std::string& data = value.data;
    if (value.type != reg::REG_SZ || data.empty() || data.back() != '\0')
        return false;
    std::string_view text(data.data(), data.size() - 1);
    if (text.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos)
        return false;
    return file_text(format, text, utf8);
}

void append_hex_list(std::string& out, std::string_view prefix, std::string_view bytes)
{
    out += prefix;
    size_t column = characters(prefix);
    for (size_t i = 0; i < bytes.size(); ++i) {
        char cell[3];
        std::snprintf(cell, sizeof cell, "%02x", static_cast<unsigned char>(bytes[i]));
        out += cell;
        if (i + 1 == bytes.size())
            break;
        out += ',';
        column += 3;
        if (column >= kHexWrapColumn) {
            out += "\\\r\n  ";
            column = 2;
        }
    }
    out += "\r\n";
}

bool append_value(std::string& out, const RegValue& value, RegFormat format, std::string& error)
{
    std::string line;
    if (value.name.empty()) {
        line = "@=";
    } else {
        std::string name;
        if (!file_text(format, value.name, name)) {
            error = cp932::to_utf8(value.name, name)
                        ? "value name \"" + name + "\" cannot be kept exactly in a Version 5.00 file (use REGEDIT4)"
                        : "a value name is not CP932 text";
            return false;
        }
        line = "\"" + escaped(name) + "\"=";
    }
    if (value.remove) {
        out += line + "-\r\n";
        return true;
    }

    std::string text;
    if (as_quoted_text(value, format, text)) {
        out += line + "\"" + escaped(text) + "\"\r\n";
        return true;
    }
    if (value.type == reg::REG_DWORD && value.data.size() == 4) {
        uint32_t number = 0;
        for (int i = 3; i >= 0; --i)
            number = (number << 8) | static_cast<unsigned char>(value.data[i]);
        char digits[9];
        std::snprintf(digits, sizeof digits, "%08x", number);
        out += line + "dword:" + digits + "\r\n";
        return true;
    }

    std::string bytes = value.data;
    const bool text_type =
        value.type == reg::REG_SZ || value.type == reg::REG_EXPAND_SZ || value.type == reg::REG_MULTI_SZ;
    if (format == RegFormat::Version5 && text_type) {
        std::string back;
        if (!cp932::to_utf16le(value.data, bytes)) {
            error = "value \"" + shown_name(value) + "\" holds bytes that are not CP932 text";
            return false;
        }
        if (!cp932::from_utf16le(bytes, back) || back != value.data) {
            error = "value \"" + shown_name(value) +
                    "\" holds CP932 characters that a Version 5.00 file cannot keep exactly (use REGEDIT4)";
            return false;
        }
    }
    if (value.type == reg::REG_BINARY) {
        line += "hex:";
    } else {
        char type[16];
        std::snprintf(type, sizeof type, "hex(%x):", value.type);
        line += type;
    }
    append_hex_list(out, line, bytes);
    return true;
}

} // namespace

bool write_reg_file(const RegDocument& doc, std::string& out, std::string& error)
{
    std::string text =
        doc.format == RegFormat::Version5 ? "Windows Registry Editor Version 5.00\r\n\r\n" : "REGEDIT4\r\n\r\n";
    for (const RegKey& key : doc.keys) {
        std::string path;
        if (!file_text(doc.format, key.path, path)) {
            error = cp932::to_utf8(key.path, path)
                        ? "key name " + path + " cannot be kept exactly in a Version 5.00 file (use REGEDIT4)"
                        : "a key name is not CP932 text";
            return false;
        }
        text += (key.remove ? "[-" : "[") + path + "]\r\n";
        for (const RegValue& value : key.values) {
            if (!append_value(text, value, doc.format, error))
                return false;
        }
        text += "\r\n";
    }

    if (doc.format == RegFormat::Version5) {
        out = "\xFF\xFE";
        std::string utf16;
        cp932::utf8_to_utf16le(text, utf16);
        out += utf16;
        return true;
    }
    // Every name and text was carried from CP932, so it goes back unchanged.
    if (!uncarry_cp932(text, out)) {
        error = "the file cannot be written in CP932";
        return false;
    }
    return true;
}

} // namespace kreg
