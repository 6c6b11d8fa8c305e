#include "tools/command_table.h"

#include <algorithm>
#include <getopt.h>
#include <string_view>

namespace tools {
namespace {

constexpr int kHelp = 'h';
constexpr int kVersion = 1;
constexpr int kFirstOption = 256;

// "-1", "-0x10": data that getopt would take for options.
bool is_negative_number(const char* arg)
{
    return arg[0] == '-' && arg[1] >= '0' && arg[1] <= '9';
}

int run(const Tool& tool, int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err)
{
    std::vector<option> long_options = {{"help", no_argument, nullptr, kHelp},
                                        {"version", no_argument, nullptr, kVersion}};
    for (size_t i = 0; i < tool.options.size(); ++i)
        long_options.push_back({tool.options[i].name, tool.options[i].takes_value ? required_argument : no_argument,
                                nullptr, kFirstOption + static_cast<int>(i)});
    long_options.push_back({nullptr, 0, nullptr, 0});

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
    int c;
    while ((c = getopt_long(argc, argv, ":h", long_options.data(), nullptr)) != -1) {
        if (c == kHelp) {
            out << tool.usage;
            return 0;
        }
        if (c == kVersion) {
            out << tool.name << " " KESTREL_VERSION "\n";
            return 0;
        }
        if (c == ':')
            throw UsageError(std::string("option ") + argv[optind - 1] + " needs an argument");
        if (c == '?' || c < kFirstOption)
            throw UsageError(std::string("unknown option ") + argv[optind - 1]);
        given[tool.options[c - kFirstOption].name] = optarg ? original(optarg) : "";
    }

    std::vector<std::string> args;
    for (int i = optind; i < argc; ++i)
        args.push_back(original(argv[i]));
    if (args.empty())
        throw UsageError("missing command");
    auto command = std::find_if(tool.commands.begin(), tool.commands.end(),
                                [&](const Command& known) { return args[0] == known.name; });
    if (command == tool.commands.end())
        throw UsageError("unknown command '" + args[0] + "'");
    const std::string name = args[0];
    args.erase(args.begin());
    if (args.size() < command->min_args)
        throw UsageError(name + ": missing argument");
    if (args.size() > command->max_args)
        throw UsageError(name + ": too many arguments");
    for (const auto& [option, value] : given) {
        if (std::find(command->options.begin(), command->options.end(), option) == command->options.end())
            throw UsageError(name + ": option --" + option + " does not apply");
    }
    if (!command->handler)
        throw Refused(name + " is not available yet");
    command->handler(Call{std::move(args), std::move(given), in, out, err});
    return 0;
}

} // namespace

std::string Call::option(const std::string& name, const std::string& fallback) const
{
    auto found = options.find(name);
    return found == options.end() ? fallback : found->second;
}

std::string Call::arg(size_t i, const std::string& fallback) const
{
    return i < args.size() ? args[i] : fallback;
}

int run_tool(const Tool& tool, int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err)
{
    try {
        return run(tool, argc, argv, in, out, err);
    } catch (const UsageError& error) {
        err << tool.name << ": " << error.what() << "\nTry '" << tool.name << " --help' for more information.\n";
        return 2;
    } catch (const Refused& error) {
        err << tool.name << ": " << error.what() << '\n';
        return 1;
    }
}

} // namespace tools
