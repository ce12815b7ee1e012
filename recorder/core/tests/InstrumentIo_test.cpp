#include "marlin/core/InstrumentIo.h"

#include <gtest/gtest.h>

#include "marlin/testing/FakeBus.h"


namespace marlin {
namespace {

class InstrumentIoTest : public ::testing::Test {
protected:
    void SetUp() override { state.ud = bus.nextUd; }
    testing::FakeBus bus;
    BusState state;
    InstrumentIo io{bus, state};
};

TEST_F(InstrumentIoTest, ReplyBufferKeepsItsLengthAndBlanks) {
    io.write("SWE:TIME?");
    std::size_t got = 0;
    const auto reply = io.ReadReply(10, &got);
    EXPECT_EQ(reply, "0.005\n    ");
    EXPECT_EQ(got, 6u);
}

TEST_F(InstrumentIoTest, IdentityReadNeverAsksForMoreThanItsBuffer) {
    bus.identity = "QUAZAR," + std::string(5000, 'x');
    io.write("*IDN?");
    const auto reply = io.readIdentity();
    EXPECT_EQ(reply.size(), 1000u);
    EXPECT_EQ(bus.readCounts.back(), 1000u);
}

TEST_F(InstrumentIoTest, TraceBlockOf501Values) {
    bus.trace.assign(501, 1.0f);
    io.write("TRAC? TRACE1");
    const auto block = io.readBlock();
    ASSERT_TRUE(block.ok());
    EXPECT_EQ(block.header, "#42004");
    EXPECT_EQ(block.expected, 2004u);
    EXPECT_EQ(block.data.size(), 2004u);
}

TEST_F(InstrumentIoTest, ExportBlockKeepsItsTerminator) {
    io.write("MMEM:DATA? 'C:\\TRACE.DAT'");
    const auto block = io.readBlock(1);
    ASSERT_TRUE(block.ok());
    EXPECT_EQ(block.data, bus.exportText + "\n");
}

TEST_F(InstrumentIoTest, EmptyReplyIsRecognised) {
    bus.setAllTracesActive(false);
    io.write("TRAC? TRACE2");
    EXPECT_EQ(io.readBlock().result, BlockRead::Result::Empty);
}

TEST_F(InstrumentIoTest, LostConnectionIsNotAnEmptyReply) {
    bus.connectionLost = true;
    io.write("TRAC? TRACE1");
    const auto block = io.readBlock();
    EXPECT_EQ(block.result, BlockRead::Result::BusError);
    EXPECT_NE(block.describe().find("connection"), std::string::npos);
}

TEST_F(InstrumentIoTest, MalformedHeadersFailWithoutAllocating) {
    struct Case {
        std::string header;
        BlockRead::Result result;
    };
    const Case cases[] = {
        {"#0", BlockRead::Result::BadHeader},         {"#x1234", BlockRead::Result::BadHeader},
        {"@41234", BlockRead::Result::BadHeader},     {"#4ab12", BlockRead::Result::BadHeader},
        {"#4 200", BlockRead::Result::BadHeader},     {"#9999999999", BlockRead::Result::TooLarge},
        {"#9268435457", BlockRead::Result::TooLarge}, {"#10", BlockRead::Result::NoData},
    };
    for (const auto& c : cases) {
        bus.traceHeaderOverride = c.header;
        bus.readCounts.clear();
        io.write("TRAC? TRACE1");
        const auto block = io.readBlock();
        EXPECT_EQ(block.result, c.result) << c.header;
        for (auto count : bus.readCounts) EXPECT_LE(count, 9u) << c.header;  // never the announced length
        EXPECT_FALSE(block.describe().empty());
    }
}

TEST_F(InstrumentIoTest, ShortBlockReportsWhatArrived) {
    bus.trace.assign(501, 1.0f);
    bus.traceDataCut = 1004;
    io.write("TRAC? TRACE1");
    const auto block = io.readBlock();
    EXPECT_EQ(block.result, BlockRead::Result::Short);
    EXPECT_EQ(block.received, 1000u);
    EXPECT_EQ(block.describe(), "1000 of the 2004 data bytes announced");
}

}  // namespace
}  // namespace marlin
