// kestrel-data: the record file of kestrel from the command line.
#include "tools/data/data_tool.h"
#include "tools/data/no_core_dumps.h"

#include <iostream>

int main(int argc, char** argv)
{
    kdata::disable_core_dumps();
    return kdata::run_data_tool(argc, argv, std::cin, std::cout, std::cerr);
}
