// The runtime error that a failing step reports: the number, description and
// source that the diagnostics log writes and the error report window shows.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace marlin {

struct RuntimeError {
    std::int32_t Number = 0;
    std::string Description;
    std::string Source;

    friend bool operator==(const RuntimeError&, const RuntimeError&) = default;
};

// Classic error numbers that the recorder's reports have always used.
inline constexpr std::int32_t kErrInvalidArgument = 5;
inline constexpr std::int32_t kErrOverflow = 6;
inline constexpr std::int32_t kErrOutOfMemory = 7;
inline constexpr std::int32_t kErrOutOfRange = 9;
inline constexpr std::int32_t kErrInternal = 51;
inline constexpr std::int32_t kErrFileNotFound = 53;

// Raised by a procedure that knows the number of its failure.
class RuntimeErrorException : public std::runtime_error {
public:
    explicit RuntimeErrorException(RuntimeError error);
    const RuntimeError& error() const noexcept { return error_; }

private:
    RuntimeError error_;
};

// The error of the exception being handled; call it only inside a catch block.
// A system error keeps its own number and message; the standard exceptions map to
// the classic numbers above; anything else is an internal error (51).
// The source is the program's product name unless the exception names one.
RuntimeError CurrentRuntimeError();

}  // namespace marlin
