#include "ScpiErrors.h"

namespace marlin::sim::scpi {

std::string_view errorText(int code) {
    switch (code) {
        case kNoError:
            return "No error";
        case kCommandError:
            return "Command error";
        case kInvalidCharacter:
            return "Invalid character";
        case kSyntaxError:
            return "Syntax error";
        case kInvalidSeparator:
            return "Invalid separator";
        case kDataTypeError:
            return "Data type error";
        case kParameterNotAllowed:
            return "Parameter not allowed";
        case kMissingParameter:
            return "Missing parameter";
        case kUndefinedHeader:
            return "Undefined header";
        case kHeaderSuffixOutOfRange:
            return "Header suffix out of range";
        case kInvalidSuffix:
            return "Invalid suffix";
        case kExecutionError:
            return "Execution error";
        case kInitIgnored:
            return "Init ignored";
        case kSettingsConflict:
            return "Settings conflict";
        case kDataOutOfRange:
            return "Data out of range";
        case kTooMuchData:
            return "Too much data";
        case kIllegalParameterValue:
            return "Illegal parameter value";
        case kOutOfMemory:
            return "Out of memory";
        case kMediaFull:
            return "Media full";
        case kFileNameNotFound:
            return "File name not found";
        case kQueueOverflow:
            return "Queue overflow";
        case kQueryInterrupted:
            return "Query INTERRUPTED";
        default:
            return "Error";
    }
}

}  // namespace marlin::sim::scpi
