// Trace replies per second: analyzer-sim against a bare server that answers every message with
// a ready-made 501-point trace block, both on 127.0.0.8:2525 and both read through the bus
// library, so the client's own cost is the same on both sides of the ratio.
//
//   build/bench/analyzer_sim_bench [seconds per measurement, default 2]

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <qzib32.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <pthread.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "analyzer_sim/Simulator.h"
#include "wire/WireHeader.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kAddress = "127.0.0.8";
constexpr std::uint16_t kPort = 2525;
constexpr std::uint32_t kPoints = 501;
constexpr double kGoalPerSecond = 20000.0;
constexpr std::uint8_t kEndRemote = qzib::FLAG_END | qzib::FLAG_REMOTE;

bool readExact(int fd, void* buffer, std::size_t count) {
    auto* p = static_cast<char*>(buffer);
    while (count > 0) {
        const ssize_t n = ::recv(fd, p, count, 0);
        if (n <= 0) return false;
        p += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

// The least a server must do: take in each message and send back the same precomputed reply
// (header with the message's sequence byte, "#42004", 2004 data bytes, LF); control messages
// get a bare reply. One thread, blocking sockets.
class BareServer {
public:
    BareServer() {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        const int one = 1;
        ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(kPort);
        ::inet_pton(AF_INET, kAddress, &sa.sin_addr);
        if (::bind(listen_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(listen_, 4) != 0) {
            std::perror("bare server: bind");
            std::exit(1);
        }
        std::string data(kPoints * 4, '\0');
        for (std::uint32_t i = 0; i < kPoints; ++i) {
            const float v = -90.0f + static_cast<float>(i % 7);
            std::memcpy(&data[i * 4], &v, 4);
        }
        reply_ = "#4" + std::to_string(data.size()) + data + "\n";
        thread_ = std::thread([this] { serve(); });
    }

    double cpuSeconds() {
        clockid_t clock{};
        timespec used{};
        if (::pthread_getcpuclockid(thread_.native_handle(), &clock) != 0 ||
            ::clock_gettime(clock, &used) != 0)
            return 0.0;
        return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) * 1e-9;
    }
    ~BareServer() {
        ::shutdown(listen_, SHUT_RDWR);
        ::close(listen_);
        if (data_ >= 0) ::shutdown(data_, SHUT_RDWR);
        if (control_ >= 0) ::shutdown(control_, SHUT_RDWR);
        thread_.join();
        if (data_ >= 0) ::close(data_);
        if (control_ >= 0) ::close(control_);
    }

private:
    void serve() {
        data_ = ::accept(listen_, nullptr, nullptr);
        if (data_ < 0) return;
        const int one = 1;
        ::setsockopt(data_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        unsigned char greeting[8] = {0, 0, 0, 0, 1, 2, 3, 4};
        std::memcpy(greeting, qzib::kProtocolVersionBytes.data(), 4);
        unsigned char version[4];
        if (!readExact(data_, version, 4) || ::send(data_, greeting, 8, 0) != 8) return;
        control_ = ::accept(listen_, nullptr, nullptr);
        if (control_ < 0) return;
        ::setsockopt(control_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        unsigned char token[4];
        if (!readExact(control_, token, 4)) return;
        std::vector<char> payload(1 << 16);
        for (;;) {
            pollfd fds[2] = {{data_, POLLIN, 0}, {control_, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) return;
            unsigned char head[7];
            if (fds[1].revents) {
                if (!readExact(control_, head, 7)) return;
                const auto reply = qzib::WireHeader{0, kEndRemote, 0, 0}.encode();
                if (::send(control_, reply.data(), 7, 0) != 7) return;
            }
            if (fds[0].revents) {
                if (!readExact(data_, head, 7)) return;
                const qzib::WireHeader in = qzib::WireHeader::decode(head);
                const std::uint32_t length = in.length;
                if (length > payload.size() || !readExact(data_, payload.data(), length)) return;
                const std::uint32_t n = static_cast<std::uint32_t>(reply_.size());
                auto out = qzib::WireHeader{n, kEndRemote, 0, in.sequence}.encode();
                iovec parts[2] = {{out.data(), 7}, {reply_.data(), reply_.size()}};
                if (::writev(data_, parts, 2) != static_cast<ssize_t>(7 + reply_.size())) return;
            }
        }
    }

    int listen_ = -1;
    int data_ = -1;
    int control_ = -1;
    std::string reply_;
    std::thread thread_;
};

// A bare client that keeps `window` trace queries in flight on one device, so the figure shows
// what the server can take rather than the round-trip time of the loopback.
struct Result;
Result measurePipelined(double seconds, int window, const std::function<double()>& serverCpu);

struct Result {
    double perSecond = 0.0;
    double perServerCpuSecond = 0.0;  // replies per second of the serving thread's processor time
    long count = 0;
    bool ok = true;
};

// Opens the device at kAddress and repeats `commands` (the last one a trace query) for `seconds`.
Result measure(const std::vector<std::string>& commands, double seconds, bool readEveryReply) {
    int16_t sta = 0, err = 0;
    int32_t cnt = 0;
    const int16_t ud = QZDLLibfind(kAddress, &sta, &err, &cnt);
    Result r;
    if (ud < 0) {
        std::fprintf(stderr, "cannot open %s (iberr %d)\n", kAddress, err);
        r.ok = false;
        return r;
    }
    std::vector<char> buffer(64 * 1024);
    auto oneRound = [&]() {
        for (std::size_t i = 0; i < commands.size(); ++i) {
            QZDLLibwrt(ud, commands[i].c_str(), &sta, &err, &cnt);
            if (sta != QZ_CMPL) return false;
            const bool trace = i + 1 == commands.size();
            if (trace || readEveryReply) {
                QZDLLibrd(ud, buffer.data(), &sta, &err, &cnt);
                if (sta != QZ_CMPL) return false;
                if (trace && cnt != static_cast<int32_t>(6 + kPoints * 4 + 1)) return false;
            }
        }
        return true;
    };
    for (int i = 0; i < 500 && r.ok; ++i) r.ok = oneRound();  // warm-up
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    while (r.ok && Clock::now() < end) {
        r.ok = oneRound();
        ++r.count;
    }
    r.perSecond = static_cast<double>(r.count) / std::chrono::duration<double>(Clock::now() - start).count();
    QZDLLibonl(ud, 0, &sta, &err, &cnt);
    return r;
}

Result measurePipelined(double seconds, int window, const std::function<double()>& serverCpu) {
    Result r;
    auto connectOne = [] {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(kPort);
        ::inet_pton(AF_INET, kAddress, &sa.sin_addr);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
            ::close(fd);
            return -1;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return fd;
    };
    const int data = connectOne();
    unsigned char greeting[8];
    if (data < 0 || ::send(data, qzib::kProtocolVersionBytes.data(), 4, 0) != 4 || !readExact(data, greeting, 8)) {
        r.ok = false;
        return r;
    }
    const int control = connectOne();
    if (control < 0 || ::send(control, greeting + 4, 4, 0) != 4) {
        r.ok = false;
        return r;
    }
    static const char kQuery[] = "TRAC? TRACE1";
    const std::uint32_t queryLength = sizeof kQuery - 1;
    std::uint8_t sequence = 0;
    auto sendQuery = [&] {
        unsigned char message[7 + sizeof kQuery];
        qzib::WireHeader{queryLength, kEndRemote, 0, ++sequence}.encodeTo(message);
        std::memcpy(message + 7, kQuery, queryLength);
        return ::send(data, message, 7 + queryLength, 0) == static_cast<ssize_t>(7 + queryLength);
    };
    std::vector<char> payload(1 << 16);
    auto readReply = [&] {
        unsigned char head[7];
        if (!readExact(data, head, 7)) return false;
        const std::uint32_t length = qzib::WireHeader::decode(head).length;
        return length == 6 + kPoints * 4 + 1 && readExact(data, payload.data(), length);
    };
    // The simulator answers in the format set last; the bare server ignores this.
    {
        static const char kFormat[] = "FORM REAL,32";
        unsigned char message[7 + sizeof kFormat];
        const std::uint32_t n = sizeof kFormat - 1;
        qzib::WireHeader{n, kEndRemote, 0, ++sequence}.encodeTo(message);
        std::memcpy(message + 7, kFormat, n);
        ::send(data, message, 7 + n, 0);
    }
    // The bare server answers every message; the simulator only queries. Settle with one round.
    const bool bareReplies = window < 0;
    if (bareReplies) window = -window;
    if (bareReplies && !readExact(data, payload.data(), 7 + 6 + kPoints * 4 + 1)) r.ok = false;
    for (int i = 0; i < window && r.ok; ++i) r.ok = sendQuery();
    const double cpuStart = serverCpu();
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    while (r.ok && Clock::now() < end) {
        r.ok = readReply() && sendQuery();
        ++r.count;
    }
    r.perSecond = static_cast<double>(r.count) / std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = serverCpu() - cpuStart;
    r.perServerCpuSecond = cpu > 0.0 ? static_cast<double>(r.count) / cpu : 0.0;
    for (int i = 0; i < window && r.ok; ++i) r.ok = readReply();
    ::close(control);
    ::close(data);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    if (!(seconds > 0.0)) {
        std::fprintf(stderr, "usage: %s [seconds per measurement]\n", argv[0]);
        return 2;
    }
    const std::vector<std::string> traceOnly = {"TRAC? TRACE1"};

    constexpr int kWindow = 8;
    Result bare;
    Result barePipelined;
    {
        BareServer server;
        bare = measure(traceOnly, seconds, false);
    }
    {
        BareServer server;
        barePipelined = measurePipelined(seconds, -kWindow, [&server] { return server.cpuSeconds(); });
    }

    marlin::sim::SimulatorOptions options;
    options.bindAddress = kAddress;
    options.port = kPort;
    options.instrument.points = kPoints;
    options.instrument.sweepTimeS = 0.0;
    options.log = [](std::string_view) {};
    marlin::sim::Simulator sim(options);
    sim.start();
    // Continuous sweeping with sweep time 0: every query gets a new sweep, computed and sent.
    int16_t sta = 0, err = 0;
    int32_t cnt = 0;
    const int16_t ud = QZDLLibfind(kAddress, &sta, &err, &cnt);
    QZDLLibwrt(ud, "FORM REAL,32", &sta, &err, &cnt);
    const Result simTrace = measure(traceOnly, seconds, false);
    // The recorder's whole reading: sweep time, one sweep, format, trace.
    const Result simReading =
        measure({"SWE:TIME?", "INIT:IMM;*WAI", "FORM REAL,32", "TRAC? TRACE1"}, seconds, false);
    QZDLLibonl(ud, 0, &sta, &err, &cnt);
    const Result simPipelined = measurePipelined(seconds, kWindow, [&sim] {
        const auto devices = sim.devices();
        return devices.empty() ? 0.0 : devices.front().dataThreadCpuSeconds;
    });
    sim.stop();

    if (!bare.ok || !barePipelined.ok || !simTrace.ok || !simReading.ok || !simPipelined.ok) {
        std::fprintf(stderr, "a measurement failed\n");
        return 1;
    }
    std::printf("TRAC? TRACE1, %u points, REAL,32, on %s:%u; the simulator serves a device on one thread\n",
                kPoints, kAddress, kPort);
    std::printf("One query at a time through the bus library (round trips):\n");
    std::printf("  bare server (baseline)    %10.0f replies/s\n", bare.perSecond);
    std::printf("  analyzer-sim              %10.0f replies/s   ratio %.2f\n", simTrace.perSecond,
                simTrace.perSecond / bare.perSecond);
    std::printf(
        "  analyzer-sim, a recorder reading (SWE:TIME?, INIT:IMM;*WAI, FORM, TRAC?) %.0f readings/s\n",
        simReading.perSecond);
    std::printf("%d queries in flight (what the server can take):\n", kWindow);
    std::printf("  bare server (baseline)    %10.0f replies/s   %10.0f per second of its thread's CPU\n",
                barePipelined.perSecond, barePipelined.perServerCpuSecond);
    std::printf("  analyzer-sim              %10.0f replies/s   %10.0f per second of its thread's CPU\n",
                simPipelined.perSecond, simPipelined.perServerCpuSecond);
    std::printf("  ratio to baseline         %10.2f              %10.2f\n",
                simPipelined.perSecond / barePipelined.perSecond,
                simPipelined.perServerCpuSecond / barePipelined.perServerCpuSecond);
    // One core fully given to the simulator's thread serves perServerCpuSecond replies a second;
    // the wall-clock rate also counts the client sharing the machine.
    std::printf("Goal >= %.0f replies/s on one core: %s (%.0f per CPU second)\n", kGoalPerSecond,
                simPipelined.perServerCpuSecond >= kGoalPerSecond ? "met" : "NOT met",
                simPipelined.perServerCpuSecond);
    return 0;
}
