#pragma once

#include <cstdint>
#include <exception>

#include "qzib32.h"

namespace qzib {

// The status bits and error codes are the public header's; these are their names inside the library.
inline constexpr std::int16_t kStatusErr = QZ_ERR;
inline constexpr std::int16_t kStatusTimo = QZ_TIMO;
inline constexpr std::int16_t kStatusCmpl = QZ_CMPL;
inline constexpr std::int16_t kStatusErrTimo = static_cast<std::int16_t>(QZ_ERR | QZ_TIMO);

inline constexpr std::int16_t kErrOpenFailed = QZ_EOPEN;
inline constexpr std::int16_t kErrUnknownDevice = QZ_EUD;
inline constexpr std::int16_t kErrNoMemory = QZ_ENOMEM;
inline constexpr std::int16_t kErrTimeout = QZ_ETIMEOUT;
inline constexpr std::int16_t kErrInProgress = QZ_EINPROGRESS;
inline constexpr std::int16_t kErrFileOpen = QZ_EFILE;
inline constexpr std::int16_t kErrOther = QZ_EOTHER;

// The error code for an error number raised by the socket layer (or 0 from a failed open).
std::int16_t ErrorCodeForNumber(int number);

// The error code for any caught failure: error numbers by the table above, everything else
// ("Connection closed" and the like) as -1.
std::int16_t ClassifyFailure(std::exception_ptr failure);

}  // namespace qzib
