#pragma once

#include <string>
#include <vector>

#include "analyzer_sim/SimulatorOptions.h"

namespace marlin::sim {

// The command line of analyzer-sim: "--name value" or "--name=value".
class CommandLine {
public:
    struct Result {
        SimulatorOptions options;
        bool help = false;
        bool version = false;
        std::string error;  // what was wrong, ready to print; empty when the line was fine
    };

    static Result parse(const std::vector<std::string>& args);
    static std::string helpText();
};

}  // namespace marlin::sim
