#pragma once
// The recorder's instrument dialogue on top of the bus: commands out, blank-filled replies in, and
// the definite-length "#" blocks of trace data and of the instrument's trace export.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "marlin/core/Bus.h"

namespace marlin {

// Outcome of reading one definite-length block.
struct BlockRead {
    enum class Result {
        Ok,         // all data bytes arrived
        Empty,      // nothing came back for the header: the instrument has nothing to send
        BadHeader,  // the header is not "#" + digit count + a decimal length
        TooLarge,   // the length is absurd; nothing was allocated for it
        NoData,     // the block announces no data at all
        Short,      // fewer data bytes arrived than the header announced
        BusError,   // nothing arrived because the bus call failed (not a timeout): connection lost
    };
    Result result = Result::Empty;
    std::string header;        // the header bytes as received ("#42004"), blanks where nothing came
    std::size_t expected = 0;  // data bytes the header announced
    std::size_t received = 0;  // data bytes that arrived
    std::string data;          // the data bytes (exactly `expected` long when Ok)
    std::int16_t iberr = 0;    // the bus error of a BusError

    bool ok() const { return result == Result::Ok; }
    // What came back, for a message to the user ("the block header \"#x\" is not valid").
    std::string describe() const;
};

class InstrumentIo {
public:
    // A block longer than this is refused before anything is allocated for it.
    static constexpr std::size_t kMaxBlockLength = 256u * 1024u * 1024u;
    // The identity reply is read into a buffer of this many bytes, never more.
    static constexpr std::size_t kIdentityLength = 1000;

    InstrumentIo(Bus& bus, BusState& state) : bus_(bus), state_(state) {}

    void write(std::string_view command);
    // Reads up to `count` bytes into a text of exactly `count` characters that starts out blank;
    // the bytes that did not arrive stay blanks. `received` gets the number that did.
    std::string ReadReply(std::size_t count, std::size_t* received = nullptr);
    // The identity reply, at most kIdentityLength bytes whatever the instrument sends.
    std::string readIdentity() { return ReadReply(kIdentityLength); }
    // Reads "#", the digit count d, d length digits and then length + extra bytes of data;
    // the extra bytes (a block terminator) are kept in `data` when they arrive but not required.
    BlockRead readBlock(std::size_t extra = 0);

private:
    Bus& bus_;
    BusState& state_;
};

}  // namespace marlin
