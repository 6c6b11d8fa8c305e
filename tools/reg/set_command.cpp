#include "tools/reg/open_key.h"
#include "tools/reg/program_values.h"
#include "tools/reg/reg_commands.h"
#include "tools/terminal_text.h"

#include <cctype>
#include <charconv>
#include <cstdint>

namespace kreg {
namespace {

SetType parse_type(const std::string& text)
{
    if (text == "sz")
        return SetType::Sz;
    if (text == "binary")
        return SetType::Binary;
    if (text == "dword")
        return SetType::Dword;
    throw UsageError("unknown type '" + text + "' (sz, binary or dword)");
}

} // namespace

std::string set_data(SetType type, const std::string& text)
{
    switch (type) {
    case SetType::Sz:
        // The program stores text with its terminating zero byte.
        return tools::to_cp932(text, "text") + '\0';
    case SetType::Binary: {
        std::string digits;
        for (char c : text) {
            if (std::isxdigit(static_cast<unsigned char>(c)))
                digits += c;
            else if (c != ' ' && c != ',' && c != ':')
                throw UsageError("binary data must be hex digits: " + text);
        }
        if (digits.size() % 2 != 0)
            throw UsageError("binary data needs two hex digits per byte: " + text);
        std::string bytes;
        for (size_t i = 0; i < digits.size(); i += 2)
            bytes += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
        return bytes;
    }
    case SetType::Dword: {
        bool is_hex = text.starts_with("0x") || text.starts_with("0X");
        const char* first = text.data() + (is_hex ? 2 : 0);
        const char* last = text.data() + text.size();
        long long number = 0;
        auto [end, ec] = std::from_chars(first, last, number, is_hex ? 16 : 10);
        if (first == last || ec != std::errc() || end != last || number < INT32_MIN || number > UINT32_MAX)
            throw UsageError("dword data must be a 32-bit number: " + text);
        uint32_t value = static_cast<uint32_t>(number);
        std::string bytes;
        for (int i = 0; i < 4; ++i)
            bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
        return bytes;
    }
    }
    return {};
}

void set_value(const std::string& key, const std::string& name, const std::string& data, SetType type)
{
    KeyPath path = key_path(key);
    std::string stored_name = tools::to_cp932(name, "value name");
    std::string bytes = set_data(type, data);
    static const uint32_t types[] = {reg::REG_SZ, reg::REG_BINARY, reg::REG_DWORD};
    if (same_key(path, key_path(kDefaultKey))) {
        const std::string why = check_program_value({0, stored_name, false, types[static_cast<int>(type)], bytes});
        if (!why.empty())
            throw Refused(why);
    }
    OpenKey open;
    if (reg::create_key(path.hive, path.subkey.c_str(), open.out()) != reg::Status::Ok)
        throw Refused("cannot create key " + key);
    if (reg::set_value(open.get(), stored_name.c_str(), types[static_cast<int>(type)], bytes.data(),
                       static_cast<uint32_t>(bytes.size())) != reg::Status::Ok)
        throw Refused("cannot store value " + name + " in " + key);
}

void run_set(const tools::Call& call)
{
    set_value(call.option("key", kDefaultKey), call.args[0], call.args[1],
              call.has("type") ? parse_type(call.option("type")) : SetType::Sz);
}

} // namespace kreg
