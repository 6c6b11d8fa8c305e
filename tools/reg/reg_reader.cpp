#include "tools/reg/reg_reader.h"

#include "platform/cp932.h"
#include "platform/registry.h"
#include "tools/reg/cp932_carrier.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <strings.h>
#include <vector>

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

enum class Encoding { Utf16, Utf8, Cp932 };

// The file's lines one at a time, as UTF-8 with their line ends removed. Each
// line is decoded on its own, so that a bad byte is reported with its line
// number. A final line end leaves no empty last line.
class Lines
{
public:
    Lines(ByteSource& source, ReadError& error) : m_source(source), m_error(error), m_buffer(64 * 1024) {}

    // Finds the encoding and stands before the first line. A REGEDIT4 file
    // without a byte order mark is CP932, even where its bytes would also be
    // valid UTF-8; other files without one are UTF-8 when they can be.
    bool open()
    {
        if (!restart(0))
            return false;
        char start[3] = {};
        size_t got = 0;
        for (int c; got < sizeof start && (c = get()) >= 0;)
            start[got++] = static_cast<char>(c);
        const std::string_view head(start, got);
        size_t skip = 0;
        if (head.starts_with("\xFF\xFE")) {
            m_encoding = Encoding::Utf16;
            skip = 2;
        } else if (head.starts_with("\xFE\xFF")) {
            return fail(m_error, 1, "UTF-16 big-endian files are not supported");
        } else if (head.starts_with("\xEF\xBB\xBF")) {
            m_encoding = Encoding::Utf8;
            skip = 3;
        } else {
            if (!restart(0))
                return false;
            m_encoding = Encoding::Utf8;
            std::string raw;
            bool ended = false;
            bool first = true;
            while (take_raw(raw, ended)) {
                if ((first && raw.starts_with(kRegedit4Header)) || !cp932::is_utf8(raw)) {
                    m_encoding = Encoding::Cp932;
                    break;
                }
                first = false;
            }
            if (!m_error.message.empty())
                return false;
        }
        m_unit = m_encoding == Encoding::Utf16 ? 2 : 1;
        return restart(skip);
    }

    bool carried() const { return m_encoding == Encoding::Cp932; }
    // The number of the line that next() returned last.
    size_t number() const { return m_number; }
    // Whether that line had a line end (only the last line of a file can lack one).
    bool ended() const { return m_ended; }

    // The next line; false at the end of the file or on an error (then set).
    bool next(std::string& text)
    {
        std::string raw;
        if (!take_raw(raw, m_ended))
            return false;
        bool ok = m_encoding == Encoding::Utf16   ? raw.size() % 2 == 0 && cp932::utf16le_to_utf8(raw, text)
                  : m_encoding == Encoding::Cp932 ? carry_cp932(raw, text)
                                                  : cp932::is_utf8(raw) && (text.assign(raw), true);
        if (!ok) {
            if (m_encoding == Encoding::Utf16 && raw.size() % 2 != 0)
                return fail(m_error, 1, "UTF-16 file with an odd number of bytes");
            return fail(m_error, m_number,
                        m_encoding == Encoding::Utf16   ? "not UTF-16LE text"
                        : m_encoding == Encoding::Cp932 ? "not CP932 text"
                                                        : "not UTF-8 text");
        }
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        return true;
    }

private:
    // Next byte, -1 at the end (or on an error, then set).
    int get()
    {
        if (m_pos == m_end) {
            if (m_eof)
                return -1;
            const long n = m_source.read(m_buffer.data(), m_buffer.size());
            if (n <= 0) {
                m_eof = true;
                if (n < 0)
                    fail(m_error, m_number + 1, "cannot read the file");
                return -1;
            }
            m_pos = 0;
            m_end = static_cast<size_t>(n);
        }
        return static_cast<unsigned char>(m_buffer[m_pos++]);
    }

    bool restart(size_t skip)
    {
        m_pos = m_end = 0;
        m_eof = false;
        m_number = 0;
        m_done = false;
        if (!m_source.rewind())
            return fail(m_error, 1, "cannot read the file");
        for (size_t i = 0; i < skip; ++i)
            get();
        return true;
    }

    // The raw bytes of the next line, without its line end.
    bool take_raw(std::string& raw, bool& ended)
    {
        raw.clear();
        if (m_done)
            return false;
        for (;;) {
            const int c = get();
            if (c < 0)
                break;
            raw += static_cast<char>(c);
            if (m_unit == 1 && c == '\n') {
                raw.pop_back();
                ended = true;
                ++m_number;
                return true;
            }
            if (m_unit == 2 && raw.size() % 2 == 0 && c == 0 && raw[raw.size() - 2] == '\n') {
                raw.resize(raw.size() - 2);
                ended = true;
                ++m_number;
                return true;
            }
            if (raw.size() > kMaxLineBytes)
                return fail(m_error, m_number + 1, "line longer than 8 MiB: value data larger than 1 MiB");
        }
        m_done = true;
        if (!m_error.message.empty() || (raw.empty() && m_number > 0))
            return false;
        ended = false;
        ++m_number;
        return true;
    }

    ByteSource& m_source;
    ReadError& m_error;
    std::vector<char> m_buffer;
    size_t m_pos = 0;
    size_t m_end = 0;
    bool m_eof = false;
    bool m_done = false;
    Encoding m_encoding = Encoding::Utf8;
    size_t m_unit = 1;
    size_t m_number = 0;
    bool m_ended = true;
};

// Names and text of the file as the registry stores them (CP932).
bool to_stored(const Lines& lines, std::string_view text, std::string& out)
{
    return lines.carried() ? uncarry_cp932(text, out) : cp932::from_utf8(text, out);
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
// between them are skipped). A backslash on the last line means the file was
// cut off inside the value. At most `limit` bytes.
bool parse_hex_list(Lines& lines, std::string_view first, size_t limit, std::string& data, ReadError& error)
{
    const size_t line = lines.number();
    data.clear();
    std::string next;
    std::string_view part = first;
    while (true) {
        part = trim(part.substr(0, part.find(';')));
        bool more = part.ends_with('\\');
        if (more)
            part.remove_suffix(1);
        if (!parse_hex_part(part, lines.number(), data, error))
            return false;
        if (data.size() > limit)
            return fail(error, line, "value data larger than 1 MiB");
        if (!more)
            return true;
        bool got;
        while ((got = lines.next(next)) && trim(next).starts_with(';')) {
        }
        if (!got)
            return error.message.empty()
                       ? fail(error, line, "the file ends inside this value: a continuation line is missing")
                       : false;
        part = next;
    }
}

bool parse_key_line(const Lines& lines, std::string_view text, RegKey& key, ReadError& error)
{
    const size_t line = lines.number();
    size_t close = text.rfind(']');
    if (close == std::string_view::npos || !only_comment_left(text.substr(close + 1)))
        return fail(error, line, "key name without a closing ]");
    std::string_view name = text.substr(1, close - 1);
    key.line = static_cast<int>(line);
    key.remove = name.starts_with('-');
    if (key.remove)
        name.remove_prefix(1);
    if (name.empty())
        return fail(error, line, "empty key name");
    if (!to_stored(lines, name, key.path))
        return fail(error, line, "key name cannot be written in CP932");
    if (key.path.find('\0') != std::string::npos)
        return fail(error, line, "key name holds a NUL character");
    return true;
}

// Text of string types in hex(1), hex(2) and hex(7) data is UTF-16LE in
// Version 5 files and CP932 in REGEDIT4 files.
bool is_text_type(uint32_t type)
{
    return type == reg::REG_SZ || type == reg::REG_EXPAND_SZ || type == reg::REG_MULTI_SZ;
}

bool parse_value_line(Lines& lines, std::string_view text, RegFormat format, RegValue& value, ReadError& error)
{
    const size_t line = lines.number();
    value.line = static_cast<int>(line);
    size_t pos = 1;
    if (text.front() == '"') {
        std::string name;
        pos = 0;
        if (!read_quoted(text, pos, name))
            return fail(error, line, "value name without a closing quote");
        if (!to_stored(lines, name, value.name))
            return fail(error, line, "value name cannot be written in CP932");
        if (value.name.find('\0') != std::string::npos)
            return fail(error, line, "value name holds a NUL character");
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
        if (!to_stored(lines, data, value.data))
            return fail(error, line, "text cannot be written in CP932");
        if (value.data.size() >= reg::kMaxValueSize)
            return fail(error, line, "value data larger than 1 MiB");
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
    // UTF-16LE text takes up to twice its CP932 bytes.
    const bool utf16_text = format == RegFormat::Version5 && is_text_type(value.type);
    if (!parse_hex_list(lines, rest, utf16_text ? 2 * reg::kMaxValueSize : reg::kMaxValueSize, value.data, error))
        return false;
    if (utf16_text) {
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

// A file held in memory.
class MemorySource : public ByteSource
{
public:
    explicit MemorySource(std::string_view bytes) : m_bytes(bytes) {}
    long read(char* buffer, size_t size) override
    {
        const size_t n = std::min(size, m_bytes.size() - m_pos);
        std::memcpy(buffer, m_bytes.data() + m_pos, n);
        m_pos += n;
        return static_cast<long>(n);
    }
    bool rewind() override
    {
        m_pos = 0;
        return true;
    }

private:
    std::string_view m_bytes;
    size_t m_pos = 0;
};

// Collects a file into a document.
class Collector : public RegVisitor
{
public:
    explicit Collector(RegDocument& doc) : m_doc(doc) {}
    bool key(const RegKey& key, ReadError&) override
    {
        m_doc.keys.push_back(key);
        return true;
    }
    bool value(const RegValue& value, ReadError&) override
    {
        m_doc.keys.back().values.push_back(value);
        return true;
    }

private:
    RegDocument& m_doc;
};

} // namespace

bool read_reg_stream(ByteSource& source, RegVisitor& visitor, RegFormat& format, ReadError& error)
{
    error = ReadError{};
    Lines lines(source, error);
    std::string text;
    if (!lines.open() || !lines.next(text))
        return error.message.empty() ? fail(error, 1, "not a registry file") : false;
    std::string_view header = trim(text);
    if (header == kVersion5Header)
        format = RegFormat::Version5;
    else if (header == kRegedit4Header)
        format = RegFormat::Regedit4;
    else
        return fail(error, 1,
                    "not a registry file: the first line must be \"Windows Registry Editor Version 5.00\" "
                    "or \"REGEDIT4\"");

    bool in_key = false;
    while (lines.next(text)) {
        std::string_view line = trim(text);
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            RegKey key;
            if (!parse_key_line(lines, line, key, error) || !visitor.key(key, error))
                return false;
            in_key = true;
        } else if (line.front() == '"' || line.front() == '@') {
            if (!in_key)
                return fail(error, lines.number(), "value before the first key");
            RegValue value;
            if (!parse_value_line(lines, line, format, value, error))
                return false;
            // The registry editor ends every line; a value on an unended last
            // line may have lost its end (a cut-off file).
            if (!lines.ended())
                return fail(error, value.line, "the file ends inside this value: its last line has no line end");
            if (!visitor.value(value, error))
                return false;
        } else {
            return fail(error, lines.number(), "unrecognised line");
        }
    }
    return error.message.empty();
}

bool read_reg_file(std::string_view bytes, RegDocument& doc, ReadError& error)
{
    doc = RegDocument{};
    MemorySource source(bytes);
    Collector collector(doc);
    return read_reg_stream(source, collector, doc.format, error);
}

} // namespace kreg
