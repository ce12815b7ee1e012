// Feeds arbitrary program messages to the simulated instrument: the command parser, every
// handler and the block and number parsers behind them. Nothing may crash, a reply stays
// within its limit, and parsing must not grow with the message faster than the message does.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Instrument.h"
#include "ScpiParser.h"

int FuzzScpiCommands(const std::uint8_t* data, std::size_t size) {
    using marlin::sim::Instrument;
    const std::string_view message(reinterpret_cast<const char*>(data), size);

    // Time stands still and no wait completes, so sweeps and *OPC? cannot block.
    Instrument::Hooks hooks;
    const Instrument::Clock::time_point start{};
    hooks.now = [start] { return start; };
    hooks.waitUntil = [](Instrument::Clock::time_point) { return false; };
    hooks.date = [] { return std::string("2026-12-07"); };
    marlin::sim::InstrumentOptions options;
    options.points = 11;
    Instrument instrument(options, hooks);
    marlin::sim::ResourceLimits limits;
    limits.replyBytes = 1 << 16;
    limits.storedBytesPerDevice = 1 << 16;
    limits.storedFilesPerDevice = 8;
    instrument.setLimits(limits, std::make_shared<marlin::sim::MemoryBudget>(1 << 17));

    std::size_t units = 0;
    marlin::sim::ScpiParser::Units reader(message);
    for (marlin::sim::ScpiCommand command; reader.next(command);) {
        if (command.text.size() > size) std::abort();
        ++units;
    }
    if (units > size + 1) std::abort();  // each unit takes at least its separator

    const Instrument::Response response = instrument.execute(message);
    if (response.bytes.size() > limits.replyBytes + 1) std::abort();
    for (const auto& [offset, length] : response.blocks) {
        if (offset + length > response.bytes.size()) std::abort();
    }
    // The instrument answers again after whatever came before.
    if (instrument.execute("*IDN?").bytes.rfind("QUAZAR", 0) != 0) std::abort();
    return 0;
}

#ifndef MARLIN_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzScpiCommands(data, size);
}
#endif
