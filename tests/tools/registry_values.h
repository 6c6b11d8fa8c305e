// Values of the registry stand-in, written and read directly, beside the tool.
#pragma once

#include "platform/registry.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

struct Stored
{
    uint32_t type = 0;
    std::string data;
    bool operator==(const Stored&) const = default;
};

inline void store(const char* subkey, const std::string& name, uint32_t type, const std::string& data)
{
    reg::KeyHandle key;
    ASSERT_EQ(reg::create_key(reg::Hive::LocalMachine, subkey, &key), reg::Status::Ok);
    EXPECT_EQ(reg::set_value(key, name.c_str(), type, data.data(), static_cast<uint32_t>(data.size())),
              reg::Status::Ok);
    reg::close_key(key);
}

inline bool key_exists(const char* subkey)
{
    reg::KeyHandle key;
    if (reg::open_key(reg::Hive::LocalMachine, subkey, &key) != reg::Status::Ok)
        return false;
    reg::close_key(key);
    return true;
}

// The value's type and bytes; nothing when the key or the value is missing.
inline std::optional<Stored> stored(const char* subkey, const std::string& name)
{
    reg::KeyHandle key;
    if (reg::open_key(reg::Hive::LocalMachine, subkey, &key) != reg::Status::Ok)
        return std::nullopt;
    Stored value{0, std::string(reg::kMaxValueSize, '\0')};
    uint32_t size = reg::kMaxValueSize;
    const reg::Status status = reg::query_value(key, name.c_str(), &value.type, value.data.data(), &size);
    reg::close_key(key);
    if (status != reg::Status::Ok)
        return std::nullopt;
    value.data.resize(size);
    return value;
}
