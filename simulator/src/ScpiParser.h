#pragma once

#include <string_view>
#include <vector>

#include "ScpiCommand.h"

namespace marlin::sim {

// Splits a program message into its units: ';' separates units outside quoted strings and
// definite-length blocks, ',' separates parameters, trailing CR/LF/blanks end the message.
class ScpiParser {
public:
    static std::vector<ScpiCommand> parse(std::string_view message);
    static ScpiCommand parseUnit(std::string_view unit);
};

}  // namespace marlin::sim
