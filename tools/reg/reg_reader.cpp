#include "tools/reg/reg_reader.h"

#include "platform/cp932.h"
#include "platform/registry.h"
#include "tools/reg/cp932_carrier.h"

#include <charconv>
#include <strings.h>

namespace kreg {
namespace {

constexpr std::string_view kVersion5Header = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRegedit4Header = "REGEDIT4";

bool fail(ReadError& error, size_t line, std::string message)
{
    error.line = static_cast<int>(line);
    error.message = std::move(message);
    return false;
}

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool starts_with_nocase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

// What may follow a complete line: blanks and a comment.
bool only_comment_left(std::string_view rest)
{
    rest = trim(rest);
    return rest.empty() || rest.front() == ';';
}

// The file's lines as UTF-8, line ends removed.
struct Source
{
    std::vector<std::string> lines;
    bool carried = false;        // CP932 file: names and text are carried CP932 (cp932_carrier.h)
    bool last_line_ended = true; // false when the last line has no line end
};

// Names and text of the file as the registry stores them (CP932).
bool to_stored(const Source& source, std::string_view text, std::string& out)
{
    return source.carried ? uncarry_cp932(text, out) : cp932::from_utf8(text, out);
}

// Splits the file into UTF-8 lines (line ends removed), decoding each line on
// its own so that a bad byte is reported with its line number. A REGEDIT4
// file without a byte order mark is CP932, even where its bytes would also
// be valid UTF-8; other files without one are UTF-8 when they can be.
bool decode_lines(std::string_view bytes, Source& source, ReadError& error)
{
    std::vector<std::string>& lines = source.lines;
    enum class Encoding { Utf16, Utf8, Cp932 } encoding;
    if (bytes.starts_with("\xFF\xFE")) {
        encoding = Encoding::Utf16;
        bytes.remove_prefix(2);
    } else if (bytes.starts_with("\xFE\xFF")) {
        return fail(error, 1, "UTF-16 big-endian files are not supported");
    } else if (bytes.starts_with("\xEF\xBB\xBF")) {
        encoding = Encoding::Utf8;
        bytes.remove_prefix(3);
    } else {
        encoding = !bytes.starts_with(kRegedit4Header) && cp932::is_utf8(bytes) ? Encoding::Utf8 : Encoding::Cp932;
    }

    const size_t unit = encoding == Encoding::Utf16 ? 2 : 1;
    if (bytes.size() % unit != 0)
        return fail(error, 1, "UTF-16 file with an odd number of bytes");
    size_t start = 0;
    while (start <= bytes.size()) {
        size_t end = start;
        while (end < bytes.size() && !(bytes[end] == '\n' && (unit == 1 || bytes[end + 1] == '\0')))
            end += unit;
        std::string_view raw = bytes.substr(start, end - start);
        std::string text;
        bool ok = encoding == Encoding::Utf16   ? cp932::utf16le_to_utf8(raw, text)
                  : encoding == Encoding::Cp932 ? carry_cp932(raw, text)
                                                : cp932::is_utf8(raw) && (text.assign(raw), true);
        if (!ok)
            return fail(error, lines.size() + 1,
                        encoding == Encoding::Utf16   ? "not UTF-16LE text"
                        : encoding == Encoding::Cp932 ? "not CP932 text"
                                                      : "not UTF-8 text");
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        lines.push_back(std::move(text));
        start = end + unit;
    }
    // A final line end leaves an empty last piece: it is no line of the file.
    source.last_line_ended = lines.back().empty() && lines.size() > 1;
    if (source.last_line_ended)
        lines.pop_back();
    source.carried = encoding == Encoding::Cp932;
    return true;
}

// Reads a quoted text starting at text[pos] == '"', undoing the \\ and \"
// escapes; any other backslash is kept as it is. pos ends behind the quote.
bool read_quoted(std::string_view text, size_t& pos, std::string& out)
{
    out.clear();
    for (size_t i = pos + 1; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
            out += text[++i];
        } else if (text[i] == '"') {
            pos = i + 1;
            return true;
        } else {
            out += text[i];
        }
    }
    return false;
}

bool parse_hex_number(std::string_view digits, uint32_t& value)
{
    if (digits.empty() || digits.size() > 8)
        return false;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    return ec == std::errc() && end == digits.data() + digits.size();
}

// Adds the bytes of one line of a hex list. An empty item is allowed only at
// the end of the line: the registry editor ends each wrapped line with a comma.
bool parse_hex_part(std::string_view part, size_t line, std::string& data, ReadError& error)
{
    while (true) {
        size_t comma = part.find(',');
        std::string_view token = trim(part.substr(0, comma));
        if (comma == std::string_view::npos && token.empty())
            return true;
        uint32_t byte;
        if (token.size() > 2 || !parse_hex_number(token, byte))
            return fail(error, line, "bad byte \"" + std::string(token) + "\" in hex data");
        data += static_cast<char>(byte);
        if (comma == std::string_view::npos)
            return true;
        part.remove_prefix(comma + 1);
    }
}

// The byte list of hex: / hex(N): data, gathered across continuation lines
// (a line ending in a backslash goes on in the next one; comment lines
// between them are skipped). index moves to the last line used. A backslash
// on the last line means the file was cut off inside the value.
bool parse_hex_list(const std::vector<std::string>& lines, size_t& index, std::string_view first, std::string& data,
                    ReadError& error)
{
    const size_t line = index + 1;
    data.clear();
    std::string_view part = first;
    while (true) {
        part = trim(part.substr(0, part.find(';')));
        bool more = part.ends_with('\\');
        if (more)
            part.remove_suffix(1);
        if (!parse_hex_part(part, index + 1, data, error))
            return false;
        if (!more)
            return true;
        while (++index < lines.size() && trim(lines[index]).starts_with(';')) {
        }
        if (index >= lines.size())
            return fail(error, line, "the file ends inside this value: a continuation line is missing");
        part = lines[index];
    }
}

bool parse_key_line(const Source& source, std::string_view text, size_t index, RegKey& key, ReadError& error)
{
    size_t close = text.rfind(']');
    if (close == std::string_view::npos || !only_comment_left(text.substr(close + 1)))
        return fail(error, index + 1, "key name without a closing ]");
    std::string_view name = text.substr(1, close - 1);
    key.line = static_cast<int>(index + 1);
    key.remove = name.starts_with('-');
    if (key.remove)
        name.remove_prefix(1);
    if (name.empty())
        return fail(error, index + 1, "empty key name");
    if (!to_stored(source, name, key.path))
        return fail(error, index + 1, "key name cannot be written in CP932");
    return true;
}

// Text of string types in hex(1), hex(2) and hex(7) data is UTF-16LE in
// Version 5 files and CP932 in REGEDIT4 files.
bool is_text_type(uint32_t type)
{
    return type == reg::REG_SZ || type == reg::REG_EXPAND_SZ || type == reg::REG_MULTI_SZ;
}

bool parse_value_line(const Source& source, size_t& index, RegFormat format, RegValue& value, ReadError& error)
{
    const std::vector<std::string>& lines = source.lines;
    const size_t line = index + 1;
    std::string_view text = trim(lines[index]);
    value.line = static_cast<int>(line);
    size_t pos = 1;
    if (text.front() == '"') {
        std::string name;
        pos = 0;
        if (!read_quoted(text, pos, name))
            return fail(error, line, "value name without a closing quote");
        if (!to_stored(source, name, value.name))
            return fail(error, line, "value name cannot be written in CP932");
    }
    std::string_view rest = trim(text.substr(pos));
    if (!rest.starts_with('='))
        return fail(error, line, "missing = after the value name");
    rest = trim(rest.substr(1));

    if (rest.starts_with('-')) {
        value.remove = true;
        if (!only_comment_left(rest.substr(1)))
            return fail(error, line, "unexpected text after =-");
        return true;
    }
    if (rest.starts_with('"')) {
        std::string data;
        size_t end = 0;
        if (!read_quoted(rest, end, data))
            return fail(error, line, "text without a closing quote");
        if (!only_comment_left(rest.substr(end)))
            return fail(error, line, "unexpected text after the closing quote");
        if (!to_stored(source, data, value.data))
            return fail(error, line, "text cannot be written in CP932");
        // Stored as the program stores text: with its terminating zero byte.
        value.data += '\0';
        value.type = reg::REG_SZ;
        return true;
    }
    if (starts_with_nocase(rest, "dword:")) {
        std::string_view digits = rest.substr(6);
        size_t end = digits.find_first_of(" \t;");
        uint32_t number;
        if (!parse_hex_number(digits.substr(0, end), number) ||
            (end != std::string_view::npos && !only_comment_left(digits.substr(end))))
            return fail(error, line, "dword: needs 1 to 8 hex digits");
        value.type = reg::REG_DWORD;
        value.data.clear();
        for (int i = 0; i < 4; ++i)
            value.data += static_cast<char>((number >> (8 * i)) & 0xFF);
        return true;
    }
    if (starts_with_nocase(rest, "hex:")) {
        value.type = reg::REG_BINARY;
        rest.remove_prefix(4);
    } else if (starts_with_nocase(rest, "hex(")) {
        size_t close = rest.find("):");
        if (close == std::string_view::npos || !parse_hex_number(rest.substr(4, close - 4), value.type))
            return fail(error, line, "hex(N): needs a hex type number");
        rest.remove_prefix(close + 2);
    } else {
        return fail(error, line, "unrecognised value data");
    }
    if (!parse_hex_list(lines, index, rest, value.data, error))
        return false;
    if (format == RegFormat::Version5 && is_text_type(value.type)) {
        std::string text;
        if (!cp932::from_utf16le(value.data, text))
            return fail(error, line,
                        "text in hex(" + std::to_string(value.type) + ") data is not UTF-16LE that CP932 can hold");
        value.data = std::move(text);
    }
    if (value.data.size() > reg::kMaxValueSize)
        return fail(error, line, "value data larger than 1 MiB");
    return true;
}

} // namespace

bool read_reg_file(std::string_view bytes, RegDocument& doc, ReadError& error)
{
    Source source;
    if (!decode_lines(bytes, source, error))
        return false;
    const std::vector<std::string>& lines = source.lines;
    doc = RegDocument{};
    std::string_view header = trim(lines.front());
    if (header == kVersion5Header)
        doc.format = RegFormat::Version5;
    else if (header == kRegedit4Header)
        doc.format = RegFormat::Regedit4;
    else
        return fail(error, 1,
                    "not a registry file: the first line must be \"Windows Registry Editor Version 5.00\" "
                    "or \"REGEDIT4\"");

    for (size_t index = 1; index < lines.size(); ++index) {
        std::string_view text = trim(lines[index]);
        if (text.empty() || text.front() == ';' || text.front() == '#')
            continue;
        if (text.front() == '[') {
            RegKey key;
            if (!parse_key_line(source, text, index, key, error))
                return false;
            doc.keys.push_back(std::move(key));
        } else if (text.front() == '"' || text.front() == '@') {
            if (doc.keys.empty())
                return fail(error, index + 1, "value before the first key");
            RegValue value;
            if (!parse_value_line(source, index, doc.format, value, error))
                return false;
            // The registry editor ends every line; a value on an unended last
            // line may have lost its end (a cut-off file).
            if (index + 1 == lines.size() && !source.last_line_ended)
                return fail(error, value.line, "the file ends inside this value: its last line has no line end");
            doc.keys.back().values.push_back(std::move(value));
        } else {
            return fail(error, index + 1, "unrecognised line");
        }
    }
    return true;
}

} // namespace kreg
