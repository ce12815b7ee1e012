#pragma once

#include <string_view>
#include <vector>

#include "ScpiCommand.h"

namespace marlin::sim {

// Splits a program message into its units: ';' separates units outside quoted strings and
// definite-length blocks, ',' separates parameters, trailing CR/LF/blanks end the message.
class ScpiParser {
public:
    // The units of a message one at a time: however many units a message has, only one is
    // parsed and held at once, and the message is scanned once.
    class Units {
    public:
        explicit Units(std::string_view message);
        // False after the last unit.
        bool next(ScpiCommand& command);

    private:
        std::string_view message_;
        std::size_t pos_ = 0;
        bool done_ = false;
    };

    static std::vector<ScpiCommand> parse(std::string_view message);
    static ScpiCommand parseUnit(std::string_view unit);
};

}  // namespace marlin::sim
