// The kestrel-reg command line: parses the arguments and runs one subcommand.
#pragma once

#include <ostream>

namespace kreg {

// Exit status: 0 done, 1 refused (one line on err), 2 bad usage.
int run_cli(int argc, char** argv, std::ostream& out, std::ostream& err);

} // namespace kreg
