#include "app/config/config_store.h"

#include "app/widgets/message_box.h"
#include "app/widgets/text_edge.h"
#include "commons/commons.h"
#include "platform/cp932.h"
#include "platform/windows_path.h"
#include "store/app_config.h"
#include "store/record_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

// The leading decimal integer of a text, 0 when it has none.
int leading_int(const char* text)
{
    errno = 0;
    const long value = std::strtol(text, nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

// The process's working directory as CP932; empty when it does not fit or
// cannot be written in CP932.
void current_directory(char* out)
{
    char native[CONFIG_TEXT_SIZE];
    std::string text;
    if (!getcwd(native, sizeof native) || !cp932::from_utf8(native, text) || text.size() >= CONFIG_TEXT_SIZE)
        return;
    std::memcpy(out, text.c_str(), text.size() + 1);
}

// Said before the first-run setup when settings carried over from Windows
// name the record file by a Windows path.
QString windows_path_message(const std::string& datafile)
{
    return QStringLiteral("データファイルのパス「%1」はWindowsの形式のため、このコンピュータでは使えません。"
                          "データファイルを設定しなおしてください")
        .arg(from_cp932(datafile.c_str()));
}

} // namespace

int sub_load_config()
{
    AppConfig& config = g_app_config;
    std::memset(&config, 0, sizeof config);
    char buffer[CONFIG_TEXT_SIZE];

    std::memset(buffer, 0, sizeof buffer);
    if (sub_regread("kest_datafile", buffer, sizeof buffer) != 0) {
        logputd(0, __FILE_NAME__, __LINE__, "Registry key %s not found\n", "kest_datafile");
        return -1;
    }
    if (buffer[0] == '\0') {
        logputd(0, __FILE_NAME__, __LINE__, "Registry key %s. Bad Data\n", "kest_datafile");
        return -1;
    }
    // A stored value may lack its terminator; never take more than 1023 bytes.
    const std::string datafile(buffer, strnlen(buffer, sizeof buffer));
    // Used as it is, a Windows path would name a file "C:\..." in the working
    // folder: the configuration counts as missing, and datafile stays empty.
    if (winpath::is_windows_path(datafile)) {
        logputd(0, __FILE_NAME__, __LINE__, "Registry key %s. Bad Data\n", "kest_datafile");
        MessageBox::message(windows_path_message(datafile));
        return -1;
    }
    cp932::copy_cut(config.datafile, sizeof config.datafile, datafile.c_str());

    std::memset(buffer, 0, sizeof buffer);
    if (sub_regread("kest_cwdpath", buffer, sizeof buffer) != 0) {
        logputd(0, __FILE_NAME__, __LINE__, "Registry key %s not found\n", "kest_cwdpath");
        return -1;
    }
    current_directory(config.cwdpath);

    std::memset(buffer, 0, sizeof buffer);
    if (sub_regread("kest_kindcsl", buffer, sizeof buffer) != 0) {
        logputd(0, __FILE_NAME__, __LINE__, "Registry key %s not found\n", "kest_kindcsl");
        return -1;
    }
    buffer[sizeof buffer - 1] = '\0';
    config.kind_cursel = leading_int(buffer);

    std::memset(buffer, 0, sizeof buffer);
    if (sub_reg_read_ex("kest_passwrd", buffer, sizeof buffer) == 0) {
        unscramble_block(buffer, sizeof buffer);
        std::memcpy(config.password, buffer, strnlen(buffer, sizeof buffer - 1));
        explicit_bzero(buffer, sizeof buffer);
    }
    return 0;
}
