// kestrel-reg: its command table and usage.
#pragma once

#include <istream>
#include <ostream>

namespace kreg {

// Exit status: 0 done, 1 refused (one line on err; warnings and notices
// there too), 2 bad usage. in is read by "import -".
int run_cli(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err);

} // namespace kreg
