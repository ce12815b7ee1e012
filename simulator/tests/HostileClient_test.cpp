// The simulator against clients that misbehave: clients that leave in the middle of a long
// operation, oversized or malformed messages, memory-hungry commands, a device busy while
// others pair, and a process out of descriptors. Each case listens on an address of its own
// (127.0.4.1 to 127.0.4.20) and every wait is bounded.

#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "DeviceWait.h"
#include "WireClient.h"
#include "analyzer_sim/Simulator.h"
#include "wire/WireHeader.h"

namespace marlin::sim {
namespace {

using test::WireClient;
using Ms = std::chrono::milliseconds;
constexpr std::uint16_t kPort = 2525;

// Collects the simulator's log lines for the test to count.
struct Log {
    std::mutex mutex;
    std::vector<std::string> lines;
    std::size_t count(const std::string& part) {
        std::lock_guard lock(mutex);
        return static_cast<std::size_t>(std::count_if(
            lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; }));
    }
};

std::unique_ptr<Simulator> startOn(const std::string& address, SimulatorOptions options = {},
                                   Log* log = nullptr) {
    options.bindAddress = address;
    options.port = kPort;
    options.log = [log](std::string_view line) {
        if (!log) return;
        std::lock_guard lock(log->mutex);
        log->lines.emplace_back(line);
    };
    auto sim = std::make_unique<Simulator>(std::move(options));
    sim->start();
    return sim;
}

template <typename Condition>
bool within(Ms bound, Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::yield();
    }
    return condition();
}

void expectServed(const std::string& address) {
    WireClient c;
    ASSERT_TRUE(c.open(address, kPort)) << c.why();
    const auto idn = c.ask("*IDN?");
    ASSERT_TRUE(idn);
    EXPECT_EQ(idn->rfind("QUAZAR", 0), 0u);
}

TEST(HostileClientTest, AClientLeavingDuringALongSweepEndsItsDevice) {
    auto sim = startOn("127.0.4.1");
    {
        WireClient c;
        ASSERT_TRUE(c.open("127.0.4.1", kPort)) << c.why();
        c.write("SWE:TIME 16000;INIT:IMM;*OPC?");
        ASSERT_TRUE(test::waitForDevice(*sim, [](const DeviceState& d) { return d.waiting; }));
    }
    // Well before the sweep's 16,000 s: the device has nobody left to answer.
    EXPECT_TRUE(within(Ms(5000), [&] { return sim->devices().empty(); }));
    expectServed("127.0.4.1");
}

TEST(HostileClientTest, AControlHeaderAnnouncingFourGibibytesClosesTheDevice) {
    auto sim = startOn("127.0.4.2");
    WireClient c;
    ASSERT_TRUE(c.open("127.0.4.2", kPort)) << c.why();
    const auto header = qzib::WireHeader{0xFFFFFFFFu, qzib::FLAG_END, 0, 0}.encode();
    ASSERT_TRUE(c.sendRaw(true, std::string_view(reinterpret_cast<const char*>(header.data()), header.size())));
    EXPECT_TRUE(c.dataClosed(Ms(5000)));
    EXPECT_TRUE(within(Ms(5000), [&] { return sim->devices().empty(); }));
}

std::string block(const std::string& data) {
    const std::string length = std::to_string(data.size());
    return "#" + std::to_string(length.size()) + length + data;
}

TEST(HostileClientTest, StoredFilesOverTheDeviceLimitAreRefusedAsMediaFull) {
    SimulatorOptions options;
    options.limits.storedBytesPerDevice = 1000;
    options.limits.storedFilesPerDevice = 2;
    auto sim = startOn("127.0.4.3", options);
    WireClient c;
    ASSERT_TRUE(c.open("127.0.4.3", kPort)) << c.why();
    c.write("MMEM:DATA 'A'," + block(std::string(600, 'a')));
    c.write("MMEM:DATA 'B'," + block(std::string(600, 'b')));
    EXPECT_EQ(c.ask("SYST:ERR?"), "-254,\"Media full\"\n");
    // Replacing a file counts its old size out; a third name is over the count, and so is a
    // second file that together with the first holds too much.
    c.write("MMEM:DATA 'A'," + block(std::string(900, 'c')));
    c.write("MMEM:DATA 'C'," + block("d"));
    c.write("MMEM:DATA 'B'," + block("b"));
    c.write("MMEM:DATA 'C'," + block(std::string(200, 'e')));
    EXPECT_EQ(c.ask("SYST:ERR:ALL?"), "-254,\"Media full\",-254,\"Media full\"\n");
    EXPECT_EQ(c.ask("MMEM:CAT?"), "\"A\",900,\"C\",1\n");
}

TEST(HostileClientTest, AReplyOverItsLimitIsLeftOutAndAnsweredOutOfMemory) {
    SimulatorOptions options;
    options.limits.replyBytes = 1000;
    auto sim = startOn("127.0.4.4", options);
    WireClient c;
    ASSERT_TRUE(c.open("127.0.4.4", kPort)) << c.why();
    const auto reply = c.ask("TRAC? TRACE1;*IDN?");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->rfind("QUAZAR", 0), 0u);
    EXPECT_EQ(c.ask("SYST:ERR?"), "-225,\"Out of memory\"\n");
}

TEST(HostileClientTest, AMessageOverTheDeviceLimitIsAnsweredTooMuchData) {
    SimulatorOptions options;
    options.limits.messageBytes = 4096;
    auto sim = startOn("127.0.4.5", options);
    WireClient c;
    ASSERT_TRUE(c.open("127.0.4.5", kPort)) << c.why();
    c.write(std::string(3000, ';'), false);
    c.write(std::string(3000, ';'));
    EXPECT_EQ(c.ask("SYST:ERR?"), "-223,\"Too much data\"\n");
}

// Descriptors in use by this process, and the highest number among them.
int highestDescriptor() {
    int highest = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (const dirent* e = ::readdir(dir)) highest = std::max(highest, std::atoi(e->d_name));
        ::closedir(dir);
    }
    return highest;
}

int newSocket() {
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

bool connectSocket(int fd, const char* address) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(kPort);
    ::inet_pton(AF_INET, address, &sa.sin_addr);
    return ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
}

TEST(HostileClientTest, PairingAndNewClientsDoNotWaitForABusyDevice) {
    auto sim = startOn("127.0.4.6");
    WireClient busy;
    ASSERT_TRUE(busy.open("127.0.4.6", kPort, false)) << busy.why();
    // Thousands of full-size sweeps in one message keep the device's data side busy for
    // minutes; its control connection is paired only afterwards.
    std::string heavy;
    for (int i = 0; i < 20000; ++i) heavy += "SWE:POIN 100001;SWE:POIN 100000;";
    busy.write(heavy);
    const int control = newSocket();
    ASSERT_TRUE(connectSocket(control, "127.0.4.6"));
    ASSERT_EQ(::send(control, busy.token, sizeof busy.token, MSG_NOSIGNAL), 4);
    expectServed("127.0.4.6");
    ::close(control);
}

// True when the peer closes the connection within the bound.
bool closedByPeer(int fd, Ms bound) {
    timeval tv{static_cast<time_t>(bound.count() / 1000), static_cast<suseconds_t>(bound.count() % 1000 * 1000)};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    char byte = 0;
    return ::recv(fd, &byte, 1, 0) == 0;
}

TEST(HostileClientTest, OutOfDescriptorsNewConnectionsAreRefusedOnceLoggedAndServedAgainLater) {
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers' runtime needs a free descriptor of this process to look at memory (its
    // vptr check reports every object as invalid without one), and this test takes them all.
    // The plain build runs it.
    GTEST_SKIP() << "needs every descriptor of the process, which the sanitizer runtime uses too";
#endif
    Log log;
    auto sim = startOn("127.0.4.7", {}, &log);
    int clients[3];
    for (int& fd : clients) fd = newSocket();
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = static_cast<rlim_t>(highestDescriptor() + 32);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> filler;
    for (int fd; (fd = ::dup(0)) >= 0;) filler.push_back(fd);

    for (int fd : clients) {
        ASSERT_TRUE(connectSocket(fd, "127.0.4.7"));
        EXPECT_TRUE(closedByPeer(fd, Ms(5000)));
    }
    EXPECT_EQ(log.count("out of file descriptors"), 1u);

    for (int fd : filler) ::close(fd);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    for (int fd : clients) ::close(fd);
    expectServed("127.0.4.7");
    // The acceptor logs it after handing the connection to its session, which may answer first.
    EXPECT_TRUE(within(Ms(5000), [&] { return log.count("available again") > 0; }));
    EXPECT_EQ(log.count("available again"), 1u);
}

}  // namespace
}  // namespace marlin::sim
