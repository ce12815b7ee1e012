#pragma once
// What the recorder sends the instrument, as the tests expect to see it.

#include <string>
#include <vector>

namespace marlin::testing {

// START from the identity query up to the query of the trace export, for trace `trace` (1 to 4).
inline std::vector<std::string> startCommands(int trace = 1) {
    return {"*IDN?",
            "SYST:DISP:UPD ON",
            "INIT:CONT OFF",
            "SYST:Err:CLE:All",
            "FORMat ASCii",
            "MMEM:STOR:TRAC  " + std::to_string(trace) + ",'C:\\TRACE.DAT'",
            "MMEM:DATA? 'C:\\TRACE.DAT'"};
}

}  // namespace marlin::testing
