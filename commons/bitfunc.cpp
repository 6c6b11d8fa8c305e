// Bit fields of one byte: the count bits directly below an end position.

#include "commons/commons.h"

#include <cstring>

namespace {

bool valid_field(int end, int count)
{
    return 0 <= count && count <= end && end <= 32;
}

unsigned field_value(const unsigned char* byte, int end, int count)
{
    if (!byte || !valid_field(end, count) || count == 0)
        return 0;
    unsigned mask = 0;
    for (int i = 0; i < count; ++i)
        mask |= 1u << (end - 1 - i);
    return (*byte & mask) >> (end - count);
}

} // namespace

extern "C" {

int sub_bitload(const unsigned char* byte, int end, int count)
{
    return static_cast<int>(field_value(byte, end, count));
}

int sub_bit_dmp(const unsigned char* byte, int end, int count, char* output)
{
    if (!output)
        return 0;
    if (!valid_field(end, count)) {
        output[0] = '\0';
        return 0;
    }
    unsigned value = field_value(byte, end, count);
    char text[1024] = {};
    for (int k = 0; k < count; ++k)
        text[k] = (value >> (count - 1 - k)) & 1u ? '1' : '0';
    std::memcpy(output, text, static_cast<size_t>(count) + 1);
    return 0;
}

} // extern "C"
