// kestrel-reg: the registry tool of kestrel.
#include "tools/cli.h"

#include <iostream>

int main(int argc, char** argv)
{
    return kreg::run_cli(argc, argv, std::cin, std::cout, std::cerr);
}
