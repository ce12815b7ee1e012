#include "marlin/core/RecordingSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "marlin/testing/FakeBus.h"
#include "marlin/testing/FakeHostProbe.h"
#include "marlin/testing/RecorderCommands.h"
#include "FakeWindow.h"
#include "marlin/testing/ExampleTime.h"
#include "marlin/testing/TempDir.h"
#include "marlin/core/TraceFile.h"
#include "SessionFixture.h"

namespace marlin {
namespace {

using testing::FakeBus;
using testing::FakeHostProbe;
using testing::FakeStopwatch;
using testing::FakeWindow;
using testing::readFile;
using testing::exampleTime;
using testing::TempDir;
using testing::writeFile;

class RecordingSessionTest : public testing::SessionFixture {
protected:

    std::string data() const {
        std::string bytes(bus.trace.size() * 4, '\0');
        std::memcpy(bytes.data(), bus.trace.data(), bytes.size());
        return bytes;
    }

    std::vector<std::string> commandsFrom(std::size_t first) const {
        return {bus.log.begin() + static_cast<std::ptrdiff_t>(first), bus.log.end()};
    }
};

const std::vector<std::string> kReading = {"SWE:TIME?", "ibtmo 1", "INIT:IMM;*WAI", "FORM REAL,32",
                                           "TRAC? TRACE1"};

TEST_F(RecordingSessionTest, BinaryRecordingCommandsAndFile) {
    stopAfter(3);
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), RecordingSession::Outcome::Stopped);
    EXPECT_EQ(session.readingCount(), 3);

    std::vector<std::string> expected = {"ibfind analyzer"};
    for (const auto& command : testing::startCommands()) expected.push_back(command);
    for (int i = 0; i < 3; ++i) expected.insert(expected.end(), kReading.begin(), kReading.end());
    expected.push_back("INIT:CONT ON");
    expected.push_back("ibloc");
    EXPECT_EQ(bus.log, expected);
    EXPECT_EQ(probe.resolved, std::vector<std::string>{"analyzer"});
    EXPECT_EQ(probe.checked, std::vector<std::string>{"127.0.0.1"});

    std::string file =
        "ENDSTOP;0x3       \nCAPDELAYTIME;1.000000\n"
        "Type;FSX;\n\nVersion;1.40;\n\nCenter Freq;1000000000;Hz\n\nValues;4;\n";
    for (int k = 1; k <= 3; ++k)
        file += "Section" + std::to_string(k) + ";2010.3.2_9.5.7:40\n" + data() + "\n";
    EXPECT_EQ(readFile(window.settings.fileName), file);

    EXPECT_EQ(window.colour, ConnectionColour::Red);
    EXPECT_EQ(window.status, "");
    EXPECT_TRUE(window.startEnabled);
    EXPECT_FALSE(window.busy);
    EXPECT_TRUE(window.warnings.empty());
}

TEST_F(RecordingSessionTest, AsciiRecordingWithASeparatorOfSeveralCharacters) {
    window.settings.format = FileForm::Ascii;
    window.settings.separator = "||";
    window.settings.traceIndex = 2;
    stopAfter(2);
    session.StartRec_Click();
    EXPECT_EQ(bus.log[6], "MMEM:STOR:TRAC  3,'C:\\TRACE.DAT'");
    EXPECT_NE(std::find(bus.log.begin(), bus.log.end(), "TRAC? TRACE3"), bus.log.end());
    std::string file =
        "ENDSTOP;0x00000097\nCAPDELAYTIME;1.000000\n"
        "Type;FSX;\n\nVersion;1.40;\n\nCenter Freq;1000000000;Hz\n\nValues;4;\n";
    for (int k = 1; k <= 2; ++k) {
        file += "Section " + std::to_string(k) + ";2010.3.2_9.5.7:40\r\n-50.5||-51|| 2.5|| .125\r\n";
    }
    EXPECT_EQ(readFile(window.settings.fileName), file);
}

TEST_F(RecordingSessionTest, SettingsAreSavedAtStart) {
    const SettingsFile settingsFile(dir.file("marlin.ini"));
    session.setSettingsFile(&settingsFile);
    window.settings.traceIndex = 2;
    probe.reachable = false;  // saved even when START goes no further
    session.StartRec_Click();
    EXPECT_TRUE(session.settingsSaved());
    EXPECT_EQ(settingsFile.load().traceIndex, 2);
    EXPECT_EQ(settingsFile.load().address, "analyzer");
}

TEST_F(RecordingSessionTest, StatusSequenceOfOneReading) {
    stopAfter(1);
    session.StartRec_Click();
    std::vector<std::string> statuses;
    for (const auto& entry : window.log) {
        if (entry.rfind("status ", 0) == 0) statuses.push_back(entry.substr(7));
    }
    EXPECT_EQ(statuses,
              (std::vector<std::string>{"writing ...", "recording ...", "writing ...", "idle.", ""}));
    EXPECT_EQ(window.log.front(), "start disabled");
    EXPECT_EQ(window.log[1], "busy");
}

TEST_F(RecordingSessionTest, SweepTimeSetsTheBusTimeoutFromItsFirstTwoCharacters) {
    const std::pair<std::string, std::string> cases[] = {
        {"12.5", "ibtmo 13"}, {"2.5", "ibtmo 3"}, {"0.005", "ibtmo 1"}, {"", "ibtmo 1"}, {"99", "ibtmo 100"}};
    for (const auto& [reply, expected] : cases) {
        bus.sweepTime = reply;
        bus.log.clear();
        std::filesystem::remove(window.settings.fileName);
        stopAfter(1);
        session.StartRec_Click();
        EXPECT_NE(std::find(bus.log.begin(), bus.log.end(), expected), bus.log.end()) << reply;
    }
}

TEST_F(RecordingSessionTest, IntervalNotAboveZeroBecomesTenMicroseconds) {
    for (const char* text : {"0", "abc", "-1"}) {
        window.settings.interval = text;
        window.log.clear();
        std::filesystem::remove(window.settings.fileName);
        stopAfter(2);
        session.StartRec_Click();
        EXPECT_DOUBLE_EQ(session.interval(), 0.00001) << text;
        EXPECT_NE(std::find(window.log.begin(), window.log.end(), "interval 1E-05"), window.log.end());
        EXPECT_EQ(window.layout, RecordingLayout::Compact);
        EXPECT_FALSE(window.progressVisible);
    }
}

TEST_F(RecordingSessionTest, IntervalOfOneSecondShowsNoProgressBar) {
    window.settings.interval = "1";
    stopAfter(2);
    session.StartRec_Click();
    EXPECT_FALSE(window.progressVisible);
    EXPECT_EQ(window.layout, RecordingLayout::Compact);
    // Only the final reset to 0 after each wait.
    EXPECT_TRUE(std::all_of(window.progress.begin(), window.progress.end(), [](int p) { return p == 0; }));
}

TEST_F(RecordingSessionTest, IntervalAboveOneSecondCountsDownOnTheProgressBar) {
    window.settings.interval = "1,5";
    stopAfter(2);
    session.StartRec_Click();
    EXPECT_TRUE(window.progressVisible);
    EXPECT_EQ(window.layout, RecordingLayout::WithProgress);
    ASSERT_GE(window.progress.size(), 10u);
    EXPECT_GE(window.progress.front(), 90);
    EXPECT_TRUE(std::is_sorted(window.progress.begin(), window.progress.begin() + 10, std::greater<>()));
    EXPECT_EQ(window.progress.back(), 0);
    EXPECT_TRUE(readFile(window.settings.fileName).find("CAPDELAYTIME;1.500000\n") != std::string::npos);
}

TEST_F(RecordingSessionTest, WaitBlocksInFewLargeStepsInsteadOfSpinning) {
    window.settings.interval = "10";
    stopAfter(2);
    session.StartRec_Click();
    // One 10 s wait between the two readings: at most one wake-up per 100 ms plus the readings' own.
    EXPECT_LE(window.eventRuns, 130);
    EXPECT_GE(window.waited, 10000);
}

TEST_F(RecordingSessionTest, ProgressIsComputedWithoutOverflow) {
    EXPECT_EQ(RecordingSession::progressPercent(0, 1000), 100);
    EXPECT_EQ(RecordingSession::progressPercent(500, 1000), 50);
    EXPECT_EQ(RecordingSession::progressPercent(1e10, 2e10), 50);  // a wait of over 200 days
    EXPECT_EQ(RecordingSession::progressPercent(2.5e10, 2e10), 0);
    EXPECT_EQ(RecordingSession::progressPercent(5, 0), 0);
}

TEST_F(RecordingSessionTest, InactiveTraceEndsWithOneMessageAndTheHeadOnly) {
    bus.setAllTracesActive(false);
    window.settings.traceIndex = 1;
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), RecordingSession::Outcome::InactiveTrace);
    ASSERT_EQ(window.warnings.size(), 1u);
    EXPECT_EQ(window.warnings[0],
              "Marlin|Selected Trace is not active.\r\nPlease activate Trace 2 before start recording.");
    EXPECT_EQ(window.status, "ready");
    EXPECT_EQ(session.readingCount(), 0);
    EXPECT_TRUE(session.stopFlag());
    EXPECT_TRUE(window.startEnabled);
    // The instrument answered the short query, and is given back like at every ending.
    EXPECT_EQ(commandsFrom(bus.log.size() - 5),
              (std::vector<std::string>{"TRAC? TRACE2", "ibtmo 1", "*OPC?", "INIT:CONT ON", "ibloc"}));
    EXPECT_EQ(window.colour, ConnectionColour::Red);
    EXPECT_EQ(readFile(window.settings.fileName).substr(0, 19), "ENDSTOP;0x00000097\n");
    EXPECT_EQ(readFile(window.settings.fileName).find("Section"), std::string::npos);
}

TEST_F(RecordingSessionTest, IdentityInAnyLetterCaseIsAccepted) {
    bus.identity = "qUaZaR,FSX";
    stopAfter(1);
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), RecordingSession::Outcome::Stopped);
    EXPECT_EQ(session.readingCount(), 1);
}

TEST_F(RecordingSessionTest, ForeignIdentityIsNamedAndStartStaysDisabledUntilStop) {
    for (const char* identity : {"QUA", "ACME,SA-1"}) {
        bus.identity = identity;
        bus.log.clear();
        window.warnings.clear();
        window.colour = ConnectionColour::Green;  // left from an earlier recording
        session.StartRec_Click();
        EXPECT_EQ(session.outcome(), RecordingSession::Outcome::NotIdentified) << identity;
        EXPECT_EQ(bus.log, (std::vector<std::string>{"ibfind analyzer", "*IDN?"}));
        ASSERT_EQ(window.warnings.size(), 1u);
        EXPECT_EQ(window.warnings[0], "Marlin|The instrument at \"analyzer\" does not identify itself as a "
                                      "Quazar instrument (it answered \"" + std::string(identity) + "\").");
        EXPECT_EQ(window.status, "not identified");
        EXPECT_FALSE(window.startEnabled);  // until the next STOP
        EXPECT_FALSE(window.busy);
        EXPECT_EQ(window.colour, ConnectionColour::Red);
    }
    session.StopRec_Click();
    EXPECT_TRUE(window.startEnabled);
}

TEST_F(RecordingSessionTest, NoConnectionOrNoReplySaysWhatHappenedAndStartCanBePressedAgain) {
    bus.findFails = true;
    session.StartRec_Click();
    ASSERT_EQ(window.warnings.size(), 1u);
    EXPECT_EQ(window.warnings[0], "Marlin|The instrument at \"analyzer\" could not be opened: could not connect "
                                  "to 127.0.0.1.");
    EXPECT_EQ(window.status, "no connection");
    EXPECT_TRUE(window.startEnabled);

    bus.findFails = false;
    bus.silent = true;
    session.StartRec_Click();
    ASSERT_EQ(window.warnings.size(), 2u);
    EXPECT_EQ(window.warnings[1], "Marlin|The instrument at \"analyzer\" does not answer: no reply to \"*IDN?\".");
    EXPECT_EQ(bus.log.back(), "ibonl 0");  // the next START opens it afresh
    EXPECT_EQ(session.outcome(), RecordingSession::Outcome::NotIdentified);
    EXPECT_TRUE(window.startEnabled);
    EXPECT_EQ(window.colour, ConnectionColour::Red);
}

TEST_F(RecordingSessionTest, UnreachableHostShowsNoInstrumentFound) {
    probe.reachable = false;
    probe.problem = "The echo request could not be sent: reason.";
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), RecordingSession::Outcome::NoInstrument);
    ASSERT_EQ(window.warnings.size(), 1u);
    EXPECT_EQ(window.warnings[0],
              "No instrument found|No device was found at the specified address.\r\nPlease check if the "
              "instrument has been properly connected to the network or if the provided address is correct."
              "\r\n\r\nThe echo request could not be sent: reason.");
    EXPECT_TRUE(bus.log.empty());  // the instrument is not opened
    EXPECT_TRUE(window.startEnabled);
    EXPECT_FALSE(window.busy);
    EXPECT_FALSE(TraceFile::exists(window.settings.fileName));
}

TEST_F(RecordingSessionTest, NameThatDoesNotResolveIsUnreachable) {
    window.settings.address = "nowhere";
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), RecordingSession::Outcome::NoInstrument);
    EXPECT_EQ(probe.checked, std::vector<std::string>{""});
}

TEST_F(RecordingSessionTest, OverwriteCancelledLeavesTheFileUntouched) {
    writeFile(window.settings.fileName, "precious");
    window.overwriteAnswer = false;
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), RecordingSession::Outcome::OverwriteDeclined);
    EXPECT_EQ(readFile(window.settings.fileName), "precious");
    EXPECT_TRUE(window.startEnabled);
    EXPECT_FALSE(window.busy);
    EXPECT_TRUE(probe.checked.empty());
    EXPECT_NE(std::find(window.log.begin(), window.log.end(), "ask File already exists: Overwrite file?"),
              window.log.end());
}

TEST_F(RecordingSessionTest, OverwriteAcceptedReplacesTheFile) {
    writeFile(window.settings.fileName, std::string(5000, 'x'));
    stopAfter(1);
    session.StartRec_Click();
    const auto file = readFile(window.settings.fileName);
    EXPECT_EQ(file.substr(0, 18), "ENDSTOP;0x1       ");
    EXPECT_EQ(file.find("xxxx"), std::string::npos);
}

TEST_F(RecordingSessionTest, StopWhileWaitingActsAtOnce) {
    window.settings.interval = "100";
    window.onEvents = [this](std::chrono::milliseconds) {
        if (session.readingCount() == 1 && session.readyFlag() && !session.stopFlag() &&
            stopwatch.elapsed > 500) {
            session.StopRec_Click();
            // The instrument is released inside STOP, before the wait notices the flag.
            EXPECT_EQ(bus.log.back(), "ibloc");
            EXPECT_EQ(window.colour, ConnectionColour::Red);
        }
    };
    session.StartRec_Click();
    EXPECT_EQ(session.readingCount(), 1);
    EXPECT_LT(stopwatch.elapsed, 1000);  // the wait ended at its next check
    EXPECT_EQ(std::count(bus.log.begin(), bus.log.end(), "ibloc"), 1);
}

TEST_F(RecordingSessionTest, StopDuringAReadingCompletesAndWritesItFirst) {
    window.onEvents = [this](std::chrono::milliseconds) {
        if (window.status == "recording ..." && session.readingCount() == 1 && !session.stopFlag()) {
            session.StopRec_Click();
            EXPECT_TRUE(window.startEnabled);
            EXPECT_NE(bus.log.back(), "ibloc");  // nothing is sent while the reading runs
        }
    };
    session.StartRec_Click();
    EXPECT_EQ(session.readingCount(), 2);
    EXPECT_EQ(readFile(window.settings.fileName).substr(0, 18), "ENDSTOP;0x2       ");
    // The second reading's commands come before the stop.
    const auto tail = commandsFrom(bus.log.size() - 7);
    EXPECT_EQ(tail, (std::vector<std::string>{"SWE:TIME?", "ibtmo 1", "INIT:IMM;*WAI", "FORM REAL,32",
                                              "TRAC? TRACE1", "INIT:CONT ON", "ibloc"}));
}

TEST_F(RecordingSessionTest, ShortTraceBlockStopsTheRecordingWithAWarning) {
    bus.trace.assign(501, -70.0f);
    window.onEvents = [this](std::chrono::milliseconds) {
        if (session.readingCount() == 2) bus.traceDataCut = 1004;
    };
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), RecordingSession::Outcome::ReadingFailed);
    EXPECT_EQ(session.readingCount(), 2);
    ASSERT_EQ(window.warnings.size(), 1u);
    EXPECT_NE(window.warnings[0].find("1000 of the 2004 data bytes"), std::string::npos);
    EXPECT_NE(window.warnings[0].find("The 2 readings written before are intact"), std::string::npos);
    EXPECT_EQ(window.status, "reading failed");
    EXPECT_EQ(commandsFrom(bus.log.size() - 3), (std::vector<std::string>{"INIT:CONT ON", "ibloc", "ibonl 0"}));
    const auto file = readFile(window.settings.fileName);
    EXPECT_EQ(file.substr(0, 18), "ENDSTOP;0x2       ");
    EXPECT_EQ(file.find("Section3"), std::string::npos);
    EXPECT_TRUE(file.ends_with(std::string("\0\0\x8c\xc2\n", 5)));  // -70.0f, the last full value
}

TEST_F(RecordingSessionTest, StopDuringTheHeadWriteStillReleasesTheInstrument) {
    window.onEvents = [this](std::chrono::milliseconds) {
        if (window.status == "writing ..." && session.readingCount() == 0 && !session.stopFlag()) {
            session.StopRec_Click();
        }
    };
    session.StartRec_Click();
    EXPECT_EQ(session.readingCount(), 0);
    EXPECT_EQ(commandsFrom(bus.log.size() - 2), (std::vector<std::string>{"INIT:CONT ON", "ibloc"}));
    EXPECT_EQ(readFile(window.settings.fileName).substr(0, 18), "ENDSTOP;0x00000097");
}

TEST_F(RecordingSessionTest, LostConnectionIsAFailedReadingNotAnInactiveTrace) {
    window.onEvents = [this](std::chrono::milliseconds) {
        if (session.readingCount() == 1) bus.connectionLost = true;
    };
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), RecordingSession::Outcome::ReadingFailed);
    EXPECT_EQ(session.readingCount(), 1);
    // Given back as far as it goes, then closed so that the next START does not get it again.
    EXPECT_EQ(commandsFrom(bus.log.size() - 3), (std::vector<std::string>{"INIT:CONT ON", "ibloc", "ibonl 0"}));
}

TEST_F(RecordingSessionTest, EmptyTraceReplyIsInactiveOnlyWhenTheInstrumentStillAnswers) {
    bus.setAllTracesActive(false);
    bus.answersOpc = false;  // stalled after the sweep time reply, or the connection is gone
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), RecordingSession::Outcome::ReadingFailed);
    ASSERT_EQ(window.warnings.size(), 1u);
    EXPECT_NE(window.warnings[0].find("no reply to the trace query within 1 s, and no reply to \"*OPC?\""),
              std::string::npos)
        << window.warnings[0];
    EXPECT_EQ(bus.log.back(), "ibonl 0");

    // A slow instrument's block comes while the recorder waits once more: not an inactive trace.
    bus.setAllTracesActive(true);
    bus.answersOpc = true;
    bus.traceLate = true;
    window.warnings.clear();
    std::filesystem::remove(window.settings.fileName);
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), RecordingSession::Outcome::ReadingFailed);
    ASSERT_EQ(window.warnings.size(), 1u);
    EXPECT_NE(window.warnings[0].find("its trace block only after the time limit of 1 s"), std::string::npos)
        << window.warnings[0];
    EXPECT_EQ(std::count(bus.log.begin(), bus.log.end(), "*OPC?"), 1);  // only the first START asked
}

TEST_F(RecordingSessionTest, TraceFileDeletedReplacedOrShortenedEndsTheRecordingAndIsLeftAlone) {
    const auto path = window.settings.fileName;
    const auto other = dir.file("notes.txt");
    const std::function<void()> changes[] = {
        [&] { std::filesystem::remove(path); },
        [&] {
            writeFile(other, "other text\n");
            std::filesystem::rename(other, path);
        },
        [&] { std::filesystem::resize_file(path, 30); },
        [&] {  // a new name, but of a file that is not a trace file
            writeFile(other, "other text\n");
            window.settings.fileName = other;
        },
    };
    const char* expected[] = {"has been deleted", "has been replaced by another file", "has been shortened",
                              "is not a trace file"};
    for (int i = 0; i < 4; ++i) {
        window.settings.fileName = path;
        window.warnings.clear();
        std::filesystem::remove(path);
        bool changed = false;
        std::string before;
        window.onEvents = [&](std::chrono::milliseconds) {
            if (session.readingCount() == 1 && window.status == "idle." && !changed) {
                changed = true;
                changes[i]();
                before = readFile(window.settings.fileName);
            }
        };
        session.StartRec_Click();
        EXPECT_EQ(session.outcome(), RecordingSession::Outcome::FileError) << expected[i];
        ASSERT_EQ(window.warnings.size(), 1u);
        EXPECT_NE(window.warnings[0].find("\"" + window.settings.fileName + "\""), std::string::npos);
        EXPECT_NE(window.warnings[0].find(expected[i]), std::string::npos) << window.warnings[0];
        EXPECT_EQ(readFile(window.settings.fileName), before) << expected[i];
        EXPECT_EQ(TraceFile::exists(window.settings.fileName), i != 0);
    }
}

TEST_F(RecordingSessionTest, SilentInstrumentIsAFailedReadingNotAnInactiveTrace) {
    window.onEvents = [this](std::chrono::milliseconds) {
        if (session.readingCount() == 1) bus.silent = true;
    };
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), RecordingSession::Outcome::ReadingFailed);
    ASSERT_EQ(window.warnings.size(), 1u);
    EXPECT_NE(window.warnings[0].find("no reply at all"), std::string::npos);
}

TEST_F(RecordingSessionTest, MalformedOrAbsurdBlockHeaderIsAFailedReading) {
    for (const char* header : {"#x2004", "#9999999999", "#4ABCD", "#3003"}) {
        bus.traceHeaderOverride = header;
        window.warnings.clear();
        std::filesystem::remove(window.settings.fileName);
        session.StartRec_Click();
        EXPECT_EQ(session.outcome(), RecordingSession::Outcome::ReadingFailed) << header;
        ASSERT_EQ(window.warnings.size(), 1u);
        EXPECT_NE(window.warnings[0].find("could not be read"), std::string::npos);
        EXPECT_EQ(session.readingCount(), 0);
    }
}

TEST_F(RecordingSessionTest, UnreadableTraceDescriptionWritesNothing) {
    bus.exportHeaderOverride = "#9999999999";
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), RecordingSession::Outcome::ReadingFailed);
    EXPECT_FALSE(TraceFile::exists(window.settings.fileName));
    EXPECT_EQ(bus.log.back(), "ibloc");
}

TEST_F(RecordingSessionTest, UnwritableFileStopsWithTheSystemsReason) {
    window.settings.fileName = dir.file("missing-folder/trace.sft");
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), RecordingSession::Outcome::FileError);
    ASSERT_EQ(window.warnings.size(), 1u);
    EXPECT_NE(window.warnings[0].find(window.settings.fileName), std::string::npos);
    EXPECT_NE(window.warnings[0].find("No such file or directory"), std::string::npos);
    EXPECT_EQ(window.status, "file error");
    EXPECT_EQ(bus.log.back(), "ibloc");
}

TEST_F(RecordingSessionTest, FileNameChangedDuringARecording) {
    const auto second = dir.file("second.sft");
    window.onEvents = [&, this](std::chrono::milliseconds) {
        if (session.readingCount() == 1 && session.readyFlag()) window.settings.fileName = second;
        if (session.readingCount() == 2 && session.readyFlag() && !session.stopFlag())
            session.StopRec_Click();
    };
    session.StartRec_Click();
    EXPECT_EQ(readFile(second), "ENDSTOP;0x2       Section2;2010.3.2_9.5.7:40\n" + data() + "\n");
}

TEST_F(RecordingSessionTest, MissingBusLibraryIsReportedAndStartCanBePressedAgain) {
    bus.binding = "The bus library \"libqzib32.so.1\" could not be loaded: not found.";
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), RecordingSession::Outcome::BusUnavailable);
    ASSERT_EQ(window.warnings.size(), 1u);
    EXPECT_NE(window.warnings[0].find("libqzib32.so.1"), std::string::npos);
    EXPECT_TRUE(window.startEnabled);
}

TEST_F(RecordingSessionTest, NoTraceSelected) {
    window.settings.traceIndex = -1;
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), RecordingSession::Outcome::NoTraceSelected);
    EXPECT_TRUE(bus.log.empty());
}

TEST_F(RecordingSessionTest, StartInsideARunningRecordingIsIgnored) {
    int nested = 0;
    window.onEvents = [&, this](std::chrono::milliseconds) {
        if (session.readingCount() == 1 && nested == 0) {
            ++nested;
            session.StartRec_Click();
            session.StopRec_Click();
        }
    };
    session.StartRec_Click();
    EXPECT_EQ(std::count(bus.log.begin(), bus.log.end(), "*IDN?"), 1);
}

TEST_F(RecordingSessionTest, LocalProbeIgnoresTheAnswer) {
    bus.findFails = true;
    session.probeLocalInstrument();
    EXPECT_EQ(bus.log, (std::vector<std::string>{"ibfind localhost", "*IDN?"}));
    EXPECT_EQ(session.busState().ud, -1);
}

}  // namespace
}  // namespace marlin
