// kestrel-data: the record file of kestrel from the command line.
#include "platform/no_dumps.h"
#include "tools/data/data_tool.h"

#include <iostream>

int main(int argc, char** argv)
{
    // Record texts pass through this process: no core file may keep them.
    nodumps::forbid_dumps();
    return kdata::run_data_tool(argc, argv, std::cin, std::cout, std::cerr);
}
