#include "app/config/config_store.h"

#include "commons/commons.h"
#include "platform/registry.h"

#include <cstring>

int sub_reg_read_ex(const char* value_name, char* buffer, int size)
{
    if (size <= 0)
        return -1;
    std::memset(buffer, 0, static_cast<std::size_t>(size));
    reg::KeyHandle key = nullptr;
    if (reg::open_key(reg::Hive::LocalMachine, CONFIG_KEY, &key) != reg::Status::Ok)
        return -1;
    uint32_t count = static_cast<uint32_t>(size);
    if (reg::query_value(key, value_name, nullptr, buffer, &count) != reg::Status::Ok) {
        logput(1, __FILE_NAME__, __LINE__, "sub_regread: RegQueryValueEx() failed : value_key = %s\n", value_name);
        reg::close_key(key);
        return -1;
    }
    reg::close_key(key);
    return 0;
}
