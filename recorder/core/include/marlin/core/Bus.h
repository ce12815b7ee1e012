#pragma once
// The bus calls the recorder makes, as one small interface. The production implementation binds
// the qzib32 shared library at run time (QzibBinding); tests put a fake instrument behind it.

#include <cstdint>
#include <string>

#include <qzib32.h>

namespace marlin {

// Status word bits and error codes of the bus library, as its public header names them.
inline constexpr std::uint16_t kStatusErr = static_cast<std::uint16_t>(QZ_ERR);
inline constexpr std::uint16_t kStatusTimo = static_cast<std::uint16_t>(QZ_TIMO);
inline constexpr std::uint16_t kStatusCmpl = static_cast<std::uint16_t>(QZ_CMPL);
inline constexpr std::int16_t kErrTimeout = QZ_ETIMEOUT;  // a wait ran out or a transfer came up short
inline constexpr std::int16_t kErrOther = QZ_EOTHER;      // any other failure; also: no binding

// The status triple every call reports into, and the device handle the recorder keeps.
struct BusState {
    std::int16_t ud = 0;
    std::int16_t ibsta = 0;
    std::int16_t iberr = 0;
    std::int32_t ibcntl = 0;
};

class Bus {
public:
    virtual ~Bus() = default;

    // Each call mirrors the library function of the same name; the status triple is written
    // into `state`. A call that cannot reach the library at all reports ERR with iberr -1 and
    // leaves the reason in bindingError().
    virtual std::int16_t ibfind(const char* address, BusState& state) = 0;
    virtual std::int16_t ibwrt(std::int16_t ud, const char* text, BusState& state) = 0;
    virtual std::int16_t ilrd(std::int16_t ud, char* buffer, std::uint32_t count, BusState& state) = 0;
    virtual std::int16_t ibtmo(std::int16_t ud, std::int16_t seconds, BusState& state) = 0;
    virtual std::int16_t ibloc(std::int16_t ud, BusState& state) = 0;
    // flag 0 closes the device: the next ibfind for its address opens the instrument afresh.
    virtual std::int16_t ibonl(std::int16_t ud, std::int16_t flag, BusState& state) = 0;

    // Makes sure every call above can be made (library loaded, every function found), so that a
    // recording never starts with a call it cannot finish. False, with bindingError() naming the
    // first thing missing, when not.
    virtual bool bindAll() { return bindingError().empty(); }

    // Why the last call could not be made (library not found, function missing); empty when
    // the binding is fine.
    virtual std::string bindingError() const { return {}; }
};

}  // namespace marlin
