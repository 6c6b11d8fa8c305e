// kestrel-reg: the registry tool of kestrel.
#include "platform/no_dumps.h"
#include "tools/reg/reg_tool.h"

#include <iostream>

int main(int argc, char** argv)
{
    // The login password's value passes through this process: no core file may keep it.
    nodumps::forbid_dumps();
    return kreg::run_cli(argc, argv, std::cin, std::cout, std::cerr);
}
