// The commands of kestrel-reg, one file each, working on the registry store
// that the program itself reads. Arguments and output are UTF-8; the store
// holds CP932.
#pragma once

#include "tools/command_table.h"
#include "tools/reg/key_path.h"
#include "tools/reg/reg_document.h"

#include <istream>
#include <optional>
#include <ostream>
#include <string>

namespace kreg {

using tools::Refused;
using tools::UsageError;

enum class SetType { Sz, Binary, Dword };

// The bytes that set stores for DATA: CP932 text with its terminating zero,
// hex digits (blanks, commas and colons between bytes allowed), or a 32-bit
// number (decimal, negative, or 0x hex) stored little-endian.
std::string set_data(SetType type, const std::string& text);

// Every value of the key, one line each: name, type and data, tab-separated
// (each escaped with escaped_field).
void list_values(const std::string& key, std::ostream& out);
void get_value(const std::string& key, const std::string& name, std::ostream& out);
void set_value(const std::string& key, const std::string& name, const std::string& data, SetType type);
void delete_value(const std::string& key, const std::string& name);

// The key and its subkeys as a .reg file, written to file (through a
// temporary file, synced and renamed over it), or to out when file is empty
// or "-".
void export_key(const std::string& key, RegFormat format, const std::string& file, std::ostream& out);
// The key and its subkeys as a document (what export writes).
RegDocument export_document(const std::string& key, RegFormat format);

// Paths that replace those of an imported file (UTF-8, made absolute).
struct ImportOptions
{
    std::optional<std::string> datafile =
        {}; // kest_datafile: an existing regular file or a new one in an existing folder
    std::optional<std::string> cwdpath = {}; // kest_cwdpath: an existing folder
    std::optional<std::string> logname = {}; // log_name: as datafile
};

// Imports a .reg file (file "-": from in), all or nothing as far as checking
// goes: the whole file is read and every key and value checked before
// anything is stored; then it is read again and stored. The paths of options
// are then stored in key. A Windows path left in kest_datafile, kest_cwdpath
// or log_name is stored with one warning on err naming the option that
// replaces it; a record file named by datafile that others can read is made
// 0600, with a notice on err.
void import_file(const std::string& file, const ImportOptions& options, const std::string& key, std::istream& in,
                 std::ostream& err);

// The handlers of the command table.
void run_list(const tools::Call& call);
void run_get(const tools::Call& call);
void run_set(const tools::Call& call);
void run_delete(const tools::Call& call);
void run_export(const tools::Call& call);
void run_import(const tools::Call& call);

} // namespace kreg
