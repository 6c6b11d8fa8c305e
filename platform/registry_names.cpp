#include "platform/registry_names.h"

#include "platform/cp932.h"

#include <algorithm>
#include <climits>

namespace reg::detail {
namespace {

constexpr size_t kMaxKeyName = 255;

char ascii_lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool same_name(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

bool less_name(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(ascii_lower(x)) < static_cast<unsigned char>(ascii_lower(y));
    });
}

std::string escape(std::string_view name)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(name[i]);
        if (b < 0x20 || b >= 0x7F || b == '/' || b == '%' || b == '=' || (i == 0 && b == '.')) {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 0xF];
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

// Undoes escape(); nullopt for a name that escape() cannot have produced.
std::optional<std::string> unescape(std::string_view file)
{
    std::string out;
    for (size_t i = 0; i < file.size(); ++i) {
        if (file[i] != '%') {
            out += file[i];
            continue;
        }
        if (i + 2 >= file.size())
            return std::nullopt;
        int hi = hex_digit(file[i + 1]);
        int lo = hex_digit(file[i + 2]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out;
}

std::string value_file(std::string_view name)
{
    std::string file = "=";
    file += escape(name);
    return file;
}

// Escaped names keep ASCII letters as they are, so a case-insensitive match
// of the escaped forms is a case-insensitive match of the names.
Status key_element(std::string_view name, std::string& file)
{
    if (name.empty() || name.size() > kMaxKeyName)
        return Status::InvalidName;
    file = escape(name);
    if (file.size() > NAME_MAX)
        return Status::InvalidName;
    return Status::Ok;
}

// Splits a key path at backslashes, but not at a backslash that is the
// second byte of a double-byte character.
Status split_subkey(const char* subkey, std::vector<std::string>& parts)
{
    parts.clear();
    if (!subkey || !*subkey)
        return Status::Ok;
    std::string current;
    for (const char* p = subkey; *p; ++p) {
        if (cp932::is_lead_byte(static_cast<unsigned char>(*p)) && p[1]) {
            current += p[0];
            current += p[1];
            ++p;
        } else if (*p == '\\') {
            parts.push_back(current);
            current.clear();
        } else {
            current += *p;
        }
    }
    parts.push_back(current);
    for (auto& part : parts) {
        std::string file;
        if (Status s = key_element(part, file); s != Status::Ok)
            return s;
        part = file;
    }
    return Status::Ok;
}

Status value_name_file(const char* name, std::string& file)
{
    file = value_file(name ? name : "");
    return file.size() > NAME_MAX ? Status::InvalidName : Status::Ok;
}

Status value_write_file(KeyHandle key, const char* name, const void* data, uint32_t size, std::string& file)
{
    if (!key || (!data && size > 0))
        return Status::InvalidName;
    if (size > kMaxValueSize)
        return Status::IoError;
    return value_name_file(name, file);
}

} // namespace reg::detail
