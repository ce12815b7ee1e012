#include "analyzer_sim/Simulator.h"

#include <arpa/inet.h>
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
#include "SocketLink.h"
#include "WakePipe.h"
#include "WireHeader.h"

namespace marlin::sim {
namespace {

constexpr std::uint16_t kFallbackPort = 2525;
constexpr auto kGreetingLimit = std::chrono::seconds(5);

// A connection accepted but not yet known as data or control: its first four bytes decide.
struct Greeting {
    std::unique_ptr<SocketLink> link;
    std::array<std::uint8_t, 4> bytes{};
    std::size_t received = 0;
    std::chrono::steady_clock::time_point deadline;
};

}  // namespace

class Simulator::Impl : public SessionHost {
public:
    explicit Impl(SimulatorOptions options)
        : options_(std::make_shared<const SimulatorOptions>(std::move(options))),
          bindAddress_(options_->bindAddress) {}

    ~Impl() override { stop(); }

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

    void start() {
        if (listenFd_ >= 0) return;
        const auto options = this->options();
        in_addr addr{};
        if (::inet_pton(AF_INET, options->bindAddress.c_str(), &addr) != 1)
            throw std::system_error(EINVAL, std::generic_category(),
                                    "not an IPv4 address: '" + options->bindAddress + "'");
        const std::uint16_t port = options->port.value_or(defaultPort());
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) throw std::system_error(errno, std::generic_category(), "socket");
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr = addr;
        sa.sin_port = htons(port);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, 64) != 0) {
            const int error = errno;
            ::close(fd);
            throw std::system_error(error, std::generic_category(),
                                    "cannot listen on " + options->bindAddress + ":" + std::to_string(port));
        }
        socklen_t len = sizeof sa;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
        port_ = ntohs(sa.sin_port);
        listenFd_ = fd;
        stopPipe_.drain();
        acceptor_ = std::thread([this] { acceptLoop(); });
    }

    void stop() {
        if (listenFd_ < 0) return;
        stopPipe_.signal();
        if (acceptor_.joinable()) acceptor_.join();
        std::list<std::shared_ptr<Session>> sessions;
        {
            std::lock_guard lock(sessionsMutex_);
            sessions.swap(sessions_);
        }
        for (auto& s : sessions) s->close();
        for (auto& s : sessions) s->join();
        sessions.clear();
        ::close(listenFd_);
        listenFd_ = -1;
    }

    bool listening() const { return listenFd_ >= 0; }
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

    std::vector<DeviceState> devices() const {
        std::lock_guard lock(sessionsMutex_);
        std::vector<DeviceState> out;
        for (const auto& s : sessions_) {
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
            fds.push_back({stopPipe_.fd(), POLLIN, 0});
            fds.push_back({listenFd_, POLLIN, 0});
            auto next = std::chrono::steady_clock::now() + std::chrono::seconds(1);
            for (const Greeting& g : greetings) {
                fds.push_back({g.link->fd(), POLLIN, 0});
                next = std::min(next, g.deadline);
            }
            const auto waitMs = std::max<long long>(
                0, std::chrono::ceil<std::chrono::milliseconds>(next - std::chrono::steady_clock::now())
                       .count());
            const int r = ::poll(fds.data(), fds.size(), static_cast<int>(waitMs));
            if (r < 0 && errno != EINTR) break;
            if (fds[0].revents) break;
            if (fds[1].revents) acceptAll(greetings);
            // The greetings' descriptors follow the two fixed ones, in list order.
            std::size_t i = 2;
            const auto now = std::chrono::steady_clock::now();
            for (auto it = greetings.begin(); it != greetings.end(); ++i) {
                const bool ready = i < fds.size() && fds[i].revents != 0;
                if (ready && readGreeting(*it)) {
                    it = greetings.erase(it);
                } else if (now >= it->deadline) {
                    log("connection from " + it->link->peer() + " sent no greeting in time; closed");
                    it = greetings.erase(it);
                } else {
                    ++it;
                }
            }
        }
    }

    void acceptAll(std::list<Greeting>& greetings) {
        for (;;) {
            const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd < 0) {
                if (errno == EINTR) continue;
                return;  // EAGAIN, or a connection that went away before it was taken
            }
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            Greeting g;
            g.link = std::make_unique<SocketLink>(fd);
            g.deadline = std::chrono::steady_clock::now() + kGreetingLimit;
            greetings.push_back(std::move(g));
        }
    }

    // True when the greeting is complete (or failed) and the connection has been dealt with.
    bool readGreeting(Greeting& g) {
        const ssize_t n = ::recv(g.link->fd(), g.bytes.data() + g.received, g.bytes.size() - g.received, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return true;
        if (n < 0) return false;
        g.received += static_cast<std::size_t>(n);
        if (g.received < g.bytes.size()) return false;

        if (g.bytes == kProtocolVersionBytes) {
            openDevice(std::move(g.link));
            return true;
        }
        std::shared_ptr<Session> session;
        {
            std::lock_guard lock(sessionsMutex_);
            for (auto& s : sessions_) {
                if (s->token() == g.bytes && !s->finished()) session = s;
            }
        }
        const std::string peer = g.link->peer();
        if (!session) {
            log("connection from " + peer + " sent neither the protocol version nor a known token; closed");
            return true;
        }
        if (!session->attachControl(std::move(g.link))) {
            log("second control connection for one device from " + peer + "; closed");
        } else if (this->options()->verbose) {
            log("control connection from " + peer + " paired with device " + std::to_string(session->id()));
        }
        return true;
    }

    void openDevice(std::unique_ptr<SocketLink> link) {
        const auto options = this->options();
        Session::Token token = newToken();
        std::array<std::uint8_t, 8> reply{};
        std::copy(kProtocolVersionBytes.begin(), kProtocolVersionBytes.end(), reply.begin());
        if (options->faults.versionReply) {
            const float wrong = *options->faults.versionReply;
            std::memcpy(reply.data(), &wrong, 4);
        }
        std::copy(token.begin(), token.end(), reply.begin() + 4);
        const iovec part{reply.data(), reply.size()};
        if (link->writeAll(&part, 1, std::chrono::steady_clock::now() + kGreetingLimit, {stopPipe_.fd()}) !=
            SocketLink::Result::Ok)
            return;
        const std::string peer = link->peer();
        auto session = std::make_shared<Session>(*this, std::move(link), token, ++deviceCount_);
        {
            std::lock_guard lock(sessionsMutex_);
            sessions_.push_back(session);
        }
        session->start();
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
            if (t == kProtocolVersionBytes) continue;
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
                    done.push_back(std::move(*it));
                    it = sessions_.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (auto& s : done) s->join();
    }

    mutable std::mutex optionsMutex_;
    std::shared_ptr<const SimulatorOptions> options_;
    std::string bindAddress_;
    std::mutex logMutex_;
    WakePipe stopPipe_;
    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::thread acceptor_;
    mutable std::mutex sessionsMutex_;
    std::list<std::shared_ptr<Session>> sessions_;
    std::uint64_t deviceCount_ = 0;
    std::mt19937 random_{std::random_device{}()};
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

std::uint16_t Simulator::defaultPort() {
    servent entry{};
    servent* found = nullptr;
    char buffer[1024];
    if (::getservbyname_r("qzib", "tcp", &entry, buffer, sizeof buffer, &found) == 0 && found)
        return ntohs(static_cast<std::uint16_t>(found->s_port));
    return kFallbackPort;
}

}  // namespace marlin::sim
