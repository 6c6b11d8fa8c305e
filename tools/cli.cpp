#include "tools/cli.h"

#include "tools/commands.h"
#include "tools/key_path.h"

#include <getopt.h>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

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
                            or a value of kestrel has the wrong type or size

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
kest_kindcsl digits, kest_datafile, kest_cwdpath and log_name text.

Text is read and printed as UTF-8 and stored as CP932; text that CP932 cannot
hold is refused. Exit status: 0 done, 1 refused, 2 bad usage.
)";

struct Command
{
    size_t min_args;
    size_t max_args;
    std::set<std::string> options;
};

const std::map<std::string, Command> kCommands = {
    {"list", {0, 0, {"key"}}},
    {"get", {1, 1, {"key"}}},
    {"set", {2, 2, {"key", "type"}}},
    {"delete", {1, 1, {"key"}}},
    {"export", {0, 1, {"key", "regedit4"}}},
    {"import", {1, 1, {"key", "datafile", "cwdpath", "logname"}}},
};

SetType parse_type(const std::string& text)
{
    if (text == "sz")
        return SetType::Sz;
    if (text == "binary")
        return SetType::Binary;
    if (text == "dword")
        return SetType::Dword;
    throw UsageError("unknown type '" + text + "' (sz, binary or dword)");
}

// "-1", "-0x10": data that getopt would take for options.
bool is_negative_number(const char* arg)
{
    return arg[0] == '-' && arg[1] >= '0' && arg[1] <= '9';
}

int run(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err)
{
    static const option long_options[] = {
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {"key", required_argument, nullptr, 'k'},
        {"type", required_argument, nullptr, 't'},
        {"regedit4", no_argument, nullptr, '4'},
        {"datafile", required_argument, nullptr, 'd'},
        {"cwdpath", required_argument, nullptr, 'c'},
        {"logname", required_argument, nullptr, 'l'},
        {nullptr, 0, nullptr, 0},
    };
    // getopt moves options to the front (permutation) and would take a
    // negative number for one: such arguments are handed to it as a
    // stand-in that starts with no dash and are put back by their address.
    std::vector<char*> args_in(argv, argv + argc);
    std::map<const char*, char*> numbers;
    std::vector<std::string> stand_ins;
    stand_ins.reserve(args_in.size());
    for (size_t i = 1; i < args_in.size(); ++i) {
        if (std::string_view(args_in[i]) == "--")
            break;
        if (is_negative_number(args_in[i])) {
            stand_ins.push_back(std::string("n") + args_in[i]);
            numbers[stand_ins.back().c_str()] = args_in[i];
            args_in[i] = stand_ins.back().data();
        }
    }
    auto original = [&numbers](char* arg) -> std::string {
        auto found = numbers.find(arg);
        return found == numbers.end() ? arg : found->second;
    };
    argv = args_in.data();
    std::map<std::string, std::string> given;
    optind = 0; // start afresh on every call
    opterr = 0;
    int index = 0;
    int c;
    while ((c = getopt_long(argc, argv, ":h", long_options, &index)) != -1) {
        switch (c) {
        case 'h':
            out << kUsage;
            return 0;
        case 'V':
            out << "kestrel-reg " KESTREL_VERSION "\n";
            return 0;
        case ':':
            throw UsageError(std::string("option ") + argv[optind - 1] + " needs an argument");
        case '?':
            throw UsageError(std::string("unknown option ") + argv[optind - 1]);
        default:
            given[long_options[index].name] = optarg ? original(optarg) : "";
        }
    }

    std::vector<std::string> args;
    for (int i = optind; i < argc; ++i)
        args.push_back(original(argv[i]));
    if (args.empty())
        throw UsageError("missing command");
    auto command = kCommands.find(args[0]);
    if (command == kCommands.end())
        throw UsageError("unknown command '" + args[0] + "'");
    const std::string name = args[0];
    args.erase(args.begin());
    if (args.size() < command->second.min_args)
        throw UsageError(name + ": missing argument");
    if (args.size() > command->second.max_args)
        throw UsageError(name + ": too many arguments");
    for (const auto& [option, value] : given) {
        if (!command->second.options.contains(option))
            throw UsageError(name + ": option --" + option + " does not apply");
    }

    const std::string key = given.contains("key") ? given["key"] : kDefaultKey;
    if (name == "list") {
        list_values(key, out);
    } else if (name == "get") {
        get_value(key, args[0], out);
    } else if (name == "set") {
        set_value(key, args[0], args[1], given.contains("type") ? parse_type(given["type"]) : SetType::Sz);
    } else if (name == "delete") {
        delete_value(key, args[0]);
    } else if (name == "export") {
        export_key(key, given.contains("regedit4") ? RegFormat::Regedit4 : RegFormat::Version5,
                   args.empty() ? "" : args[0], out);
    } else {
        ImportOptions options;
        if (given.contains("datafile"))
            options.datafile = given["datafile"];
        if (given.contains("cwdpath"))
            options.cwdpath = given["cwdpath"];
        if (given.contains("logname"))
            options.logname = given["logname"];
        import_file(args[0], options, key, in, err);
    }
    return 0;
}

} // namespace

int run_cli(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err)
{
    try {
        return run(argc, argv, in, out, err);
    } catch (const UsageError& error) {
        err << "kestrel-reg: " << error.what() << "\nTry 'kestrel-reg --help' for more information.\n";
        return 2;
    } catch (const Refused& error) {
        err << "kestrel-reg: " << error.what() << '\n';
        return 1;
    }
}

} // namespace kreg
