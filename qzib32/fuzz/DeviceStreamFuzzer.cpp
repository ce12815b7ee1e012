// Feeds arbitrary bytes to a device as everything its instrument sends on the data connection
// (headers, blocks, stale and oversized ones), with the control connection silent, and reads
// and writes the way callers do. No read may hand out more than it was asked for, nothing may
// touch memory beyond the caller's buffer, and every call must end.

#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <vector>

#include "channels/CSocketCommunicationChannel.h"
#include "device/CQzibDevice.h"
#include "device/DeviceTable.h"

int FuzzDeviceStream(const std::uint8_t* data, std::size_t size) {
    int dataPair[2];
    int controlPair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, dataPair) != 0) return 0;
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, controlPair) != 0) {
        ::close(dataPair[0]);
        ::close(dataPair[1]);
        return 0;
    }
    // The instrument's side: the whole input, then the end of its sending.
    const int buffer = 1 << 20;
    ::setsockopt(dataPair[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::send(dataPair[1], data + done, size - done, MSG_NOSIGNAL);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::shutdown(dataPair[1], SHUT_WR);
    ::shutdown(controlPair[1], SHUT_WR);
    {
        qzib::DeviceTable table;
        auto* device = new qzib::CQzibDevice(
            table, std::make_unique<qzib::CSocketCommunicationChannel>(dataPair[0], controlPair[0]), "fuzz");
        device->timeoutMs = 20;
        // Read sizes come from the input too, so that blocks are split in every way.
        std::size_t at = 0;
        auto nextCount = [&]() -> std::uint32_t {
            const std::uint8_t b = size > 0 ? data[at++ % size] : 0;
            return b % 3 == 0 ? 0u : static_cast<std::uint32_t>(b) * 7u;
        };
        for (int round = 0; round < 64; ++round) {
            try {
                std::uint32_t sent = 0;
                if (round % 4 == 0 && !device->Write("Q?", 2, sent, false)) break;
                const std::uint32_t count = nextCount();
                // Exactly the asked size, so that the address checker sees any overrun.
                std::vector<std::uint8_t> into(count);
                std::uint32_t received = 0;
                const bool ok = device->Read(into.data(), count, received);
                if (received > count) std::abort();
                if (!ok && device->PendingBytes() == 0 && round % 4 != 3) break;
            } catch (const std::exception&) {
                break;  // a closed connection or a socket error: reported to the caller
            }
        }
        delete device;
    }
    ::close(dataPair[1]);
    ::close(controlPair[1]);
    return 0;
}

#ifndef MARLIN_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzDeviceStream(data, size);
}
#endif
