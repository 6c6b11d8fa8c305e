#include "platform/cp932.h"
#include "platform/registry.h"
#include "platform/windows_path.h"
#include "tools/reg/open_key.h"
#include "tools/reg/program_values.h"
#include "tools/reg/reg_commands.h"
#include "tools/reg/reg_reader.h"
#include "tools/terminal_text.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace kreg {
namespace {

// kestrel reads its texts into 1024-byte buffers.
constexpr size_t kMaxTextBytes = 1023;

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
    std::string text = tools::to_cp932(path.string(), "path");
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
                throw Refused(where(file, block.line) + "cannot delete key " + tools::to_utf8(full_key_name(target)));
            continue;
        }
        OpenKey open;
        if (reg::create_key(target.hive, target.subkey.c_str(), open.out()) != reg::Status::Ok)
            throw Refused(where(file, block.line) + "cannot create key " + tools::to_utf8(full_key_name(target)));
        for (const RegValue& value : block.values) {
            reg::Status status = value.remove
                                     ? reg::delete_value(open.get(), value.name.c_str())
                                     : reg::set_value(open.get(), value.name.c_str(), value.type, value.data.data(),
                                                      static_cast<uint32_t>(value.data.size()));
            if (status != reg::Status::Ok && !(value.remove && status == reg::Status::NotFound))
                throw Refused(where(file, value.line) + "cannot store value " + tools::to_utf8(value.name));
        }
    }
}

} // namespace

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
            replaced[i].data = checked_path(**given[i], program_path(i)->option, i == 1) + '\0';
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
                if (known && known->kind == ValueKind::Path && !value.remove && sz_text(value, text) &&
                    winpath::is_windows_path(text) && !*given[known - program_path(0)]) {
                    warnings.push_back(
                        where(shown, value.line) + known->name + " holds the Windows path " + tools::to_utf8(text) +
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

void run_import(const tools::Call& call)
{
    ImportOptions options;
    if (call.has("datafile"))
        options.datafile = call.option("datafile");
    if (call.has("cwdpath"))
        options.cwdpath = call.option("cwdpath");
    if (call.has("logname"))
        options.logname = call.option("logname");
    import_file(call.args[0], options, call.option("key", kDefaultKey), call.in, call.err);
}

} // namespace kreg
