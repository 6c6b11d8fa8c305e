#include "tools/data/data_tool.h"

#include "tools/command_table.h"
#include "tools/data/data_commands.h"

namespace kdata {
namespace {

const char* const kUsage = R"usage(Usage: kestrel-data COMMAND [ARGUMENTS] [OPTIONS]
Looks into kestrel's record file: checks it, lists and shows its records,
lists its backups and exports its records for KeePassXC; puts a backup back,
imports KeePassXC's entries, protects the file with a password and takes the
protection off again. FILE defaults to the record file named in the registry
(kest_datafile).

Commands:
  check [FILE]              reads every byte as the format defines it and
                            reports: header count, categories, live and free
                            records, records whose category has no header,
                            damaged blocks, bytes after the last whole block,
                            a journal or a left-over image beside the file;
                            exit status 0 only for a whole file
  list [FILE]               the categories and, under each, its record names,
                            one a line, in the order of kestrel's lists;
                            records whose category has no header come last,
                            under "(no category)"
  show NAME [FILE]          the text of the record named NAME
  backups [FILE]            the backups of the file kestrel made at each run:
                            path, time, size and records
  export --format keepass-xml|csv [FILE]
                            every record as an entry, to standard output: its
                            category as the group, its name as the title, its
                            text as the notes (a KeePass 2 XML file that
                            keepassxc-cli import reads, or CSV with the
                            columns of KeePassXC's CSV export)
  restore BACKUP [FILE]     puts BACKUP (a path, or a name that backups
                            lists) back as the record file; the file it
                            replaces is kept as a new backup first
  import --format keepass-xml|csv [--skip-bad] IN [FILE]
                            every entry of IN (- for standard input) as a
                            record: its group as the category ("Root"
                            dropped, nested groups joined with "/", the top
                            group's own entries in "未分類"; made when
                            missing), its title as the name, its user name,
                            password and URL lines and its notes as the text;
                            FILE is made when it does not exist. An entry that
                            CP932 cannot hold, a name over 511 bytes or a text
                            over 4,095 bytes is named and nothing is imported,
                            unless --skip-bad is given: then it is skipped
  protect [FILE]            encrypts the file with a password (read from the
                            terminal without echo, or one line of standard
                            input): the Windows program cannot open it then
  unprotect [FILE]          writes the file back in the Windows form, byte
                            for byte the file protect started from

Options:
  --format keepass-xml|csv  export, import: the form of the output or input
  --skip-bad                import: skips (and lists) the entries that cannot
                            be stored instead of importing nothing
  -h, --help                shows this help
  --version                 shows the version

restore, import, protect and unprotect take the record file's lock (they
refuse while kestrel has the file open) and replace the file whole or not at
all; every record keeps its place. Options may come anywhere; -- ends them. Text is printed as UTF-8,
line ends as LF. Exit status: 0 done, 1 refused (check: the file is not
whole), 2 bad usage.
)usage";

// The commands that change the record file: under its lock, replaced whole
// through the record file module.
const tools::Tool kDataTool = {
    "kestrel-data",
    kUsage,
    {{"format", true}, {"skip-bad", false}},
    {
        {"check", 0, 1, {}, run_check},
        {"list", 0, 1, {}, run_list},
        {"show", 1, 2, {}, run_show},
        {"backups", 0, 1, {}, run_backups},
        {"export", 0, 1, {"format"}, run_export},
        {"import", 1, 2, {"format", "skip-bad"}, run_import},
        {"restore", 1, 2, {}, run_restore},
        {"protect", 0, 1, {}, run_protect},
        {"unprotect", 0, 1, {}, run_unprotect},
    },
};

} // namespace

int run_data_tool(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err)
{
    return tools::run_tool(kDataTool, argc, argv, in, out, err);
}

} // namespace kdata
