#include <iostream>
#include <string>
#include <vector>

#include "tools/stowpack/cli.h"

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return runStowpack(arguments, std::cout, std::cerr);
}
