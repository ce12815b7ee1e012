#include <marlin/diag/ErrorTrap.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <system_error>

#include "LogFixture.h"

namespace marlin {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class ErrorTrapTest : public ::testing::Test {
protected:
    ErrorTrapTest() {
        log.SetFileName(folder.file("trap.log"));
        log.SetFileLogEnabled(true);
        log.SetErrorWindow([this](const RuntimeError& error, const std::vector<std::string>& stack) {
            errors.push_back(error);
            stacks.push_back(stack);
        });
    }

    testing::TempDir folder;
    RootDebug log;
    std::vector<RuntimeError> errors;
    std::vector<std::vector<std::string>> stacks;
};

// A procedure of the kind the About window calls: three steps, the middle one fails.
std::string ProcedureWithFailingStep(RootDebug& log, int& stepsRun) {
    ErrorTrap trap(log, "QZStandard", "GetAboutFormVersion");
    std::string result = "start";
    trap.Run([&] {
        ++stepsRun;
        result += "+one";
    });
    trap.Run([&] {
        ++stepsRun;
        throw RuntimeErrorException({91, "Object variable not set", "Marlin"});
    });
    trap.Run([&] {
        ++stepsRun;
        result += "+three";
    });
    EXPECT_EQ(trap.Failures(), 1);
    return result;
}

TEST_F(ErrorTrapTest, FailingStepIsLoggedAndTheProcedureGoesOn) {
    int steps = 0;
    EXPECT_EQ(ProcedureWithFailingStep(log, steps), "start+one+three");
    EXPECT_EQ(steps, 3);
    EXPECT_EQ(log.StackTop(), -1);
    ASSERT_EQ(errors.size(), 1U);
    EXPECT_EQ(errors[0], (RuntimeError{91, "Object variable not set", "Marlin"}));
    EXPECT_THAT(stacks[0], ElementsAre("QZStandard.GetAboutFormVersion"));
    EXPECT_THAT(testing::ReadLines(folder.file("trap.log")),
                ElementsAre("*******Fatal", "          SOURCE      : GetAboutFormVersion",
                            "          DESCRIPTION : ", "          ERROR NUMBER: 91(Object variable not set)",
                            "          ERROR SOURCE: Marlin",
                            "                        >QZStandard.GetAboutFormVersion"));
}

TEST_F(ErrorTrapTest, NestedProceduresShowTheWholeStack) {
    {
        ErrorTrap outer(log, "MainForm", "Form_Load");
        int steps = 0;
        ProcedureWithFailingStep(log, steps);
        EXPECT_EQ(log.StackTop(), 0);
    }
    EXPECT_EQ(log.StackTop(), -1);
    ASSERT_EQ(stacks.size(), 1U);
    EXPECT_THAT(stacks[0], ElementsAre("MainForm.Form_Load", "QZStandard.GetAboutFormVersion"));
}

RuntimeError ErrorOf(const std::function<void()>& thrower) {
    try {
        thrower();
    } catch (...) {
        return CurrentRuntimeError();
    }
    return {};
}

TEST(CurrentRuntimeError, MapsExceptionsToNumberedErrors) {
    const RuntimeError own = ErrorOf([] { throw RuntimeErrorException({1004, "Custom", "Registry"}); });
    EXPECT_EQ(own, (RuntimeError{1004, "Custom", "Registry"}));

    const RuntimeError system =
        ErrorOf([] { throw std::system_error(ENOENT, std::generic_category(), "open x"); });
    EXPECT_EQ(system.Number, ENOENT);
    EXPECT_THAT(system.Description, HasSubstr("open x"));
    EXPECT_EQ(system.Source, "Marlin");

    EXPECT_EQ(ErrorOf([] { throw std::bad_alloc(); }).Number, kErrOutOfMemory);
    EXPECT_EQ(ErrorOf([] { throw std::out_of_range("index"); }).Number, kErrOutOfRange);
    EXPECT_EQ(ErrorOf([] { throw std::invalid_argument("arg"); }).Number, kErrInvalidArgument);
    EXPECT_EQ(ErrorOf([] { throw std::overflow_error("big"); }).Number, kErrOverflow);
    const RuntimeError other = ErrorOf([] { throw std::logic_error("odd"); });
    EXPECT_EQ(other, (RuntimeError{kErrInternal, "odd", "Marlin"}));
    EXPECT_EQ(ErrorOf([] { throw 42; }), (RuntimeError{kErrInternal, "Internal error", "Marlin"}));
    EXPECT_EQ(CurrentRuntimeError().Number, kErrInternal);  // outside any handler
}

TEST_F(ErrorTrapTest, ReportLogsAFailureFoundWithoutAnException) {
    {
        ErrorTrap trap(log, "INIIO", "ReadSettings");
        trap.Report({kErrFileNotFound, "File not found", "Marlin"});
        EXPECT_EQ(trap.Failures(), 1);
    }
    ASSERT_EQ(errors.size(), 1U);
    EXPECT_EQ(errors[0].Number, kErrFileNotFound);
    EXPECT_THAT(stacks[0], ElementsAre("INIIO.ReadSettings"));
}

TEST_F(ErrorTrapTest, NotReadyLogDropsTheRecordAndTheProcedureGoesOn) {
    RootDebug quiet;
    int events = 0;
    quiet.ConnectDebuggerError([&](const std::string&) { ++events; });
    int steps = 0;
    EXPECT_EQ(ProcedureWithFailingStep(quiet, steps), "start+one+three");
    EXPECT_EQ(events, 1);
    EXPECT_EQ(quiet.StackTop(), -1);
}

TEST_F(ErrorTrapTest, LogFailureEndsTheProcedureAndStillPops) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full on this system";
    }
    log.SetFileName("/dev/full");
    int steps = 0;
    EXPECT_THROW(ProcedureWithFailingStep(log, steps), std::system_error);
    EXPECT_EQ(steps, 2);  // the handler's own failure ended the procedure
    EXPECT_EQ(log.StackTop(), -1);
}

TEST_F(ErrorTrapTest, SharedTrapUsesTheSharedLog) {
    auto& shared = RootDebug::Shared();
    const auto top = shared.StackTop();
    {
        ErrorTrap trap("QZStandard", "GetAboutFormVersion");
        EXPECT_EQ(&trap.Log(), &shared);
        EXPECT_EQ(shared.StackTop(), top + 1);
        EXPECT_EQ(shared.StackTexts().back(), "QZStandard.GetAboutFormVersion");
    }
    EXPECT_EQ(shared.StackTop(), top);
}

}  // namespace
}  // namespace marlin
