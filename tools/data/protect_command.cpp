#include "platform/registry.h"
#include "store/file/data_key.h"
#include "store/file/form_change.h"
#include "tools/data/data_commands.h"
#include "tools/data/password_input.h"
#include "tools/data/record_path.h"
#include "tools/terminal_text.h"

#include <cstring>

namespace kdata {
namespace {

// The file kestrel opens is protected now: the registry keeps no login
// password for it (the password is the key).
void forget_stored_password(const RecordPath& path)
{
    char named[1024] = {};
    uint32_t type = 0;
    uint32_t size = sizeof named - 1;
    if (reg::read_value(reg::Hive::LocalMachine, "SOFTWARE\\qelt_key_yoyaku", "kest_datafile", &type, named, &size) !=
            reg::Status::Ok ||
        path.cp932 != named)
        return;
    char none[1024] = {};
    scramble_block(none, sizeof none);
    reg::KeyHandle key = nullptr;
    if (reg::open_key(reg::Hive::LocalMachine, "SOFTWARE\\qelt_key_yoyaku", &key) == reg::Status::Ok) {
        reg::set_value(key, "kest_passwrd", reg::REG_BINARY, none, sizeof none);
        reg::close_key(key);
    }
}

} // namespace

void run_protect(const tools::Call& call)
{
    const RecordPath path = record_path(call.arg(0));
    std::string password = read_password(call, "Password for the protected file: ");
    if (password.empty())
        throw Refused("a protected file needs a password; nothing was changed");
    const std::string cp932 = tools::to_cp932(password, "password");
    wipe_secret(password.data(), password.size());
    const Conversion result = protect_record_file(path.cp932.c_str(), cp932.c_str());
    wipe_secret(const_cast<char*>(cp932.data()), cp932.size());
    conversion_done(result, path, "protected");
    forget_stored_password(path);
}

} // namespace kdata
