// Runs a command-line tool's entry point in the test's process, as its
// program would with these arguments and this standard input.
#pragma once

#include <iosfwd>
#include <sstream>
#include <string>
#include <vector>

struct ToolResult
{
    int status;
    std::string out;
    std::string err;
};

using ToolEntry = int (*)(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err);

inline ToolResult run_tool(ToolEntry entry, const char* program, std::vector<std::string> args,
                           const std::string& input = {})
{
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::istringstream in(input);
    std::ostringstream out, err;
    const int status = entry(static_cast<int>(args.size()), argv.data(), in, out, err);
    return {status, out.str(), err.str()};
}
