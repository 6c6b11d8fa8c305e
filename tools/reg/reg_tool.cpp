#include "tools/reg/reg_tool.h"

#include "tools/command_table.h"
#include "tools/reg/reg_commands.h"

namespace kreg {
namespace {

const char* const kUsage = R"(Usage: kestrel-reg COMMAND [ARGUMENTS] [OPTIONS]
Reads and writes the registry values of kestrel (its configuration and the
log settings log_type and log_name), and moves them to and from Windows as
.reg files.

Commands:
  list                      every value of the key: name, type, data
                            (tab-separated; \, tabs, line breaks and other
                            control characters escaped as \\, \t, \n, \xNN)
  get NAME                  the data of one value (a REG_DWORD as the
                            signed number kestrel reads)
  set NAME DATA             stores a value (text by default)
  delete NAME               deletes a value
  export [FILE]             the key and its subkeys as a .reg file
                            (standard output when FILE is missing or -)
  import FILE               stores the keys and values of a .reg file
                            (standard input when FILE is -); the whole file
                            is checked first, and nothing is stored when
                            any line is wrong, the file ends inside a value,
                            a key is deeper than 512 levels, a value is over
                            1 MiB or its name holds a NUL character, or a
                            value of kestrel has the wrong type or size

Options:
  --key KEY                 the key to work on (default
                            HKEY_LOCAL_MACHINE\SOFTWARE\qelt_key_yoyaku)
  --type sz|binary|dword    set: the value's type; binary DATA is hex digits,
                            dword DATA a decimal or 0x hex number
  --regedit4                export: write a REGEDIT4 file in CP932 instead of
                            a Version 5.00 file in UTF-16LE
  --datafile PATH           import: set kest_datafile to PATH, an existing
                            record file or a new one in an existing folder
                            (a record file others can read is made 0600)
  --cwdpath PATH            import: set kest_cwdpath to PATH, a folder
  --logname PATH            import: set log_name to PATH, a log file
  -h, --help                shows this help
  --version                 shows the version

Options may come anywhere; -- ends them. A number such as -1 is data, not
an option. Import warns about each Windows path (C:\... or \\server\...)
left in kest_datafile, kest_cwdpath or log_name: kestrel cannot use it, and
the option named in the warning replaces it. set and import refuse values of
kestrel that it would misread: kest_passwrd must be 1024 bytes of binary,
kest_kindcsl digits, kest_backups, kest_clipsecs and kest_lockmins digits,
kest_datafile, kest_cwdpath and log_name text.

Text is read and printed as UTF-8 and stored as CP932; text that CP932 cannot
hold is refused. Exit status: 0 done, 1 refused, 2 bad usage.
)";

const tools::Tool kRegTool = {
    "kestrel-reg",
    kUsage,
    {{"key", true}, {"type", true}, {"regedit4", false}, {"datafile", true}, {"cwdpath", true}, {"logname", true}},
    {
        {"list", 0, 0, {"key"}, run_list},
        {"get", 1, 1, {"key"}, run_get},
        {"set", 2, 2, {"key", "type"}, run_set},
        {"delete", 1, 1, {"key"}, run_delete},
        {"export", 0, 1, {"key", "regedit4"}, run_export},
        {"import", 1, 1, {"key", "datafile", "cwdpath", "logname"}, run_import},
    },
};

} // namespace

int run_cli(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err)
{
    return tools::run_tool(kRegTool, argc, argv, in, out, err);
}

} // namespace kreg
