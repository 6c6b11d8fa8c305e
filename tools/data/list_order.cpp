#include "tools/data/list_order.h"

#include "tools/data/record_text.h"

namespace kdata {

std::string list_order_key(std::string_view cp932_name)
{
    std::string key;
    if (!text_utf8(cp932_name, key))
        key.assign(cp932_name);
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    // The name itself after a separator below every text byte decides ties.
    key += '\0';
    key.append(cp932_name);
    return key;
}

} // namespace kdata
