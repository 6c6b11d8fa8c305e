#include "tools/data/data_commands.h"
#include "tools/data/record_catalog.h"
#include "tools/data/record_text.h"
#include "tools/terminal_text.h"

namespace kdata {

void run_show(const tools::Call& call)
{
    const RecordPath path = record_path(call.arg(1));
    const std::string name = tools::to_cp932(call.args[0], "record name");
    const CatalogRecord* shown = nullptr;
    const CatalogGroup* shown_group = nullptr;
    int found = 0;
    const std::vector<CatalogGroup> groups = load_catalog(path, true);
    for (const CatalogGroup& group : groups) {
        for (const CatalogRecord& record : group.records) {
            if (record.name != name)
                continue;
            if (found++ == 0) {
                shown = &record;
                shown_group = &group;
            }
        }
    }
    if (!shown)
        throw Refused("no record named " + call.args[0] + " in " + path.shown);
    if (found > 1)
        call.err << "kestrel-data: " << found << " records are named " << call.args[0] << "; this is the one in "
                 << (shown_group->has_header ? tools::to_utf8(shown_group->name) : "(no category)") << '\n';
    std::string text;
    if (!record_text_utf8(shown->text, text))
        throw Refused("the text of record " + std::to_string(shown->index) + " is not CP932 text");
    call.out << text;
    if (!text.empty() && text.back() != '\n')
        call.out << '\n';
}

} // namespace kdata
