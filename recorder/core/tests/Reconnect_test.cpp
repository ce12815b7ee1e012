// A recording that reconnects: drops, the waits between attempts, resumes into the same file and
// the endings, on the fake bus with time that passes only when the session waits.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "FakeWindow.h"
#include "marlin/core/RecordingSession.h"
#include "marlin/testing/ExampleTime.h"
#include "marlin/testing/FakeBus.h"
#include "marlin/testing/FakeHostProbe.h"
#include "marlin/testing/TempDir.h"

namespace marlin {
namespace {

using testing::FakeBus;
using testing::FakeHostProbe;
using testing::FakeStopwatch;
using testing::FakeWindow;
using testing::readFile;
using Outcome = RecordingSession::Outcome;

// Notes when (on the stopwatch) each attempt to open the instrument came.
class TimedBus : public FakeBus {
public:
    explicit TimedBus(const FakeStopwatch& watch) : watch_(watch) {}
    std::int16_t ibfind(const char* address, BusState& s) override {
        openedAt.push_back(watch_.elapsed);
        return FakeBus::ibfind(address, s);
    }
    std::vector<double> openedAt;

private:
    const FakeStopwatch& watch_;
};

class ReconnectTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.settings.fileName = dir.file("trace.sft");
        window.settings.address = "analyzer";
        window.settings.reconnect = true;
        session.setClock(&testing::exampleTime);
    }

    // The connection breaks when reading `reading` starts; from then on `whileDown` runs at every
    // event, with the session's status, until it returns true (the test is done with it).
    void dropAt(int reading, std::function<bool()> whileDown) {
        window.onEvents = [=, this, dropped = false, done = false](std::chrono::milliseconds) mutable {
            if (!dropped && window.status == "recording ..." && session.readingCount() == reading - 1) {
                dropped = true;
                bus.connectionLost = true;
                dropLog = bus.log.size();
            } else if (dropped && !done) {
                done = whileDown();
            }
            // A session that would reconnect for ever is stopped, which the tests see.
            if ((session.readingCount() >= stopAt && session.readyFlag()) || session.connectionDrops() > 50) {
                if (!session.stopFlag()) session.StopRec_Click();
            }
        };
    }
    void resetBus() {
        static_cast<FakeBus&>(bus) = FakeBus{};
        bus.openedAt.clear();
    }
    std::vector<std::string> logSinceDrop() const {
        return {bus.log.begin() + static_cast<std::ptrdiff_t>(dropLog), bus.log.end()};
    }
    std::string data() const {
        std::string bytes(bus.trace.size() * 4, '\0');
        std::memcpy(bytes.data(), bus.trace.data(), bytes.size());
        return bytes;
    }

    testing::TempDir dir;
    FakeStopwatch stopwatch;
    FakeWindow window{stopwatch};
    TimedBus bus{stopwatch};
    FakeHostProbe probe;
    RecordingSession session{window, bus, probe, stopwatch};
    int stopAt = 1000;
    std::size_t dropLog = 0;
};

TEST_F(ReconnectTest, ResumesIntoTheSameFileAndNumbersOn) {
    stopAt = 4;
    std::vector<std::string> statuses;
    dropAt(3, [&] {
        statuses.push_back(window.status);
        if (stopwatch.elapsed < 2500) return false;  // the first attempt fails, the second succeeds
        bus.connectionLost = false;
        return true;
    });
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), Outcome::Stopped);
    EXPECT_TRUE(window.warnings.empty());
    EXPECT_EQ(session.connectionDrops(), 1);
    EXPECT_EQ(session.connectionResumes(), 1);
    // Closed before each open; the start-up commands again; no second head; the reading at once.
    EXPECT_EQ(logSinceDrop(),
              (std::vector<std::string>{"SWE:TIME?", "ibtmo 1", "INIT:IMM;*WAI", "FORM REAL,32", "TRAC? TRACE1",
                                        "ibonl 0", "ibfind analyzer", "*IDN?", "ibonl 0", "ibfind analyzer", "*IDN?",
                                        "SYST:DISP:UPD ON", "INIT:CONT OFF", "SWE:TIME?", "ibtmo 1", "INIT:IMM;*WAI",
                                        "FORM REAL,32", "TRAC? TRACE1", "SWE:TIME?", "ibtmo 1", "INIT:IMM;*WAI",
                                        "FORM REAL,32", "TRAC? TRACE1", "INIT:CONT ON", "ibloc"}));
    // 1 s after the last reading's wait began (interval 1 s), then attempts after 1 s and 2 s.
    EXPECT_EQ(statuses.front(), "reconnecting ... attempt 1, 1 s since the last reading");
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "reconnecting ... attempt 2, 3 s since the last reading"),
              statuses.end());
    std::string file =
        "ENDSTOP;0x4       \nCAPDELAYTIME;1.000000\n"
        "Type;FSX;\n\nVersion;1.40;\n\nCenter Freq;1000000000;Hz\n\nValues;4;\n";
    for (int k = 1; k <= 4; ++k) file += "Section" + std::to_string(k) + ";2010.3.2_9.5.7:40\n" + data() + "\n";
    EXPECT_EQ(readFile(window.settings.fileName), file);
    const auto colours = std::count(window.log.begin(), window.log.end(), "green");
    EXPECT_EQ(colours, 2);  // at START and at the resume
}

TEST_F(ReconnectTest, WaitsDoubleUpToAMinuteAndGiveUpWhenTheTimeRunsOut) {
    window.settings.giveUpAfter = 200;
    dropAt(2, [] { return true; });  // the instrument never comes back
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), Outcome::ReadingFailed);
    // The clock was reset at the drop, 1 s (the interval) after the last reading.
    ASSERT_EQ(bus.openedAt.size(), 10u);  // the START's open and nine attempts
    std::vector<double> waits;
    for (std::size_t i = 2; i < bus.openedAt.size(); ++i) waits.push_back(bus.openedAt[i] - bus.openedAt[i - 1]);
    const std::vector<double> expected = {2000, 4000, 8000, 16000, 32000, 60000, 60000, 16000};
    ASSERT_EQ(waits.size(), expected.size());
    for (std::size_t i = 0; i < waits.size(); ++i) EXPECT_NEAR(waits[i], expected[i], 1) << i;
    EXPECT_NEAR(bus.openedAt[1], 1000, 1);
    ASSERT_EQ(window.warnings.size(), 1u);
    EXPECT_NE(window.warnings[0].find("did not answer again within 200 s without a reading (9 attempts to open "
                                      "it).\r\nThe recording has stopped. The reading written before is intact"),
              std::string::npos)
        << window.warnings[0];
    EXPECT_EQ(window.status, "no connection");
    EXPECT_TRUE(window.startEnabled);
    EXPECT_EQ(window.colour, ConnectionColour::Red);
    EXPECT_EQ(std::count(bus.log.begin(), bus.log.end(), "INIT:CONT ON"), 0);  // nothing to give back
    EXPECT_EQ(readFile(window.settings.fileName).substr(0, 18), "ENDSTOP;0x1       ");
}

TEST_F(ReconnectTest, ConnectionThatComesBackOnlyToFailGivesUpInTime) {
    window.settings.giveUpAfter = 10;
    window.settings.interval = "0";
    dropAt(2, [this] {
        bus.connectionLost = false;
        bus.traceDataCut = 4;  // each reading breaks off mid-block
        return true;
    });
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), Outcome::ReadingFailed);
    EXPECT_GE(session.connectionResumes(), 4);
    EXPECT_EQ(session.connectionDrops(), session.connectionResumes() + 1);
    // The time without a reading counts across the resumes.
    EXPECT_GE(window.waited, 9000);
    EXPECT_LE(window.waited, 10001);
    EXPECT_EQ(session.readingCount(), 1);
}

TEST_F(ReconnectTest, StopDuringTheWaitActsAtOnce) {
    double stoppedAt = -1;
    dropAt(2, [&] {
        // During the wait before the second attempt (STOP lets events run too).
        if (stopwatch.elapsed < 1500 || session.stopFlag()) return false;
        stoppedAt = stopwatch.elapsed;
        session.StopRec_Click();
        return true;
    });
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), Outcome::Stopped);
    EXPECT_LT(stopwatch.elapsed - stoppedAt, 1);  // not one more step of the wait
    EXPECT_EQ(bus.openedAt.size(), 2u);
    EXPECT_EQ(bus.log.back(), "ibonl 0");  // nothing is sent to a closed device
    EXPECT_EQ(window.status, "");
    EXPECT_EQ(window.colour, ConnectionColour::Red);
    EXPECT_TRUE(window.startEnabled);
    EXPECT_TRUE(window.warnings.empty());
    EXPECT_TRUE(session.readyFlag());
}

TEST_F(ReconnectTest, InstrumentThatComesBackChangedEndsTheRecording) {
    struct Case {
        const char* name;
        std::function<void(FakeBus&)> change;
        Outcome outcome;
        const char* message;
        std::vector<std::string> tail;  // the last bus calls
    };
    const Case cases[] = {
        {"identity", [](FakeBus& b) { b.identity = "QUAZAR,FSX-7,100999/001,1.40"; }, Outcome::NotIdentified,
         "answered \"QUAZAR,FSX-7,100999/001,1.40\" instead of \"QUAZAR,FSX-7,100123/042,1.40\"",
         {"ibfind analyzer", "*IDN?", "ibonl 0"}},
        {"trace length", [](FakeBus& b) { b.trace.resize(8); }, Outcome::ReadingFailed,
         "trace 1 has 8 values instead of the 4 of this recording", {"TRAC? TRACE1", "INIT:CONT ON", "ibloc"}},
        {"inactive trace", [](FakeBus& b) { b.setAllTracesActive(false); }, Outcome::InactiveTrace,
         "Please activate Trace 1 before start recording.", {"*OPC?", "INIT:CONT ON", "ibloc"}},
    };
    for (const Case& c : cases) {
        resetBus();
        window.warnings.clear();
        std::filesystem::remove(window.settings.fileName);
        dropAt(2, [&] {
            bus.connectionLost = false;
            c.change(bus);
            return true;
        });
        session.StartRec_Click();
        EXPECT_EQ(session.outcome(), c.outcome) << c.name;
        ASSERT_EQ(window.warnings.size(), 1u) << c.name;
        EXPECT_NE(window.warnings[0].find(c.message), std::string::npos) << window.warnings[0];
        EXPECT_EQ(std::vector<std::string>(bus.log.end() - 3, bus.log.end()), c.tail) << c.name;
        EXPECT_EQ(session.readingCount(), 1) << c.name;
        EXPECT_EQ(readFile(window.settings.fileName).substr(0, 18), "ENDSTOP;0x1       ") << c.name;
        EXPECT_TRUE(window.startEnabled) << c.name;
    }
}

TEST_F(ReconnectTest, InactiveTraceNeverReconnects) {
    bus.setAllTracesActive(false);
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), Outcome::InactiveTrace);
    EXPECT_EQ(bus.openedAt.size(), 1u);
    EXPECT_EQ(session.connectionDrops(), 0);
}

}  // namespace
}  // namespace marlin
