#include "tools/data/data_commands.h"
#include "tools/data/export_entries.h"
#include "tools/data/record_catalog.h"
#include "tools/data/record_text.h"

#include <algorithm>

namespace kdata {
namespace {

ExportFormat parse_format(const std::string& text)
{
    if (text == "keepass-xml")
        return ExportFormat::KeePassXml;
    if (text == "csv")
        return ExportFormat::Csv;
    throw UsageError(text.empty() ? "export: --format keepass-xml|csv is needed"
                                  : "unknown format '" + text + "' (keepass-xml or csv)");
}

// XML 1.0 carries no control characters but tab and line ends.
bool fits_xml(const std::string& text)
{
    return std::none_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r';
    });
}

// The catalog as entries, every text refused (with its record named) that
// the format cannot carry exactly.
std::vector<ExportGroup> entries_of(const std::vector<CatalogGroup>& catalog, ExportFormat format)
{
    std::vector<ExportGroup> groups;
    for (const CatalogGroup& source : catalog) {
        ExportGroup group;
        group.top = !source.has_header;
        if (source.has_header && !text_utf8(source.name, group.name))
            throw Refused("the name of category " + std::to_string(source.kind_id) + " is not CP932 text");
        for (const CatalogRecord& record : source.records) {
            ExportEntry entry;
            const std::string which = "record " + std::to_string(record.index);
            if (!text_utf8(record.name, entry.title) || !record_text_utf8(record.text, entry.notes))
                throw Refused(which + " holds bytes that are not CP932 text");
            if (format == ExportFormat::KeePassXml && !(fits_xml(entry.title) && fits_xml(entry.notes)))
                throw Refused(which + " (" + entry.title + ") holds a control character that XML cannot carry");
            group.entries.push_back(std::move(entry));
        }
        groups.push_back(std::move(group));
    }
    return groups;
}

} // namespace

void run_export(const tools::Call& call)
{
    const ExportFormat format = parse_format(call.option("format"));
    const std::vector<ExportGroup> groups = entries_of(load_catalog(record_path(call.arg(0)), true), format);
    if (format == ExportFormat::KeePassXml)
        write_keepass_xml(groups, call.out);
    else
        write_keepass_csv(groups, call.out);
}

} // namespace kdata
