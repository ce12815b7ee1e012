#include "analyzer_sim/Simulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <list>
#include <mutex>
#include <random>
#include <system_error>
#include <thread>

#include "Session.h"
#include "SessionHost.h"
#include "WakePipe.h"
#include "wire/WireHeader.h"
#include "channels/CServerInetCommunicationChannelFactory.h"
#include "channels/ErrorNumberFailure.h"

namespace marlin::sim {
namespace {

constexpr std::uint16_t kFallbackPort = 2525;
// Accept failures in the bus library's (Winsock) numbering: no descriptors, no buffer space.
constexpr int kOutOfDescriptors = 10024;
constexpr int kOutOfBuffers = 10055;
constexpr auto kGreetingLimit = std::chrono::seconds(5);
constexpr int kBacklog = 64;
// Out of descriptors with none in reserve, the listener is left alone this long before the
// next try, instead of being polled (and failing) in a loop.
constexpr auto kShortageBackoff = std::chrono::milliseconds(100);

// A connection accepted but not yet known as data or control: its first four bytes decide.
struct Greeting {
    qzib::SocketHandle socket = qzib::kInvalidSocket;
    std::array<std::uint8_t, 4> bytes{};
    std::size_t received = 0;
    std::chrono::steady_clock::time_point deadline;
};

// Socket error numbers come in the bus library's (Winsock) numbering.
std::string socketErrorText(int number) {
    switch (number) {
        case 10013:
            return "permission denied";
        case 10048:
            return "address already in use";
        case 10049:
            return "address not available on this machine";
        default:
            return "socket error " + std::to_string(number);
    }
}

}  // namespace

class Simulator::Impl : public SessionHost {
public:
    explicit Impl(SimulatorOptions options)
        : options_(std::make_shared<const SimulatorOptions>(std::move(options))),
          bindAddress_(options_->bindAddress),
          budget_(std::make_shared<MemoryBudget>(options_->limits.totalBytes)) {}

    ~Impl() override {
        stop();
        if (reserveFd_ >= 0) ::close(reserveFd_);
    }

    std::shared_ptr<MemoryBudget> memoryBudget() const override { return budget_; }

    std::shared_ptr<const SimulatorOptions> options() const override {
        std::lock_guard lock(optionsMutex_);
        return options_;
    }

    void setOptions(SimulatorOptions options) {
        std::lock_guard lock(optionsMutex_);
        options.bindAddress = bindAddress_;
        options_ = std::make_shared<const SimulatorOptions>(std::move(options));
    }

    void log(std::string_view line) override {
        const auto options = this->options();
        std::lock_guard lock(logMutex_);
        if (options->log) {
            options->log(line);
        } else {
            std::cerr << "analyzer-sim: " << line << '\n';
        }
    }

    int stopFd() const override { return stopPipe_.fd(); }

    // Finished sessions are closed at once, so that the client sees its connections end
    // without waiting.
    void sessionFinished() override { reapPipe_.signal(); }

    void start() {
        if (listener_) return;
        const auto options = this->options();
        in_addr addr{};
        if (::inet_pton(AF_INET, options->bindAddress.c_str(), &addr) != 1)
            throw std::system_error(EINVAL, std::generic_category(),
                                    "not an IPv4 address: '" + options->bindAddress + "'");
        // Without a port the factory takes the "qzib" service, else 2525.
        const std::string service = options->port ? std::to_string(*options->port) : std::string("qzib");
        const std::string where =
            options->bindAddress + ":" + (options->port ? service : std::to_string(defaultPort()));
        try {
            listener_ = std::make_unique<qzib::CServerInetCommunicationChannelFactory>(
                "tcp", service.c_str(), kBacklog, options->bindAddress.c_str(), true);
        } catch (const qzib::ErrorNumberFailure& e) {
            throw std::system_error(EADDRINUSE, std::generic_category(),
                                    "cannot listen on " + where + ": " + socketErrorText(e.number()));
        } catch (const std::runtime_error& e) {
            throw std::system_error(EINVAL, std::generic_category(),
                                    "cannot listen on " + where + ": " + e.what());
        }
        port_ = listener_->GetPort();
        // Kept for the moment the process runs out: closed, it lets one more connection be
        // accepted only to be refused, so that a client is told at once instead of waiting.
        if (reserveFd_ < 0) reserveFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        stopPipe_.drain();
        acceptor_ = std::thread([this] { acceptLoop(); });
    }

    void stop() {
        if (!listener_) return;
        stopPipe_.signal();
        if (acceptor_.joinable()) acceptor_.join();
        std::list<std::shared_ptr<Session>> sessions;
        {
            std::lock_guard lock(sessionsMutex_);
            sessions.swap(sessions_);
        }
        for (auto& s : sessions) {
            s->close();
            recordEvent({DeviceEvent::Kind::Closed, s->id(), s->closedByClient()});
        }
        for (auto& s : sessions) s->join();
        sessions.clear();
        listener_.reset();
    }

    bool listening() const { return listener_ != nullptr; }
    std::uint16_t port() const { return port_; }
    const std::string& bindAddress() const { return bindAddress_; }

    void setTraceActive(int trace, bool active) {
        {
            std::lock_guard lock(optionsMutex_);
            auto next = std::make_shared<SimulatorOptions>(*options_);
            next->instrument.activeTraces.at(static_cast<std::size_t>(trace - 1)) = active;
            options_ = std::move(next);
        }
        std::lock_guard lock(sessionsMutex_);
        for (auto& s : sessions_) s->setTraceActive(trace, active);
    }

    std::vector<DeviceEvent> deviceEvents() const {
        std::lock_guard lock(eventsMutex_);
        return events_;
    }

    std::vector<DeviceState> devices() const {
        // A device busy with a message holds its state for a while: not under the list's lock,
        // which the accepting thread needs.
        std::list<std::shared_ptr<Session>> sessions;
        {
            std::lock_guard lock(sessionsMutex_);
            sessions = sessions_;
        }
        std::vector<DeviceState> out;
        for (const auto& s : sessions) {
            if (!s->finished()) out.push_back(s->state());
        }
        return out;
    }

private:
    void acceptLoop() {
        std::list<Greeting> greetings;
        for (;;) {
            reapSessions();
            std::vector<pollfd> fds;
            const bool pausing = std::chrono::steady_clock::now() < acceptPausedUntil_;
            fds.push_back({stopPipe_.fd(), POLLIN, 0});
            // A negative descriptor is skipped by poll(): the listener rests during a pause.
            fds.push_back({pausing ? -1 : listener_->GetListeningSocket(), POLLIN, 0});
            fds.push_back({reapPipe_.fd(), POLLIN, 0});
            auto next = std::chrono::steady_clock::now() + std::chrono::seconds(1);
            if (pausing) next = std::min(next, acceptPausedUntil_);
            for (const Greeting& g : greetings) {
                fds.push_back({g.socket, POLLIN, 0});
                next = std::min(next, g.deadline);
            }
            const auto waitMs = std::max<long long>(
                0, std::chrono::ceil<std::chrono::milliseconds>(next - std::chrono::steady_clock::now())
                       .count());
            const int r = ::poll(fds.data(), fds.size(), static_cast<int>(waitMs));
            if (r < 0 && errno != EINTR) break;
            if (fds[0].revents) {
                for (Greeting& g : greetings) qzib::socketapi::closeSocket(g.socket);
                break;
            }
            if (fds[1].revents) acceptAll(greetings);
            if (fds[2].revents) {
                reapPipe_.drain();
                // A device that ended gave its descriptors back.
                acceptPausedUntil_ = {};
            }
            // The greetings' descriptors follow the three fixed ones, in list order.
            std::size_t i = 3;
            const auto now = std::chrono::steady_clock::now();
            for (auto it = greetings.begin(); it != greetings.end(); ++i) {
                const bool ready = i < fds.size() && fds[i].revents != 0;
                if (ready && readGreeting(*it)) {
                    it = greetings.erase(it);
                } else if (now >= it->deadline) {
                    log("connection from " + peerOf(it->socket) + " sent no greeting in time; closed");
                    qzib::socketapi::closeSocket(it->socket);
                    it = greetings.erase(it);
                } else {
                    ++it;
                }
            }
        }
    }

    void acceptAll(std::list<Greeting>& greetings) {
        for (;;) {
            qzib::SocketHandle socket = qzib::kInvalidSocket;
            try {
                socket = listener_->WaitForConnection(0);
            } catch (const qzib::ErrorNumberFailure& e) {
                if (e.number() == kOutOfDescriptors || e.number() == kOutOfBuffers) {
                    if (refuseOne()) continue;
                    outOfDescriptors();
                    acceptPausedUntil_ = std::chrono::steady_clock::now() + kShortageBackoff;
                    return;
                }
                // A connection that went away before it was taken.
                log("accepting a connection failed: " + socketErrorText(e.number()));
                return;
            }
            if (socket == qzib::kInvalidSocket) return;
            qzib::socketapi::setNoDelay(socket, true);
            // Connections that say nothing must not crowd out those that do: the oldest goes.
            if (greetings.size() >= options()->limits.pendingConnections) {
                log("too many connections waiting for their greeting; the oldest from " +
                    peerOf(greetings.front().socket) + " closed");
                qzib::socketapi::closeSocket(greetings.front().socket);
                greetings.pop_front();
            }
            Greeting g;
            g.socket = socket;
            g.deadline = std::chrono::steady_clock::now() + kGreetingLimit;
            greetings.push_back(g);
        }
    }

    // Out of descriptors: the reserve one makes room to accept the next connection only to close
    // it, so that its client learns at once that it is refused. False without a reserve.
    bool refuseOne() {
        if (reserveFd_ < 0) return false;
        ::close(reserveFd_);
        reserveFd_ = -1;
        qzib::SocketHandle socket = qzib::kInvalidSocket;
        try {
            socket = listener_->WaitForConnection(0);
        } catch (const qzib::ErrorNumberFailure&) {
        }
        if (socket != qzib::kInvalidSocket) qzib::socketapi::closeSocket(socket);
        reserveFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        outOfDescriptors();
        return socket != qzib::kInvalidSocket;
    }

    // Logged once for each time the simulator runs short, not for every connection it refuses.
    void outOfDescriptors() {
        if (shortOfDescriptors_) return;
        shortOfDescriptors_ = true;
        log("out of file descriptors: refusing new connections until some close");
    }

    void descriptorsBack() {
        if (!shortOfDescriptors_) return;
        shortOfDescriptors_ = false;
        log("file descriptors available again: accepting connections");
    }

    // True when the greeting is complete (or failed) and the connection has been dealt with.
    bool readGreeting(Greeting& g) {
        int error = 0;
        const long n = qzib::socketapi::receiveSome(g.socket, g.bytes.data() + g.received,
                                                    g.bytes.size() - g.received, error);
        if (n < 0 && error == qzib::socketapi::kWouldBlock) return false;
        if (n <= 0) {
            qzib::socketapi::closeSocket(g.socket);
            return true;
        }
        g.received += static_cast<std::size_t>(n);
        if (g.received < g.bytes.size()) return false;

        if (g.bytes == qzib::kProtocolVersionBytes) {
            openDevice(g.socket);
            return true;
        }
        // The control connection's token: pairing takes no lock that a busy device holds.
        std::shared_ptr<Session> session;
        {
            std::lock_guard lock(sessionsMutex_);
            for (auto& s : sessions_) {
                if (s->token() == g.bytes && !s->finished()) session = s;
            }
        }
        const std::string peer = peerOf(g.socket);
        if (!session) {
            log("connection from " + peer + " sent neither the protocol version nor a known token; closed");
            qzib::socketapi::closeSocket(g.socket);
        } else if (!session->attachControl(g.socket)) {
            log("second control connection for one device from " + peer + "; closed");
            qzib::socketapi::closeSocket(g.socket);
        } else if (this->options()->verbose) {
            log("control connection from " + peer + " paired with device " + std::to_string(session->id()));
        }
        return true;
    }

    void openDevice(qzib::SocketHandle socket) {
        const auto options = this->options();
        const std::string peer = peerOf(socket);
        std::size_t open = 0;
        {
            std::lock_guard lock(sessionsMutex_);
            for (const auto& s : sessions_) open += s->finished() ? 0 : 1;
        }
        if (open >= options->limits.devices) {
            if (!atDeviceLimit_) log("device limit (" + std::to_string(options->limits.devices) +
                                     ") reached: refusing new devices until one closes");
            atDeviceLimit_ = true;
            qzib::socketapi::closeSocket(socket);
            return;
        }
        atDeviceLimit_ = false;
        Session::Token token = newToken();
        std::array<std::uint8_t, 8> reply{};
        std::copy(qzib::kProtocolVersionBytes.begin(), qzib::kProtocolVersionBytes.end(), reply.begin());
        if (options->faults.versionReply) {
            const float wrong = *options->faults.versionReply;
            std::memcpy(reply.data(), &wrong, 4);
        }
        std::copy(token.begin(), token.end(), reply.begin() + 4);
        std::shared_ptr<Session> session;
        try {
            // The session's channel owns the socket from here, also when the reply cannot be sent.
            session = std::make_shared<Session>(*this, socket, token, ++deviceCount_);
        } catch (const std::system_error&) {
            qzib::socketapi::closeSocket(socket);
            outOfDescriptors();
            return;
        }
        if (!session->sendGreeting(reply.data(), static_cast<std::uint32_t>(reply.size()))) {
            log("connection from " + peer + " went away during the set-up exchange");
            return;
        }
        {
            std::lock_guard lock(sessionsMutex_);
            sessions_.push_back(session);
        }
        recordEvent({DeviceEvent::Kind::Opened, session->id(), false});
        try {
            session->start();
        } catch (const std::system_error&) {
            // No thread for it: the device closes at once and is reaped with the others.
            session->close();
            reapPipe_.signal();
            outOfDescriptors();
            return;
        }
        descriptorsBack();
        if (options->faults.versionReply) {
            log("device " + std::to_string(session->id()) + " for " + peer +
                " answered the version exchange with a wrong value (injected fault)");
        } else if (options->verbose) {
            log("device " + std::to_string(session->id()) + " opened by " + peer);
        }
    }

    // Tokens never look like the protocol version, so a control connection is never taken for
    // a new device, and never repeat among the open devices.
    Session::Token newToken() {
        for (;;) {
            const std::uint32_t value = static_cast<std::uint32_t>(random_());
            Session::Token t{static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                             static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
            if (t == qzib::kProtocolVersionBytes) continue;
            std::lock_guard lock(sessionsMutex_);
            if (std::none_of(sessions_.begin(), sessions_.end(),
                             [&](const auto& s) { return s->token() == t; }))
                return t;
        }
    }

    void reapSessions() {
        std::list<std::shared_ptr<Session>> done;
        {
            std::lock_guard lock(sessionsMutex_);
            for (auto it = sessions_.begin(); it != sessions_.end();) {
                if ((*it)->finished()) {
                    // Listed before its sockets close below, which is when the client sees it end.
                    recordEvent({DeviceEvent::Kind::Closed, (*it)->id(), (*it)->closedByClient()});
                    done.push_back(std::move(*it));
                    it = sessions_.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (auto& s : done) s->join();
    }

    void recordEvent(const DeviceEvent& event) {
        std::lock_guard lock(eventsMutex_);
        events_.push_back(event);
    }

    mutable std::mutex optionsMutex_;
    std::shared_ptr<const SimulatorOptions> options_;
    std::string bindAddress_;
    std::mutex logMutex_;
    WakePipe stopPipe_;
    WakePipe reapPipe_;
    std::unique_ptr<qzib::CServerInetCommunicationChannelFactory> listener_;
    std::uint16_t port_ = 0;
    std::thread acceptor_;
    mutable std::mutex sessionsMutex_;
    std::list<std::shared_ptr<Session>> sessions_;
    mutable std::mutex eventsMutex_;
    std::vector<DeviceEvent> events_;
    std::uint64_t deviceCount_ = 0;
    std::mt19937 random_{std::random_device{}()};
    std::shared_ptr<MemoryBudget> budget_;
    // Owned by the accepting thread (and start/stop, when it is not running):
    int reserveFd_ = -1;
    bool shortOfDescriptors_ = false;
    bool atDeviceLimit_ = false;
    std::chrono::steady_clock::time_point acceptPausedUntil_{};
};

Simulator::Simulator(SimulatorOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}
Simulator::~Simulator() = default;
void Simulator::start() {
    impl_->start();
}
void Simulator::stop() {
    impl_->stop();
}
bool Simulator::listening() const {
    return impl_->listening();
}
std::uint16_t Simulator::port() const {
    return impl_->port();
}
const std::string& Simulator::bindAddress() const {
    return impl_->bindAddress();
}
void Simulator::setOptions(const SimulatorOptions& options) {
    impl_->setOptions(options);
}
SimulatorOptions Simulator::options() const {
    return *impl_->options();
}
void Simulator::setFaults(const FaultOptions& faults) {
    SimulatorOptions o = options();
    o.faults = faults;
    impl_->setOptions(std::move(o));
}
void Simulator::setTraceActive(int trace, bool active) {
    if (trace < 1 || trace > 4) throw std::out_of_range("trace number must be 1 to 4");
    impl_->setTraceActive(trace, active);
}
std::vector<DeviceState> Simulator::devices() const {
    return impl_->devices();
}
std::vector<DeviceEvent> Simulator::deviceEvents() const {
    return impl_->deviceEvents();
}

std::uint16_t Simulator::defaultPort() {
    servent entry{};
    servent* found = nullptr;
    char buffer[1024];
    if (::getservbyname_r("qzib", "tcp", &entry, buffer, sizeof buffer, &found) == 0 && found)
        return ntohs(static_cast<std::uint16_t>(found->s_port));
    return kFallbackPort;
}

}  // namespace marlin::sim
