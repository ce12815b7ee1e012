#include "exports/StatusMapping.h"

#include "channels/ErrorNumberFailure.h"

namespace qzib {

std::int16_t ErrorCodeForNumber(int number) {
    switch (number) {
        case 64:     // network name no longer available
        case 10022:  // invalid argument
        case 10024:  // too many open sockets
        case 10041:  // wrong protocol type
        case 10043:  // protocol not supported
        case 10044:  // socket type not supported
        case 10047:  // address family not supported
        case 10055:  // no buffer space
        case 10093:  // socket layer not started
            return kErrOpenFailed;
        case 10036:  // operation in progress
            return kErrInProgress;
        default:
            return kErrOther;
    }
}

std::int16_t ClassifyFailure(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const ErrorNumberFailure& numbered) {
        return ErrorCodeForNumber(numbered.number());
    } catch (...) {
        return kErrOther;
    }
}

}  // namespace qzib
