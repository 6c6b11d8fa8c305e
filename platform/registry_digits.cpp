#include "platform/registry_digits.h"

#include "platform/registry.h"

#include <algorithm>
#include <cstdint>

namespace reg {

int read_digits(const char* subkey, const char* name, int fallback, int max)
{
    char value[32] = {};
    uint32_t type = 0;
    uint32_t size = sizeof value - 1; // one byte more, so that the value always ends
    if (read_value(Hive::LocalMachine, subkey, name, &type, value, &size) != Status::Ok || type != REG_SZ ||
        value[0] == '\0')
        return fallback;
    long number = 0;
    for (const char* c = value; *c; ++c) {
        if (*c < '0' || *c > '9')
            return fallback;
        number = std::min(number * 10 + (*c - '0'), static_cast<long>(max));
    }
    return static_cast<int>(number);
}

} // namespace reg
