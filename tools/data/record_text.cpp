#include "tools/data/record_text.h"

#include "platform/cp932.h"

namespace kdata {

bool record_text_utf8(const std::string& cp932_text, std::string& utf8)
{
    std::string decoded;
    if (!cp932::to_utf8(cp932_text, decoded))
        return false;
    utf8.clear();
    for (size_t i = 0; i < decoded.size(); ++i) {
        if (!(decoded[i] == '\r' && i + 1 < decoded.size() && decoded[i + 1] == '\n'))
            utf8 += decoded[i];
    }
    return true;
}

} // namespace kdata
