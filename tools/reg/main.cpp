// kestrel-reg: the registry tool of kestrel.
#include "tools/reg/reg_tool.h"

#include <iostream>

int main(int argc, char** argv)
{
    return kreg::run_cli(argc, argv, std::cin, std::cout, std::cerr);
}
