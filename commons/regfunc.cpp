// Registry functions: string values under HKEY_LOCAL_MACHINE, in the shared
// key or in a key below SOFTWARE that the caller names.

#include "commons/commons.h"
#include "commons/commons_internal.h"

#include "platform/registry.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kKeyPathSize = 1024;

const char* or_empty(const char* text)
{
    return text ? text : "";
}

// "SOFTWARE\<subkey>" in the key path buffer; false when it does not fit.
bool build_key_path(char (&path)[kKeyPathSize], const char* subkey)
{
    int n = std::snprintf(path, sizeof path, "SOFTWARE\\%s", or_empty(subkey));
    return n >= 0 && static_cast<size_t>(n) < sizeof path;
}

int read_value(const char* key_path, const char* value_name, char* buffer, unsigned capacity)
{
    if (buffer && capacity > 0)
        std::memset(buffer, 0, capacity);
    reg::KeyHandle key = nullptr;
    if (reg::open_key(reg::Hive::LocalMachine, key_path, &key) != reg::Status::Ok)
        return -1;
    uint32_t type = 0;
    uint32_t size = buffer ? capacity : 0;
    if (reg::query_value(key, value_name, &type, buffer, &size) != reg::Status::Ok) {
        logput(1, __FILE_NAME__, __LINE__, "sub_regread: RegQueryValueEx() failed : value_key = %s\n",
               or_empty(value_name));
        reg::close_key(key);
        return -1;
    }
    reg::close_key(key);
    return 0;
}

int write_value(const char* key_path, bool log_create_failure, const char* value_name, const char* text)
{
    reg::KeyHandle key = nullptr;
    if (reg::create_key(reg::Hive::LocalMachine, key_path, &key) != reg::Status::Ok) {
        if (log_create_failure)
            logput(0, __FILE_NAME__, __LINE__,
                   "sub_regwrite: RegCreateKeyEx() failed : key = SOFTWARE\\qelt_key_yoyaku\n");
        return -1;
    }
    const char* data = or_empty(text);
    size_t length = std::strlen(data) + 1;
    reg::Status status = length > reg::kMaxValueSize
                             ? reg::Status::IoError
                             : reg::set_value(key, value_name, reg::REG_SZ, data, static_cast<uint32_t>(length));
    if (status != reg::Status::Ok) {
        logput(0, __FILE_NAME__, __LINE__, "sub_regwrite: RegSetValueEx() failed : src=%s, dst=%s\n",
               or_empty(value_name), data);
        reg::close_key(key);
        return -1;
    }
    reg::close_key(key);
    return 0;
}

int remove_value(const char* key_path, const char* value_name)
{
    reg::KeyHandle key = nullptr;
    if (reg::create_key(reg::Hive::LocalMachine, key_path, &key) != reg::Status::Ok)
        return -1;
    reg::Status status = reg::delete_value(key, value_name);
    reg::close_key(key);
    return status == reg::Status::Ok ? 0 : -1;
}

} // namespace

extern "C" {

int sub_regread(const char* value_name, char* buffer, unsigned capacity)
{
    return read_value(commons::kSharedKey, value_name, buffer, capacity);
}

int sub_regwrite(const char* value_name, const char* text)
{
    return write_value(commons::kSharedKey, true, value_name, text);
}

int sub_regremove(const char* value_name)
{
    return remove_value(commons::kSharedKey, value_name);
}

int sub_regread_ex(const char* subkey, const char* value_name, char* buffer, unsigned capacity)
{
    char path[kKeyPathSize];
    if (!build_key_path(path, subkey)) {
        if (buffer && capacity > 0)
            std::memset(buffer, 0, capacity);
        return -1;
    }
    return read_value(path, value_name, buffer, capacity);
}

int sub_regwrite_ex(const char* subkey, const char* value_name, const char* text)
{
    char path[kKeyPathSize];
    if (!build_key_path(path, subkey))
        return -1;
    return write_value(path, false, value_name, text);
}

int sub_regremove_ex(const char* subkey, const char* value_name)
{
    char path[kKeyPathSize];
    if (!build_key_path(path, subkey))
        return -1;
    return remove_value(path, value_name);
}

} // extern "C"
