#include "tools/commands.h"

#include "platform/atomic_file.h"
#include "platform/cp932.h"
#include "platform/registry.h"
#include "platform/windows_path.h"
#include "tools/key_path.h"
#include "tools/reg_reader.h"
#include "tools/reg_writer.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kreg {
namespace {

// kestrel reads its texts into 1024-byte buffers.
constexpr size_t kMaxTextBytes = 1023;
constexpr size_t kPasswordBytes = 1024;

// The values of kestrel's key whose type and size kestrel relies on.
enum class Kind { Path, Row, Password };
struct ProgramValue
{
    const char* name;
    Kind kind;
    const char* option; // the import option that replaces a path
};
// The paths come first, in the order of ImportOptions.
constexpr ProgramValue kProgramValues[] = {
    {"kest_datafile", Kind::Path, "--datafile"}, {"kest_cwdpath", Kind::Path, "--cwdpath"},
    {"log_name", Kind::Path, "--logname"},       {"kest_kindcsl", Kind::Row, nullptr},
    {"kest_passwrd", Kind::Password, nullptr},
};

const ProgramValue* program_value(const std::string& name)
{
    for (const ProgramValue& value : kProgramValues) {
        if (strcasecmp(value.name, name.c_str()) == 0)
            return &value;
    }
    return nullptr;
}

// The text of a REG_SZ value with one terminating zero and none inside.
bool sz_text(const RegValue& value, std::string& text)
{
    if (value.type != reg::REG_SZ || value.data.empty() || value.data.back() != '\0')
        return false;
    text = value.data.substr(0, value.data.size() - 1);
    return text.find('\0') == std::string::npos;
}

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

std::string read_all(std::istream& in)
{
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string read_whole_file(const std::string& file, std::istream& standard_input)
{
    if (file == "-")
        return read_all(standard_input);
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw Refused("cannot read " + file + ": " + std::strerror(errno));
    return read_all(in);
}

// Replaces file with bytes through a temporary file in the same folder,
// synced before the rename: the target is the old file or the new one.
void write_atomically(const std::string& file, const std::string& bytes)
{
    if (!atomic_file::replace(file, file + ".XXXXXX", {bytes}))
        throw Refused("cannot write " + file + ": " + std::strerror(errno));
}

bool same_key(const KeyPath& a, const KeyPath& b)
{
    return a.hive == b.hive && strcasecmp(a.subkey.c_str(), b.subkey.c_str()) == 0;
}

// A path given to import for a file: made absolute, an existing regular file
// or a new one in an existing folder, CP932 of at most 1023 bytes.
std::string checked_path(const std::string& given, const char* option, bool folder)
{
    namespace fs = std::filesystem;
    if (winpath::is_windows_path(given))
        throw Refused(std::string(option) + " " + given + " is a Windows path: give the path on this machine");
    const fs::path path = fs::absolute(given).lexically_normal();
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (folder) {
        if (!fs::is_directory(status))
            throw Refused(std::string(option) + " " + given + " is not a folder");
    } else if (fs::exists(status)) {
        if (!fs::is_regular_file(status))
            throw Refused(std::string(option) + " " + given + " is not a regular file");
    } else if (!fs::is_directory(path.parent_path(), ec)) {
        throw Refused(std::string(option) + " " + given + ": the folder " + path.parent_path().string() +
                      " does not exist");
    }
    std::string text = to_cp932(path.string(), "path");
    if (text.size() > kMaxTextBytes)
        throw Refused(std::string(option) + " " + given + ": path longer than 1023 bytes");
    return text;
}

// A record file copied from elsewhere may be readable by others; it holds secrets.
void make_private(const std::string& given, std::ostream& err)
{
    struct stat info;
    if (stat(given.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || (info.st_mode & (S_IRWXG | S_IRWXO)) == 0)
        return;
    if (chmod(given.c_str(), S_IRUSR | S_IWUSR) != 0)
        throw Refused("cannot make " + given + " private: " + std::strerror(errno));
    err << "kestrel-reg: " << given << " could be read by others; it is now readable by its owner only (0600)\n";
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

std::string check_program_value(const RegValue& value)
{
    const ProgramValue* known = program_value(value.name);
    if (!known || value.remove)
        return {};
    std::string text;
    switch (known->kind) {
    case Kind::Path:
        if (!sz_text(value, text) || text.size() > kMaxTextBytes)
            return std::string(known->name) + " must be REG_SZ text of at most 1023 bytes";
        break;
    case Kind::Row:
        if (!sz_text(value, text) || text.empty() || text == "-" ||
            text.find_first_not_of("0123456789", text.starts_with('-') ? 1 : 0) != std::string::npos)
            return std::string(known->name) + " must be REG_SZ digits (a category row such as \"0\" or \"-1\")";
        break;
    case Kind::Password:
        if (value.type != reg::REG_BINARY || value.data.size() != kPasswordBytes)
            return std::string(known->name) + " must be 1024 bytes of REG_BINARY (the scrambled password)";
        break;
    }
    return {};
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
            out << (name.empty() ? "@" : escaped_field(to_utf8(name))) << '\t' << type_name(type) << '\t'
                << escaped_field(data_text(type, data)) << '\n';
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
    write_atomically(file, bytes);
}

void import_file(const std::string& file, const ImportOptions& options, const std::string& key, std::istream& in,
                 std::ostream& err)
{
    const KeyPath program_key = key_path(key);
    RegValue replaced[] = {{0, "kest_datafile", false, reg::REG_SZ, {}},
                           {0, "kest_cwdpath", false, reg::REG_SZ, {}},
                           {0, "log_name", false, reg::REG_SZ, {}}};
    const std::optional<std::string>* given[] = {&options.datafile, &options.cwdpath, &options.logname};
    RegKey setting{0, full_key_name(program_key), false, {}};
    for (size_t i = 0; i < std::size(replaced); ++i) {
        if (*given[i]) {
            replaced[i].data = checked_path(**given[i], program_value(replaced[i].name)->option, i == 1) + '\0';
            setting.values.push_back(replaced[i]);
        }
    }

    const std::string shown = file == "-" ? "(standard input)" : file;
    RegDocument doc;
    ReadError error;
    if (!read_reg_file(read_whole_file(file, in), doc, error))
        throw Refused(where(shown, error.line) + error.message);
    std::vector<KeyPath> targets;
    std::vector<std::string> warnings;
    for (const RegKey& block : doc.keys) {
        KeyPath target;
        std::string why;
        if (!map_imported_key(block.path, target, why))
            throw Refused(where(shown, block.line) + why);
        if (block.remove && target.subkey.empty())
            throw Refused(where(shown, block.line) + "will not delete a whole root key");
        if (same_key(target, program_key)) {
            for (const RegValue& value : block.values) {
                why = check_program_value(value);
                if (!why.empty())
                    throw Refused(where(shown, value.line) + why);
                const ProgramValue* known = program_value(value.name);
                std::string text;
                if (known && known->kind == Kind::Path && !value.remove && sz_text(value, text) &&
                    winpath::is_windows_path(text) && !*given[known - kProgramValues]) {
                    warnings.push_back(
                        where(shown, value.line) + known->name + " holds the Windows path " + to_utf8(text) +
                        ", which kestrel cannot use: give the path on this machine with " + known->option + " PATH");
                }
            }
        }
        targets.push_back(std::move(target));
    }
    if (!setting.values.empty()) {
        doc.keys.push_back(std::move(setting));
        targets.push_back(program_key);
    }

    if (options.datafile)
        make_private(*options.datafile, err);
    apply(doc, targets, shown);
    for (const std::string& warning : warnings)
        err << "kestrel-reg: warning: " << warning << '\n';
}

} // namespace kreg
