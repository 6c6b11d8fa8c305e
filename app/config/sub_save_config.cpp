#include "app/config/config_store.h"

#include "commons/commons.h"
#include "store/app_config.h"
#include "store/file/data_key.h"
#include "store/record_file.h"

#include <cstdio>
#include <cstring>

namespace {

int write_failed(const char* value_name, int line)
{
    logputd(0, __FILE_NAME__, line, "Registry key %s not found\n", value_name);
    return -1;
}

} // namespace

int sub_save_config()
{
    const AppConfig& config = g_app_config;
    if (sub_regwrite("kest_datafile", config.datafile) != 0)
        return write_failed("kest_datafile", __LINE__);
    if (sub_regwrite("kest_cwdpath", config.cwdpath) != 0)
        return write_failed("kest_cwdpath", __LINE__);
    char number[16];
    std::snprintf(number, sizeof number, "%d", config.kind_cursel);
    if (sub_regwrite("kest_kindcsl", number) != 0)
        return write_failed("kest_kindcsl", __LINE__);

    char buffer[CONFIG_TEXT_SIZE] = {};
    // A protected file's password is its key: the registry holds "no password".
    if (!data_key::loaded())
        std::memcpy(buffer, config.password, strnlen(config.password, sizeof buffer - 1));
    scramble_block(buffer, sizeof buffer);
    const int written = sub_reg_write_ex("kest_passwrd", buffer, sizeof buffer);
    explicit_bzero(buffer, sizeof buffer);
    if (written != 0)
        return write_failed("kest_passwrd", __LINE__);
    return 0;
}
