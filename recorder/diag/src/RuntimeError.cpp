#include <marlin/diag/RuntimeError.h>

#include <exception>
#include <new>
#include <system_error>
#include <utility>

#include <marlin/product.h>

namespace marlin {

RuntimeErrorException::RuntimeErrorException(RuntimeError error)
    : std::runtime_error(error.Description), error_(std::move(error)) {}

RuntimeError CurrentRuntimeError() {
    RuntimeError error;
    error.Source = MARLIN_PRODUCT_NAME;
    if (!std::current_exception()) {
        error.Number = kErrInternal;
        error.Description = "Internal error";
        return error;
    }
    try {
        throw;
    } catch (const RuntimeErrorException& e) {
        error = e.error();
    } catch (const std::system_error& e) {
        error.Number = e.code().value();
        error.Description = e.what();
    } catch (const std::bad_alloc&) {
        error.Number = kErrOutOfMemory;
        error.Description = "Out of memory";
    } catch (const std::out_of_range& e) {
        error.Number = kErrOutOfRange;
        error.Description = e.what();
    } catch (const std::invalid_argument& e) {
        error.Number = kErrInvalidArgument;
        error.Description = e.what();
    } catch (const std::overflow_error& e) {
        error.Number = kErrOverflow;
        error.Description = e.what();
    } catch (const std::exception& e) {
        error.Number = kErrInternal;
        error.Description = e.what();
    } catch (...) {
        error.Number = kErrInternal;
        error.Description = "Internal error";
    }
    return error;
}

}  // namespace marlin
