#include <marlin/diag/ErrorTrap.h>

namespace marlin {

ErrorTrap::ErrorTrap(std::string moduleName, std::string procedureName)
    : ErrorTrap(RootDebug::Shared(), std::move(moduleName), std::move(procedureName)) {}

ErrorTrap::ErrorTrap(RootDebug& log, std::string moduleName, std::string procedureName)
    : log_(log), moduleName_(std::move(moduleName)), procedureName_(std::move(procedureName)) {
    log_.Push(moduleName_, {}, procedureName_);
}

ErrorTrap::~ErrorTrap() {
    try {
        log_.Pop();
    } catch (...) {
        // The entry is gone even when its trace line could not be written, and a
        // destructor has no caller to hand that failure to.
    }
}

void ErrorTrap::Report(const RuntimeError& error) {
    ++failures_;
    log_.LogRuntimeError(moduleName_, {}, procedureName_, {}, error);
}

}  // namespace marlin
