#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "wire/WireHeader.h"

namespace marlin::sim::test {

// A bare client of the bus protocol that shows every byte: the tests use it to check the wire
// rules that a real client library hides (sequence bytes, block splitting, control replies).
class WireClient {
public:
    using Ms = std::chrono::milliseconds;

    struct Block {
        qzib::WireHeader header;
        std::string payload;
    };

    WireClient() = default;
    ~WireClient();
    WireClient(const WireClient&) = delete;
    WireClient& operator=(const WireClient&) = delete;

    // Opens the data connection and runs the set-up exchange; false with why() on failure.
    bool open(const std::string& address, std::uint16_t port, bool withControl = true);
    const std::string& why() const { return why_; }
    std::uint8_t versionReply[4] = {};
    std::uint8_t token[4] = {};

    // Sends one data message with the next sequence number.
    void write(std::string_view payload, bool end = true);
    void writeWithSequence(std::string_view payload, std::uint8_t sequence);
    std::uint8_t sequence() const { return sequence_; }
    std::optional<Block> readBlock(Ms limit = Ms(5000));
    // All blocks up to the one with FLAG_END, payloads joined.
    std::optional<std::string> readMessage(Ms limit = Ms(5000));
    std::optional<std::string> ask(std::string_view command, Ms limit = Ms(5000));

    std::optional<qzib::WireHeader> control(std::uint8_t flags, std::uint8_t code = 0, Ms limit = Ms(5000));
    void sendControl(std::uint8_t flags, std::uint8_t code = 0);
    std::optional<qzib::WireHeader> readControl(Ms limit = Ms(5000));
    std::optional<std::uint8_t> serialPoll(Ms limit = Ms(5000));

    // True when the data connection ends (EOF or reset) within the limit, reading and dropping
    // anything that comes before.
    bool dataClosed(Ms limit = Ms(5000));
    bool dataHasBytes(Ms limit);
    // Sends bytes as they are, on the control connection or the data connection.
    bool sendRaw(bool onControl, std::string_view bytes);
    bool controlHasBytes(Ms limit);
    void close();

    bool remote = true;
    bool consumedPending = false;

private:
    bool readExact(int fd, void* buffer, std::size_t count, Ms limit);
    bool sendAll(int fd, const void* buffer, std::size_t count);

    int data_ = -1;
    int control_ = -1;
    std::uint8_t sequence_ = 0;
    std::string why_;
};

}  // namespace marlin::sim::test
