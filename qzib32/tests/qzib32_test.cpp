// The exported calls, through the shared library's C interface only.

#include "qzib32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "FakeInstrument.h"
#include "TestPlatform.h"

using namespace qzibtest;

namespace {

struct Triple {
    std::int16_t sta = 0x7777;
    std::int16_t err = 0x7777;
    std::int32_t cntl = 0x7777;
};

constexpr std::int16_t kErrTimo = static_cast<std::int16_t>(0xC000);

std::int16_t open(const char* address, Triple& t) {
    return QZDLLibfind(address, &t.sta, &t.err, &t.cntl);
}

// A file in the test's scratch directory, removed again at the end.
struct TempFile {
    explicit TempFile(const std::string& name)
        : path(testing::TempDir() + name + "." + std::to_string(processId())) {}
    ~TempFile() { std::remove(path.c_str()); }
    void write(const std::string& bytes) const { std::ofstream(path, std::ios::binary) << bytes; }
    std::string read() const {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string path;
};

}  // namespace

TEST(qzib32, OpeningTheSameAddressTextReusesTheDeviceAndAnotherTextOpensAnother) {
    FakeInstrument instrument("127.0.0.46");
    Triple t;
    std::int16_t ud = open("0x7f.0.0.46", t);
    ASSERT_GT(ud, 0);
    EXPECT_EQ(t.sta, QZ_CMPL);
    EXPECT_EQ(t.err, 0);
    EXPECT_EQ(t.cntl, 0);
    ASSERT_TRUE(instrument.waitForSessions(1));
    EXPECT_EQ(open("0x7f.0.0.46", t), ud);
    EXPECT_EQ(t.sta, QZ_CMPL);
    EXPECT_EQ(instrument.connectionsAccepted(), 2u);
    // The same host written in other letters is another device with its own connections.
    std::int16_t other = open("0X7F.0.0.46", t);
    EXPECT_EQ(other, ud + 1);
    ASSERT_TRUE(instrument.waitForSessions(2));
    EXPECT_EQ(instrument.connectionsAccepted(), 4u);
    QZDLLibonl(ud, 0, &t.sta, &t.err, &t.cntl);
    QZDLLibonl(other, 0, &t.sta, &t.err, &t.cntl);
}

TEST(qzib32, AFailedOpenReportsAndStillUsesUpAHandle) {
    FakeInstrument instrument("127.0.0.47");
    Triple t;
    std::int16_t first = open("127.0.0.47", t);
    ASSERT_GT(first, 0);
    // Nobody listens at .48.
    EXPECT_EQ(open("127.0.0.48", t), -1);
    EXPECT_EQ(t.sta, QZ_ERR);
    EXPECT_EQ(t.err, 2);
    EXPECT_EQ(t.cntl, 0);
    EXPECT_EQ(open(nullptr, t), -1);
    std::int16_t next = open("127.0.47", t);  // the same host, another text
    EXPECT_EQ(next, first + 3);
    QZDLLibonl(first, 0, &t.sta, &t.err, &t.cntl);
    QZDLLibonl(next, 0, &t.sta, &t.err, &t.cntl);
}

TEST(qzib32, AClosedOrUnknownHandleGivesError3WithTheCountEachCallStates) {
    FakeInstrument instrument("127.0.0.49");
    Triple t;
    std::int16_t ud = open("127.0.0.49", t);
    ASSERT_GT(ud, 0);
    EXPECT_EQ(QZDLLibonl(ud, 1, &t.sta, &t.err, &t.cntl), 0);  // any flag but 0 does nothing
    EXPECT_EQ(QZDLLibonl(ud, 0, &t.sta, &t.err, &t.cntl), 0);
    EXPECT_EQ(t.err, 0);
    EXPECT_TRUE(instrument.waitForClientClosed());

    char buffer[16];
    std::int16_t result = 0;
    auto expectUnknown = [&](std::int16_t sta, std::int32_t count) {
        EXPECT_EQ(sta, QZ_ERR);
        EXPECT_EQ(t.sta, QZ_ERR);
        EXPECT_EQ(t.err, 3);
        EXPECT_EQ(t.cntl, count);
    };
    t.cntl = 55;
    expectUnknown(QZDLLibwrt(ud, "*IDN?", &t.sta, &t.err, &t.cntl), 0);
    t.cntl = 55;
    expectUnknown(QZDLLilwrt(ud, "x", 1, &t.sta, &t.err, &t.cntl), 0);
    t.cntl = 55;
    expectUnknown(QZDLLibrd(ud, buffer, &t.sta, &t.err, &t.cntl), 0);
    t.cntl = 55;
    expectUnknown(QZDLLilrd(ud, buffer, 16, &t.sta, &t.err, &t.cntl), 0);
    expectUnknown(QZDLLibwrtf(ud, "/nonexistent", &t.sta, &t.err, &t.cntl), 0);
    expectUnknown(QZDLLibrdf(ud, "/nonexistent", &t.sta, &t.err, &t.cntl), 0);
    expectUnknown(QZDLLTestSrq(ud, &result, &t.sta, &t.err, &t.cntl), 0);
    expectUnknown(QZDLLWaitSrq(ud, &result, &t.sta, &t.err, &t.cntl), 0);
    expectUnknown(QZDLLibrsp(ud, buffer, &t.sta, &t.err, &t.cntl), 1);
    expectUnknown(QZDLLibtmo(ud, 3, &t.sta, &t.err, &t.cntl), 0);
    expectUnknown(QZDLLibsre(ud, 1, &t.sta, &t.err, &t.cntl), 0);
    expectUnknown(QZDLLibclr(ud, &t.sta, &t.err, &t.cntl), 0);
    expectUnknown(QZDLLibloc(ud, &t.sta, &t.err, &t.cntl), 0);
    expectUnknown(QZDLLibeot(ud, 1, &t.sta, &t.err, &t.cntl), 0);
    t.cntl = 55;
    expectUnknown(QZDLLibonl(ud, 0, &t.sta, &t.err, &t.cntl), 0);
    expectUnknown(QZDLLibonl(-1, 0, &t.sta, &t.err, &t.cntl), 0);
}

TEST(qzib32, WritesAndReadsReportTheirCounts) {
    FakeInstrument instrument("127.0.0.50");
    instrument.setDataResponder([](const DataMessage& m) {
        std::string text(m.payload.begin(), m.payload.end());
        if (text == "*IDN?")
            return dataBlock("QUAZAR,FSX,123456/789,1.15 and more text", kFlagEnd, m.header.sequence);
        if (text == "LONG?") return dataBlock("ABCDEFGHIJKLMNOPQRSTUVWXY", kFlagEnd, m.header.sequence);
        return Bytes{};
    });
    Triple t;
    std::int16_t ud = open("127.0.0.50", t);
    ASSERT_GT(ud, 0);

    EXPECT_EQ(QZDLLilwrt(ud, nullptr, 0, &t.sta, &t.err, &t.cntl), QZ_CMPL);  // a bare header goes out
    EXPECT_EQ(t.cntl, 0);
    EXPECT_EQ(QZDLLibwrt(ud, "*IDN?", &t.sta, &t.err, &t.cntl), QZ_CMPL);
    EXPECT_EQ(t.err, 0);
    EXPECT_EQ(t.cntl, 5);
    char buffer[1000];
    EXPECT_EQ(QZDLLibrd(ud, buffer, &t.sta, &t.err, &t.cntl), QZ_CMPL);
    EXPECT_EQ(t.cntl, 40);
    EXPECT_EQ(std::string(buffer, 5), "QUAZA");

    EXPECT_EQ(QZDLLibwrt(ud, "LONG?", &t.sta, &t.err, &t.cntl), QZ_CMPL);
    std::string guarded(20, '#');
    EXPECT_EQ(QZDLLilrd(ud, guarded.data(), 10, &t.sta, &t.err, &t.cntl), QZ_CMPL);
    EXPECT_EQ(t.cntl, 10);
    EXPECT_EQ(guarded, "ABCDEFGHIJ##########");  // never past the count
    EXPECT_EQ(QZDLLilrd(ud, buffer, 100, &t.sta, &t.err, &t.cntl), QZ_CMPL);
    EXPECT_EQ(t.cntl, 15);
    EXPECT_EQ(std::string(buffer, 15), "KLMNOPQRSTUVWXY");

    ASSERT_TRUE(instrument.waitForDataMessages(3));
    auto messages = instrument.dataMessages();
    EXPECT_EQ(messages[0].header.length, 0u);
    EXPECT_EQ(messages[0].header.flags, kFlagEnd | kFlagRemote);
    EXPECT_EQ(messages[1].header.flags, kFlagEnd | kFlagRemote);
    EXPECT_EQ(messages[2].header.flags, kFlagEnd | kFlagRemote | kFlagConsumed);

    // Null status pointers and a null buffer are reported, not followed.
    EXPECT_EQ(QZDLLibwrt(ud, "*IDN?", nullptr, nullptr, nullptr), QZ_CMPL);
    EXPECT_EQ(QZDLLilrd(ud, nullptr, 10, &t.sta, &t.err, &t.cntl), QZ_ERR);
    EXPECT_EQ(t.err, -1);
    EXPECT_EQ(QZDLLibwrt(ud, nullptr, &t.sta, &t.err, &t.cntl), QZ_ERR);
    QZDLLibonl(ud, 0, &t.sta, &t.err, &t.cntl);
}

TEST(qzib32, FileWriteSendsBlocksOf1024AndEndsWithTheEndMark) {
    FakeInstrument instrument("127.0.0.51");
    Triple t;
    std::int16_t ud = open("127.0.0.51", t);
    ASSERT_GT(ud, 0);
    TempFile exact("exact");
    exact.write(std::string(2048, 'e'));
    EXPECT_EQ(QZDLLibwrtf(ud, exact.path.c_str(), &t.sta, &t.err, &t.cntl), QZ_CMPL);
    EXPECT_EQ(t.cntl, 2048);
    TempFile odd("odd");
    odd.write(std::string(1500, 'o'));
    EXPECT_EQ(QZDLLibwrtf(ud, odd.path.c_str(), &t.sta, &t.err, &t.cntl), QZ_CMPL);
    EXPECT_EQ(t.cntl, 1500);

    ASSERT_TRUE(instrument.waitForDataMessages(5));
    auto m = instrument.dataMessages();
    EXPECT_EQ(m[0].header.length, 1024u);
    EXPECT_EQ(m[0].header.flags, kFlagRemote);
    EXPECT_EQ(m[1].header.length, 1024u);
    EXPECT_EQ(m[1].header.flags, kFlagRemote);
    EXPECT_EQ(m[2].header.length, 0u);
    EXPECT_EQ(m[2].header.flags, kFlagEnd | kFlagRemote);
    EXPECT_EQ(m[3].header.length, 1024u);
    EXPECT_EQ(m[4].header.length, 476u);
    EXPECT_EQ(m[4].header.flags, kFlagEnd | kFlagRemote);

    t.cntl = 9;
    EXPECT_EQ(QZDLLibwrtf(ud, "/nonexistent/file", &t.sta, &t.err, &t.cntl), QZ_ERR);
    EXPECT_EQ(t.err, 7);
    EXPECT_EQ(t.cntl, 0);
    QZDLLibonl(ud, 0, &t.sta, &t.err, &t.cntl);
}

TEST(qzib32, FileReadStoresOneMessage) {
    FakeInstrument instrument("127.0.0.52");
    Triple t;
    std::int16_t ud = open("127.0.0.52", t);
    ASSERT_GT(ud, 0);
    QZDLLibtmo(ud, 1, &t.sta, &t.err, &t.cntl);
    ASSERT_EQ(QZDLLibwrt(ud, "MMEM:DATA?", &t.sta, &t.err, &t.cntl), QZ_CMPL);
    std::string body(1500, 'b');
    Bytes reply = dataBlock(body.substr(0, 1000), 0, 1);
    Bytes last = dataBlock(body.substr(1000), kFlagEnd, 1);
    reply.insert(reply.end(), last.begin(), last.end());
    instrument.sendData(reply);
    TempFile file("read");
    EXPECT_EQ(QZDLLibrdf(ud, file.path.c_str(), &t.sta, &t.err, &t.cntl), QZ_CMPL);
    EXPECT_EQ(t.cntl, 1500);
    EXPECT_EQ(file.read(), body);

    // A message of exactly 1024 bytes: all of it is stored, then the wait for more runs out.
    ASSERT_EQ(QZDLLibwrt(ud, "MMEM:DATA?", &t.sta, &t.err, &t.cntl), QZ_CMPL);
    instrument.sendData(dataBlock(std::string(1024, 'k'), kFlagEnd, 2));
    EXPECT_EQ(QZDLLibrdf(ud, file.path.c_str(), &t.sta, &t.err, &t.cntl), kErrTimo);
    EXPECT_EQ(t.err, 5);
    EXPECT_EQ(t.cntl, 1024);
    EXPECT_EQ(file.read(), std::string(1024, 'k'));

    EXPECT_EQ(QZDLLibrdf(ud, "/nonexistent/dir/file", &t.sta, &t.err, &t.cntl), QZ_ERR);
    EXPECT_EQ(t.err, 7);
    QZDLLibonl(ud, 0, &t.sta, &t.err, &t.cntl);
}

TEST(qzib32, ServiceRequestPollAndLocalCallsReportTheirOwnStatus) {
    FakeInstrument instrument("127.0.0.53");
    Triple t;
    std::int16_t ud = open("127.0.0.53", t);
    ASSERT_GT(ud, 0);
    std::int16_t result = 9;
    t.cntl = 5;
    EXPECT_EQ(QZDLLTestSrq(ud, &result, &t.sta, &t.err, &t.cntl), 0);  // not CMPL
    EXPECT_EQ(result, 0);
    EXPECT_EQ(t.err, 0);
    EXPECT_EQ(t.cntl, 0);
    instrument.setSrqPending(true);
    instrument.setStatusByte(0x40);
    EXPECT_EQ(QZDLLTestSrq(ud, &result, &t.sta, &t.err, &t.cntl), 0);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(QZDLLWaitSrq(ud, &result, &t.sta, &t.err, &t.cntl), 0);
    EXPECT_EQ(result, 1);
    char status = 0;
    EXPECT_EQ(QZDLLibrsp(ud, &status, &t.sta, &t.err, &t.cntl), QZ_CMPL);
    EXPECT_EQ(status, 0x40);
    EXPECT_EQ(t.cntl, 1);
    EXPECT_EQ(QZDLLibclr(ud, &t.sta, &t.err, &t.cntl), QZ_CMPL);
    EXPECT_EQ(QZDLLibloc(ud, &t.sta, &t.err, &t.cntl), 0);
    EXPECT_EQ(QZDLLibsre(ud, 0, &t.sta, &t.err, &t.cntl), 0);
    EXPECT_EQ(QZDLLibeot(ud, 0, &t.sta, &t.err, &t.cntl), 0);
    EXPECT_EQ(QZDLLibwrt(ud, "NOEND", &t.sta, &t.err, &t.cntl), QZ_CMPL);
    EXPECT_EQ(QZDLLibeot(ud, 1, &t.sta, &t.err, &t.cntl), 0);
    EXPECT_EQ(QZDLLibwrt(ud, "END", &t.sta, &t.err, &t.cntl), QZ_CMPL);

    ASSERT_TRUE(instrument.waitForDataMessages(2));
    auto m = instrument.dataMessages();
    EXPECT_EQ(m[0].header.flags, kFlagRemote);
    EXPECT_EQ(m[1].header.flags, kFlagEnd | kFlagRemote);
    auto c = instrument.controlMessages();
    ASSERT_GE(c.size(), 7u);
    EXPECT_EQ(c[3].code, 0x18);       // serial poll
    EXPECT_EQ(c[4].code, 0x04);       // device clear
    EXPECT_EQ(c[5].code, 0x01);       // go to local
    EXPECT_EQ(c[6].flags, kFlagEnd);  // remote enable off

    char data[4] = {1, 2, 3, 4};
    QZDLLSwapBytes(data, 2, 2);
    EXPECT_EQ(std::string(data, 4), std::string("\x01\x02\x03\x04", 4));
    QZDLLibonl(ud, 0, &t.sta, &t.err, &t.cntl);
}

TEST(qzib32, ATimeoutLeavesTheDeviceUsableAndNegativeSecondsAreIgnored) {
    FakeInstrument instrument("127.0.0.54");
    Triple t;
    std::int16_t ud = open("127.0.0.54", t);
    ASSERT_GT(ud, 0);
    EXPECT_EQ(QZDLLibtmo(ud, 1, &t.sta, &t.err, &t.cntl), 0);
    EXPECT_EQ(QZDLLibtmo(ud, -5, &t.sta, &t.err, &t.cntl), 0);  // still 1 s
    ASSERT_EQ(QZDLLibwrt(ud, "SILENT?", &t.sta, &t.err, &t.cntl), QZ_CMPL);
    char buffer[100];
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(QZDLLibrd(ud, buffer, &t.sta, &t.err, &t.cntl), kErrTimo);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(t.err, 5);
    EXPECT_EQ(t.cntl, 0);
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::seconds(4));

    // Part of a reply, then the instrument stalls: what came is counted.
    ASSERT_EQ(QZDLLibwrt(ud, "PART?", &t.sta, &t.err, &t.cntl), QZ_CMPL);
    Bytes part = encodeHeader(10, kFlagEnd, 0, 2);
    part.insert(part.end(), {'1', '2', '3', '4'});
    instrument.sendData(part);
    EXPECT_EQ(QZDLLibrd(ud, buffer, &t.sta, &t.err, &t.cntl), kErrTimo);
    EXPECT_EQ(t.cntl, 4);

    instrument.sendData(Bytes{'5', '6', '7', '8', '9', '0'});               // the late rest of the old reply
    ASSERT_EQ(QZDLLibwrt(ud, "AGAIN?", &t.sta, &t.err, &t.cntl), QZ_CMPL);  // drops it
    instrument.sendData(dataBlock("answer", kFlagEnd, 3));
    EXPECT_EQ(QZDLLibrd(ud, buffer, &t.sta, &t.err, &t.cntl), QZ_CMPL);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(t.cntl)), "answer");
    QZDLLibonl(ud, 0, &t.sta, &t.err, &t.cntl);
}

TEST(qzib32, AConnectionClosedDuringAReadWithoutLimitIsAnError) {
    FakeInstrument instrument("127.0.0.55");
    Triple t;
    std::int16_t ud = open("127.0.0.55", t);
    ASSERT_GT(ud, 0);
    QZDLLibtmo(ud, 0, &t.sta, &t.err, &t.cntl);
    ASSERT_EQ(QZDLLibwrt(ud, "Q?", &t.sta, &t.err, &t.cntl), QZ_CMPL);
    Bytes part = encodeHeader(10, kFlagEnd, 0, 1);
    part.insert(part.end(), {'a', 'b'});
    instrument.sendData(part);
    instrument.closeSession();
    char buffer[100];
    EXPECT_EQ(QZDLLibrd(ud, buffer, &t.sta, &t.err, &t.cntl), QZ_ERR);
    EXPECT_EQ(t.err, -1);
    EXPECT_EQ(t.cntl, 2);
    // Closing a device whose instrument is gone still completes.
    EXPECT_EQ(QZDLLibonl(ud, 0, &t.sta, &t.err, &t.cntl), 0);
}
