#include "marlin/core/QzibBinding.h"

#include <cstdlib>
#include <filesystem>

#include <marlin/base/ProgramPaths.h>
#include <qzib32.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace marlin {

namespace {

// The library's own prototypes, so a change there cannot go unnoticed here.
using IbfindFn = decltype(&QZDLLibfind);
using IbwrtFn = decltype(&QZDLLibwrt);
using IlrdFn = decltype(&QZDLLilrd);
using IbtmoFn = decltype(&QZDLLibtmo);
using IblocFn = decltype(&QZDLLibloc);
using IbonlFn = decltype(&QZDLLibonl);

constexpr const char* kFunctionNames[] = {"QZDLLibfind", "QZDLLibwrt", "QZDLLilrd",
                                          "QZDLLibtmo",  "QZDLLibloc", "QZDLLibonl"};

std::string defaultLibraryPath() {
    if (const char* env = std::getenv(QzibBinding::kPathVariable); env && *env) return env;
    const auto exeDir = ProgramPaths::executableDir();
    if (!exeDir.empty()) {
#ifdef _WIN32
        const auto beside = ProgramPaths::join(exeDir, QzibBinding::defaultFileName());
        if (std::filesystem::exists(beside)) return beside;
#else
        const auto candidate =
            std::filesystem::path(exeDir).parent_path() / "lib" / QzibBinding::defaultFileName();
        if (std::filesystem::exists(candidate)) return candidate.string();
#endif
    }
    return QzibBinding::defaultFileName();
}

}  // namespace

QzibBinding::QzibBinding(std::string path) : path_(path.empty() ? defaultLibraryPath() : std::move(path)) {}

QzibBinding::~QzibBinding() {
    // Unloading lets the library close its devices, which returns the instruments their
    // pending acknowledgements.
    if (handle_) {
#ifdef _WIN32
        FreeLibrary(static_cast<HMODULE>(handle_));
#else
        dlclose(handle_);
#endif
    }
}

std::string QzibBinding::defaultFileName() {
#ifdef _WIN32
    return "qzib32.dll";
#else
    return "libqzib32.so.1";
#endif
}

std::string QzibBinding::libraryPath() const {
    return path_;
}

std::string QzibBinding::bindingError() const {
    std::lock_guard lock(mutex_);
    return error_;
}

void* QzibBinding::resolve(Function f) {
    std::lock_guard lock(mutex_);
    if (functions_[f]) return functions_[f];
    if (!handle_) {
        if (loadTried_) return nullptr;  // error_ already says why
        loadTried_ = true;
#ifdef _WIN32
        handle_ = LoadLibraryA(path_.c_str());
        if (!handle_) {
            error_ = "The bus library \"" + path_ + "\" could not be loaded (system error " +
                     std::to_string(GetLastError()) + ").";
            return nullptr;
        }
#else
        handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_) {
            const char* why = dlerror();
            error_ = "The bus library \"" + path_ +
                     "\" could not be loaded: " + (why ? why : "unknown reason") + ". Set " + kPathVariable +
                     " to the library's full path.";
            return nullptr;
        }
#endif
    }
#ifdef _WIN32
    void* fn = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), kFunctionNames[f]));
#else
    dlerror();
    void* fn = dlsym(handle_, kFunctionNames[f]);
#endif
    if (!fn) {
        // The first function found missing is the one worth naming.
        if (error_.empty()) {
            error_ = std::string("The bus library \"") + path_ + "\" has no function " + kFunctionNames[f] +
                     "; it is not a compatible qzib32 library.";
        }
        return nullptr;
    }
    functions_[f] = fn;
    return fn;
}

std::int16_t QzibBinding::failCall(BusState& state) {
    state.ibsta = static_cast<std::int16_t>(kStatusErr);
    state.iberr = kErrOther;
    state.ibcntl = 0;
    return state.ibsta;
}

std::int16_t QzibBinding::ibfind(const char* address, BusState& state) {
    auto fn = reinterpret_cast<IbfindFn>(resolve(kIbfind));
    if (!fn) {
        failCall(state);
        return -1;
    }
    return fn(address, &state.ibsta, &state.iberr, &state.ibcntl);
}

std::int16_t QzibBinding::ibwrt(std::int16_t ud, const char* text, BusState& state) {
    auto fn = reinterpret_cast<IbwrtFn>(resolve(kIbwrt));
    if (!fn) return failCall(state);
    return fn(ud, text, &state.ibsta, &state.iberr, &state.ibcntl);
}

std::int16_t QzibBinding::ilrd(std::int16_t ud, char* buffer, std::uint32_t count, BusState& state) {
    auto fn = reinterpret_cast<IlrdFn>(resolve(kIlrd));
    if (!fn) return failCall(state);
    return fn(ud, buffer, count, &state.ibsta, &state.iberr, &state.ibcntl);
}

std::int16_t QzibBinding::ibtmo(std::int16_t ud, std::int16_t seconds, BusState& state) {
    auto fn = reinterpret_cast<IbtmoFn>(resolve(kIbtmo));
    if (!fn) return failCall(state);
    return fn(ud, seconds, &state.ibsta, &state.iberr, &state.ibcntl);
}

std::int16_t QzibBinding::ibloc(std::int16_t ud, BusState& state) {
    auto fn = reinterpret_cast<IblocFn>(resolve(kIbloc));
    if (!fn) return failCall(state);
    return fn(ud, &state.ibsta, &state.iberr, &state.ibcntl);
}

std::int16_t QzibBinding::ibonl(std::int16_t ud, std::int16_t flag, BusState& state) {
    auto fn = reinterpret_cast<IbonlFn>(resolve(kIbonl));
    if (!fn) return failCall(state);
    return fn(ud, flag, &state.ibsta, &state.iberr, &state.ibcntl);
}

bool QzibBinding::bindAll() {
    for (int f = 0; f < kFunctionCount; ++f) {
        if (!resolve(static_cast<Function>(f))) return false;
    }
    return true;
}

}  // namespace marlin
