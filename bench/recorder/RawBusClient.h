#pragma once
// The benchmark's baseline client: the bus protocol spoken over two plain sockets, without the
// bus library, so that the recorder's rate can be set beside what the wire allows.

#include <cstdint>
#include <string>

namespace marlin::bench {

class RawBusClient {
public:
    RawBusClient(const std::string& address, std::uint16_t port);  // throws std::runtime_error
    ~RawBusClient();
    RawBusClient(const RawBusClient&) = delete;
    RawBusClient& operator=(const RawBusClient&) = delete;

    void write(const std::string& command);
    // The whole reply message (every block up to the one marked END).
    std::string read();

private:
    void sendAll(int fd, const void* data, std::size_t size);
    void receiveAll(int fd, void* data, std::size_t size);
    void control(std::uint8_t flags, std::uint8_t code);

    int data_ = -1;
    int control_ = -1;
    std::uint8_t sequence_ = 0;
    bool consumed_ = false;
    bool addressed_ = false;
};

}  // namespace marlin::bench
