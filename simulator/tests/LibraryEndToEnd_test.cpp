// End-to-end tests with the real bus library as the client, doing what the recorder and other
// programs do. Every test case listens on an address of its own (127.0.0.90 and up).

#include <gtest/gtest.h>
#include <qzib32.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "DeviceWait.h"
#include "StatusRegisters.h"
#include "analyzer_sim/Simulator.h"

namespace marlin::sim {
namespace {

using Clock = std::chrono::steady_clock;
using test::waitForDevice;
using Ms = std::chrono::milliseconds;

std::unique_ptr<Simulator> startOn(const std::string& address, SimulatorOptions options = {}) {
    options.bindAddress = address;
    options.port = 2525;
    options.log = [](std::string_view) {};
    auto sim = std::make_unique<Simulator>(std::move(options));
    sim->start();
    return sim;
}

// One opened device of the library, closed again at the end of the test.
class Device {
public:
    explicit Device(const std::string& address) { ud_ = QZDLLibfind(address.c_str(), &sta, &err, &cnt); }
    ~Device() {
        if (ud_ >= 0) QZDLLibonl(ud_, 0, &sta, &err, &cnt);
    }
    bool opened() const { return ud_ >= 0; }
    int16_t ud() const { return ud_; }

    bool write(const std::string& text) {
        QZDLLibwrt(ud_, text.c_str(), &sta, &err, &cnt);
        return sta == QZ_CMPL;
    }
    // Reads up to count bytes into a blank-filled buffer, as the recorder does.
    std::string read(uint32_t count) {
        std::string buffer(count, ' ');
        QZDLLilrd(ud_, buffer.data(), count, &sta, &err, &cnt);
        return buffer;
    }
    std::string readAll() {
        std::vector<char> buffer(1 << 20, ' ');
        QZDLLibrd(ud_, buffer.data(), &sta, &err, &cnt);
        return std::string(buffer.data(), cnt > 0 ? static_cast<std::size_t>(cnt) : 0);
    }
    std::string ask(const std::string& text) { return write(text) ? readAll() : std::string(); }
    void timeout(int16_t seconds) { QZDLLibtmo(ud_, seconds, &sta, &err, &cnt); }
    // A definite-length block the recorder's way: "#", d, d digits of length, then the data.
    std::string readBlock() {
        const std::string head = read(2);
        if (head[0] != '#' || head[1] < '1' || head[1] > '9') return {};
        const std::string digits = read(static_cast<uint32_t>(head[1] - '0'));
        return read(static_cast<uint32_t>(std::stoul(digits)));
    }

    int16_t sta = 0;
    int16_t err = 0;
    int32_t cnt = 0;

private:
    int16_t ud_ = -1;
};

class LibraryEndToEndTest : public ::testing::Test {
protected:
    // Starts the simulator on `address` and opens a device of the library to it.
    Device& connect(const std::string& address, SimulatorOptions options = {}) {
        sim = startOn(address, std::move(options));
        device = std::make_unique<Device>(address);
        return *device;
    }

    std::unique_ptr<Simulator> sim;
    std::unique_ptr<Device> device;  // closed before the simulator stops
};

TEST_F(LibraryEndToEndTest, IdentityStartsWithTheMakerWord) {
    Device& dev = connect("127.0.0.90");
    ASSERT_TRUE(dev.opened()) << dev.err;
    ASSERT_TRUE(dev.write("*IDN?"));
    std::string buffer(1000, ' ');
    QZDLLibrd(dev.ud(), buffer.data(), &dev.sta, &dev.err, &dev.cnt);
    EXPECT_EQ(dev.sta, QZ_CMPL);
    EXPECT_EQ(buffer.substr(0, 6), "QUAZAR");
    EXPECT_EQ(buffer[static_cast<std::size_t>(dev.cnt) - 1], '\n');
}

TEST_F(LibraryEndToEndTest, TheRecordersSequenceGetsTheExportAndTraceBlocks) {
    Device& dev = connect("127.0.0.91", {.instrument = {.points = 1001}});
    ASSERT_TRUE(dev.opened());
    ASSERT_TRUE(dev.write("SYST:DISP:UPD ON"));
    ASSERT_TRUE(dev.write("INIT:CONT OFF"));
    ASSERT_TRUE(dev.write("SYST:Err:CLE:All"));
    ASSERT_TRUE(dev.write("FORMat ASCii"));
    ASSERT_TRUE(dev.write("MMEM:STOR:TRAC  1,'C:\\TRACE.DAT'"));
    ASSERT_TRUE(dev.write("MMEM:DATA? 'C:\\TRACE.DAT'"));
    const std::string head = dev.read(2);
    ASSERT_EQ(head[0], '#');
    const std::size_t length = std::stoul(dev.read(static_cast<uint32_t>(head[1] - '0')));
    const std::string file = dev.read(static_cast<uint32_t>(length + 1));
    EXPECT_EQ(file.back(), '\n');
    EXPECT_NE(file.find("Values;1001;"), std::string::npos);

    for (int reading = 0; reading < 3; ++reading) {
        ASSERT_TRUE(dev.write("SWE:TIME?"));
        EXPECT_EQ(dev.read(2), "0.");
        dev.timeout(1);
        ASSERT_TRUE(dev.write("INIT:IMM;*WAI"));
        ASSERT_TRUE(dev.write("FORM REAL,32"));
        ASSERT_TRUE(dev.write("TRAC? TRACE1"));
        const std::string data = dev.readBlock();
        ASSERT_EQ(data.size(), 4004u);
        EXPECT_EQ(dev.cnt, 4004);
        std::vector<float> values(1001);
        std::memcpy(values.data(), data.data(), data.size());
        for (float v : values) {
            EXPECT_GT(v, -130.0f);
            EXPECT_LT(v, 0.0f);
        }
    }
    ASSERT_TRUE(dev.write("INIT:CONT ON"));
    ASSERT_TRUE(waitForDevice(*sim, [](const DeviceState& d) { return d.continuous; }));
    QZDLLibloc(dev.ud(), &dev.sta, &dev.err, &dev.cnt);
    ASSERT_EQ(sim->devices().size(), 1u);
    EXPECT_FALSE(sim->devices()[0].remote);
    EXPECT_TRUE(sim->devices()[0].continuous);
}

TEST_F(LibraryEndToEndTest, AnInactiveTraceGivesAnEmptyReply) {
    Device& dev = connect("127.0.0.92", {.instrument = {.activeTraces = {true, false, true, true}}});
    ASSERT_TRUE(dev.opened());
    ASSERT_TRUE(dev.write("FORM REAL,32"));
    ASSERT_TRUE(dev.write("TRAC? TRACE2"));
    const auto start = Clock::now();
    EXPECT_EQ(dev.read(2), "  ");
    EXPECT_EQ(dev.sta, QZ_CMPL);
    EXPECT_EQ(dev.cnt, 0);
    EXPECT_LT(Clock::now() - start, Ms(4000));  // an answer, not a time-out
    // Switched on through the API, the trace answers from its next query.
    sim->setTraceActive(2, true);
    ASSERT_TRUE(dev.write("TRAC? TRACE2"));
    EXPECT_EQ(dev.readBlock().size(), 2004u);
}

TEST_F(LibraryEndToEndTest, ALateReplyIsSkippedWhenTheClientHasMovedOn) {
    Device& dev = connect("127.0.0.93", {.faults = {.replyDelay = Ms(1500)}});
    ASSERT_TRUE(dev.opened());
    dev.timeout(1);
    ASSERT_TRUE(dev.write("*IDN?"));
    dev.read(100);
    EXPECT_EQ(dev.sta, static_cast<int16_t>(QZ_ERR | QZ_TIMO));
    EXPECT_EQ(dev.err, 5);
    dev.timeout(3);
    // The identity arrives while the client waits for this answer, and is skipped.
    EXPECT_EQ(dev.ask("SWE:POIN?"), "501\n");
    EXPECT_EQ(dev.sta, QZ_CMPL);
}

TEST_F(LibraryEndToEndTest, ServiceRequestAndSerialPoll) {
    Device& dev = connect("127.0.0.94");
    ASSERT_TRUE(dev.opened());
    int16_t result = -1;
    QZDLLTestSrq(dev.ud(), &result, &dev.sta, &dev.err, &dev.cnt);
    EXPECT_EQ(result, 0);
    ASSERT_TRUE(dev.write("*CLS;*ESE 1;*SRE 32;:INIT:CONT OFF;:SWE:TIME 0.2;:INIT:IMM;*OPC"));
    QZDLLWaitSrq(dev.ud(), &result, &dev.sta, &dev.err, &dev.cnt);
    EXPECT_EQ(dev.sta, 0);
    EXPECT_EQ(result, 1);
    QZDLLTestSrq(dev.ud(), &result, &dev.sta, &dev.err, &dev.cnt);
    EXPECT_EQ(result, 1);
    char stb = 0;
    QZDLLibrsp(dev.ud(), &stb, &dev.sta, &dev.err, &dev.cnt);
    EXPECT_EQ(dev.sta, QZ_CMPL);
    EXPECT_EQ(dev.cnt, 1);
    const auto status = static_cast<std::uint8_t>(stb);
    EXPECT_EQ(status & StatusRegisters::kRequestService, StatusRegisters::kRequestService);
    EXPECT_EQ(status & StatusRegisters::kEventSummary, StatusRegisters::kEventSummary);
    QZDLLTestSrq(dev.ud(), &result, &dev.sta, &dev.err, &dev.cnt);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(dev.ask("*ESR?"), "1\n");
}

TEST_F(LibraryEndToEndTest, WaitSrqRunsOutWithoutAServiceRequest) {
    Device& dev = connect("127.0.0.95");
    ASSERT_TRUE(dev.opened());
    dev.timeout(1);
    int16_t result = -1;
    QZDLLWaitSrq(dev.ud(), &result, &dev.sta, &dev.err, &dev.cnt);
    EXPECT_EQ(dev.sta, static_cast<int16_t>(QZ_ERR | QZ_TIMO));
    EXPECT_EQ(result, 0);
    // The abandoned request leaves nothing behind that the next exchange could mistake.
    ASSERT_TRUE(dev.write("BOGUS"));
    ASSERT_TRUE(waitForDevice(*sim, [](const DeviceState& d) { return d.errorsQueued == 1; }));
    char stb = 0;
    QZDLLibrsp(dev.ud(), &stb, &dev.sta, &dev.err, &dev.cnt);
    EXPECT_EQ(dev.sta, QZ_CMPL);
    EXPECT_EQ(static_cast<std::uint8_t>(stb), StatusRegisters::kErrorAvailable);
}

TEST_F(LibraryEndToEndTest, DeviceClearBreaksOffAWaitingCommand) {
    Device& dev = connect("127.0.0.96");
    ASSERT_TRUE(dev.opened());
    ASSERT_TRUE(dev.write("INIT:CONT OFF;:SWE:TIME 30;:INIT:IMM;*WAI;*IDN?"));
    ASSERT_TRUE(waitForDevice(*sim, [](const DeviceState& d) { return d.waiting; }));
    QZDLLibclr(dev.ud(), &dev.sta, &dev.err, &dev.cnt);
    EXPECT_EQ(dev.sta, QZ_CMPL);
    EXPECT_EQ(dev.ask("SWE:POIN?"), "501\n");
    EXPECT_EQ(dev.ask("ABOR;*OPC?"), "1\n");
}

TEST_F(LibraryEndToEndTest, SeveralClientsAtOnce) {
    sim = startOn("127.0.0.97");
    // Different texts for one address open different devices of the library.
    const std::vector<std::string> addresses = {"127.0.0.97", "127.0.0.0x61", "127.0.0.0141", "127.0.97"};
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (const std::string& address : addresses) {
        threads.emplace_back([&, address] {
            Device dev(address);
            if (!dev.opened() || !dev.write("FORM REAL,32;:INIT:CONT OFF")) return;
            for (int i = 0; i < 30; ++i) {
                if (!dev.write("INIT:IMM;*WAI;:TRAC? TRACE1") || dev.readBlock().size() != 2004) return;
            }
            ++good;
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(good.load(), static_cast<int>(addresses.size()));
}

TEST_F(LibraryEndToEndTest, FaultCloseAfterReplies) {
    Device& dev = connect("127.0.0.98", {.faults = {.closeAfterReplies = 1}});
    ASSERT_TRUE(dev.opened());
    EXPECT_EQ(dev.ask("*IDN?").substr(0, 6), "QUAZAR");
    dev.write("*IDN?");
    dev.readAll();
    EXPECT_NE(dev.sta & QZ_ERR, 0);
}

TEST_F(LibraryEndToEndTest, FaultStallAfterReplies) {
    Device& dev = connect("127.0.0.99", {.faults = {.stallAfterReplies = 1}});
    ASSERT_TRUE(dev.opened());
    dev.timeout(1);
    EXPECT_EQ(dev.ask("*OPC?"), "1\n");
    EXPECT_EQ(dev.ask("*OPC?"), "");
    EXPECT_EQ(dev.sta, static_cast<int16_t>(QZ_ERR | QZ_TIMO));
    EXPECT_EQ(dev.err, 5);
}

TEST_F(LibraryEndToEndTest, FaultShortBlockDeliversLessThanAnnounced) {
    Device& dev = connect("127.0.0.100", {.faults = {.shortBlockAfterReplies = 0}});
    ASSERT_TRUE(dev.opened());
    ASSERT_TRUE(dev.write("FORM REAL,32"));
    ASSERT_TRUE(dev.write("TRAC? TRACE1"));
    const std::string data = dev.readBlock();
    ASSERT_EQ(data.size(), 2004u);
    EXPECT_EQ(dev.sta, QZ_CMPL);
    EXPECT_EQ(dev.cnt, 1003);  // half the data and the line feed, then END
    EXPECT_EQ(data.substr(1003), std::string(1001, ' '));
}

TEST_F(LibraryEndToEndTest, FaultShortMessageEndsInAFailedRead) {
    Device& dev = connect("127.0.0.101", {.faults = {.shortMessageAfterReplies = 0}});
    ASSERT_TRUE(dev.opened());
    dev.timeout(2);
    dev.ask("*IDN?");
    EXPECT_NE(dev.sta & QZ_ERR, 0);
}

TEST_F(LibraryEndToEndTest, FaultWrongVersionFailsTheOpen) {
    Device& dev = connect("127.0.0.102", {.faults = {.versionReply = 1.5f}});
    EXPECT_FALSE(dev.opened());
    EXPECT_EQ(dev.sta, QZ_ERR);
    EXPECT_EQ(dev.err, 2);
}

TEST_F(LibraryEndToEndTest, FaultReplyDelay) {
    Device& dev = connect("127.0.0.103", {.faults = {.replyDelay = Ms(300)}});
    ASSERT_TRUE(dev.opened());
    for (int i = 0; i < 2; ++i) {
        const auto start = Clock::now();
        EXPECT_EQ(dev.ask("*OPC?"), "1\n");
        EXPECT_GE(Clock::now() - start, Ms(300));
    }
}

TEST_F(LibraryEndToEndTest, FaultsChangedWhileRunningApplyToTheNextReply) {
    Device& dev = connect("127.0.0.105");
    ASSERT_TRUE(dev.opened());
    dev.timeout(1);
    EXPECT_EQ(dev.ask("*OPC?"), "1\n");
    marlin::sim::FaultOptions stall;
    stall.stallAfterReplies = 0;
    sim->setFaults(stall);
    EXPECT_EQ(dev.ask("*OPC?"), "");
    EXPECT_EQ(dev.err, 5);
    sim->setFaults({});
    EXPECT_EQ(dev.ask("SWE:POIN?"), "501\n");
}

TEST_F(LibraryEndToEndTest, NothingListeningFailsTheOpen) {
    Device dev("127.0.0.104");
    EXPECT_FALSE(dev.opened());
    EXPECT_EQ(dev.err, 2);
}

}  // namespace
}  // namespace marlin::sim
