#include "platform/registry.h"
#include "platform/windows_path.h"
#include "tools/reg/open_key.h"
#include "tools/reg/program_values.h"
#include "tools/reg/reg_commands.h"
#include "tools/reg/reg_reader.h"
#include "tools/terminal_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kreg {
namespace {

// kestrel reads its texts into 1024-byte buffers.
constexpr size_t kMaxTextBytes = 1023;

// The .reg file, read once to check it and once to store it: a file as it
// is, standard input kept in an unnamed temporary file.
class ImportSource : public ByteSource
{
public:
    ImportSource(const std::string& file, std::istream& standard_input)
    {
        if (file != "-") {
            m_fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
            if (m_fd < 0)
                throw Refused("cannot read " + file + ": " + std::strerror(errno));
            return;
        }
        m_spool = std::tmpfile();
        m_fd = m_spool ? fileno(m_spool) : -1;
        if (m_fd < 0)
            throw Refused(std::string("cannot keep standard input in a temporary file: ") + std::strerror(errno));
        std::vector<char> buffer(64 * 1024);
        while (standard_input.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) ||
               standard_input.gcount() > 0) {
            const char* data = buffer.data();
            size_t size = static_cast<size_t>(standard_input.gcount());
            while (size > 0) {
                const ssize_t n = write(m_fd, data, size);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    throw Refused(std::string("cannot keep standard input in a temporary file: ") +
                                  std::strerror(errno));
                data += n;
                size -= static_cast<size_t>(n);
            }
        }
    }
    ~ImportSource() override
    {
        if (m_spool)
            std::fclose(m_spool);
        else if (m_fd >= 0)
            close(m_fd);
    }
    ImportSource(const ImportSource&) = delete;
    ImportSource& operator=(const ImportSource&) = delete;

    long read(char* buffer, size_t size) override
    {
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, size);
            if (n >= 0 || errno != EINTR)
                return static_cast<long>(n);
        }
    }
    bool rewind() override { return lseek(m_fd, 0, SEEK_SET) == 0; }

private:
    std::FILE* m_spool = nullptr; // standard input, kept in an unnamed temporary file
    int m_fd = -1;
};

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

bool refuse(ReadError& error, int line, std::string message)
{
    error.line = line;
    error.message = std::move(message);
    return false;
}

// The first pass: every key and value is checked as it will be stored;
// nothing is stored. Keeps only the warnings about Windows paths (the last
// one of each value, which is the one stored).
class Checker : public RegVisitor
{
public:
    Checker(const KeyPath& program, const ImportOptions& options) : m_program(program), m_options(options) {}

    bool key(const RegKey& block, ReadError& error) override
    {
        KeyPath target;
        std::string why;
        if (!map_imported_key(block.path, target, why))
            return refuse(error, block.line, why);
        if (block.remove && target.subkey.empty())
            return refuse(error, block.line, "will not delete a whole root key");
        if (!reg::key_fits(target.hive, target.subkey.c_str()))
            return refuse(error, block.line, "key deeper than 512 levels, or its path too long for this system");
        m_in_program = !block.remove && same_key(target, m_program);
        m_in_removed = block.remove;
        return true;
    }

    bool value(const RegValue& value, ReadError& error) override
    {
        if (m_in_removed)
            return true; // values under [-key] are not stored
        if (!reg::value_name_fits(value.name.c_str()))
            return refuse(error, value.line, "value name too long to be stored");
        if (!m_in_program)
            return true;
        if (std::string why = check_program_value(value); !why.empty())
            return refuse(error, value.line, why);
        const ProgramValue* known = program_value(value.name);
        if (!known || known->kind != ValueKind::Path)
            return true;
        const std::optional<std::string>* given[] = {&m_options.datafile, &m_options.cwdpath, &m_options.logname};
        size_t index = 0;
        while (program_path(index) != known)
            ++index;
        std::string text;
        m_warnings.erase(known->name);
        if (!value.remove && sz_text(value, text) && winpath::is_windows_path(text) && !*given[index])
            m_warnings[known->name] = {value.line, std::string(known->name) + " holds the Windows path " +
                                                       tools::to_utf8(text) +
                                                       ", which kestrel cannot use: give the path on this "
                                                       "machine with " +
                                                       known->option + " PATH"};
        return true;
    }

    // The warnings in the order of their lines.
    std::vector<std::pair<int, std::string>> warnings() const
    {
        std::vector<std::pair<int, std::string>> sorted;
        for (const auto& [name, warning] : m_warnings)
            sorted.push_back(warning);
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }

private:
    const KeyPath& m_program;
    const ImportOptions& m_options;
    bool m_in_program = false;
    bool m_in_removed = false;
    std::map<std::string, std::pair<int, std::string>> m_warnings;
};

// The second pass: each key and value stored as the file gives them.
class Applier : public RegVisitor
{
public:
    explicit Applier(reg::ValueBatch& batch) : m_batch(batch) {}

    bool key(const RegKey& block, ReadError& error) override
    {
        m_key.reset();
        KeyPath target;
        std::string why;
        map_imported_key(block.path, target, why);
        if (block.remove) {
            const reg::Status status = m_batch.remove_tree(target.hive, target.subkey.c_str());
            if (status != reg::Status::Ok && status != reg::Status::NotFound)
                return refuse(error, block.line, "cannot delete key " + tools::to_utf8(full_key_name(target)));
            return true;
        }
        m_key = std::make_unique<OpenKey>();
        if (reg::create_key(target.hive, target.subkey.c_str(), m_key->out()) != reg::Status::Ok)
            return refuse(error, block.line, "cannot create key " + tools::to_utf8(full_key_name(target)));
        return true;
    }

    bool value(const RegValue& value, ReadError& error) override
    {
        if (!m_key)
            return true; // under [-key]
        const reg::Status status = value.remove
                                       ? m_batch.remove(m_key->get(), value.name.c_str())
                                       : m_batch.set(m_key->get(), value.name.c_str(), value.type, value.data.data(),
                                                     static_cast<uint32_t>(value.data.size()));
        if (status != reg::Status::Ok && !(value.remove && status == reg::Status::NotFound))
            return refuse(error, value.line, "cannot store value " + tools::to_utf8(value.name));
        return true;
    }

private:
    reg::ValueBatch& m_batch;
    std::unique_ptr<OpenKey> m_key;
};

} // namespace

void import_file(const std::string& file, const ImportOptions& options, const std::string& key, std::istream& in,
                 std::ostream& err)
{
    const KeyPath program_key = key_path(key);
    std::vector<RegValue> replaced;
    const std::optional<std::string>* given[] = {&options.datafile, &options.cwdpath, &options.logname};
    for (size_t i = 0; i < std::size(given); ++i) {
        if (*given[i])
            replaced.push_back({0, program_path(i)->name, false, reg::REG_SZ,
                                checked_path(**given[i], program_path(i)->option, i == 1) + '\0'});
    }

    const std::string shown = file == "-" ? "(standard input)" : file;
    ImportSource source(file, in);
    RegFormat format;
    ReadError error;
    Checker checker(program_key, options);
    if (!read_reg_stream(source, checker, format, error))
        throw Refused(where(shown, error.line) + error.message);

    if (options.datafile)
        make_private(*options.datafile, err);
    reg::ValueBatch batch;
    Applier applier(batch);
    if (!read_reg_stream(source, applier, format, error))
        throw Refused(where(shown, error.line) + error.message);
    if (!replaced.empty()) {
        OpenKey open;
        if (reg::create_key(program_key.hive, program_key.subkey.c_str(), open.out()) != reg::Status::Ok)
            throw Refused("cannot create key " + key);
        for (const RegValue& value : replaced) {
            if (batch.set(open.get(), value.name.c_str(), value.type, value.data.data(),
                          static_cast<uint32_t>(value.data.size())) != reg::Status::Ok)
                throw Refused("cannot store value " + value.name);
        }
    }
    if (batch.commit() != reg::Status::Ok)
        throw Refused("cannot store the values of " + shown + ": " + std::strerror(errno));
    for (const auto& [line, warning] : checker.warnings())
        err << "kestrel-reg: warning: " << where(shown, line) << warning << '\n';
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
