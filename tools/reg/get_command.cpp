#include "tools/reg/open_key.h"
#include "tools/reg/reg_commands.h"
#include "tools/reg/registry_text.h"
#include "tools/terminal_text.h"

namespace kreg {

void get_value(const std::string& key, const std::string& name, std::ostream& out)
{
    KeyPath path = key_path(key);
    std::string stored_name = tools::to_cp932(name, "value name");
    OpenKey open;
    if (reg::open_key(path.hive, path.subkey.c_str(), open.out()) != reg::Status::Ok)
        throw Refused("no key " + key);
    uint32_t type;
    std::string data;
    if (!read_value(open.get(), stored_name, type, data))
        throw Refused("no value " + name + " in " + key);
    out << data_text(type, data) << '\n';
}

void run_get(const tools::Call& call)
{
    get_value(call.option("key", kDefaultKey), call.args[0], call.out);
}

} // namespace kreg
