// End-to-end tests of the simulator's side of the bus protocol, seen byte by byte from a bare
// client. Every test listens on an address of its own so that they can run in parallel.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "DeviceWait.h"
#include "StatusRegisters.h"
#include "WireClient.h"
#include "wire/WireHeader.h"
#include "analyzer_sim/Simulator.h"

namespace marlin::sim {
namespace {

using test::waitForDevice;
using test::WireClient;
using Ms = std::chrono::milliseconds;
constexpr std::uint16_t kPort = 2525;

std::unique_ptr<Simulator> startOn(const std::string& address, SimulatorOptions options = {}) {
    options.bindAddress = address;
    options.port = kPort;
    options.log = [](std::string_view) {};
    auto sim = std::make_unique<Simulator>(std::move(options));
    sim->start();
    return sim;
}

void openClient(WireClient& client, const std::string& address) {
    ASSERT_TRUE(client.open(address, kPort)) << client.why();
}

TEST(SimulatorWireTest, SetUpExchangeAndIdentity) {
    auto sim = startOn("127.0.0.60");
    EXPECT_TRUE(sim->listening());
    WireClient c;
    openClient(c, "127.0.0.60");
    EXPECT_EQ(std::memcmp(c.versionReply, qzib::kProtocolVersionBytes.data(), 4), 0);
    c.write("*IDN?");
    const auto block = c.readBlock();
    ASSERT_TRUE(block);
    EXPECT_EQ(block->payload.rfind("QUAZAR", 0), 0u);
    EXPECT_EQ(block->payload.back(), '\n');
    EXPECT_EQ(block->header.sequence, 1);
    EXPECT_TRUE(block->header.has(qzib::FLAG_END));
    EXPECT_TRUE(block->header.has(qzib::FLAG_REMOTE));
    EXPECT_EQ(block->header.code, 0);
}

TEST(SimulatorWireTest, RepliesCarryTheSequenceOfTheMessageTheyAnswer) {
    auto sim = startOn("127.0.0.61");
    WireClient c;
    openClient(c, "127.0.0.61");
    c.write("*IDN?");
    c.write("*CLS");
    c.write("SWE:POIN?");
    const auto first = c.readBlock();
    const auto second = c.readBlock();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->header.sequence, 1);
    EXPECT_EQ(second->header.sequence, 3);
    EXPECT_EQ(second->payload, "501\n");
    // The client's counter wraps from 255 to 0; the instrument echoes whatever it got.
    c.writeWithSequence("*OPC?", 255);
    c.write("*OPC?");
    EXPECT_EQ(c.readBlock()->header.sequence, 255);
    EXPECT_EQ(c.readBlock()->header.sequence, 0);
}

TEST(SimulatorWireTest, LargeRepliesAreSplitWithEndOnlyOnTheLastBlock) {
    SimulatorOptions o;
    o.maxBlockBytes = 1000;
    auto sim = startOn("127.0.0.62", o);
    WireClient c;
    openClient(c, "127.0.0.62");
    c.write("MMEM:STOR:TRAC 1,'C:\\TRACE.DAT';:MMEM:DATA? 'C:\\TRACE.DAT'");
    std::string all;
    int blocks = 0;
    for (;;) {
        auto b = c.readBlock();
        ASSERT_TRUE(b);
        ++blocks;
        EXPECT_EQ(b->header.sequence, 1);
        EXPECT_LE(b->payload.size(), 1000u);
        all += b->payload;
        if (b->header.has(qzib::FLAG_END)) break;
        EXPECT_EQ(b->payload.size(), 1000u);
    }
    EXPECT_GT(blocks, 5);
    EXPECT_EQ(blocks, static_cast<int>((all.size() + 999) / 1000));
    EXPECT_EQ(all[0], '#');
    EXPECT_NE(all.find("Values;501;\r\n"), std::string::npos);
}

TEST(SimulatorWireTest, MessagesMaySpanSeveralBlocks) {
    auto sim = startOn("127.0.0.63");
    WireClient c;
    openClient(c, "127.0.0.63");
    c.write("*ID", false);
    c.write("N?");
    const auto b = c.readBlock();
    ASSERT_TRUE(b);
    EXPECT_EQ(b->header.sequence, 2);
    EXPECT_EQ(b->payload.rfind("QUAZAR", 0), 0u);
}

TEST(SimulatorWireTest, TraceBlockOfTheConfiguredSizeAndEmptyReplyForAnInactiveTrace) {
    SimulatorOptions o;
    o.instrument.points = 1001;
    o.instrument.activeTraces = {true, false, true, true};
    auto sim = startOn("127.0.0.64", o);
    WireClient c;
    openClient(c, "127.0.0.64");
    c.write("FORM REAL,32");
    const auto trace = c.ask("TRAC? TRACE1");
    ASSERT_TRUE(trace);
    EXPECT_EQ(trace->substr(0, 6), "#44004");
    EXPECT_EQ(trace->size(), 6u + 4004u + 1u);
    c.write("TRAC? TRACE2");
    const auto b = c.readBlock();
    ASSERT_TRUE(b);
    EXPECT_EQ(b->header.length, 0u);
    EXPECT_TRUE(b->header.has(qzib::FLAG_END));
}

TEST(SimulatorWireTest, SerialPollShowsPendingOutputUntilTheClientConsumedIt) {
    auto sim = startOn("127.0.0.65");
    WireClient c;
    openClient(c, "127.0.0.65");
    c.write("*IDN?");
    ASSERT_TRUE(waitForDevice(*sim, [](const DeviceState& d) { return d.replies == 1; }));
    auto stb = c.serialPoll();
    ASSERT_TRUE(stb);
    EXPECT_EQ(*stb & StatusRegisters::kMessageAvailable, StatusRegisters::kMessageAvailable);
    ASSERT_TRUE(c.readMessage());
    stb = c.serialPoll();  // carries FLAG_CONSUMED
    ASSERT_TRUE(stb);
    EXPECT_EQ(*stb, 0);
    c.write("NOT:A:COMMAND");
    ASSERT_TRUE(waitForDevice(*sim, [](const DeviceState& d) { return d.messages == 2; }));
    stb = c.serialPoll();
    ASSERT_TRUE(stb);
    EXPECT_EQ(*stb, StatusRegisters::kErrorAvailable);
}

TEST(SimulatorWireTest, WaitSrqIsHeldUntilTheSweepRequestsService) {
    auto sim = startOn("127.0.0.66");
    WireClient c;
    openClient(c, "127.0.0.66");
    auto test = c.control(qzib::FLAG_QUERY);
    ASSERT_TRUE(test);
    EXPECT_FALSE(test->has(qzib::FLAG_SRQ));
    c.write("*CLS;*ESE 1;*SRE 32;:INIT:CONT OFF;:SWE:TIME 0.3;:INIT:IMM;*OPC");
    const auto start = std::chrono::steady_clock::now();
    const auto wait = c.control(qzib::FLAG_SRQ | qzib::FLAG_QUERY, 0, Ms(10000));
    ASSERT_TRUE(wait);
    EXPECT_TRUE(wait->has(qzib::FLAG_SRQ));
    EXPECT_GE(std::chrono::steady_clock::now() - start, Ms(250));
    test = c.control(qzib::FLAG_QUERY);
    ASSERT_TRUE(test);
    EXPECT_TRUE(test->has(qzib::FLAG_SRQ));
    const auto stb = c.serialPoll();
    ASSERT_TRUE(stb);
    EXPECT_EQ(*stb & (StatusRegisters::kRequestService | StatusRegisters::kEventSummary),
              StatusRegisters::kRequestService | StatusRegisters::kEventSummary);
    // The poll took the request away.
    test = c.control(qzib::FLAG_QUERY);
    ASSERT_TRUE(test);
    EXPECT_FALSE(test->has(qzib::FLAG_SRQ));
}

TEST(SimulatorWireTest, AWaitSrqTheClientGaveUpOnGetsNoLateReply) {
    auto sim = startOn("127.0.0.67");
    WireClient c;
    openClient(c, "127.0.0.67");
    c.write("BOGUS");  // leaves an error in the queue: the status byte is not 0
    ASSERT_TRUE(waitForDevice(*sim, [](const DeviceState& d) { return d.messages == 1; }));
    c.sendControl(qzib::FLAG_SRQ | qzib::FLAG_QUERY);
    // The client's patience: nothing may arrive, since nothing requests service.
    EXPECT_FALSE(c.controlHasBytes(Ms(150)));
    const auto test = c.control(qzib::FLAG_QUERY);
    ASSERT_TRUE(test);
    EXPECT_FALSE(test->has(qzib::FLAG_SRQ));
    // Were a late WaitSrq reply in the way, the poll would read a stale reply with code 0.
    const auto stb = c.serialPoll();
    ASSERT_TRUE(stb);
    EXPECT_EQ(*stb, StatusRegisters::kErrorAvailable);
}

TEST(SimulatorWireTest, DeviceClearBreaksOffAWaitingMessageAndDropsItsOutput) {
    auto sim = startOn("127.0.0.68");
    WireClient c;
    openClient(c, "127.0.0.68");
    c.write("INIT:CONT OFF;:SWE:TIME 60;:INIT:IMM;*WAI;*IDN?");
    ASSERT_TRUE(waitForDevice(*sim, [](const DeviceState& d) { return d.waiting; }));
    ASSERT_TRUE(c.control(qzib::FLAG_COMMAND, qzib::ifc::kSelectedDeviceClear));
    // The identity of the broken-off message never comes: the next block answers the next message.
    c.write("SWE:POIN?");
    const auto b = c.readBlock();
    ASSERT_TRUE(b);
    EXPECT_EQ(b->header.sequence, 2);
    EXPECT_EQ(b->payload, "501\n");
    // The sweep itself runs on until aborted.
    c.write("ABOR;*OPC?");
    const auto done = c.readBlock();
    ASSERT_TRUE(done);
    EXPECT_EQ(done->header.sequence, 3);
    EXPECT_EQ(done->payload, "1\n");
}

TEST(SimulatorWireTest, RemoteStateFollowsTheFlagAndGoToLocal) {
    auto sim = startOn("127.0.0.69");
    WireClient c;
    openClient(c, "127.0.0.69");
    ASSERT_TRUE(c.ask("*OPC?"));
    ASSERT_EQ(sim->devices().size(), 1u);
    EXPECT_TRUE(sim->devices()[0].remote);
    ASSERT_TRUE(c.control(qzib::FLAG_COMMAND, qzib::ifc::kGoToLocal));
    EXPECT_FALSE(sim->devices()[0].remote);
    // Addressed to listen with remote enable on: remote again.
    auto reply = c.control(qzib::FLAG_COMMAND, qzib::ifc::kListenAddressBase);
    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply->has(qzib::FLAG_REMOTE));
    EXPECT_TRUE(sim->devices()[0].remote);
    c.remote = false;
    reply = c.control(0);  // remote enable off
    ASSERT_TRUE(reply);
    EXPECT_FALSE(reply->has(qzib::FLAG_REMOTE));
    EXPECT_FALSE(sim->devices()[0].remote);
}

TEST(SimulatorWireTest, StallAfterRepliesWithholdsRepliesButKeepsServing) {
    SimulatorOptions o;
    o.faults.stallAfterReplies = 1;
    auto sim = startOn("127.0.0.71", o);
    WireClient c;
    openClient(c, "127.0.0.71");
    EXPECT_TRUE(c.ask("*IDN?"));
    c.write("*IDN?");
    EXPECT_FALSE(c.dataHasBytes(Ms(200)));
    // Commands still run, and the control connection still answers.
    c.write("BOGUS");
    ASSERT_TRUE(waitForDevice(*sim, [](const DeviceState& d) { return d.messages == 3; }));
    const auto stb = c.serialPoll();
    ASSERT_TRUE(stb);
    EXPECT_EQ(*stb & StatusRegisters::kErrorAvailable, StatusRegisters::kErrorAvailable);
}

TEST(SimulatorWireTest, ShortBlockAnnouncesMoreDataThanItCarries) {
    SimulatorOptions o;
    o.faults.shortBlockAfterReplies = 1;
    auto sim = startOn("127.0.0.72", o);
    WireClient c;
    openClient(c, "127.0.0.72");
    c.write("FORM REAL,32");
    const auto full = c.ask("TRAC? TRACE1");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->size(), 6u + 2004u + 1u);
    const auto shortened = c.ask("TRAC? TRACE1");
    ASSERT_TRUE(shortened);
    EXPECT_EQ(shortened->substr(0, 6), "#42004");
    EXPECT_EQ(shortened->size(), 6u + 1002u + 1u);
    EXPECT_EQ(shortened->back(), '\n');
}

TEST(SimulatorWireTest, SeveralClientsAtOnceEachWithItsOwnInstrument) {
    auto sim = startOn("127.0.0.76");
    constexpr int kClients = 4;
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    std::vector<std::unique_ptr<WireClient>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<WireClient>());
        ASSERT_TRUE(clients.back()->open("127.0.0.76", kPort)) << clients.back()->why();
    }
    for (int i = 0; i < kClients; ++i) {
        threads.emplace_back([&, i] {
            WireClient& c = *clients[static_cast<std::size_t>(i)];
            c.write(i % 2 ? "FORM REAL,32;:INIT:CONT OFF" : "FORM ASC");
            bool ok = true;
            for (int k = 0; k < 50 && ok; ++k) {
                const auto r = c.ask("TRAC? TRACE1");
                ok = r && (i % 2 ? r->substr(0, 6) == "#42004" : r->find(',') != std::string::npos);
            }
            if (ok) ++good;
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(good.load(), kClients);
    EXPECT_EQ(sim->devices().size(), static_cast<std::size_t>(kClients));
    std::size_t continuous = 0;
    for (const DeviceState& d : sim->devices()) {
        EXPECT_TRUE(d.controlConnected);
        continuous += d.continuous;
    }
    EXPECT_EQ(continuous, 2u);
}

TEST(SimulatorWireTest, StrangersAreTurnedAway) {
    auto sim = startOn("127.0.0.77");
    WireClient c;
    ASSERT_TRUE(c.open("127.0.0.77", kPort, false)) << c.why();
    // A control connection with a token nobody was given.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(kPort);
    ::inet_pton(AF_INET, "127.0.0.77", &sa.sin_addr);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    std::uint8_t bogus[4] = {static_cast<std::uint8_t>(c.token[0] ^ 0xFF), c.token[1], c.token[2],
                             c.token[3]};
    if (std::memcmp(bogus, qzib::kProtocolVersionBytes.data(), 4) == 0) bogus[1] ^= 0xFF;
    ASSERT_EQ(::send(fd, bogus, 4, 0), 4);
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    char byte;
    EXPECT_EQ(::recv(fd, &byte, 1, 0), 0);
    ::close(fd);
}

TEST(SimulatorWireTest, StopClosesOpenDevicesAndCanBeCalledTwice) {
    auto sim = startOn("127.0.0.78");
    WireClient c;
    openClient(c, "127.0.0.78");
    ASSERT_TRUE(c.ask("*IDN?"));
    sim->stop();
    EXPECT_FALSE(sim->listening());
    EXPECT_TRUE(c.dataClosed());
    sim->stop();
    // And it can listen again on the same address.
    sim->start();
    WireClient again;
    openClient(again, "127.0.0.78");
    EXPECT_TRUE(again.ask("*OPC?"));
}

TEST(SimulatorWireTest, ClosedDevicesLeaveTheList) {
    auto sim = startOn("127.0.0.79");
    {
        WireClient c;
        openClient(c, "127.0.0.79");
        ASSERT_TRUE(c.ask("*OPC?"));
        EXPECT_EQ(sim->devices().size(), 1u);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!sim->devices().empty() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    EXPECT_TRUE(sim->devices().empty());
}

TEST(SimulatorWireTest, BindingATakenAddressFailsWithAClearError) {
    auto sim = startOn("127.0.0.80");
    SimulatorOptions o;
    o.bindAddress = "127.0.0.80";
    o.port = kPort;
    Simulator second(o);
    // SO_REUSEADDR does not allow two listeners on one address and port.
    try {
        second.start();
        FAIL() << "second listener started";
    } catch (const std::system_error& e) {
        EXPECT_NE(std::string(e.what()).find("127.0.0.80:2525"), std::string::npos);
    }
    Simulator bad(SimulatorOptions{.bindAddress = "not-an-address"});
    EXPECT_THROW(bad.start(), std::system_error);
}

}  // namespace
}  // namespace marlin::sim
