// kestrel-data: its command table and usage.
#pragma once

#include <istream>
#include <ostream>

namespace kdata {

// Exit status: 0 done (check: the file is whole), 1 refused or not whole
// (one line on err), 2 bad usage.
int run_data_tool(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err);

} // namespace kdata
