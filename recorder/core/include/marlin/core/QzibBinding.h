#pragma once
// Run-time binding of the qzib32 bus library: the library is loaded at the first bus call and each
// function is looked up by name at its first use, so the recorder starts (and shows its window)
// even where the library is missing. A missing library or function never crashes the program:
// the call reports ERR and bindingError() names the library and what was missing.

#include <array>
#include <mutex>
#include <string>

#include "marlin/core/Bus.h"

namespace marlin {

class QzibBinding final : public Bus {
public:
    // Environment variable that names the library file to load instead of the default.
    static constexpr const char* kPathVariable = "MARLIN_QZIB32_LIBRARY";

    // Binds the library at `path`; an empty path means: $MARLIN_QZIB32_LIBRARY, else the library
    // in ../lib beside the program, else the system's search by soname.
    explicit QzibBinding(std::string path = {});
    ~QzibBinding() override;
    QzibBinding(const QzibBinding&) = delete;
    QzibBinding& operator=(const QzibBinding&) = delete;

    std::int16_t ibfind(const char* address, BusState& state) override;
    std::int16_t ibwrt(std::int16_t ud, const char* text, BusState& state) override;
    std::int16_t ilrd(std::int16_t ud, char* buffer, std::uint32_t count, BusState& state) override;
    std::int16_t ibtmo(std::int16_t ud, std::int16_t seconds, BusState& state) override;
    std::int16_t ibloc(std::int16_t ud, BusState& state) override;
    std::int16_t ibonl(std::int16_t ud, std::int16_t flag, BusState& state) override;
    bool bindAll() override;
    std::string bindingError() const override;

    // The library file this binding loads (or tried to load).
    std::string libraryPath() const;
    // The file name of the library as the platform names it.
    static std::string defaultFileName();

private:
    enum Function { kIbfind, kIbwrt, kIlrd, kIbtmo, kIbloc, kIbonl, kFunctionCount };
    void* resolve(Function f);
    std::int16_t failCall(BusState& state);

    std::string path_;
    mutable std::mutex mutex_;
    void* handle_ = nullptr;
    bool loadTried_ = false;
    std::array<void*, kFunctionCount> functions_{};
    std::string error_;
};

}  // namespace marlin
