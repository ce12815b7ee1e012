// The error trap of the procedures that report into the diagnostics log.
//
//     std::string GetSomething() {
//         marlin::ErrorTrap trap("QZStandard", "GetSomething");  // pushed on the call stack
//         std::string result;
//         trap.Run([&] { result = StepThatMayThrow(); });         // a failure is logged...
//         trap.Run([&] { result += OtherStep(); });               // ...and the next step runs
//         return result;                                          // popped at every exit
//     }
//
// A failing step is written as a runtime-error record with the step's own error
// (number, description, source) and the procedure goes on with its next step. A
// failure of the log itself (its file cannot be written) ends the procedure and goes
// to its caller; the call stack is popped on that way out as well.
#pragma once

#include <string>
#include <utility>

#include <marlin/diag/RootDebug.h>
#include <marlin/diag/RuntimeError.h>

namespace marlin {

class ErrorTrap {
public:
    // Reports into the shared log, creating it if needed.
    ErrorTrap(std::string moduleName, std::string procedureName);
    ErrorTrap(RootDebug& log, std::string moduleName, std::string procedureName);
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // Runs one step; returns false when it failed and its error was logged.
    template <typename Step>
    bool Run(Step&& step) {
        try {
            std::forward<Step>(step)();
            return true;
        } catch (...) {
            // Outside the try: a log failure while reporting must not be taken for the step's.
            pendingError_ = CurrentRuntimeError();
        }
        Report(pendingError_);
        return false;
    }

    // Logs a failure that a step detected without throwing.
    void Report(const RuntimeError& error);

    // Steps that failed so far.
    int Failures() const { return failures_; }
    RootDebug& Log() const { return log_; }

private:
    RootDebug& log_;
    std::string moduleName_;
    std::string procedureName_;
    RuntimeError pendingError_;
    int failures_ = 0;
};

}  // namespace marlin
