#include "app/config/config_store.h"

#include "commons/commons.h"
#include "platform/registry.h"

#include <cstring>
#include <string>

int sub_reg_write_ex(const char* value_name, const char* data, int size)
{
    reg::KeyHandle key = nullptr;
    if (reg::create_key(reg::Hive::LocalMachine, CONFIG_KEY, &key) != reg::Status::Ok) {
        logput(0, __FILE_NAME__, __LINE__, "sub_regwrite: RegCreateKeyEx() failed : key = SOFTWARE\\qelt_key_yoyaku\n");
        return -1;
    }
    const uint32_t count = size > 0 ? static_cast<uint32_t>(size) : 0;
    if (reg::set_value(key, value_name, reg::REG_BINARY, data, count) != reg::Status::Ok) {
        // The data need not be terminated: show at most `size` bytes of it.
        const std::string shown(data, count ? strnlen(data, count) : 0);
        logput(0, __FILE_NAME__, __LINE__, "sub_regwrite: RegSetValueEx() failed : src=%s, dst=%s\n", value_name,
               shown.c_str());
        reg::close_key(key);
        return -1;
    }
    reg::close_key(key);
    return 0;
}
