#include "tools/reg/open_key.h"
#include "tools/reg/reg_commands.h"
#include "tools/terminal_text.h"

namespace kreg {

void delete_value(const std::string& key, const std::string& name)
{
    KeyPath path = key_path(key);
    std::string stored_name = tools::to_cp932(name, "value name");
    OpenKey open;
    if (reg::open_key(path.hive, path.subkey.c_str(), open.out()) != reg::Status::Ok)
        throw Refused("no key " + key);
    reg::Status status = reg::delete_value(open.get(), stored_name.c_str());
    if (status == reg::Status::NotFound)
        throw Refused("no value " + name + " in " + key);
    if (status != reg::Status::Ok)
        throw Refused("cannot delete value " + name + " in " + key);
}

void run_delete(const tools::Call& call)
{
    delete_value(call.option("key", kDefaultKey), call.args[0]);
}

} // namespace kreg
