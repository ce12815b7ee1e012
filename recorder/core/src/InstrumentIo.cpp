#include "marlin/core/InstrumentIo.h"

#include <algorithm>

namespace marlin {

std::string BlockRead::describe() const {
    switch (result) {
        case Result::Ok:
            return "a complete block of " + std::to_string(expected) + " bytes";
        case Result::Empty:
            return "no reply";
        case Result::BadHeader:
            return "the block header \"" + header + "\", which is not a valid block header";
        case Result::TooLarge:
            return "the block header \"" + header + "\", which announces an impossible length of " +
                   std::to_string(expected) + " bytes";
        case Result::NoData:
            return "the block header \"" + header + "\", which announces no data";
        case Result::BusError:
            return "no reply at all, not even to the sweep time query (bus error " + std::to_string(iberr) +
                   "; the connection to the instrument may be lost)";
        case Result::Short:
            return std::to_string(received) + " of the " + std::to_string(expected) + " data bytes announced";
    }
    return {};
}

void InstrumentIo::write(std::string_view command) {
    const std::string text(command);  // zero-terminated for the library
    bus_.ibwrt(state_.ud, text.c_str(), state_);
}

std::string InstrumentIo::ReadReply(std::size_t count, std::size_t* received) {
    std::string buffer(count, ' ');
    bus_.ilrd(state_.ud, buffer.data(), static_cast<std::uint32_t>(count), state_);
    const auto got = std::clamp<std::int64_t>(state_.ibcntl, 0, static_cast<std::int64_t>(count));
    if (received) *received = static_cast<std::size_t>(got);
    return buffer;
}

BlockRead InstrumentIo::readBlock(std::size_t extra) {
    BlockRead block;
    std::size_t got = 0;
    block.header = ReadReply(2, &got);
    if (block.header.find_first_not_of(' ') == std::string::npos) {
        // An instrument says "nothing to send" by not answering, which the bus reports as a
        // timeout; any other failure means the connection itself is gone.
        const bool failed = (static_cast<std::uint16_t>(state_.ibsta) & kStatusErr) != 0;
        block.result = failed && state_.iberr != kErrTimeout ? BlockRead::Result::BusError : BlockRead::Result::Empty;
        block.iberr = state_.iberr;
        return block;
    }
    const char digitCount = block.header[1];
    if (block.header[0] != '#' || digitCount < '1' || digitCount > '9') {
        block.result = BlockRead::Result::BadHeader;
        return block;
    }
    const auto d = static_cast<std::size_t>(digitCount - '0');
    const std::string lengthText = ReadReply(d, &got);
    block.header += lengthText;
    if (got < d ||
        !std::all_of(lengthText.begin(), lengthText.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        block.result = BlockRead::Result::BadHeader;
        return block;
    }
    std::size_t length = 0;
    for (char c : lengthText) length = length * 10 + static_cast<std::size_t>(c - '0');  // at most 9 digits
    block.expected = length;
    if (length > kMaxBlockLength) {
        block.result = BlockRead::Result::TooLarge;
        return block;
    }
    if (length == 0) {
        block.result = BlockRead::Result::NoData;
        return block;
    }
    block.data = ReadReply(length + extra, &got);
    block.received = std::min(got, length);
    if (got < length) {
        block.result = BlockRead::Result::Short;
        return block;
    }
    block.data.resize(got);  // keep a terminator only when it arrived
    block.result = BlockRead::Result::Ok;
    return block;
}

}  // namespace marlin
