#include "marlin/core/QzibBinding.h"

#include <cstdlib>
#include <filesystem>

#include <marlin/base/ProgramPaths.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace marlin {

namespace {

// The library's C interface for the calls the recorder makes: 16-bit handles and flags, 32-bit
// counts, the status triple by reference as the last three arguments.
#ifdef _WIN32
#define QZ_CALL __stdcall
#else
#define QZ_CALL
#endif
using IbfindFn = std::int16_t(QZ_CALL*)(const char*, std::int16_t*, std::int16_t*, std::int32_t*);
using IbwrtFn = std::int16_t(QZ_CALL*)(std::int16_t, const char*, std::int16_t*, std::int16_t*,
                                       std::int32_t*);
using IlrdFn = std::int16_t(QZ_CALL*)(std::int16_t, char*, std::uint32_t, std::int16_t*, std::int16_t*,
                                      std::int32_t*);
using IbtmoFn = std::int16_t(QZ_CALL*)(std::int16_t, std::int16_t, std::int16_t*, std::int16_t*,
                                       std::int32_t*);
using IblocFn = std::int16_t(QZ_CALL*)(std::int16_t, std::int16_t*, std::int16_t*, std::int32_t*);
using IbonlFn = std::int16_t(QZ_CALL*)(std::int16_t, std::int16_t, std::int16_t*, std::int16_t*,
                                       std::int32_t*);

constexpr const char* kFunctionNames[] = {"QZDLLibfind", "QZDLLibwrt", "QZDLLilrd",
                                          "QZDLLibtmo",  "QZDLLibloc", "QZDLLibonl"};

std::string defaultLibraryPath() {
    if (const char* env = std::getenv(BusLibrary::kPathVariable); env && *env) return env;
    const auto exeDir = ProgramPaths::executableDir();
    if (!exeDir.empty()) {
#ifdef _WIN32
        const auto beside = ProgramPaths::join(exeDir, BusLibrary::defaultFileName());
        if (std::filesystem::exists(beside)) return beside;
#else
        const auto candidate =
            std::filesystem::path(exeDir).parent_path() / "lib" / BusLibrary::defaultFileName();
        if (std::filesystem::exists(candidate)) return candidate.string();
#endif
    }
    return BusLibrary::defaultFileName();
}

}  // namespace

BusLibrary::BusLibrary(std::string path) : path_(path.empty() ? defaultLibraryPath() : std::move(path)) {}

BusLibrary::~BusLibrary() {
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

std::string BusLibrary::defaultFileName() {
#ifdef _WIN32
    return "qzib32.dll";
#else
    return "libqzib32.so.1";
#endif
}

std::string BusLibrary::libraryPath() const {
    return path_;
}

std::string BusLibrary::bindingError() const {
    std::lock_guard lock(mutex_);
    return error_;
}

void* BusLibrary::resolve(Function f) {
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

std::int16_t BusLibrary::failCall(BusState& state) {
    state.ibsta = static_cast<std::int16_t>(kStatusErr);
    state.iberr = -1;
    state.ibcntl = 0;
    return state.ibsta;
}

std::int16_t BusLibrary::ibfind(const char* address, BusState& state) {
    auto fn = reinterpret_cast<IbfindFn>(resolve(kIbfind));
    if (!fn) {
        failCall(state);
        return -1;
    }
    return fn(address, &state.ibsta, &state.iberr, &state.ibcntl);
}

std::int16_t BusLibrary::ibwrt(std::int16_t ud, const char* text, BusState& state) {
    auto fn = reinterpret_cast<IbwrtFn>(resolve(kIbwrt));
    if (!fn) return failCall(state);
    return fn(ud, text, &state.ibsta, &state.iberr, &state.ibcntl);
}

std::int16_t BusLibrary::ilrd(std::int16_t ud, char* buffer, std::uint32_t count, BusState& state) {
    auto fn = reinterpret_cast<IlrdFn>(resolve(kIlrd));
    if (!fn) return failCall(state);
    return fn(ud, buffer, count, &state.ibsta, &state.iberr, &state.ibcntl);
}

std::int16_t BusLibrary::ibtmo(std::int16_t ud, std::int16_t seconds, BusState& state) {
    auto fn = reinterpret_cast<IbtmoFn>(resolve(kIbtmo));
    if (!fn) return failCall(state);
    return fn(ud, seconds, &state.ibsta, &state.iberr, &state.ibcntl);
}

std::int16_t BusLibrary::ibloc(std::int16_t ud, BusState& state) {
    auto fn = reinterpret_cast<IblocFn>(resolve(kIbloc));
    if (!fn) return failCall(state);
    return fn(ud, &state.ibsta, &state.iberr, &state.ibcntl);
}

std::int16_t BusLibrary::ibonl(std::int16_t ud, std::int16_t flag, BusState& state) {
    auto fn = reinterpret_cast<IbonlFn>(resolve(kIbonl));
    if (!fn) return failCall(state);
    return fn(ud, flag, &state.ibsta, &state.iberr, &state.ibcntl);
}

bool BusLibrary::bindAll() {
    for (int f = 0; f < kFunctionCount; ++f) {
        if (!resolve(static_cast<Function>(f))) return false;
    }
    return true;
}

}  // namespace marlin
