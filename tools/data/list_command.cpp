#include "tools/data/data_commands.h"
#include "tools/data/record_catalog.h"
#include "tools/terminal_text.h"

namespace kdata {

void run_list(const tools::Call& call)
{
    for (const CatalogGroup& group : load_catalog(record_path(call.arg(0)), false)) {
        call.out << (group.has_header ? tools::to_utf8(group.name) : "(no category)") << '\n';
        for (const CatalogRecord& record : group.records)
            call.out << "  " << tools::to_utf8(record.name) << '\n';
    }
}

} // namespace kdata
