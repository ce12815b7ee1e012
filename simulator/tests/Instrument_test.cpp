#include "Instrument.h"

#include <gtest/gtest.h>

#include <cstring>

#include "BlockFormat.h"
#include "StatusRegisters.h"

namespace marlin::sim {
namespace {

using namespace std::chrono_literals;

class InstrumentTest : public ::testing::Test {
protected:
    std::unique_ptr<Instrument> make(InstrumentOptions options = {}) {
        Instrument::Hooks hooks;
        hooks.now = [this] { return now; };
        hooks.waitUntil = [this](Instrument::Clock::time_point t) {
            ++waits;
            if (breakWaits) return false;
            now = std::max(now, t);
            return true;
        };
        hooks.date = [] { return std::string("2026-12-07"); };
        return std::make_unique<Instrument>(options, std::move(hooks));
    }

    static std::string ask(Instrument& i, std::string_view message) { return i.execute(message).bytes; }

    static std::vector<float> realValues(const std::string& reply) {
        std::string_view data;
        std::size_t consumed = 0;
        EXPECT_TRUE(BlockFormat::parse(reply, data, consumed)) << reply.substr(0, 12);
        EXPECT_EQ(reply.substr(consumed), "\n");
        std::vector<float> values(data.size() / 4);
        std::memcpy(values.data(), data.data(), values.size() * 4);
        return values;
    }

    Instrument::Clock::time_point now{std::chrono::hours(1)};
    int waits = 0;
    bool breakWaits = false;
};

TEST_F(InstrumentTest, IdentityStartsWithTheMakerWordAndCanBeReplaced) {
    auto inst = make();
    EXPECT_EQ(ask(*inst, "*IDN?").rfind("QUAZAR,", 0), 0u);
    EXPECT_EQ(ask(*inst, "*idn?").back(), '\n');
    InstrumentOptions o;
    o.identity = "Other,Box,1,2";
    EXPECT_EQ(ask(*make(o), "*IDN?"), "Other,Box,1,2\n");
}

TEST_F(InstrumentTest, ErrorQueueReportsUndefinedHeadersInOrderAndClears) {
    auto inst = make();
    const auto r = inst->execute("FOO:BAR 1;*IDN");  // *IDN without '?' has no set form
    EXPECT_TRUE(r.bytes.empty());
    EXPECT_FALSE(r.query);
    EXPECT_EQ(ask(*inst, "SYST:ERR?"), "-113,\"Undefined header\"\n");
    EXPECT_EQ(ask(*inst, "SYSTem:ERRor:NEXT?"), "-113,\"Undefined header\"\n");
    EXPECT_EQ(ask(*inst, "SYST:ERR?"), "0,\"No error\"\n");
    ask(*inst, "XYZ;FREQ:CENT;SWE:TIME 1,2");
    EXPECT_EQ(ask(*inst, "SYST:ERR:ALL?"),
              "-113,\"Undefined header\",-109,\"Missing parameter\",-108,\"Parameter not allowed\"\n");
    ask(*inst, "XYZ");
    ask(*inst, "SYST:Err:CLE:All");
    EXPECT_EQ(ask(*inst, "SYST:ERR?"), "0,\"No error\"\n");
}

TEST_F(InstrumentTest, AFullErrorQueueKeepsItsOldestEntriesAndEndsWithOverflow) {
    auto inst = make();
    for (int i = 0; i < 40; ++i) ask(*inst, "NOPE");
    EXPECT_EQ(inst->errors().size(), ErrorQueue::kCapacity);
    std::string last;
    for (std::size_t i = 0; i < ErrorQueue::kCapacity; ++i) last = ask(*inst, "SYST:ERR?");
    EXPECT_EQ(last, "-350,\"Queue overflow\"\n");
}

TEST_F(InstrumentTest, SeveralQueriesInOneMessageShareOneReplyLine) {
    auto inst = make();
    EXPECT_EQ(ask(*inst, "SWE:TIME 2ms;SWE:TIME?;:SWE:POIN?;*OPC?"), "0.002;501;1\n");
}

TEST_F(InstrumentTest, HeadersWithoutColonContinueThePreviousPath) {
    auto inst = make();
    ask(*inst, "FREQ:CENT 2 GHz;SPAN 10MHz");
    EXPECT_EQ(ask(*inst, "FREQ:STAR?;STOP?"), "1995000000;2005000000\n");
    EXPECT_EQ(ask(*inst, "SENSe:FREQuency:CENTer?;:FREQ:SPAN?"), "2000000000;10000000\n");
    EXPECT_TRUE(inst->errors().empty());
}

TEST_F(InstrumentTest, FrequencyAxisStaysConsistent) {
    auto inst = make();
    ask(*inst, "FREQ:STAR 100 MHz;:FREQ:STOP 300MHz");
    EXPECT_EQ(ask(*inst, "FREQ:CENT?;SPAN?"), "200000000;200000000\n");
    ask(*inst, "FREQ:STAR 500MHz");  // past the stop: the stop follows
    EXPECT_EQ(ask(*inst, "FREQ:STAR?;STOP?"), "500000000;500000000\n");
    ask(*inst, "FREQ:CENT 10MHz;SPAN 100MHz");  // would reach below 0 Hz: the span shrinks
    EXPECT_EQ(ask(*inst, "FREQ:STAR?;STOP?"), "0;20000000\n");
    ask(*inst, "FREQ:CENT 99GHz");
    EXPECT_EQ(ask(*inst, "SYST:ERR?"), "-222,\"Data out of range\"\n");
    ask(*inst, "FREQ:CENT 1 s");
    EXPECT_EQ(ask(*inst, "SYST:ERR?"), "-131,\"Invalid suffix\"\n");
}

TEST_F(InstrumentTest, RealTraceIsADefiniteLengthBlockOfLittleEndianFloats) {
    auto inst = make();
    ask(*inst, "FORM REAL,32");
    const auto r = inst->execute("TRAC? TRACE1");
    ASSERT_EQ(r.bytes.substr(0, 6), "#42004");
    ASSERT_EQ(r.bytes.size(), 6u + 2004u + 1u);
    ASSERT_EQ(r.blocks.size(), 1u);
    EXPECT_EQ(r.blocks[0], std::make_pair(std::size_t{6}, std::size_t{2004}));
    const std::vector<float> values = realValues(r.bytes);
    ASSERT_EQ(values.size(), 501u);
    EXPECT_EQ(values, inst->traceValues(1));
    for (float v : values) {
        EXPECT_GT(v, -130.0f);
        EXPECT_LT(v, 0.0f);
    }
}

TEST_F(InstrumentTest, AsciiTraceIsCommaSeparatedAndReadsBackExactly) {
    auto inst = make();
    ask(*inst, "FORM ASC");
    const std::string reply = ask(*inst, "TRAC:DATA? TRACE1");
    ASSERT_EQ(reply.back(), '\n');
    std::vector<float> values;
    std::size_t start = 0;
    while (start < reply.size()) {
        std::size_t end = reply.find_first_of(",\n", start);
        values.push_back(std::stof(reply.substr(start, end - start)));
        start = end + 1;
    }
    EXPECT_EQ(values, inst->traceValues(1));
    EXPECT_EQ(ask(*inst, "FORM?"), "ASC,0\n");
}

TEST_F(InstrumentTest, InactiveTraceAnswersNothing) {
    InstrumentOptions o;
    o.activeTraces = {true, false, true, false};
    auto inst = make(o);
    const auto r = inst->execute("TRAC? TRACE2");
    EXPECT_TRUE(r.query);
    EXPECT_TRUE(r.bytes.empty());
    EXPECT_TRUE(inst->errors().empty());
    EXPECT_EQ(ask(*inst, "DISP:TRAC2?;TRAC4:STAT?;:DISP:WIND:TRAC3?"), "0;0;1\n");
    ask(*inst, "DISP:TRAC2 ON");
    EXPECT_FALSE(ask(*inst, "TRAC? TRACE2").empty());
    ask(*inst, "TRAC? TRACE5;TRAC? X");
    EXPECT_EQ(ask(*inst, "SYST:ERR?"), "-224,\"Illegal parameter value\"\n");
}

TEST_F(InstrumentTest, SingleSweepModeKeepsTheTraceUntilTheNextSweep) {
    InstrumentOptions o;
    o.sweepTimeS = 0.5;
    auto inst = make(o);
    ask(*inst, "INIT:CONT OFF;FORM REAL,32");
    const auto first = realValues(ask(*inst, "TRAC? TRACE1"));
    now += 10s;
    EXPECT_EQ(realValues(ask(*inst, "TRAC? TRACE1")), first);
    const auto before = now;
    ask(*inst, "INIT:IMM;*WAI");
    EXPECT_EQ(waits, 1);
    EXPECT_EQ(now - before, std::chrono::duration_cast<Instrument::Clock::duration>(500ms));
    EXPECT_NE(realValues(ask(*inst, "TRAC? TRACE1")), first);
}

TEST_F(InstrumentTest, ContinuousModeShowsANewSweepWhenTheSweepTimeHasPassed) {
    InstrumentOptions o;
    o.sweepTimeS = 1.0;
    auto inst = make(o);
    ask(*inst, "FORM REAL,32");
    const auto a = realValues(ask(*inst, "TRAC? TRACE1"));
    const auto b = realValues(ask(*inst, "TRAC? TRACE1"));
    now += 1s;
    const auto c = realValues(ask(*inst, "TRAC? TRACE1"));
    EXPECT_EQ(a, b);
    EXPECT_NE(b, c);
}

TEST_F(InstrumentTest, HoldTracesFollowTheirMode) {
    InstrumentOptions o;
    o.sweepTimeS = 0;
    auto inst = make(o);
    ask(*inst, "INIT:CONT OFF");
    for (int i = 0; i < 20; ++i) ask(*inst, "INIT:IMM;*WAI");
    const auto& write = inst->traceValues(1);
    const auto& maxHold = inst->traceValues(2);
    const auto& minHold = inst->traceValues(3);
    const auto& average = inst->traceValues(4);
    for (std::size_t i = 0; i < write.size(); ++i) {
        EXPECT_GE(maxHold[i], write[i]);
        EXPECT_LE(minHold[i], write[i]);
        EXPECT_GE(average[i], minHold[i]);
        EXPECT_LE(average[i], maxHold[i]);
    }
    EXPECT_EQ(ask(*inst, "DISP:TRAC2:MODE?"), "MAXH\n");
    ask(*inst, "DISP:TRAC2:MODE WRITE;:INIT:IMM;*WAI");
    EXPECT_EQ(inst->traceValues(2), inst->traceValues(1));
}

TEST_F(InstrumentTest, PointsChangeTheTraceLength) {
    auto inst = make();
    ask(*inst, "SWE:POIN 1001;:FORM REAL,32");
    EXPECT_EQ(ask(*inst, "TRAC? TRACE3").substr(0, 6), "#44004");
    ask(*inst, "SWE:POIN 0");
    EXPECT_EQ(ask(*inst, "SYST:ERR?;SWE:POIN?"), "-222,\"Data out of range\";1001\n");
}

TEST_F(InstrumentTest, OperationCompleteWaitsForTheSweepAndRaisesAServiceRequest) {
    InstrumentOptions o;
    o.sweepTimeS = 2.0;
    auto inst = make(o);
    ask(*inst, "*ESR?");  // clears power-on
    ask(*inst, "*CLS;*ESE 1;*SRE 32;INIT:CONT OFF;INIT:IMM;*OPC");
    EXPECT_FALSE(inst->serviceRequested());
    ASSERT_TRUE(inst->nextEvent());
    now = *inst->nextEvent();
    inst->update();
    EXPECT_TRUE(inst->serviceRequested());
    const std::uint8_t polled = inst->serialPoll();
    EXPECT_EQ(polled & StatusRegisters::kRequestService, StatusRegisters::kRequestService);
    EXPECT_EQ(polled & StatusRegisters::kEventSummary, StatusRegisters::kEventSummary);
    // The poll clears the request; the summary stays until the event register is read.
    EXPECT_FALSE(inst->serviceRequested());
    EXPECT_EQ(inst->serialPoll() & StatusRegisters::kRequestService, 0);
    EXPECT_EQ(ask(*inst, "*STB?"), "96\n");
    EXPECT_EQ(ask(*inst, "*ESR?"), "1\n");
    EXPECT_EQ(ask(*inst, "*STB?"), "0\n");
}

TEST_F(InstrumentTest, StatusByteShowsErrorsMessagesAndEvents) {
    auto inst = make();
    EXPECT_EQ(ask(*inst, "*ESR?"), "128\n");  // power on
    EXPECT_EQ(ask(*inst, "*ESR?"), "0\n");
    ask(*inst, "BOGUS");
    EXPECT_EQ(inst->statusByte(), StatusRegisters::kErrorAvailable);
    EXPECT_EQ(ask(*inst, "*ESR?"), "32\n");  // command error
    inst->setOutputPending(true);
    EXPECT_EQ(inst->statusByte(), StatusRegisters::kErrorAvailable | StatusRegisters::kMessageAvailable);
    ask(*inst, "*SRE 16");
    EXPECT_TRUE(inst->serviceRequested());
    inst->deviceClear();
    EXPECT_FALSE(inst->serviceRequested());
    EXPECT_EQ(inst->statusByte(), StatusRegisters::kErrorAvailable);
    ask(*inst, "*CLS");
    EXPECT_EQ(inst->statusByte(), 0);
    EXPECT_EQ(ask(*inst, "*SRE?;*ESE?"), "16;0\n");
}

TEST_F(InstrumentTest, ABrokenOffWaitStopsTheMessage) {
    InstrumentOptions o;
    o.sweepTimeS = 5.0;
    auto inst = make(o);
    breakWaits = true;
    const auto r = inst->execute("INIT:CONT OFF;INIT:IMM;*WAI;*IDN?");
    EXPECT_TRUE(r.aborted);
    EXPECT_TRUE(r.bytes.empty());
    // The sweep itself goes on.
    ASSERT_TRUE(inst->nextEvent());
    inst->execute("INIT:IMM");
    EXPECT_EQ(ask(*inst, "SYST:ERR?"), "-213,\"Init ignored\"\n");
}

TEST_F(InstrumentTest, StoredTraceExportComesBackAsABlock) {
    auto inst = make();
    ask(*inst, "SYST:Err:CLE:All;:FORMat ASCii");
    ask(*inst, "MMEM:STOR:TRAC  1,'C:\\TRACE.DAT'");
    EXPECT_TRUE(inst->errors().empty());
    const auto r = inst->execute("MMEM:DATA? 'c:\\trace.dat'");
    std::string_view data;
    std::size_t consumed = 0;
    ASSERT_TRUE(BlockFormat::parse(r.bytes, data, consumed));
    EXPECT_EQ(r.bytes.substr(consumed), "\n");
    EXPECT_NE(data.find("Values;501;\r\n"), std::string_view::npos);
    EXPECT_NE(data.find("Sweep Time;0.005;s\r\n"), std::string_view::npos);
    EXPECT_NE(data.find("Date;2026-12-07;\r\n"), std::string_view::npos);
    EXPECT_EQ(data.substr(0, 5), "Type;");

    EXPECT_TRUE(inst->execute("MMEM:DATA? 'C:\\NONE.DAT'").bytes.empty());
    EXPECT_EQ(ask(*inst, "SYST:ERR?"), "-256,\"File name not found\"\n");
    ask(*inst, "MMEM:STOR:TRAC 5,'X'");
    EXPECT_EQ(ask(*inst, "SYST:ERR?"), "-222,\"Data out of range\"\n");
    ask(*inst, "MMEM:DATA 'A.TXT',#15hello");
    EXPECT_EQ(ask(*inst, "MMEM:DATA? 'a.txt'"), "#15hello\n");
    ask(*inst, "MMEM:DEL 'a.txt';:MMEM:DATA? 'a.txt'");
    EXPECT_EQ(ask(*inst, "SYST:ERR?"), "-256,\"File name not found\"\n");
}

TEST_F(InstrumentTest, ResetRestoresTheStartingSettings) {
    InstrumentOptions o;
    o.points = 201;
    o.sweepTimeS = 0.25;
    o.activeTraces = {true, true, false, true};
    auto inst = make(o);
    ask(*inst, "SWE:POIN 11;TIME 3;:FREQ:CENT 3GHz;:INIT:CONT OFF;:FORM REAL;:DISP:TRAC3 ON;:DISP:TRAC1 OFF");
    ask(*inst, "*RST");
    EXPECT_EQ(ask(*inst, "SWE:POIN?;TIME?;:FREQ:CENT?;:INIT:CONT?;:FORM?;:DISP:TRAC1?;TRAC3?"),
              "201;0.25;1000000000;1;ASC,0;1;0\n");
}

TEST_F(InstrumentTest, SameSeedSameSweepsAcrossInstruments) {
    InstrumentOptions o;
    o.seed = 42;
    o.sweepTimeS = 0;
    auto a = make(o);
    auto b = make(o);
    ask(*a, "FORM REAL,32;:INIT:CONT OFF;:INIT:IMM;*WAI");
    ask(*b, "FORM REAL,32;:INIT:CONT OFF;:INIT:IMM;*WAI");
    EXPECT_EQ(ask(*a, "TRAC? TRACE1"), ask(*b, "TRAC? TRACE1"));
    o.seed = 43;
    auto c = make(o);
    ask(*c, "FORM REAL,32;:INIT:CONT OFF;:INIT:IMM;*WAI");
    EXPECT_NE(ask(*a, "TRAC? TRACE1"), ask(*c, "TRAC? TRACE1"));
}

}  // namespace
}  // namespace marlin::sim
