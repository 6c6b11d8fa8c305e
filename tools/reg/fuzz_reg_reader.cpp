// libFuzzer target for the .reg reader: any input must be read or refused
// without a fault, and whatever is read must survive writing and reading
// back unchanged.
#include "tools/reg/reg_reader.h"
#include "tools/reg/reg_writer.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

bool same(const kreg::RegDocument& a, const kreg::RegDocument& b)
{
    if (a.keys.size() != b.keys.size())
        return false;
    for (size_t i = 0; i < a.keys.size(); ++i) {
        const kreg::RegKey& x = a.keys[i];
        const kreg::RegKey& y = b.keys[i];
        if (x.path != y.path || x.remove != y.remove || x.values.size() != y.values.size())
            return false;
        for (size_t j = 0; j < x.values.size(); ++j) {
            const kreg::RegValue& v = x.values[j];
            const kreg::RegValue& w = y.values[j];
            if (v.name != w.name || v.remove != w.remove || (!v.remove && (v.type != w.type || v.data != w.data)))
                return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kreg::RegDocument doc;
    kreg::ReadError error;
    if (!kreg::read_reg_file(std::string_view(reinterpret_cast<const char*>(data), size), doc, error))
        return 0;
    for (kreg::RegFormat format : {kreg::RegFormat::Version5, kreg::RegFormat::Regedit4}) {
        doc.format = format;
        std::string bytes, why;
        if (!kreg::write_reg_file(doc, bytes, why))
            continue;
        kreg::RegDocument again;
        if (!kreg::read_reg_file(bytes, again, error) || !same(doc, again))
            std::abort();
    }
    return 0;
}
