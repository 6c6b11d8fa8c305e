// The commands of kestrel-data, one file each. Text is printed as UTF-8;
// import, restore, protect and unprotect change the record file, under its
// lock and whole.
#pragma once

#include "store/file/form_change.h"
#include "tools/command_table.h"
#include "tools/data/record_path.h"

#include <ostream>
#include <string>

namespace kdata {

using tools::Refused;
using tools::UsageError;

// Reads every byte of the record file at native path `file` as the format
// defines it and reports on out; true when the file is whole.
bool check_file(const std::string& file, std::ostream& out);

enum class ExportFormat { KeePassXml, Csv };

void run_check(const tools::Call& call);
void run_list(const tools::Call& call);
void run_show(const tools::Call& call);
void run_backups(const tools::Call& call);
void run_export(const tools::Call& call);
void run_import(const tools::Call& call);
void run_restore(const tools::Call& call);
void run_protect(const tools::Call& call);
void run_unprotect(const tools::Call& call);

// The end of a protect or unprotect: refused with what stopped it, else nothing.
void conversion_done(Conversion result, const RecordPath& path, const char* now);

} // namespace kdata
