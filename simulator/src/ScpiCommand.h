#pragma once

#include <string>
#include <vector>

namespace marlin::sim {

// One program message unit as the parser split it off: header mnemonics, query mark and the
// parameter texts (quotes kept, surrounding blanks removed).
struct ScpiCommand {
    std::string text;                 // the unit as received, for logs
    std::vector<std::string> tokens;  // header mnemonics in upper case ("SYST", "ERR")
    std::vector<std::string> params;
    bool common = false;    // "*IDN?" and friends
    bool absolute = false;  // header started with ':'
    bool query = false;
    int syntaxError = 0;  // a SCPI error number when the unit could not be parsed
};

}  // namespace marlin::sim
