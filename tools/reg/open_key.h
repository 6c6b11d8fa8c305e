// Keys of the registry store as the commands of kestrel-reg name and open them.
#pragma once

#include "platform/registry.h"
#include "tools/reg/key_path.h"

#include <cstdint>
#include <string>

namespace kreg {

// A key opened for the length of one command.
class OpenKey
{
public:
    OpenKey() = default;
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    ~OpenKey()
    {
        if (m_key)
            reg::close_key(m_key);
    }
    reg::KeyHandle* out() { return &m_key; }
    reg::KeyHandle get() const { return m_key; }

private:
    reg::KeyHandle m_key = nullptr;
};

// The key named on the command line (UTF-8); a bad name is a usage error.
KeyPath key_path(const std::string& key);
bool same_key(const KeyPath& a, const KeyPath& b);
// Reads a value of any size the store holds; false when it is missing.
bool read_value(reg::KeyHandle key, const std::string& name, uint32_t& type, std::string& data);

} // namespace kreg
