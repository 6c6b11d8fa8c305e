#include "tools/commands.h"

#include "platform/cp932.h"
#include "platform/registry.h"
#include "tools/key_path.h"
#include "tools/reg_reader.h"
#include "tools/reg_writer.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace kreg {
namespace {

// The program keeps the record file path here, read into 1024 bytes.
constexpr const char* kDatafileValue = "kest_datafile";
constexpr size_t kMaxDatafileBytes = 1023;

class OpenKey
{
public:
    ~OpenKey()
    {
        if (m_key)
            reg::close_key(m_key);
    }
    reg::KeyHandle* out() { return &m_key; }
    reg::KeyHandle get() const { return m_key; }

private:
    reg::KeyHandle m_key = nullptr;
};

std::string to_cp932(const std::string& utf8, const char* what)
{
    std::string text;
    if (!cp932::from_utf8(utf8, text))
        throw Refused(std::string(what) + " cannot be written in CP932: " + utf8);
    return text;
}

std::string to_utf8(const std::string& text)
{
    std::string utf8;
    return cp932::to_utf8(text, utf8) ? utf8 : text;
}

KeyPath key_path(const std::string& key)
{
    KeyPath path;
    std::string why;
    if (!parse_key_path(to_cp932(key, "key name"), path, why))
        throw UsageError("bad key name " + key + ": " + why);
    return path;
}

bool read_value(reg::KeyHandle key, const std::string& name, uint32_t& type, std::string& data)
{
    data.assign(reg::kMaxValueSize, '\0');
    uint32_t size = reg::kMaxValueSize;
    if (reg::query_value(key, name.c_str(), &type, data.data(), &size) != reg::Status::Ok)
        return false;
    data.resize(size);
    return true;
}

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

void collect(const KeyPath& key, RegDocument& doc)
{
    RegKey block;
    block.path = full_key_name(key);
    std::vector<std::string> subkeys;
    {
        OpenKey open;
        if (reg::open_key(key.hive, key.subkey.c_str(), open.out()) != reg::Status::Ok)
            throw Refused("no key " + to_utf8(block.path));
        for (const std::string& name : reg::value_names(open.get())) {
            RegValue value;
            value.name = name;
            if (read_value(open.get(), name, value.type, value.data))
                block.values.push_back(std::move(value));
        }
        subkeys = reg::subkey_names(open.get());
    }
    doc.keys.push_back(std::move(block));
    for (const std::string& name : subkeys)
        collect({key.hive, key.subkey.empty() ? name : key.subkey + '\\' + name}, doc);
}

std::string read_whole_file(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw Refused("cannot read " + file + ": " + std::strerror(errno));
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "file:line: " for messages about a line of an imported file.
std::string where(const std::string& file, int line)
{
    return line > 0 ? file + ":" + std::to_string(line) + ": " : std::string();
}

void apply(const RegDocument& doc, const std::vector<KeyPath>& targets, const std::string& file)
{
    for (size_t i = 0; i < doc.keys.size(); ++i) {
        const RegKey& block = doc.keys[i];
        const KeyPath& target = targets[i];
        if (block.remove) {
            reg::Status status = reg::delete_key_tree(target.hive, target.subkey.c_str());
            if (status != reg::Status::Ok && status != reg::Status::NotFound)
                throw Refused(where(file, block.line) + "cannot delete key " + to_utf8(full_key_name(target)));
            continue;
        }
        OpenKey open;
        if (reg::create_key(target.hive, target.subkey.c_str(), open.out()) != reg::Status::Ok)
            throw Refused(where(file, block.line) + "cannot create key " + to_utf8(full_key_name(target)));
        for (const RegValue& value : block.values) {
            reg::Status status = value.remove
                                     ? reg::delete_value(open.get(), value.name.c_str())
                                     : reg::set_value(open.get(), value.name.c_str(), value.type, value.data.data(),
                                                      static_cast<uint32_t>(value.data.size()));
            if (status != reg::Status::Ok && !(value.remove && status == reg::Status::NotFound))
                throw Refused(where(file, value.line) + "cannot store value " + to_utf8(value.name));
        }
    }
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
        return std::to_string(number);
    }
    return hex(data);
}

std::string set_data(SetType type, const std::string& text)
{
    switch (type) {
    case SetType::Sz:
        // The program stores text with its terminating zero byte.
        return to_cp932(text, "text") + '\0';
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

void list_values(const std::string& key, std::ostream& out)
{
    KeyPath path = key_path(key);
    OpenKey open;
    if (reg::open_key(path.hive, path.subkey.c_str(), open.out()) != reg::Status::Ok)
        throw Refused("no key " + key);
    for (const std::string& name : reg::value_names(open.get())) {
        uint32_t type;
        std::string data;
        if (read_value(open.get(), name, type, data))
            out << (name.empty() ? "@" : to_utf8(name)) << '\t' << type_name(type) << '\t' << data_text(type, data)
                << '\n';
    }
}

void get_value(const std::string& key, const std::string& name, std::ostream& out)
{
    KeyPath path = key_path(key);
    std::string stored_name = to_cp932(name, "value name");
    OpenKey open;
    if (reg::open_key(path.hive, path.subkey.c_str(), open.out()) != reg::Status::Ok)
        throw Refused("no key " + key);
    uint32_t type;
    std::string data;
    if (!read_value(open.get(), stored_name, type, data))
        throw Refused("no value " + name + " in " + key);
    out << data_text(type, data) << '\n';
}

void set_value(const std::string& key, const std::string& name, const std::string& data, SetType type)
{
    KeyPath path = key_path(key);
    std::string stored_name = to_cp932(name, "value name");
    std::string bytes = set_data(type, data);
    static const uint32_t types[] = {reg::REG_SZ, reg::REG_BINARY, reg::REG_DWORD};
    OpenKey open;
    if (reg::create_key(path.hive, path.subkey.c_str(), open.out()) != reg::Status::Ok)
        throw Refused("cannot create key " + key);
    if (reg::set_value(open.get(), stored_name.c_str(), types[static_cast<int>(type)], bytes.data(),
                       static_cast<uint32_t>(bytes.size())) != reg::Status::Ok)
        throw Refused("cannot store value " + name + " in " + key);
}

void delete_value(const std::string& key, const std::string& name)
{
    KeyPath path = key_path(key);
    std::string stored_name = to_cp932(name, "value name");
    OpenKey open;
    if (reg::open_key(path.hive, path.subkey.c_str(), open.out()) != reg::Status::Ok)
        throw Refused("no key " + key);
    reg::Status status = reg::delete_value(open.get(), stored_name.c_str());
    if (status == reg::Status::NotFound)
        throw Refused("no value " + name + " in " + key);
    if (status != reg::Status::Ok)
        throw Refused("cannot delete value " + name + " in " + key);
}

RegDocument export_document(const std::string& key, RegFormat format)
{
    RegDocument doc;
    doc.format = format;
    collect(key_path(key), doc);
    return doc;
}

void export_key(const std::string& key, RegFormat format, const std::string& file, std::ostream& out)
{
    std::string bytes, error;
    if (!write_reg_file(export_document(key, format), bytes, error))
        throw Refused("cannot export " + key + ": " + error);
    if (file.empty() || file == "-") {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return;
    }
    std::ofstream stream(file, std::ios::binary | std::ios::trunc);
    if (stream)
        stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!stream || !stream.flush())
        throw Refused("cannot write " + file + ": " + std::strerror(errno));
}

void import_file(const std::string& file, const std::optional<std::string>& datafile, const std::string& key)
{
    KeyPath datafile_key = key_path(key);
    std::string datafile_path;
    if (datafile) {
        datafile_path = to_cp932(std::filesystem::absolute(*datafile).lexically_normal().string(), "record file path");
        if (datafile_path.size() > kMaxDatafileBytes)
            throw Refused("record file path longer than 1023 bytes: " + *datafile);
    }

    RegDocument doc;
    ReadError error;
    if (!read_reg_file(read_whole_file(file), doc, error))
        throw Refused(where(file, error.line) + error.message);
    std::vector<KeyPath> targets;
    for (const RegKey& block : doc.keys) {
        KeyPath target;
        std::string why;
        if (!map_imported_key(block.path, target, why))
            throw Refused(where(file, block.line) + why);
        if (block.remove && target.subkey.empty())
            throw Refused(where(file, block.line) + "will not delete a whole root key");
        targets.push_back(std::move(target));
    }

    apply(doc, targets, file);
    if (datafile) {
        RegDocument setting;
        setting.keys.push_back(
            {0, full_key_name(datafile_key), false, {{0, kDatafileValue, false, reg::REG_SZ, datafile_path + '\0'}}});
        apply(setting, {datafile_key}, file);
    }
}

} // namespace kreg
