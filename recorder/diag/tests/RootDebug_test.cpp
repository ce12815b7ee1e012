#include <marlin/diag/RootDebug.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <stdexcept>
#include <system_error>
#include <thread>

#include <marlin/product.h>

#include "LogFixture.h"

namespace marlin {
namespace {

using ::testing::ElementsAre;
using ::testing::MatchesRegex;
using testing::readFile;
using testing::ReadLines;
using testing::TempDir;

const RuntimeError kFileNotFound{53, "File not found", "Marlin"};

// A log with its trace lines captured and its file in a private folder.
class RootDebugTest : public ::testing::Test {
protected:
    RootDebugTest() {
        log.SetTraceSink([this](std::string_view line) { trace.emplace_back(line); });
        log.SetErrorWindow([this](const RuntimeError& error, const std::vector<std::string>& stack) {
            shownErrors.push_back(error);
            shownStacks.push_back(stack);
        });
    }

    void UseFile() {
        log.SetFileName(logFile);
        log.SetFileLogEnabled(true);
    }

    TempDir folder;
    std::string logFile = folder.file("test.log");
    RootDebug log;
    std::vector<std::string> trace;
    std::vector<RuntimeError> shownErrors;
    std::vector<std::vector<std::string>> shownStacks;
};

TEST_F(RootDebugTest, NewInstanceHasItsDefaults) {
    EXPECT_EQ(log.StackTop(), -1);
    EXPECT_EQ(log.StackSlots(), 11U);
    EXPECT_FALSE(log.LogReady());
    EXPECT_FALSE(log.LogFileOpen());
    EXPECT_FALSE(log.FileLogEnabled());
    EXPECT_FALSE(log.FileTimeStamping());
    EXPECT_TRUE(log.FileSafeLogMode());
    EXPECT_EQ(log.FileLogLevel(), 7);
    EXPECT_EQ(log.FirstCritic(), 4);
    EXPECT_FALSE(log.DebuggerLogEnabled());
    EXPECT_FALSE(log.LogPushPop());
    EXPECT_TRUE(log.ShowRuntimeWindow());

    const std::filesystem::path name(log.FileName());
    EXPECT_THAT(name.filename().string(), MatchesRegex("ELOG_[0-9]{4}(_[0-9]{2}){5}\\.log"));
    // The test program's folder is writable, so the log would go beside the program.
    EXPECT_EQ(name.parent_path(), std::filesystem::read_symlink("/proc/self/exe").parent_path());
    EXPECT_FALSE(std::filesystem::exists(name));
}

TEST_F(RootDebugTest, DefaultNameFallsBackToTheUsersDataFolder) {
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string savedValue = saved ? saved : "";
    ::setenv("XDG_DATA_HOME", folder.file("data").c_str(), 1);
    const std::string name = RootDebug::DefaultFileNameIn(folder.file("not-there"));
    const std::string writable = RootDebug::DefaultFileNameIn(folder.file(""));
    if (saved) {
        ::setenv("XDG_DATA_HOME", savedValue.c_str(), 1);
    } else {
        ::unsetenv("XDG_DATA_HOME");
    }
    EXPECT_EQ(std::filesystem::path(name).parent_path(),
              std::filesystem::path(folder.file("data")) / MARLIN_PRODUCT_NAME);
    EXPECT_EQ(std::filesystem::path(writable).parent_path(),
              std::filesystem::path(folder.file("")).parent_path());
}

TEST_F(RootDebugTest, LevelTexts) {
    const char* texts[] = {"Debug", "Info", "Notice", "Warning", "Error", "Critical", "Alert", "Fatal"};
    for (int level = 0; level < 8; ++level) {
        EXPECT_EQ(RootDebug::GetLevelText(level), texts[level]);
    }
    EXPECT_EQ(RootDebug::GetLevelText(8), "Unknown");
    EXPECT_EQ(RootDebug::GetLevelText(-1), "Unknown");
}

TEST_F(RootDebugTest, OnlyFileLogEnabledAndFileNameMakeTheLogReady) {
    log.SetFileTimeStamping(true);
    log.SetFileLogLevel(3);
    log.SetFileSafeLogMode(false);
    log.SetFirstCritic(2);
    log.SetDebuggerLogEnabled(true);
    log.SetLogPushPop(true);
    log.SetShowRuntimeWindow(false);
    EXPECT_FALSE(log.LogReady());
    EXPECT_TRUE(log.FileTimeStamping());
    EXPECT_EQ(log.FileLogLevel(), 3);
    EXPECT_FALSE(log.FileSafeLogMode());
    EXPECT_EQ(log.FirstCritic(), 2);
    EXPECT_TRUE(log.DebuggerLogEnabled());
    EXPECT_TRUE(log.LogPushPop());
    EXPECT_FALSE(log.ShowRuntimeWindow());

    log.SetFileLogEnabled(false);  // any assignment, also False
    EXPECT_TRUE(log.LogReady());

    RootDebug other;
    other.SetFileName("");
    EXPECT_TRUE(other.LogReady());
    EXPECT_EQ(other.FileName(), "");
}

TEST_F(RootDebugTest, RecordOnANewInstanceRaisesDebuggerErrorAndCreatesNoFile) {
    std::vector<std::string> messages;
    const int connection = log.ConnectDebuggerError([&](const std::string& m) { messages.push_back(m); });
    log.SetDebuggerLogEnabled(true);  // does not make the log ready

    log.LogMessage(2, "AnySource", "any description");
    log.LogRuntimeError("QZStandard", "", "GetAboutFormVersion", "", kFileNotFound);

    EXPECT_THAT(messages, ElementsAre("Could not access debugger file " + log.FileName(),
                                      "Could not access debugger file " + log.FileName()));
    EXPECT_FALSE(std::filesystem::exists(log.FileName()));
    EXPECT_TRUE(trace.empty());
    EXPECT_TRUE(shownErrors.empty());  // the error window is opened only by a ready log
    EXPECT_EQ(log.StackTop(), -1);

    log.DisconnectDebuggerError(connection);
    log.LogMessage(2, "AnySource", "any description");
    EXPECT_EQ(messages.size(), 2U);
}

TEST_F(RootDebugTest, StackGrowsByTenSlotsAndTracesEveryPushAndPop) {
    log.SetDebuggerLogEnabled(true);
    log.SetLogPushPop(true);
    for (int i = 0; i < 12; ++i) {
        log.Push("Module", i % 2 ? "Button" : "", "Proc" + std::to_string(i));
    }
    EXPECT_EQ(log.StackTop(), 11);
    EXPECT_EQ(log.StackSlots(), 21U);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(log.StackEntryAt(i).FunctionName, "Proc" + std::to_string(i));
    }
    ASSERT_EQ(trace.size(), 12U);
    EXPECT_EQ(trace[0], std::string(9, ' ') + ">Module.Proc0");
    EXPECT_EQ(trace[1], std::string(10, ' ') + ">Module.Button_Proc1");
    EXPECT_EQ(trace[11], std::string(20, ' ') + ">Module.Button_Proc11");

    trace.clear();
    log.Pop();
    log.Pop();
    EXPECT_THAT(trace, ElementsAre(std::string(20, ' ') + "<", std::string(19, ' ') + "<"));
    EXPECT_EQ(log.StackTop(), 9);
    log.Push("Module", "", "Again");  // reuses the slot of a popped entry
    EXPECT_EQ(log.StackEntryAt(10).FunctionName, "Again");
    EXPECT_EQ(log.StackEntryAt(10).Info, "");
    EXPECT_THROW(log.StackEntryAt(11), std::out_of_range);
}

#ifndef _WIN32
// Without a debugger output, trace lines would mix into what a program tells its user.
TEST(RootDebugStandardErrorTest, TraceLinesReachStandardErrorOnlyWhenAskedFor) {
    const char* set = std::getenv(RootDebug::kDebugVariable);
    const std::string before = set ? set : "";
    RootDebug log;
    log.SetDebuggerLogEnabled(true);
    log.SetLogPushPop(true);
    ::unsetenv(RootDebug::kDebugVariable);
    ::testing::internal::CaptureStderr();
    log.Push("Module", "", "Quiet");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ::setenv(RootDebug::kDebugVariable, "1", 1);
    ::testing::internal::CaptureStderr();
    log.Push("Module", "", "Asked");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), std::string(10, ' ') + ">Module.Asked\n");
    if (set) {
        ::setenv(RootDebug::kDebugVariable, before.c_str(), 1);
    } else {
        ::unsetenv(RootDebug::kDebugVariable);
    }
}
#endif

TEST_F(RootDebugTest, PopOnAnEmptyStackLeavesItEmpty) {
    log.SetDebuggerLogEnabled(true);
    log.SetLogPushPop(true);
    log.Pop();
    EXPECT_EQ(log.StackTop(), -1);
    EXPECT_TRUE(trace.empty());
    log.Push("A", "", "B");
    EXPECT_EQ(log.StackTop(), 0);
    EXPECT_EQ(trace.back(), std::string(9, ' ') + ">A.B");
}

TEST_F(RootDebugTest, PushInfoReplacesTheTopEntrysInfo) {
    log.PushInfo("ignored on an empty stack");
    EXPECT_EQ(log.StackTop(), -1);
    log.Push("QZStandard", "", "GetAboutFormVersion");
    log.Push("MainForm", "StartRec", "Click");
    log.PushInfo("first");
    log.PushInfo("abc");
    EXPECT_THAT(log.StackTexts(),
                ElementsAre("QZStandard.GetAboutFormVersion", "MainForm.StartRec_Click <abc>"));
    EXPECT_GE(log.StackEntryAt(1).PushTime.Year, 2020);
}

TEST_F(RootDebugTest, RuntimeErrorRecordMatchesTheLayoutByteForByte) {
    UseFile();
    log.SetFileTimeStamping(true);
    log.Push("QZStandard", "", "GetAboutFormVersion");
    log.LogRuntimeError("QZStandard", "", "GetAboutFormVersion", "not written",
                        {53, "  File not found ", " Marlin "});

    const std::vector<std::string> lines = ReadLines(logFile);
    ASSERT_EQ(lines.size(), 7U) << readFile(logFile);
    EXPECT_EQ(lines[0], "*******Fatal");
    EXPECT_THAT(lines[1], MatchesRegex("          TIME        : [0-9]{4}-[0-9]{2}-[0-9]{2} "
                                       "[0-9]{2}:[0-9]{2}:[0-9]{2}\\.0[0-9]{3}"));
    EXPECT_EQ(lines[2], "          SOURCE      : GetAboutFormVersion");
    EXPECT_EQ(lines[3], "          DESCRIPTION : ");
    EXPECT_EQ(lines[4], "          ERROR NUMBER: 53(File not found)");
    EXPECT_EQ(lines[5], "          ERROR SOURCE: Marlin");
    EXPECT_EQ(lines[6], "                        >QZStandard.GetAboutFormVersion");
    EXPECT_EQ(readFile(logFile).find("not written"), std::string::npos);

    ASSERT_EQ(shownErrors.size(), 1U);
    EXPECT_EQ(shownErrors[0], (RuntimeError{53, "  File not found ", " Marlin "}));
    EXPECT_THAT(shownStacks[0], ElementsAre("QZStandard.GetAboutFormVersion"));
    EXPECT_EQ(log.StackTop(), 0);
}

TEST_F(RootDebugTest, RuntimeErrorFromAnotherProcedureListsTheWholeStack) {
    UseFile();
    log.Push("MainForm", "StartRec", "Click");
    log.PushInfo("recording");
    log.LogRuntimeError("QZStandard", "", "GetISOTimeString", "", {-5, "Negative", ""});

    const std::vector<std::string> lines = ReadLines(logFile);
    EXPECT_THAT(lines, ElementsAre("*******Fatal", "          SOURCE      : GetISOTimeString",
                                   "          DESCRIPTION : ", "          ERROR NUMBER: -5(Negative)",
                                   "          ERROR SOURCE: ",
                                   "                        >MainForm.StartRec_Click <recording>",
                                   "                         >QZStandard.GetISOTimeString"));
    ASSERT_EQ(shownStacks.size(), 1U);
    EXPECT_THAT(shownStacks[0],
                ElementsAre("MainForm.StartRec_Click <recording>", "QZStandard.GetISOTimeString"));
    EXPECT_EQ(log.StackTop(), 0);  // the record's own entry is gone again
}

TEST_F(RootDebugTest, MarkersFollowFirstCritic) {
    UseFile();
    for (int level = 0; level <= 7; ++level) {
        log.LogMessage(level, "S", "D");
    }
    log.SetFirstCritic(0);
    log.LogMessage(0, "S", "D");
    log.LogMessage(3, "S", "D");
    log.SetFirstCritic(8);
    log.LogMessage(4, "S", "D");
    log.LogMessage(7, "S", "D");

    std::vector<std::string> heads;
    for (const std::string& line : ReadLines(logFile)) {
        if (line.rfind("          ", 0) != 0) {
            heads.push_back(line);
        }
    }
    EXPECT_THAT(heads, ElementsAre("       Debug", "      .Info", "     ..Notice", "    ...Warning",
                                   "   ****Error", "  *****Critical", " ******Alert", "*******Fatal",  //
                                   "       Debug", "    ***Warning",                                   //
                                   "   ....Error", ".......Fatal"));
}

TEST_F(RootDebugTest, MessageRecordCarriesSourceAndDescription) {
    UseFile();
    log.LogMessage(2, "Form_Load", "settings read");
    EXPECT_THAT(ReadLines(logFile), ElementsAre("     ..Notice", "          SOURCE      : Form_Load",
                                                "          DESCRIPTION : settings read"));
    EXPECT_TRUE(shownErrors.empty());
    EXPECT_EQ(log.StackTop(), -1);
}

TEST_F(RootDebugTest, FatalMessageReportsAnEmptyErrorAndOpensTheWindow) {
    UseFile();
    log.LogMessage(7, "Watchdog", "ignored for level 7");
    EXPECT_THAT(ReadLines(logFile),
                ElementsAre("*******Fatal", "          SOURCE      : Watchdog",
                            "          DESCRIPTION : ", "          ERROR NUMBER: 0()",
                            "          ERROR SOURCE: ", "                        >.Watchdog"));
    ASSERT_EQ(shownStacks.size(), 1U);
    EXPECT_THAT(shownStacks[0], ElementsAre(".Watchdog"));
}

TEST_F(RootDebugTest, LevelOutsideTheTableIsRefusedBeforeAnythingIsWritten) {
    UseFile();
    log.Push("A", "", "B");
    EXPECT_THROW(log.LogMessage(8, "S", "D"), std::invalid_argument);
    EXPECT_THROW(log.LogMessage(-1, "S", "D"), std::invalid_argument);
    EXPECT_FALSE(std::filesystem::exists(logFile));
    EXPECT_FALSE(log.LogFileOpen());
    EXPECT_EQ(log.StackTop(), 0);
}

TEST_F(RootDebugTest, SafeModeOpensAndClosesTheFileForEveryRecord) {
    UseFile();
    log.LogMessage(1, "First", "one");
    EXPECT_FALSE(log.LogFileOpen());
    EXPECT_EQ(ReadLines(logFile).size(), 3U);

    // A closed file is opened again by name: the next record goes to the new file.
    const std::string moved = folder.file("moved.log");
    std::filesystem::rename(logFile, moved);
    log.LogMessage(1, "Second", "two");
    EXPECT_FALSE(log.LogFileOpen());
    EXPECT_EQ(ReadLines(moved).size(), 3U);
    EXPECT_THAT(ReadLines(logFile)[1], ::testing::HasSubstr("Second"));

    log.LogMessage(1, "Third", "three");
    EXPECT_EQ(ReadLines(logFile).size(), 6U);  // appended, not replaced
}

TEST_F(RootDebugTest, WithoutSafeModeTheFileStaysOpenAndEveryRecordIsOnDisk) {
    UseFile();
    log.SetFileSafeLogMode(false);
    log.LogMessage(1, "First", "one");
    EXPECT_TRUE(log.LogFileOpen());
    EXPECT_EQ(ReadLines(logFile).size(), 3U);  // flushed, though still open

    const std::string moved = folder.file("moved.log");
    std::filesystem::rename(logFile, moved);
    log.SetFileName(folder.file("ignored-while-open.log"));
    log.LogMessage(1, "Second", "two");
    EXPECT_EQ(ReadLines(moved).size(), 6U);  // still the open file
    EXPECT_FALSE(std::filesystem::exists(folder.file("ignored-while-open.log")));
}

TEST_F(RootDebugTest, ExistingFileIsAppendedTo) {
    { std::ofstream(logFile, std::ios::binary) << "earlier run\r\n"; }
    UseFile();
    log.LogMessage(0, "S", "D");
    EXPECT_THAT(ReadLines(logFile), ElementsAre("earlier run", "       Debug", "          SOURCE      : S",
                                                "          DESCRIPTION : D"));
}

TEST_F(RootDebugTest, SameEntryRecordWritesNoPushOrPopLines) {
    UseFile();
    log.SetLogPushPop(true);
    log.Push("", "", "Src");
    log.LogMessage(1, "Src", "own record");
    log.Pop();
    EXPECT_THAT(ReadLines(logFile),
                ElementsAre(std::string(9, ' ') + ">.Src", "      .Info", "          SOURCE      : Src",
                            "          DESCRIPTION : own record", std::string(9, ' ') + "<"));
}

TEST_F(RootDebugTest, RecordFromAnotherSourceIsBracketedByPushAndPopLines) {
    UseFile();
    log.Push("MainForm", "", "Form_Load");
    log.SetLogPushPop(true);
    log.LogMessage(1, "Other", "foreign record");
    EXPECT_THAT(ReadLines(logFile),
                ElementsAre(std::string(10, ' ') + ">.Other", "      .Info", "          SOURCE      : Other",
                            "          DESCRIPTION : foreign record", std::string(10, ' ') + "<"));
    EXPECT_EQ(log.StackTop(), 0);
}

TEST_F(RootDebugTest, LinesGoToFileAndTraceSinkTogether) {
    UseFile();
    log.SetDebuggerLogEnabled(true);
    log.LogMessage(3, "S", "D");
    EXPECT_THAT(trace,
                ElementsAre("    ...Warning", "          SOURCE      : S", "          DESCRIPTION : D"));
    EXPECT_EQ(readFile(logFile),
              "    ...Warning\r\n          SOURCE      : S\r\n          DESCRIPTION : D\r\n");
}

TEST_F(RootDebugTest, TraceSinkOnlyLogTouchesNoFile) {
    log.SetFileName(logFile);  // ready, file logging still off
    log.SetDebuggerLogEnabled(true);
    log.LogMessage(1, "S", "D");
    EXPECT_EQ(trace.size(), 3U);
    EXPECT_FALSE(std::filesystem::exists(logFile));
}

TEST_F(RootDebugTest, PushPopLinesOutsideARecordReachTheFileAndLeaveItClosed) {
    UseFile();
    log.SetLogPushPop(true);
    log.Push("M", "", "F");
    EXPECT_FALSE(log.LogFileOpen());
    log.Pop();
    EXPECT_THAT(ReadLines(logFile), ElementsAre(std::string(9, ' ') + ">M.F", std::string(9, ' ') + "<"));
}

TEST_F(RootDebugTest, FileThatCannotBeOpenedFailsTheRecordAndChangesNothing) {
    log.SetFileName(folder.file("no-such-folder/x.log"));
    log.SetFileLogEnabled(true);
    log.Push("M", "", "F");
    try {
        log.LogMessage(1, "S", "D");
        FAIL() << "no error";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code().value(), ENOENT);
    }
    EXPECT_EQ(log.StackTop(), 0);
    EXPECT_FALSE(log.LogFileOpen());

    log.SetFileName(logFile);
    log.LogMessage(1, "S", "D");
    EXPECT_EQ(ReadLines(logFile).size(), 3U);
}

TEST_F(RootDebugTest, WriteFailureKeepsTheRecordsAlreadyWritten) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full on this system";
    }
    UseFile();
    log.LogMessage(1, "Before", "kept");
    log.Push("M", "", "F");

    log.SetFileName("/dev/full");  // opens fine, every write fails
    try {
        log.LogMessage(1, "Full", "disk full");
        FAIL() << "no error";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code().value(), ENOSPC);
    }
    EXPECT_FALSE(log.LogFileOpen());
    EXPECT_EQ(log.StackTop(), 0);  // the record's own entry did not stay behind

    log.SetFileName(logFile);
    log.LogMessage(1, "After", "appended");
    const std::vector<std::string> lines = ReadLines(logFile);
    ASSERT_EQ(lines.size(), 6U);
    EXPECT_EQ(lines[1], "          SOURCE      : Before");
    EXPECT_EQ(lines[4], "          SOURCE      : After");
}

TEST_F(RootDebugTest, HandlersMayUseTheLogWhileTheErrorWindowWaits) {
    UseFile();
    log.SetErrorWindow([this](const RuntimeError&, const std::vector<std::string>& stack) {
        // Another event handler runs inside the window's wait and reports too.
        log.Push("Timer", "", "Tick");
        for (int i = 0; i < 20; ++i) {  // forces the stack to grow under the record
            log.Push("Deep", "", std::to_string(i));
        }
        for (int i = 0; i < 20; ++i) {
            log.Pop();
        }
        log.LogMessage(4, "Tick", "inner");
        log.Pop();
        shownStacks.push_back(stack);
    });
    log.Push("MainForm", "StartRec", "Click");
    log.LogRuntimeError("MainForm", "StartRec", "Click", "", kFileNotFound);
    EXPECT_EQ(log.StackTop(), 0);
    ASSERT_EQ(shownStacks.size(), 1U);
    EXPECT_THAT(shownStacks[0], ElementsAre("MainForm.StartRec_Click"));
    const std::vector<std::string> lines = ReadLines(logFile);
    ASSERT_EQ(lines.size(), 9U);
    EXPECT_EQ(lines[6], "   ****Error");
    EXPECT_EQ(lines[7], "          SOURCE      : Tick");
}

TEST_F(RootDebugTest, FailingErrorWindowLeavesTheStackAsItWas) {
    UseFile();
    log.SetErrorWindow(
        [](const RuntimeError&, const std::vector<std::string>&) { throw std::runtime_error("no window"); });
    log.Push("M", "", "Outer");
    EXPECT_THROW(log.LogRuntimeError("M", "", "Inner", "", kFileNotFound), std::runtime_error);
    EXPECT_EQ(log.StackTop(), 0);
    EXPECT_FALSE(log.LogFileOpen());
    EXPECT_EQ(ReadLines(logFile).size(), 7U);
}

TEST_F(RootDebugTest, RecordsFromTwoThreadsStayWhole) {
    UseFile();
    log.SetFileSafeLogMode(false);
    constexpr int kRecords = 300;
    auto worker = [this](const std::string& name) {
        for (int i = 0; i < kRecords; ++i) {
            log.Push(name, "", "Step");
            log.LogMessage(1, name, std::to_string(i));
            log.Pop();
        }
    };
    std::thread first(worker, "First");
    std::thread second(worker, "Second");
    first.join();
    second.join();

    EXPECT_EQ(log.StackTop(), -1);
    const std::vector<std::string> lines = ReadLines(logFile);
    ASSERT_EQ(lines.size(), 2U * kRecords * 3);
    for (std::size_t i = 0; i < lines.size(); i += 3) {
        EXPECT_EQ(lines[i], "      .Info");
        EXPECT_THAT(lines[i + 1], MatchesRegex("          SOURCE      : (First|Second)"));
        EXPECT_THAT(lines[i + 2], MatchesRegex("          DESCRIPTION : [0-9]+"));
    }
}

TEST_F(RootDebugTest, OtherThreadsKeepLoggingWhileTheErrorWindowIsOpen) {
    UseFile();
    log.SetErrorWindow([this](const RuntimeError&, const std::vector<std::string>&) {
        std::thread worker([this] { log.LogMessage(2, "Worker", "while the window is open"); });
        worker.join();
    });
    log.LogRuntimeError("M", "", "F", "", kFileNotFound);
    const std::vector<std::string> lines = ReadLines(logFile);
    ASSERT_EQ(lines.size(), 9U);
    EXPECT_EQ(lines[7], "          SOURCE      : Worker");
}

TEST(RootDebugShared, IsOneInstance) {
    EXPECT_EQ(&RootDebug::Shared(), &RootDebug::Shared());
}

}  // namespace
}  // namespace marlin
