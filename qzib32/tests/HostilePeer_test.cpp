// The exported calls against an instrument that floods: each attack keeps sending until the call
// under test has returned (or for at most kAttackCap), and the test checks that the call came
// back while the peer was still sending, with the status of a wait that ran out. Each case
// binds its own address (127.0.4.21 to 127.0.4.40).

#include "qzib32.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "FakeInstrument.h"
#include "TestPlatform.h"

using namespace qzibtest;

namespace {

constexpr Millis kAttackCap{30000};
constexpr std::int16_t kErrTimo = static_cast<std::int16_t>(0xC000);

// The instrument's side after the set-up exchange: its two raw connections.
struct Peer {
    explicit Peer(const char* address) : listener(address) {}
    bool accept() {
        data = listener.accept();
        if (data < 0 || receiveExact(data, 4).size() != 4) return false;
        const Bytes greeting{0x00, 0x00, 0x00, 0x40, 1, 2, 3, 4};
        if (!sendAll(data, greeting)) return false;
        control = listener.accept();
        return control >= 0 && receiveExact(control, 4).size() == 4;
    }
    ~Peer() {
        closeFd(data);
        closeFd(control);
    }
    RawListener listener;
    int data = -1;
    int control = -1;
};

// Sends the unit again and again on fd until stopped or kAttackCap has passed.
class Flood {
public:
    Flood(int fd, Bytes unit) : m_thread([this, fd, unit] { run(fd, unit); }) {}
    ~Flood() { stop(); }
    // True when the flood was still going when stopped (it had not hit its cap).
    bool stop() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        return !m_cappedOut;
    }

private:
    void run(int fd, const Bytes& unit) {
        const auto end = std::chrono::steady_clock::now() + kAttackCap;
        while (!m_stop) {
            if (std::chrono::steady_clock::now() >= end) {
                m_cappedOut = true;
                return;
            }
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 10) <= 0) continue;
            if (::send(fd, unit.data(), unit.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 && errno != EAGAIN) return;
        }
    }
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_cappedOut{false};
    std::thread m_thread;
};

// Opens a device at address while the peer accepts it; one-second time limit.
std::int16_t openOn(Peer& peer, const char* address) {
    std::int16_t ud = -1, sta = 0, err = 0;
    std::int32_t cntl = 0;
    std::thread opener([&] { ud = QZDLLibfind(address, &sta, &err, &cntl); });
    const bool accepted = peer.accept();
    opener.join();
    if (!accepted) return -1;
    QZDLLibtmo(ud, 1, &sta, &err, &cntl);
    return ud;
}

Bytes repeated(const Bytes& unit, std::size_t times) {
    Bytes out;
    for (std::size_t i = 0; i < times; ++i) out.insert(out.end(), unit.begin(), unit.end());
    return out;
}

struct Call {
    std::int16_t sta = 0, err = 0;
    std::int32_t cntl = 0;
};

}  // namespace

TEST(qzib32Hostile, AFloodOfStaleBlocksEndsAReadAtItsTimeLimit) {
    Peer peer("127.0.4.21");
    const std::int16_t ud = openOn(peer, "127.0.4.21");
    ASSERT_GT(ud, 0);
    Call c;
    ASSERT_EQ(QZDLLibwrt(ud, "*IDN?", &c.sta, &c.err, &c.cntl), QZ_CMPL);
    Flood flood(peer.data, repeated(dataBlock(std::string(1000, 's'), kFlagEnd, 0xEE), 16));
    char buffer[100];
    EXPECT_EQ(QZDLLilrd(ud, buffer, sizeof buffer, &c.sta, &c.err, &c.cntl), kErrTimo);
    EXPECT_EQ(c.err, 5);
    EXPECT_TRUE(flood.stop());
}

TEST(qzib32Hostile, AnEndlessReplyEndsAFileReadAtItsTimeLimit) {
    Peer peer("127.0.4.22");
    const std::int16_t ud = openOn(peer, "127.0.4.22");
    ASSERT_GT(ud, 0);
    Call c;
    ASSERT_EQ(QZDLLibwrt(ud, "MMEM:DATA? 'X'", &c.sta, &c.err, &c.cntl), QZ_CMPL);
    // Blocks of the current message, none of them the last.
    Flood flood(peer.data, repeated(dataBlock(std::string(1024, 'f'), 0, 1), 8));
    const std::string file = testing::TempDir() + "endless." + std::to_string(processId());
    EXPECT_EQ(QZDLLibrdf(ud, file.c_str(), &c.sta, &c.err, &c.cntl), kErrTimo);
    EXPECT_TRUE(flood.stop());
    EXPECT_GT(c.cntl, 0);
    std::remove(file.c_str());
}

TEST(qzib32Hostile, AControlFloodEndsWaitSrqAndTheFirstWriteAtTheirTimeLimit) {
    Peer peer("127.0.4.23");
    const std::int16_t ud = openOn(peer, "127.0.4.23");
    ASSERT_GT(ud, 0);
    Flood flood(peer.control, Bytes(4096, 0x55));
    Call c;
    std::int16_t result = 0;
    QZDLLWaitSrq(ud, &result, &c.sta, &c.err, &c.cntl);
    // The first write's addressing exchange goes through the flooded connection too.
    EXPECT_EQ(QZDLLibwrt(ud, "*IDN?", &c.sta, &c.err, &c.cntl), QZ_CMPL);
    EXPECT_TRUE(flood.stop());
}

TEST(qzib32Hostile, ClosingADeviceTakesNoLongerThanItsDrainWhileTheInstrumentFloods) {
    Peer peer("127.0.4.24");
    const std::int16_t ud = openOn(peer, "127.0.4.24");
    ASSERT_GT(ud, 0);
    Flood data(peer.data, Bytes(4096, 0x66));
    Flood control(peer.control, Bytes(4096, 0x77));
    Call c;
    EXPECT_EQ(QZDLLibonl(ud, 0, &c.sta, &c.err, &c.cntl), 0);
    EXPECT_TRUE(data.stop());
    EXPECT_TRUE(control.stop());
    EXPECT_EQ(QZDLLibonl(ud, 0, &c.sta, &c.err, &c.cntl), QZ_ERR);  // gone
}

TEST(qzib32Hostile, AfterAFourGibibyteBlockEveryCallEndsAtItsTimeLimitAndTheStreamStaysInStep) {
    Peer peer("127.0.4.25");
    const std::int16_t ud = openOn(peer, "127.0.4.25");
    ASSERT_GT(ud, 0);
    Call c;
    ASSERT_EQ(QZDLLibwrt(ud, "BIG?", &c.sta, &c.err, &c.cntl), QZ_CMPL);
    ASSERT_TRUE(sendAll(peer.data, encodeHeader(0xFFFFFFFFu, kFlagEnd, 0, 1)));
    {
        Flood flood(peer.data, Bytes(65536, 0x42));
        char buffer[100];
        EXPECT_EQ(QZDLLilrd(ud, buffer, sizeof buffer, &c.sta, &c.err, &c.cntl), QZ_CMPL);
        EXPECT_EQ(c.cntl, 100);
        // The next write drops the rest of the block; what it cannot drop in time goes before
        // the next header, so the next read ends at its limit instead of reading block bytes
        // as headers.
        EXPECT_EQ(QZDLLibwrt(ud, "*IDN?", &c.sta, &c.err, &c.cntl), QZ_CMPL);
        EXPECT_EQ(QZDLLilrd(ud, buffer, sizeof buffer, &c.sta, &c.err, &c.cntl), kErrTimo);
        EXPECT_TRUE(flood.stop());
    }
}

TEST(qzib32Hostile, AfterTheHandleCounterWrapsAHandleInUseIsNotHandedOutAgain) {
    FakeInstrument instrument("127.0.4.26");
    Call c;
    const std::int16_t first = QZDLLibfind("127.0.4.26", &c.sta, &c.err, &c.cntl);
    ASSERT_GT(first, 0);
    // Nothing listens on the next address: each open fails at once and uses up a handle.
    std::int16_t last = first;
    for (int i = 0; i < 65533; ++i) last = QZDLLibfind("127.0.4.27", &c.sta, &c.err, &c.cntl);
    EXPECT_EQ(last, -1);
    FakeInstrument second("127.0.4.28");
    const std::int16_t next = QZDLLibfind("127.0.4.28", &c.sta, &c.err, &c.cntl);
    ASSERT_GT(next, 0);
    EXPECT_NE(next, first);
    QZDLLibonl(next, 0, &c.sta, &c.err, &c.cntl);
    QZDLLibonl(first, 0, &c.sta, &c.err, &c.cntl);
}
