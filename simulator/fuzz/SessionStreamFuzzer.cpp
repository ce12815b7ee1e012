// Feeds arbitrary bytes to a device session as everything its client sends on the data
// connection: message headers, blocks of any length, flags and sequence bytes, and the
// program messages they carry. The session must end when the client's bytes end, whatever they
// were, with every reply it sends well formed.

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "Session.h"
#include "SessionHost.h"
#include "WakePipe.h"
#include "wire/WireHeader.h"

namespace {

class FuzzHost : public marlin::sim::SessionHost {
public:
    FuzzHost() {
        marlin::sim::SimulatorOptions o;
        o.instrument.points = 11;
        o.maxBlockBytes = 64;
        o.limits.messageBytes = 1 << 12;
        o.limits.replyBytes = 1 << 14;
        o.limits.storedBytesPerDevice = 1 << 12;
        o.limits.totalBytes = 1 << 14;
        options_ = std::make_shared<const marlin::sim::SimulatorOptions>(o);
    }
    std::shared_ptr<const marlin::sim::SimulatorOptions> options() const override { return options_; }
    void log(std::string_view) override {}
    void sessionFinished() override {
        std::lock_guard lock(mutex_);
        finished_ = true;
        changed_.notify_all();
    }
    std::shared_ptr<marlin::sim::MemoryBudget> memoryBudget() const override { return budget_; }
    int stopFd() const override { return stop_.fd(); }
    bool finished() {
        std::lock_guard lock(mutex_);
        return finished_;
    }

private:
    std::shared_ptr<const marlin::sim::SimulatorOptions> options_;
    std::shared_ptr<marlin::sim::MemoryBudget> budget_ = std::make_shared<marlin::sim::MemoryBudget>(1 << 14);
    marlin::sim::WakePipe stop_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool finished_ = false;
};

// Checks the replies' framing as they arrive: each block's header announces what follows.
struct ReplyChecker {
    std::vector<std::uint8_t> pending;
    void take(const std::uint8_t* bytes, std::size_t n) {
        pending.insert(pending.end(), bytes, bytes + n);
        while (pending.size() >= qzib::WireHeader::kSize) {
            const auto h = qzib::WireHeader::decode(pending.data());
            if (h.length > (1u << 14) + 64) std::abort();
            if (pending.size() < qzib::WireHeader::kSize + h.length) return;
            pending.erase(pending.begin(), pending.begin() + qzib::WireHeader::kSize + h.length);
        }
    }
};

}  // namespace

int FuzzSessionStream(const std::uint8_t* data, std::size_t size) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return 0;
    FuzzHost host;
    {
        marlin::sim::Session session(host, pair[0], {1, 2, 3, 4}, 1);
        session.start();
        ReplyChecker replies;
        std::size_t sent = 0;
        bool shut = false;
        std::uint8_t buffer[4096];
        // Sends the input and takes the replies in, until the session has ended on its own.
        while (!host.finished()) {
            pollfd p{pair[1], static_cast<short>(POLLIN | (sent < size ? POLLOUT : 0)), 0};
            if (::poll(&p, 1, 10) < 0) break;
            if (p.revents & POLLIN) {
                const ssize_t n = ::recv(pair[1], buffer, sizeof buffer, MSG_DONTWAIT);
                if (n > 0) replies.take(buffer, static_cast<std::size_t>(n));
            }
            if (sent < size && (p.revents & POLLOUT)) {
                const ssize_t n = ::send(pair[1], data + sent, size - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
                if (n > 0) sent += static_cast<std::size_t>(n);
            }
            if (sent == size && !shut) {
                ::shutdown(pair[1], SHUT_WR);
                shut = true;
            }
        }
    }
    ::close(pair[1]);
    return 0;
}

#ifndef MARLIN_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzSessionStream(data, size);
}
#endif
