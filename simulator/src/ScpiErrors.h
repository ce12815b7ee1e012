#pragma once

#include <string_view>

namespace marlin::sim::scpi {

// The standard SCPI error numbers the instrument reports through its error queue.
constexpr int kNoError = 0;
constexpr int kCommandError = -100;
constexpr int kInvalidCharacter = -101;
constexpr int kSyntaxError = -102;
constexpr int kInvalidSeparator = -103;
constexpr int kDataTypeError = -104;
constexpr int kParameterNotAllowed = -108;
constexpr int kMissingParameter = -109;
constexpr int kUndefinedHeader = -113;
constexpr int kHeaderSuffixOutOfRange = -114;
constexpr int kInvalidSuffix = -131;
constexpr int kExecutionError = -200;
constexpr int kInitIgnored = -213;
constexpr int kSettingsConflict = -221;
constexpr int kDataOutOfRange = -222;
constexpr int kTooMuchData = -223;
constexpr int kIllegalParameterValue = -224;
constexpr int kOutOfMemory = -225;
constexpr int kMediaFull = -254;
constexpr int kFileNameNotFound = -256;
constexpr int kQueueOverflow = -350;
constexpr int kQueryInterrupted = -410;

// The standard message text of an error number ("Undefined header" for -113).
std::string_view errorText(int code);

}  // namespace marlin::sim::scpi
