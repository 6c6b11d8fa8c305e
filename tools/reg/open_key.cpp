#include "tools/reg/open_key.h"

#include "tools/command_table.h"
#include "tools/terminal_text.h"

#include <strings.h>

namespace kreg {

KeyPath key_path(const std::string& key)
{
    KeyPath path;
    std::string why;
    if (!parse_key_path(tools::to_cp932(key, "key name"), path, why))
        throw tools::UsageError("bad key name " + key + ": " + why);
    return path;
}

bool same_key(const KeyPath& a, const KeyPath& b)
{
    return a.hive == b.hive && strcasecmp(a.subkey.c_str(), b.subkey.c_str()) == 0;
}

bool read_value(reg::KeyHandle key, const std::string& name, uint32_t& type, std::string& data)
{
    data.assign(reg::kMaxValueSize, '\0');
    uint32_t size = reg::kMaxValueSize;
    if (reg::query_value(key, name.c_str(), &type, data.data(), &size) != reg::Status::Ok)
        return false;
    data.resize(size);
    return true;
}

} // namespace kreg
