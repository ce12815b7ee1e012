#pragma once
// marlin-cli's commands for recorded files: `info` describes a trace file, `export` turns it into
// CSV, NumPy, HDF5 or a heatmap picture.

#include <ostream>
#include <string>
#include <vector>

namespace marlin::cli {

// Exit statuses of `info` and `export`, documented in their --help (0, 1, 2 and 8 mean what they
// mean for `record`).
enum TraceExitStatus : int {
    kTraceOk = 0,
    kTraceOutputExists = 1,  // OUT exists and --overwrite was not given; it is untouched
    kTraceUsage = 2,
    kTraceFileError = 8,  // the trace file could not be read, or OUT could not be written
    kTraceDamaged = 9,    // damaged file: everything readable was printed or exported, the rest named
    kTraceNothing = 10,   // export: no complete reading in the file or in the chosen range
};

bool isTraceCommand(const std::vector<std::string>& args);

// Runs `info` or `export` (args[0]); `progressTerminal` says whether `err` is a terminal, where
// export shows its progress line.
int runTraceCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    bool progressTerminal);

// The lines --help adds for the two commands.
std::string traceCommandsUsage();

}  // namespace marlin::cli
