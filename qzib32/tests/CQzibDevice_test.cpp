#include "device/CQzibDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>

#include "FakeInstrument.h"
#include "channels/ErrorNumberFailure.h"
#include "device/DeviceTable.h"

using namespace qzibtest;
using qzib::CClientInetCommunicationChannelFactory;
using qzib::CQzibDevice;
using qzib::DeviceTable;

namespace {

constexpr std::uint8_t kListen = 0x20;

// A device opened on a fake instrument of its own address.
struct DeviceRig {
    explicit DeviceRig(const char* address, FakeInstrument::Options options = {})
        : instrument(address, options), device(new CQzibDevice(table, factory, address)) {
        EXPECT_TRUE(instrument.waitForSessions(1));
    }
    bool write(const std::string& text, bool more = false) {
        std::uint32_t sent = 0;
        bool ok = device->Write(text.data(), static_cast<std::uint32_t>(text.size()), sent, more);
        EXPECT_EQ(sent, text.size());
        return ok;
    }
    std::string read(std::uint32_t count, bool expectOk = true) {
        std::string buffer(count, '\0');
        std::uint32_t received = 0;
        EXPECT_EQ(device->Read(buffer.data(), count, received), expectOk);
        buffer.resize(received);
        return buffer;
    }
    std::vector<WireHeader> controls(std::size_t count) {
        EXPECT_TRUE(instrument.waitForControlMessages(count));
        return instrument.controlMessages();
    }
    std::vector<DataMessage> messages(std::size_t count) {
        EXPECT_TRUE(instrument.waitForDataMessages(count));
        return instrument.dataMessages();
    }

    FakeInstrument instrument;
    CClientInetCommunicationChannelFactory factory;
    DeviceTable table;  // owns the device; closes it before the instrument goes
    CQzibDevice* device;
};

}  // namespace

TEST(CQzibDevice, FirstWriteIsPrecededByOneListenAndHeadersCarryLengthFlagsAndSequence) {
    DeviceRig rig("127.0.0.31");
    EXPECT_TRUE(rig.write("*IDN?"));
    EXPECT_TRUE(rig.write("*RST"));
    std::uint32_t sent = 99;
    EXPECT_TRUE(rig.device->Write(nullptr, 0, sent, false));
    EXPECT_EQ(sent, 0u);

    auto messages = rig.messages(3);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].header.length, 5u);
    EXPECT_EQ(messages[0].header.flags, kFlagEnd | kFlagRemote);
    EXPECT_EQ(messages[0].header.code, 0);
    EXPECT_EQ(messages[0].header.sequence, 1);
    EXPECT_EQ(std::string(messages[0].payload.begin(), messages[0].payload.end()), "*IDN?");
    EXPECT_EQ(messages[1].header.sequence, 2);
    // A write of nothing is a bare header that still ends the message.
    EXPECT_EQ(messages[2].header.length, 0u);
    EXPECT_EQ(messages[2].header.flags, kFlagEnd | kFlagRemote);
    EXPECT_EQ(messages[2].header.sequence, 3);

    auto controls = rig.instrument.controlMessages();
    ASSERT_EQ(controls.size(), 1u);
    EXPECT_EQ(controls[0].flags, kFlagEnd | kFlagCommand | kFlagRemote);
    EXPECT_EQ(controls[0].code, kListen);
    EXPECT_EQ(controls[0].sequence, 0);
    EXPECT_EQ(controls[0].length, 0u);
}

TEST(CQzibDevice, EndMarkFollowsEotAndTheMoreFlag) {
    DeviceRig rig("127.0.0.32");
    EXPECT_TRUE(rig.write("block", true));  // further blocks follow
    rig.device->eotEnabled = false;
    EXPECT_TRUE(rig.write("last"));
    rig.device->eotEnabled = true;
    EXPECT_TRUE(rig.write("again"));
    auto messages = rig.messages(3);
    EXPECT_EQ(messages[0].header.flags, kFlagRemote);
    EXPECT_EQ(messages[1].header.flags, kFlagRemote);
    EXPECT_EQ(messages[2].header.flags, kFlagEnd | kFlagRemote);
}

TEST(CQzibDevice, SequenceCountsFromOneAndWrapsAfter255) {
    DeviceRig rig("127.0.0.33");
    for (int i = 0; i < 257; ++i) ASSERT_TRUE(rig.write("x"));
    auto messages = rig.messages(257);
    EXPECT_EQ(messages[0].header.sequence, 1);
    EXPECT_EQ(messages[254].header.sequence, 255);
    EXPECT_EQ(messages[255].header.sequence, 0);
    EXPECT_EQ(messages[256].header.sequence, 1);
}

TEST(CQzibDevice, ARemainderIsHandedOutByTheNextReadOrDroppedByTheNextWrite) {
    DeviceRig rig("127.0.0.34");
    ASSERT_TRUE(rig.write("Q1?"));
    rig.instrument.sendData(dataBlock("0123456789ABCDEFGHIJKLMNO", kFlagEnd, 1));
    EXPECT_EQ(rig.read(10), "0123456789");
    EXPECT_EQ(rig.device->PendingBytes(), 15u);
    // No header is read for the rest, so bytes after the block stay where they are.
    EXPECT_EQ(rig.read(100), "ABCDEFGHIJKLMNO");
    EXPECT_EQ(rig.device->PendingBytes(), 0u);

    // A write in between drops the rest, and the next reply is read from its header.
    ASSERT_TRUE(rig.write("Q2?"));
    rig.instrument.sendData(dataBlock("0123456789ABCDEFGHIJKLMNO", kFlagEnd, 2));
    EXPECT_EQ(rig.read(10), "0123456789");
    ASSERT_TRUE(rig.write("Q3?"));
    rig.instrument.sendData(dataBlock("third", kFlagEnd, 3));
    EXPECT_EQ(rig.read(100), "third");

    // A read of nothing waits for the header and keeps the whole block pending.
    ASSERT_TRUE(rig.write("Q4?"));
    rig.instrument.sendData(dataBlock("fourth", kFlagEnd, 4));
    EXPECT_EQ(rig.read(0), "");
    EXPECT_EQ(rig.device->PendingBytes(), 6u);
    EXPECT_EQ(rig.read(6), "fourth");
}

TEST(CQzibDevice, AMessageInSeveralBlocksIsReadUpToTheEndMark) {
    DeviceRig rig("127.0.0.35");
    ASSERT_TRUE(rig.write("TRAC?"));
    Bytes reply = dataBlock("first,", 0, 1);
    Bytes second = dataBlock("second,", 0, 1);
    Bytes last = dataBlock("last", kFlagEnd, 1);
    Bytes after = dataBlock("next", kFlagEnd, 1);
    reply.insert(reply.end(), second.begin(), second.end());
    reply.insert(reply.end(), last.begin(), last.end());
    reply.insert(reply.end(), after.begin(), after.end());
    rig.instrument.sendData(reply);
    EXPECT_EQ(rig.read(1000), "first,second,last");
    // The count may end a read in the middle of a later block.
    EXPECT_EQ(rig.read(2), "ne");
    EXPECT_EQ(rig.read(1000), "xt");
}

TEST(CQzibDevice, RepliesToEarlierMessagesAreSkippedAndMarkedConsumedOnce) {
    DeviceRig rig("127.0.0.36");
    ASSERT_TRUE(rig.write("A?"));
    ASSERT_TRUE(rig.write("B?"));
    Bytes replies = dataBlock("stale answer to A", kFlagEnd, 1);
    Bytes fresh = dataBlock("B", kFlagEnd, 2);
    replies.insert(replies.end(), fresh.begin(), fresh.end());
    rig.instrument.sendData(replies);
    // Only one byte is asked for: the block of message 2 ends exactly with it.
    EXPECT_EQ(rig.read(1), "B");
    ASSERT_TRUE(rig.device->GoToLocal());
    ASSERT_TRUE(rig.device->GoToLocal());
    ASSERT_TRUE(rig.write("C"));
    ASSERT_TRUE(rig.write("D"));

    auto controls = rig.controls(3);
    EXPECT_EQ(controls[1].flags & kFlagConsumed, kFlagConsumed);  // the first header after the read
    EXPECT_EQ(controls[2].flags & kFlagConsumed, 0);
    auto messages = rig.messages(4);
    EXPECT_EQ(messages[2].header.flags & kFlagConsumed, 0);
    EXPECT_EQ(messages[3].header.flags & kFlagConsumed, 0);
}

TEST(CQzibDevice, AReadThatEndsAtTheBlockEndMarksTheNextDataHeaderConsumed) {
    DeviceRig rig("127.0.0.37");
    ASSERT_TRUE(rig.write("Q?"));
    rig.instrument.sendData(dataBlock("12345", kFlagEnd, 1));
    EXPECT_EQ(rig.read(3), "123");
    ASSERT_TRUE(rig.write("R?"));  // drops "45": not consumed
    rig.instrument.sendData(dataBlock("abc", kFlagEnd, 2));
    EXPECT_EQ(rig.read(3), "abc");
    ASSERT_TRUE(rig.write("S?"));
    ASSERT_TRUE(rig.write("T?"));
    auto messages = rig.messages(4);
    EXPECT_EQ(messages[1].header.flags & kFlagConsumed, 0);
    EXPECT_EQ(messages[2].header.flags, kFlagEnd | kFlagRemote | kFlagConsumed);
    EXPECT_EQ(messages[3].header.flags & kFlagConsumed, 0);
}

TEST(CQzibDevice, AReadThatTimesOutInsideABlockKeepsTheStreamInStep) {
    DeviceRig rig("127.0.0.38");
    rig.device->timeoutMs = 150;
    ASSERT_TRUE(rig.write("Q?"));
    // A 20-byte block of which 8 bytes come before the instrument stalls.
    Bytes part = encodeHeader(20, kFlagEnd, 0, 1);
    part.insert(part.end(), {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'});
    rig.instrument.sendData(part);
    EXPECT_EQ(rig.read(100, false), "abcdefgh");
    EXPECT_EQ(rig.device->PendingBytes(), 12u);
    // The rest arrives late and is handed out by the next read.
    rig.instrument.sendData(Bytes{'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p', 'q', 'r', 's', 't'});
    EXPECT_EQ(rig.read(100), "ijklmnopqrst");

    // A stalled block whose rest comes later is dropped by the next write, not taken for a header.
    ASSERT_TRUE(rig.write("R?"));
    Bytes stalled = encodeHeader(10, kFlagEnd, 0, 2);
    stalled.insert(stalled.end(), {'1', '2', '3'});
    rig.instrument.sendData(stalled);
    EXPECT_EQ(rig.read(100, false), "123");
    rig.instrument.sendData(Bytes{'4', '5', '6', '7', '8', '9', '0'});
    ASSERT_TRUE(rig.write("S?"));
    rig.instrument.sendData(dataBlock("fine", kFlagEnd, 3));
    EXPECT_EQ(rig.read(100), "fine");

    // A header that comes in two pieces across a time-out is completed by the next read.
    ASSERT_TRUE(rig.write("T?"));
    Bytes header = dataBlock("whole", kFlagEnd, 4);
    rig.instrument.sendData(Bytes(header.begin(), header.begin() + 3));
    EXPECT_EQ(rig.read(100, false), "");
    rig.instrument.sendData(Bytes(header.begin() + 3, header.end()));
    EXPECT_EQ(rig.read(100), "whole");
}

TEST(CQzibDevice, AConnectionClosedMidReadFailsWithoutLimitAndIsShortWithOne) {
    DeviceRig rig("127.0.0.39");
    rig.device->timeoutMs = 0;
    ASSERT_TRUE(rig.write("Q?"));
    Bytes part = encodeHeader(20, kFlagEnd, 0, 1);
    part.insert(part.end(), {'a', 'b', 'c'});
    rig.instrument.sendData(part);
    rig.instrument.closeSession();
    char buffer[100];
    std::uint32_t received = 0;
    try {
        rig.device->Read(buffer, sizeof buffer, received);
        ADD_FAILURE() << "a closed connection must fail the read";
    } catch (const std::runtime_error& failure) {
        EXPECT_STREQ(failure.what(), "Connection closed");
    }
    EXPECT_EQ(received, 3u);
    // With a limit the read just comes up short.
    rig.device->timeoutMs = 1000;
    EXPECT_FALSE(rig.device->Read(buffer, sizeof buffer, received));
}

TEST(CQzibDevice, ControlOperationsSendTheirHeadersAndReadTheirReplies) {
    DeviceRig rig("127.0.0.40");
    EXPECT_EQ(rig.device->TestSrq(), 0);
    rig.instrument.setSrqPending(true);
    rig.instrument.setStatusByte(0x51);
    EXPECT_EQ(rig.device->TestSrq(), 1);
    std::int16_t result = 0;
    EXPECT_TRUE(rig.device->WaitSrq(result));
    EXPECT_EQ(result, 1);
    std::uint8_t status = 0;
    EXPECT_TRUE(rig.device->SerialPoll(status));
    EXPECT_EQ(status, 0x51);
    EXPECT_TRUE(rig.device->SetRemoteEnable(false));
    EXPECT_TRUE(rig.device->GoToLocal());
    EXPECT_TRUE(rig.device->DeviceClear());
    ASSERT_TRUE(rig.write("W"));  // forces remote on again (after its Listen)
    EXPECT_TRUE(rig.device->GoToLocal());

    auto c = rig.controls(9);
    ASSERT_EQ(c.size(), 9u);
    const std::uint8_t endRemote = kFlagEnd | kFlagRemote;
    EXPECT_EQ(c[0].flags, endRemote | kFlagQuery);  // TestSrq
    EXPECT_EQ(c[0].code, 0);
    EXPECT_EQ(c[2].flags, endRemote | kFlagSrq | kFlagQuery);      // WaitSrq
    EXPECT_EQ(c[3].flags, endRemote | kFlagCommand | kFlagQuery);  // SerialPoll
    EXPECT_EQ(c[3].code, 0x18);
    EXPECT_EQ(c[4].flags, kFlagEnd);                 // SetRemote(false)
    EXPECT_EQ(c[5].flags, kFlagEnd | kFlagCommand);  // GoToLocal, remote still off
    EXPECT_EQ(c[5].code, 0x01);
    EXPECT_EQ(c[6].flags, kFlagEnd | kFlagCommand);  // DeviceClear
    EXPECT_EQ(c[6].code, 0x04);
    EXPECT_EQ(c[7].code, kListen);  // first write
    EXPECT_EQ(c[7].flags, endRemote | kFlagCommand);
    EXPECT_EQ(c[8].flags, endRemote | kFlagCommand);  // GoToLocal after the write
    for (const WireHeader& h : c) {
        EXPECT_EQ(h.length, 0u);
        EXPECT_EQ(h.sequence, 0);
    }
}

TEST(CQzibDevice, ControlRepliesInPiecesLateOrMissingAreHandled) {
    DeviceRig rig("127.0.0.41");
    rig.device->timeoutMs = 200;
    rig.instrument.setControlResponder([](const WireHeader& request) -> std::vector<Bytes> {
        Bytes reply = encodeHeader(0, kFlagEnd | kFlagSrq, 0x33, 0);
        if (request.code == 0x18)
            return {Bytes(reply.begin(), reply.begin() + 2), Bytes(reply.begin() + 2, reply.end())};
        if (request.code == 0x01) return {};  // never answered
        return {reply};
    });
    std::uint8_t status = 0;
    EXPECT_TRUE(rig.device->SerialPoll(status));
    EXPECT_EQ(status, 0x33);
    EXPECT_FALSE(rig.device->GoToLocal());
    std::int16_t result = 7;
    rig.instrument.setControlResponder([](const WireHeader&) -> std::vector<Bytes> { return {}; });
    EXPECT_FALSE(rig.device->WaitSrq(result));
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(rig.device->SerialPoll(status));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(rig.device->TestSrq(), 0);
}

TEST(CQzibDevice, BytesWaitingBeforeARequestAreNotTakenForItsReply) {
    DeviceRig rig("127.0.0.42");
    // The first reply comes with a stray second one in the same segment.
    int polls = 0;
    rig.instrument.setControlResponder([&](const WireHeader&) -> std::vector<Bytes> {
        if (++polls > 1) return {encodeHeader(0, kFlagEnd, 0x02, 0)};
        Bytes both = encodeHeader(0, kFlagEnd, 0x01, 0);
        Bytes stray = encodeHeader(0, kFlagEnd, 0x09, 0);
        both.insert(both.end(), stray.begin(), stray.end());
        return {both};
    });
    std::uint8_t status = 0;
    EXPECT_TRUE(rig.device->SerialPoll(status));
    EXPECT_EQ(status, 0x01);
    EXPECT_TRUE(rig.device->SerialPoll(status));
    EXPECT_EQ(status, 0x02);
}

TEST(CQzibDevice, DestructionSendsAPendingConsumedMarkAndClosesBothConnections) {
    DeviceRig rig("127.0.0.43");
    ASSERT_TRUE(rig.write("Q?"));
    rig.instrument.sendData(dataBlock("done", kFlagEnd, 1));
    EXPECT_EQ(rig.read(100), "done");
    delete rig.device;
    EXPECT_EQ(rig.table.Count(), 0u);
    auto controls = rig.instrument.controlMessages();
    ASSERT_EQ(controls.size(), 2u);
    EXPECT_EQ(controls[1].code, kListen);
    EXPECT_EQ(controls[1].flags, kFlagEnd | kFlagCommand | kFlagRemote | kFlagConsumed);
    EXPECT_TRUE(rig.instrument.waitForClientClosed());

    // Nothing pending: no control message at all. An instrument that never answers the mark
    // and keeps its connections open still lets the device close, within the bounds.
    FakeInstrument silent("127.0.0.44");
    silent.setControlResponder([](const WireHeader&) -> std::vector<Bytes> { return {}; });
    auto* quiet = new CQzibDevice(rig.table, rig.factory, "127.0.0.44");
    ASSERT_TRUE(silent.waitForSessions(1));
    delete quiet;
    EXPECT_TRUE(silent.controlMessages().empty());
}

TEST(CQzibDevice, AFailedCreationLeavesNothingButUsesUpItsHandle) {
    FakeInstrument::Options wrong;
    wrong.versionReply = {0, 0, 0, 0x41};
    FakeInstrument instrument("127.0.0.45", wrong);
    CClientInetCommunicationChannelFactory factory;
    DeviceTable table;
    try {
        new CQzibDevice(table, factory, "127.0.0.45");
        ADD_FAILURE() << "the version reply is wrong";
    } catch (const qzib::ErrorNumberFailure& failure) {
        EXPECT_EQ(failure.number(), 0);
    }
    EXPECT_EQ(table.Count(), 0u);
    EXPECT_EQ(table.TakeNextUd(), 2);
    EXPECT_THROW(new CQzibDevice(table, factory, nullptr), qzib::ErrorNumberFailure);
}
