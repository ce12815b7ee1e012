// marlin-cli: records an analyzer's trace into a trace file without a display.
#include <unistd.h>

#include <iostream>

#include "CliApp.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return marlin::cli::run(args, std::cout, std::cerr, ::isatty(STDOUT_FILENO) != 0);
}
