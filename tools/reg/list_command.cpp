#include "tools/reg/open_key.h"
#include "tools/reg/reg_commands.h"
#include "tools/reg/registry_text.h"
#include "tools/terminal_text.h"

namespace kreg {

void list_values(const std::string& key, std::ostream& out)
{
    KeyPath path = key_path(key);
    OpenKey open;
    if (reg::open_key(path.hive, path.subkey.c_str(), open.out()) != reg::Status::Ok)
        throw Refused("no key " + key);
    for (const std::string& name : reg::value_names(open.get())) {
        uint32_t type;
        std::string data;
        if (read_value(open.get(), name, type, data))
            out << (name.empty() ? "@" : escaped_field(tools::to_utf8(name))) << '\t' << type_name(type) << '\t'
                << escaped_field(data_text(type, data)) << '\n';
    }
}

void run_list(const tools::Call& call)
{
    list_values(call.option("key", kDefaultKey), call.out);
}

} // namespace kreg
