// The command line shared by kestrel's tools: one table of commands, each
// with its number of arguments, the options it takes and its handler.
// Options may come anywhere, "--" ends them, and a negative number such as
// -1 is data. Exit status: 0 done, 1 refused (one line on standard error),
// 2 bad usage.
#pragma once

#include <istream>
#include <map>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tools {

// An operation the tool refuses: one line on standard error, exit status 1.
struct Refused : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// A wrong command line: exit status 2.
struct UsageError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// One run of a command: its arguments, the options given (name -> value,
// empty for a flag) and the standard streams.
struct Call
{
    std::vector<std::string> args;
    std::map<std::string, std::string> options;
    std::istream& in;
    std::ostream& out;
    std::ostream& err;

    bool has(const std::string& option) const { return options.contains(option); }
    // The option's value, or fallback when it was not given.
    std::string option(const std::string& name, const std::string& fallback = {}) const;
    // Argument i, or fallback when there are fewer.
    std::string arg(size_t i, const std::string& fallback = {}) const;
};

struct Command
{
    const char* name;
    size_t min_args;
    size_t max_args;
    std::vector<std::string> options; // the options it takes (long names)
    void (*handler)(const Call&);     // null: not built yet, refused as such
};

struct Option
{
    const char* name;
    bool takes_value;
};

struct Tool
{
    const char* name;  // "kestrel-reg"
    const char* usage; // printed by --help
    std::vector<Option> options;
    std::vector<Command> commands;
};

// Runs one command of the tool; every message starts with the tool's name.
int run_tool(const Tool& tool, int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err);

} // namespace tools
