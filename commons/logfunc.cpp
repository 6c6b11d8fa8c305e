// The log facility: one record per call, appended to the file that the
// registry values log_type and log_name name at the moment of the call.

#include "commons/commons.h"
#include "commons/commons_internal.h"

#include "platform/cp932.h"
#include "platform/ids.h"
#include "platform/registry.h"
#include "platform/windows_path.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {

// Working buffers of one call; their sizes are the limits callers rely on.
constexpr size_t kPathSize = 512;
constexpr size_t kSettingSize = 512;
constexpr size_t kSourceSize = 512;
constexpr size_t kStampSize = 512;
constexpr size_t kMessageSize = 8192;
constexpr size_t kDumpMessageSize = 512;

// The log-name suffix: the library's one piece of state. Any thread may set
// it while others compose file names, so it is only touched under the lock: a
// name half copied would send records to a file of no one's choosing.
char g_suffix[1024];
std::mutex g_suffixMutex;

std::string current_suffix()
{
    std::lock_guard<std::mutex> lock(g_suffixMutex);
    return g_suffix;
}

enum class Naming {
    PerProcess, // log_type 3 adds the suffix, the process id and ".txt"
    Plain,      // always the log_name value as it is
};

int log_type()
{
    // One byte more than the read capacity: a value that fills the whole
    // capacity still ends in a terminator.
    char text[kSettingSize + 1] = {};
    if (commons::read_log_setting("log_type", text, kSettingSize) != 0)
        return 0;
    long value = std::strtol(text, nullptr, 10);
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

// Formats into buffer, cutting an over-long result at a character boundary.
void format_message(char* buffer, size_t size, const char* format, va_list args)
{
    int n = std::vsnprintf(buffer, size, format ? format : "", args);
    if (n < 0)
        buffer[0] = '\0';
    else if (static_cast<size_t>(n) >= size)
        buffer[cp932::cut_length(buffer, size - 1)] = '\0';
}

// One record being written: the file is open for the object's lifetime.
class LogRecord
{
public:
    LogRecord(int level, const char* source, int line, Naming naming) : m_level(level), m_line(line)
    {
        int type = log_type();
        if (type == 0 || (type == 1 && level != 0))
            return;

        const char* base = source ? std::strrchr(source, '\\') : nullptr;
        cp932::copy_cut(m_source, sizeof m_source, base ? base + 1 : source ? source : "");

        char name[kSettingSize + 1] = {};
        // A Windows path carried over names no file here: the line goes nowhere
        // rather than into a file called "C:\...".
        if (commons::read_log_setting("log_name", name, kSettingSize) != 0 || winpath::is_windows_path(name))
            return;
        char path[kPathSize];
        if (type == 3 && naming == Naming::PerProcess) {
            std::string composed = name;
            if (std::string own = current_suffix(); !own.empty()) {
                composed += '.';
                composed += own;
            }
            char ending[32];
            std::snprintf(ending, sizeof ending, ".%d.txt", static_cast<int>(ids::process_id()));
            composed += ending;
            cp932::copy_cut(path, sizeof path, composed.c_str());
        } else {
            cp932::copy_cut(path, sizeof path, name);
        }
        m_file = cp932::fopen_path(path, "a+");
        if (!m_file)
            return;

        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        if (std::strftime(m_stamp, sizeof m_stamp, "%Y/%m/%d %H:%M:%S", &local) == 0)
            m_stamp[0] = '\0';
    }
    ~LogRecord()
    {
        if (m_file)
            std::fclose(m_file);
    }
    LogRecord(const LogRecord&) = delete;
    LogRecord& operator=(const LogRecord&) = delete;

    explicit operator bool() const { return m_file != nullptr; }

    const char* level_name() const { return m_level == 0 ? "ERROR" : "NORML"; }

    void header()
    {
        char text[kStampSize + kSourceSize + 64];
        std::snprintf(text, sizeof text, "%s*(%15.15s:%04d) %s %04d-%04d : ", m_stamp, m_source, m_line, level_name(),
                      static_cast<int>(ids::process_id()), static_cast<int>(ids::thread_id()));
        write(text);
    }

    // The shorter header that logputd shows on standard output.
    void echo_header() const { std::printf("%s*(%15.15s:%04d) %s : ", m_stamp, m_source, m_line, level_name()); }

    // Writes text as a Windows text-mode stream did: each "\n" as CR LF.
    void write(const char* text)
    {
        for (const char* p = text; *p;) {
            const char* end = std::strchr(p, '\n');
            size_t n = end ? static_cast<size_t>(end - p) : std::strlen(p);
            std::fwrite(p, 1, n, m_file);
            if (!end)
                break;
            std::fwrite("\r\n", 1, 2, m_file);
            p = end + 1;
        }
    }

    // Rows of 16 positions from 0 while the row start is not past last_index;
    // the first row is always written.
    void dump_rows(const unsigned char* data, int last_index)
    {
        long long last = data ? last_index : -1;
        for (long long start = 0; start == 0 || start <= last; start += 16) {
            header();
            char row[16 * 3 + 16 + 2];
            char* out = row;
            for (int i = 0; i < 16; ++i, out += 3) {
                if (start + i <= last)
                    std::snprintf(out, 4, "%02X ", data[start + i]);
                else
                    std::memcpy(out, "   ", 3);
            }
            for (int i = 0; i < 16; ++i) {
                unsigned char byte = start + i <= last ? data[start + i] : ' ';
                *out++ = byte >= 0x20 && byte <= 0x7E ? static_cast<char>(byte) : '.';
            }
            *out++ = '\n';
            *out = '\0';
            write(row);
        }
    }

private:
    FILE* m_file = nullptr;
    int m_level;
    int m_line;
    char m_source[kSourceSize] = {};
    char m_stamp[kStampSize] = {};
};

int put_record(bool echo, int level, const char* source, int line, const char* format, va_list args)
{
    LogRecord record(level, source, line, Naming::PerProcess);
    if (!record)
        return 0;
    // The echo is for a console only: started from a desktop, standard output
    // goes to the session's journal, where record texts have no place.
    echo = echo && isatty(STDOUT_FILENO) == 1;
    record.header();
    if (echo)
        record.echo_header();
    static thread_local char message[kMessageSize];
    format_message(message, sizeof message, format, args);
    record.write(message);
    if (echo) {
        std::fputs(message, stdout);
        std::fflush(stdout);
    }
    return 0;
}

int dump_record(Naming naming, int level, const char* source, int line, const unsigned char* data, int last_index,
                const char* format, va_list args)
{
    LogRecord record(level, source, line, naming);
    if (!record)
        return 0;
    record.header();
    char message[kDumpMessageSize];
    format_message(message, sizeof message, format, args);
    record.write(message);
    record.dump_rows(data, last_index);
    return 0;
}

} // namespace

namespace commons {

int read_log_setting(const char* value_name, char* buffer, unsigned capacity)
{
    if (capacity > 0)
        std::memset(buffer, 0, capacity);
    // Read on every log call: the one-step read reuses an unchanged earlier
    // result, and so sees every change by the next record at a stat's cost.
    uint32_t size = capacity;
    reg::Status status = reg::read_value(reg::Hive::LocalMachine, kSharedKey, value_name, nullptr, buffer, &size);
    return status == reg::Status::Ok ? 0 : -1;
}

} // namespace commons

extern "C" {

int logput(int level, const char* source, int line, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    put_record(false, level, source, line, format, args);
    va_end(args);
    return 0;
}

int logputd(int level, const char* source, int line, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    put_record(true, level, source, line, format, args);
    va_end(args);
    return 0;
}

int logdmp(int level, const char* source, int line, const unsigned char* data, int last_index, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    dump_record(Naming::PerProcess, level, source, line, data, last_index, format, args);
    va_end(args);
    return 0;
}

int vb_logdmp(int level, const char* source, int line, const unsigned char* data, int last_index, const char* format,
              ...)
{
    va_list args;
    va_start(args, format);
    dump_record(Naming::Plain, level, source, line, data, last_index, format, args);
    va_end(args);
    return 0;
}

int vb_logput(int level, const char* source, int line, const char* text)
{
    LogRecord record(level, source, line, Naming::Plain);
    if (!record)
        return 0;
    record.header();
    record.write(text ? text : "");
    record.write("\n");
    return 0;
}

int log_name(const char* suffix)
{
    std::lock_guard<std::mutex> lock(g_suffixMutex);
    cp932::copy_cut(g_suffix, sizeof g_suffix, suffix ? suffix : "");
    return 0;
}

} // extern "C"
