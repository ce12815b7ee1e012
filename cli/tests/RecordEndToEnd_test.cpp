// marlin-cli against the analyzer simulator through the real bus library. Every test case runs in
// a process of its own (ctest), so each one serves its simulator on an address of its own.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <analyzer_sim/Simulator.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "CliApp.h"
#include "CliOptions.h"
#include "marlin/core/QzibBinding.h"
#include "marlin/core/NetworkHostProbe.h"
#include "marlin/testing/RecorderCommands.h"
#include "marlin/testing/TempDir.h"

namespace marlin::cli {
namespace {

// The program's own name resolution and port check, and an echo check without ICMP (which not
// every machine allows a test): a loopback address always answers an echo.
class LoopbackProbe final : public HostProbe {
public:
    std::string NameToAddress(const std::string& host) override { return network_.NameToAddress(host); }
    ReachabilityResult CheckHostReachable(const std::string& address) override {
        return {address.rfind("127.", 0) == 0, {}};
    }
    std::string explainOpenFailure(const std::string& address) override {
        return network_.explainOpenFailure(address);
    }

private:
    NetworkHostProbe network_;
};

using marlin::testing::readFile;

struct Section {
    std::string line;
    std::string data;
};

// Splits a binary trace file into its head and its sections of `points` values.
bool parseBinary(const std::string& file, std::size_t points, std::string& head,
                 std::vector<Section>& sections) {
    const auto first = file.find("Section1;");
    if (first == std::string::npos) return false;
    head = file.substr(0, first);
    std::size_t pos = first;
    while (pos < file.size()) {
        const auto nl = file.find('\n', pos);
        if (nl == std::string::npos || nl + 1 + points * 4 + 1 > file.size()) return false;
        Section s{file.substr(pos, nl - pos), file.substr(nl + 1, points * 4)};
        if (file[nl + 1 + points * 4] != '\n') return false;
        sections.push_back(std::move(s));
        pos = nl + 1 + points * 4 + 1;
    }
    return true;
}

class RecordEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv(QzibBinding::kPathVariable, MARLIN_TEST_BUS_LIBRARY, 1);
        file = dir_.file("trace.sft");
        ini = dir_.file("marlin.ini");
    }
    void TearDown() override {
        if (sim) sim->stop();
    }

    void startSimulator(const std::string& address, sim::SimulatorOptions options = {}) {
        options.bindAddress = address;
        options.port = 2525;
        options.verbose = true;
        options.log = [this](std::string_view line) {
            std::lock_guard lock(mutex_);
            log_.emplace_back(line);
            changed_.notify_all();
        };
        sim = std::make_unique<sim::Simulator>(options);
        sim->start();
        this->address = address;
    }

    int record(std::vector<std::string> extra, bool terminal = false) {
        std::vector<std::string> args = {"record", "--address", address, "--file", file, "--settings", ini};
        args.insert(args.end(), extra.begin(), extra.end());
        out.str("");
        err.str("");
        return run(args, out, err, terminal, &probe, schedule ? &*schedule : nullptr);
    }

    // The program messages the simulator ran, in order.
    std::vector<std::string> commands() {
        std::lock_guard lock(mutex_);
        std::vector<std::string> result;
        for (const auto& line : log_) {
            const auto hash = line.find("] #");
            if (hash == std::string::npos) continue;
            const auto space = line.find(' ', hash + 3);
            auto end = line.find(" -> ", space);
            result.push_back(
                line.substr(space + 1, end == std::string::npos ? std::string::npos : end - space - 1));
        }
        return result;
    }

    // Waits (bounded) until the simulator has logged `count` lines containing `text`.
    bool waitForLog(const std::string& text, std::size_t count, std::chrono::seconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] {
            return static_cast<std::size_t>(std::count_if(
                       log_.begin(), log_.end(),
                       [&](const std::string& l) { return l.find(text) != std::string::npos; })) >= count;
        });
    }

    std::unique_ptr<sim::Simulator> sim;
    std::optional<RecordingSession::ReconnectSchedule> schedule;  // none: the program's own waits
    std::string address;
    std::string file;
    std::string ini;
    LoopbackProbe probe;
    std::ostringstream out;
    std::ostringstream err;

private:
    marlin::testing::TempDir dir_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> log_;
};

#define START_SIMULATOR(...) startSimulator(__VA_ARGS__)

// Text that the program writes on its thread while the test waits on its own for a part of it.
class WatchedText final : public std::streambuf {
public:
    bool waitFor(const std::string& part, std::chrono::seconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return text_.find(part) != std::string::npos; });
    }
    std::string text() {
        std::lock_guard lock(mutex_);
        return text_;
    }

protected:
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        {
            std::lock_guard lock(mutex_);
            text_.append(s, static_cast<std::size_t>(n));
        }
        changed_.notify_all();
        return n;
    }
    int_type overflow(int_type c) override {
        if (c == traits_type::eof()) return traits_type::not_eof(c);
        const char ch = traits_type::to_char_type(c);
        xsputn(&ch, 1);
        return c;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string text_;
};

// Every device was closed before the next one was opened: the recorder never holds two.
::testing::AssertionResult oneDeviceAtATime(const std::vector<sim::DeviceEvent>& events) {
    int open = 0;
    for (const auto& e : events) {
        open += e.kind == sim::DeviceEvent::Kind::Opened ? 1 : -1;
        if (open > 1) return ::testing::AssertionFailure() << "device " << e.id << " opened beside another";
    }
    return ::testing::AssertionSuccess();
}

// Sections numbered 1, 2, ... without a gap, after one head.
::testing::AssertionResult numberedWithoutGaps(const std::string& file, std::size_t& count) {
    std::string head;
    std::vector<Section> sections;
    if (!parseBinary(file, 501, head, sections)) return ::testing::AssertionFailure() << "not a trace file";
    if (file.find("ENDSTOP", 1) != std::string::npos) return ::testing::AssertionFailure() << "a second head";
    for (std::size_t k = 0; k < sections.size(); ++k) {
        if (sections[k].line.rfind("Section" + std::to_string(k + 1) + ";", 0) != 0)
            return ::testing::AssertionFailure() << "section " << k + 1 << " is " << sections[k].line;
    }
    count = sections.size();
    char countField[19];
    std::snprintf(countField, sizeof countField, "ENDSTOP;0x%-8zX", count);
    if (file.compare(0, 18, countField) != 0) return ::testing::AssertionFailure() << file.substr(0, 18);
    return ::testing::AssertionSuccess();
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST_F(RecordEndToEnd, BinaryRecordingByteExactWithTheCommandSequence) {
    START_SIMULATOR("127.0.0.120");
    ASSERT_EQ(record({"--trace", "1", "--interval", "0", "--format", "binary", "--readings", "3"}), kExitOk)
        << err.str();
    std::vector<std::string> expected = marlin::testing::startCommands();
    for (int i = 0; i < 3; ++i) {
        for (const char* c : {"SWE:TIME?", "INIT:IMM;*WAI", "FORM REAL,32", "TRAC? TRACE1"})
            expected.push_back(c);
    }
    expected.push_back("INIT:CONT ON");
    EXPECT_EQ(commands(), expected);
    // The simulator logs a control message after its reply, which the client may see first.
    EXPECT_TRUE(waitForLog("control: go to local", 1, std::chrono::seconds(5)));

    const std::string content = readFile(file);
    std::string head;
    std::vector<Section> sections;
    ASSERT_TRUE(parseBinary(content, 501, head, sections));
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_EQ(head.substr(0, 41), "ENDSTOP;0x3       \nCAPDELAYTIME;0.000000\n");
    EXPECT_EQ(head.find('\r'), std::string::npos);
    EXPECT_TRUE(head.ends_with("\nValues;501;\n")) << head;
    EXPECT_NE(head.find(";\n\n"), std::string::npos);  // CR LF of the instrument became LF LF
    for (std::size_t k = 0; k < sections.size(); ++k) {
        EXPECT_EQ(sections[k].line.rfind("Section" + std::to_string(k + 1) + ";", 0), 0u);
        for (std::size_t i = 0; i < 501; ++i) {
            float v;
            std::memcpy(&v, sections[k].data.data() + 4 * i, 4);
            ASSERT_TRUE(v > -250.0f && v < 100.0f) << "value " << i << " = " << v;
        }
    }
    for (const auto& d : sim->devices()) EXPECT_TRUE(d.continuous);
    EXPECT_EQ(out.str(), "3 readings written to " + file + "\n");
}

TEST_F(RecordEndToEnd, AsciiRecordingWithSeparatorAndCrLf) {
    START_SIMULATOR("127.0.0.121");
    ASSERT_EQ(record({"--trace", "2", "--interval", "0", "--format", "ascii", "--separator", ";",
                      "--readings", "2", "--quiet"}),
              kExitOk)
        << err.str();
    EXPECT_EQ(out.str(), "");
    const std::string content = readFile(file);
    ASSERT_EQ(content.substr(0, 19), "ENDSTOP;0x00000097\n");
    const auto first = content.find("Section 1;");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(content.substr(0, first).find('\r'), std::string::npos);
    std::vector<std::string> lines;
    std::size_t pos = first;
    while (pos < content.size()) {
        const auto end = content.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos);
        lines.push_back(content.substr(pos, end - pos));
        pos = end + 2;
    }
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2].rfind("Section 2;", 0), 0u);
    for (const std::size_t i : {1u, 3u}) {
        const std::string& values = lines[i];
        EXPECT_EQ(std::count(values.begin(), values.end(), ';'), 500);
        EXPECT_EQ(values.find(','), std::string::npos);
        EXPECT_EQ(values.find("E+"), std::string::npos);
        EXPECT_TRUE(values[0] == '-' || values[0] == ' ');
    }
    const auto sent = commands();
    EXPECT_NE(std::find(sent.begin(), sent.end(), "TRAC? TRACE2"), sent.end());
}

TEST_F(RecordEndToEnd, SettingsAreSavedAndUsedForOptionsLeftOut) {
    START_SIMULATOR("127.0.0.122");
    ASSERT_EQ(record({"--trace", "3", "--interval", "0", "--format", "ascii", "--separator", "||",
                      "--readings", "1"}),
              kExitOk)
        << err.str();
    const std::string saved = readFile(ini);
    EXPECT_NE(saved.find("[TRACES]\nNUMBER=2\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("[FORMAT]\nTYPE=ASCII\n"), std::string::npos);
    EXPECT_NE(saved.find("[SEPARATOR]\nTYPE=||\n"), std::string::npos);
    // A second run with only the settings file records the same way.
    std::vector<std::string> args = {"record", "--settings",  ini,      "--readings",
                                     "1",      "--overwrite", "--quiet"};
    ASSERT_EQ(run(args, out, err, false, &probe), kExitOk) << err.str();
    const std::string content = readFile(file);
    EXPECT_NE(content.find("Section 1;"), std::string::npos);
    EXPECT_NE(content.find("||"), std::string::npos);
    const auto sent = commands();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "TRAC? TRACE3"), 2);
}

TEST_F(RecordEndToEnd, KeptSettingsFileIsReadButNeverWritten) {
    START_SIMULATOR("127.0.5.1");
    const std::string configuration = "; one service's recording\n[TRACES]\nNUMBER=1\n[INTERVAL]\nVALUE=0\n";
    std::ofstream(ini) << configuration;
    ASSERT_EQ(record({"--readings", "1", "--keep-settings"}), kExitOk) << err.str();
    EXPECT_EQ(readFile(ini), configuration);
    EXPECT_EQ(err.str(), "") << "no warning about a file that is meant to stay as it is";
    const auto sent = commands();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "TRAC? TRACE2"), 1);
}

TEST_F(RecordEndToEnd, ExistingFileWithoutOverwriteIsLeftUntouched) {
    START_SIMULATOR("127.0.0.123");
    std::ofstream(file) << "precious";
    EXPECT_EQ(record({"--readings", "1"}), kExitFileExists);
    EXPECT_EQ(readFile(file), "precious");
    EXPECT_NE(err.str().find("--overwrite"), std::string::npos);
    EXPECT_TRUE(commands().empty());
    EXPECT_EQ(record({"--readings", "1", "--overwrite"}), kExitOk) << err.str();
    EXPECT_EQ(readFile(file).substr(0, 18), "ENDSTOP;0x1       ");
}

TEST_F(RecordEndToEnd, InactiveTrace) {
    START_SIMULATOR("127.0.0.124");
    sim->setTraceActive(2, false);
    EXPECT_EQ(record({"--trace", "2", "--interval", "0", "--readings", "3"}), kExitInactiveTrace);
    EXPECT_NE(
        err.str().find("Selected Trace is not active.\nPlease activate Trace 2 before start recording."),
        std::string::npos)
        << err.str();
    const std::string content = readFile(file);
    EXPECT_EQ(content.substr(0, 18), "ENDSTOP;0x00000097");
    EXPECT_EQ(content.find("Section"), std::string::npos);
    // Given back to continuous sweep and local, as at every ending.
    EXPECT_EQ(commands().back(), "INIT:CONT ON");
    EXPECT_TRUE(waitForLog("control: go to local", 1, std::chrono::seconds(5)));
}

TEST_F(RecordEndToEnd, IdentityInAnyLetterCaseIsAccepted) {
    sim::SimulatorOptions options;
    options.instrument.identity = "qUaZaR,FSX-7,1,1.0";
    START_SIMULATOR("127.0.0.125", options);
    EXPECT_EQ(record({"--interval", "0", "--readings", "1"}), kExitOk) << err.str();
}

TEST_F(RecordEndToEnd, ForeignOrShortIdentityIsRefused) {
    sim::SimulatorOptions options;
    options.instrument.identity = "QUA";
    START_SIMULATOR("127.0.0.126", options);
    EXPECT_EQ(record({"--readings", "1"}), kExitNotIdentified);
    EXPECT_NE(err.str().find("does not identify itself"), std::string::npos) << err.str();
    EXPECT_EQ(commands(), std::vector<std::string>{"*IDN?"});
    options.instrument.identity = "ACME,SA-1";
    sim->setOptions(options);
    std::filesystem::remove(file);
    EXPECT_EQ(record({"--readings", "1"}), kExitNotIdentified);
}

TEST_F(RecordEndToEnd, NameThatDoesNotResolveIsNoInstrument) {
    START_SIMULATOR("127.0.0.127");
    address = "host.invalid";
    EXPECT_EQ(record({"--readings", "1"}), kExitNoInstrument);
    EXPECT_NE(err.str().find("No instrument found: No device was found at the specified address."),
              std::string::npos)
        << err.str();
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(RecordEndToEnd, NothingListeningIsSaidInTheProgramsOwnWords) {
    START_SIMULATOR("127.0.0.128");
    address = "127.0.0.129";  // answers the echo (loopback) but serves no bus
    EXPECT_EQ(record({"--readings", "1"}), kExitNotIdentified);
    EXPECT_NE(err.str().find("Marlin: The instrument at \"127.0.0.129\" could not be opened: could not connect "
                             "to 127.0.0.129, port 2525: connection refused.\n"),
              std::string::npos)
        << err.str();
}

TEST_F(RecordEndToEnd, WrongProtocolVersionIsNamed) {
    sim::SimulatorOptions options;
    options.faults.versionReply = 1.0f;
    START_SIMULATOR("127.0.1.3", options);
    EXPECT_EQ(record({"--readings", "1"}), kExitNotIdentified);
    EXPECT_NE(err.str().find("could not be opened: the instrument at 127.0.1.3, port 2525 speaks protocol "
                             "version 1, which is not supported (version 2 is)."),
              std::string::npos)
        << err.str();
}

TEST_F(RecordEndToEnd, InstrumentStalledBeforeTheTraceIsAFailedReadingNotAnInactiveTrace) {
    sim::SimulatorOptions options;
    options.faults.stallAfterReplies = 5;  // the second reading's sweep time comes, its trace does not
    START_SIMULATOR("127.0.1.2", options);
    EXPECT_EQ(record({"--interval", "0", "--readings", "5"}), kExitReadingFailed) << err.str();
    EXPECT_NE(err.str().find("no reply to the trace query within 1 s, and no reply to \"*OPC?\" either"),
              std::string::npos)
        << err.str();
    EXPECT_EQ(err.str().find("not active"), std::string::npos);
    EXPECT_EQ(commands().back(), "INIT:CONT ON");
}

TEST_F(RecordEndToEnd, StartAfterALostConnectionOpensTheInstrumentAfresh) {
    // The window keeps the bus library loaded from one START to the next; holding it here does
    // the same for two runs, which then share the library's devices.
    void* library = ::dlopen(MARLIN_TEST_BUS_LIBRARY, RTLD_NOW);
    ASSERT_NE(library, nullptr) << ::dlerror();
    sim::SimulatorOptions options;
    options.faults.closeAfterReplies = 4;  // per device: the second reading of each finds it closed
    START_SIMULATOR("127.0.1.1", options);
    EXPECT_EQ(record({"--interval", "0", "--readings", "3"}), kExitReadingFailed) << err.str();
    EXPECT_EQ(record({"--interval", "0", "--readings", "1", "--overwrite"}), kExitOk) << err.str();
    EXPECT_EQ(readFile(file).substr(0, 18), "ENDSTOP;0x1       ");
    ::dlclose(library);
}

TEST_F(RecordEndToEnd, ShortBlockFailsTheReadingAndKeepsTheEarlierOnes) {
    sim::SimulatorOptions options;
    // Replies: identity, export, then two per reading (sweep time, trace): the second trace is short.
    options.faults.shortBlockAfterReplies = 5;
    START_SIMULATOR("127.0.0.130", options);
    EXPECT_EQ(record({"--interval", "0", "--readings", "5"}), kExitReadingFailed);
    EXPECT_NE(err.str().find("Trace 1 could not be read: the instrument sent "), std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find(" of the 2004 data bytes announced"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("The reading written before is intact"), std::string::npos);
    std::string head;
    std::vector<Section> sections;
    ASSERT_TRUE(parseBinary(readFile(file), 501, head, sections));
    EXPECT_EQ(sections.size(), 1u);
    EXPECT_EQ(head.substr(0, 18), "ENDSTOP;0x1       ");
    EXPECT_EQ(commands().back(), "INIT:CONT ON");
}

TEST_F(RecordEndToEnd, StalledInstrumentFailsTheReadingAfterTheSweepTimeout) {
    sim::SimulatorOptions options;
    // The second reading gets no reply at all: the bus timeout (sweep time + 1 s) runs out twice.
    options.faults.stallAfterReplies = 4;
    START_SIMULATOR("127.0.0.137", options);
    EXPECT_EQ(record({"--interval", "0", "--readings", "5"}), kExitReadingFailed) << err.str();
    EXPECT_NE(err.str().find("no reply at all"), std::string::npos) << err.str();
    std::string head;
    std::vector<Section> sections;
    ASSERT_TRUE(parseBinary(readFile(file), 501, head, sections));
    EXPECT_EQ(sections.size(), 1u);
}

TEST_F(RecordEndToEnd, LongIdentityIsReadIntoItsBufferOnly) {
    sim::SimulatorOptions options;
    options.instrument.identity = "QUAZAR," + std::string(5000, 'x');
    START_SIMULATOR("127.0.0.138", options);
    EXPECT_EQ(record({"--interval", "0", "--readings", "2"}), kExitOk) << err.str();
    EXPECT_EQ(readFile(file).substr(0, 18), "ENDSTOP;0x2       ");
}

TEST_F(RecordEndToEnd, LostConnectionFailsTheReading) {
    sim::SimulatorOptions options;
    options.faults.closeAfterReplies = 4;
    START_SIMULATOR("127.0.0.131", options);
    EXPECT_EQ(record({"--interval", "0", "--readings", "5"}), kExitReadingFailed) << err.str();
    EXPECT_NE(err.str().find("the connection to the instrument may be lost"), std::string::npos) << err.str();
    std::string head;
    std::vector<Section> sections;
    ASSERT_TRUE(parseBinary(readFile(file), 501, head, sections));
    EXPECT_EQ(sections.size(), 1u);
}

TEST_F(RecordEndToEnd, UnwritableFileStopsWithTheSystemsReason) {
    START_SIMULATOR("127.0.0.132");
    file = "/nonexistent-marlin-dir/trace.sft";
    EXPECT_EQ(record({"--interval", "0", "--readings", "2"}), kExitFileError);
    EXPECT_NE(err.str().find(
                  "The trace file \"/nonexistent-marlin-dir/trace.sft\" could not be opened: No such file"),
              std::string::npos)
        << err.str();
    EXPECT_EQ(commands().back(), "INIT:CONT ON");
}

TEST_F(RecordEndToEnd, IntervalAboveOneSecondShowsTheCountdownOnATerminal) {
    START_SIMULATOR("127.0.0.133");
    ASSERT_EQ(record({"--interval", "1,5", "--readings", "2"}, true), kExitOk) << err.str();
    EXPECT_NE(out.str().find("s to next sweep"), std::string::npos);
    EXPECT_NE(out.str().find("readings: 2"), std::string::npos);
    EXPECT_NE(readFile(file).find("CAPDELAYTIME;1.500000\n"), std::string::npos);
}

TEST_F(RecordEndToEnd, DurationEndsTheRecording) {
    START_SIMULATOR("127.0.0.134");
    EXPECT_EQ(record({"--interval", "10", "--duration", "0.3"}), kExitOk) << err.str();
    // The first reading comes at once, unless a slow machine spent the whole duration connecting.
    const std::string countField = readFile(file).substr(0, 18);
    EXPECT_TRUE(countField == "ENDSTOP;0x1       " || countField == "ENDSTOP;0x00000097") << countField;
    EXPECT_EQ(commands().back(), "INIT:CONT ON");
}

TEST_F(RecordEndToEnd, MissingBusLibraryIsNamed) {
    START_SIMULATOR("127.0.0.135");
    ::setenv(QzibBinding::kPathVariable, "/nonexistent-marlin-dir/libqzib32.so.1", 1);
    EXPECT_EQ(record({"--readings", "1"}), kExitBusLibrary);
    EXPECT_NE(err.str().find("/nonexistent-marlin-dir/libqzib32.so.1"), std::string::npos) << err.str();
}

TEST_F(RecordEndToEnd, SigtermRunsStopAndExitsZero) {
    START_SIMULATOR("127.0.0.136");
    int status = -1;
    std::thread program([&] { status = record({"--interval", "0", "--quiet"}); });
    const bool recording = waitForLog("TRAC? TRACE1", 3, std::chrono::seconds(20));
    ::kill(::getpid(), SIGTERM);  // the program's signal handler has been in place since it started
    program.join();
    ASSERT_TRUE(recording);
    EXPECT_EQ(status, 0) << err.str();
    ASSERT_TRUE(waitForLog("INIT:CONT ON", 1, std::chrono::seconds(5)));
    std::string head;
    std::vector<Section> sections;
    ASSERT_TRUE(parseBinary(readFile(file), 501, head, sections));
    EXPECT_GE(sections.size(), 3u);
}

TEST_F(RecordEndToEnd, ReconnectsThroughEachConnectionFaultIntoTheSameFile) {
    schedule = RecordingSession::ReconnectSchedule{std::chrono::milliseconds(20), std::chrono::milliseconds(100)};
    struct Case {
        const char* address;
        sim::FaultOptions faults;
        int readings;
        bool closedByClient;  // the fault leaves the device open: the recorder closes it
    };
    Case cases[] = {{"127.0.11.1", {}, 6, false}, {"127.0.11.2", {}, 2, true}, {"127.0.11.3", {}, 3, true}};
    cases[0].faults.closeAfterReplies = 6;      // two readings per device, then the connection closes
    cases[1].faults.stallAfterReplies = 4;      // one reading per device, then no reply
    cases[2].faults.shortBlockAfterReplies = 5;  // the device's next trace block breaks off
    for (const Case& c : cases) {
        sim::SimulatorOptions options;
        options.faults = c.faults;
        if (sim) sim->stop();
        START_SIMULATOR(c.address, options);
        ASSERT_EQ(record({"--interval", "0", "--readings", std::to_string(c.readings), "--reconnect", "--overwrite"}),
                  kExitOk)
            << c.address << ": " << err.str();
        std::size_t count = 0;
        EXPECT_TRUE(numberedWithoutGaps(readFile(file), count)) << c.address;
        EXPECT_EQ(count, static_cast<std::size_t>(c.readings)) << c.address;
        const std::size_t drops = occurrences(err.str(), " connection lost after ");
        EXPECT_GE(drops, 1u) << c.address;
        EXPECT_EQ(occurrences(err.str(), " connection back at attempt 1, "), drops) << err.str();
        EXPECT_NE(out.str().find("; connection lost "), std::string::npos) << out.str();
        const auto events = sim->deviceEvents();
        EXPECT_TRUE(oneDeviceAtATime(events)) << c.address;
        ASSERT_GE(events.size(), 3u);
        EXPECT_EQ(events[1], (sim::DeviceEvent{sim::DeviceEvent::Kind::Closed, events[0].id, c.closedByClient}))
            << c.address;
        EXPECT_EQ(events[2].kind, sim::DeviceEvent::Kind::Opened);
    }
}

TEST_F(RecordEndToEnd, ReconnectsToASimulatorStoppedAndStartedAgain) {
    START_SIMULATOR("127.0.11.4");
    const RecordingSession::ReconnectSchedule waits{std::chrono::milliseconds(100), std::chrono::milliseconds(400)};
    WatchedText screen;
    std::ostream screenOut(&screen);
    int status = -1;
    std::thread program([&] {
        const std::vector<std::string> args = {"record", "--address", address, "--file", file, "--settings", ini,
                                               "--interval", "0", "--reconnect"};
        status = run(args, screenOut, err, true, &probe, &waits);
    });
    const bool recording = waitForLog("TRAC? TRACE1", 2, std::chrono::seconds(20));
    sim->stop();
    // The status line shows a second attempt only once the first found nothing listening.
    const bool refused = screen.waitFor("reconnecting ... attempt 2, ", std::chrono::seconds(20));
    const auto sentBefore = commands();
    const std::size_t before = sentBefore.size();
    sim->start();
    const auto traces = static_cast<std::size_t>(std::count(sentBefore.begin(), sentBefore.end(), "TRAC? TRACE1"));
    const bool resumed = waitForLog("TRAC? TRACE1", traces + 2, std::chrono::seconds(20));
    ::kill(::getpid(), SIGTERM);
    program.join();
    ASSERT_TRUE(recording && refused && resumed) << recording << refused << resumed << err.str();
    EXPECT_EQ(status, kExitOk) << err.str();
    std::size_t count = 0;
    EXPECT_TRUE(numberedWithoutGaps(readFile(file), count));
    EXPECT_GE(count, 3u);
    EXPECT_NE(screen.text().find("; connection lost once, resumed once\n"), std::string::npos);
    EXPECT_NE(err.str().find(" connection back at attempt "), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find(" connection back at attempt 1, "), std::string::npos) << err.str();
    // The instrument opened again gets the start-up commands, and no second trace description.
    const auto sent = commands();
    EXPECT_EQ(std::vector<std::string>(sent.begin() + static_cast<std::ptrdiff_t>(before),
                                       sent.begin() + static_cast<std::ptrdiff_t>(before) + 4),
              (std::vector<std::string>{"*IDN?", "SYST:DISP:UPD ON", "INIT:CONT OFF", "SWE:TIME?"}));
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "MMEM:DATA? 'C:\\TRACE.DAT'"), 1);
    const auto events = sim->deviceEvents();
    EXPECT_TRUE(oneDeviceAtATime(events));
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[1].kind, sim::DeviceEvent::Kind::Closed);
    EXPECT_EQ(events[2].kind, sim::DeviceEvent::Kind::Opened);
}

TEST_F(RecordEndToEnd, SignalDuringTheWaitToReconnectEndsTheRecordingAtOnce) {
    START_SIMULATOR("127.0.11.6");
    // Far longer than the test may take: only a wait that the signal ends lets it pass.
    const RecordingSession::ReconnectSchedule longWait{std::chrono::minutes(10), std::chrono::minutes(10)};
    WatchedText messages;
    std::ostream messagesOut(&messages);
    int status = -1;
    std::thread program([&] {
        const std::vector<std::string> args = {"record", "--address", address, "--file", file, "--settings", ini,
                                               "--interval", "0", "--reconnect"};
        status = run(args, out, messagesOut, false, &probe, &longWait);
    });
    const bool recording = waitForLog("TRAC? TRACE1", 1, std::chrono::seconds(20));
    sim->stop();
    const bool lost = messages.waitFor(" connection lost after ", std::chrono::seconds(20));
    ::kill(::getpid(), SIGTERM);
    program.join();
    ASSERT_TRUE(recording && lost) << messages.text();
    EXPECT_EQ(status, kExitOk) << messages.text();
    EXPECT_NE(out.str().find("; connection lost once, resumed 0 times\n"), std::string::npos) << out.str();
}

TEST_F(RecordEndToEnd, HelpAndBadArguments) {
    std::vector<std::string> help = {"--help"};
    EXPECT_EQ(run(help, out, err, false), kExitOk);
    EXPECT_NE(out.str().find("Exit status"), std::string::npos);
    std::vector<std::string> bad = {"record", "--trace", "9"};
    EXPECT_EQ(run(bad, out, err, false), kExitUsage);
    EXPECT_NE(err.str().find("--help"), std::string::npos);
}

}  // namespace
}  // namespace marlin::cli
