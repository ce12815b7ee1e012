#include "marlin/core/QzibBinding.h"

#include <gtest/gtest.h>

namespace marlin {
namespace {

TEST(BusLibraryTest, MissingLibraryIsReportedNotFatal) {
    QzibBinding bus("/nonexistent-marlin-dir/libqzib32.so.1");
    BusState state;
    EXPECT_EQ(bus.ibfind("localhost", state), -1);
    EXPECT_EQ(static_cast<std::uint16_t>(state.ibsta), kStatusErr);
    const auto error = bus.bindingError();
    EXPECT_NE(error.find("/nonexistent-marlin-dir/libqzib32.so.1"), std::string::npos);
    EXPECT_NE(error.find("could not be loaded"), std::string::npos);
    char buffer[4];
    EXPECT_EQ(static_cast<std::uint16_t>(bus.ilrd(1, buffer, 4, state)), kStatusErr);
}

TEST(BusLibraryTest, FunctionsAreLookedUpAtTheirFirstUse) {
    QzibBinding bus(MARLIN_TEST_PARTIAL_BUS);
    BusState state;
    // The library has QZDLLibfind only: that call works, and nothing is missing yet.
    EXPECT_EQ(bus.ibfind("x", state), 42);
    EXPECT_EQ(static_cast<std::uint16_t>(state.ibsta), kStatusCmpl);
    EXPECT_TRUE(bus.bindingError().empty());
    // The first call of a missing function names it.
    EXPECT_EQ(static_cast<std::uint16_t>(bus.ibwrt(42, "*IDN?", state)), kStatusErr);
    EXPECT_NE(bus.bindingError().find("QZDLLibwrt"), std::string::npos);
}

TEST(BusLibraryTest, PathComesFromTheEnvironmentWhenNotGiven) {
    ::setenv(QzibBinding::kPathVariable, "/some/where/libqzib32.so.1", 1);
    QzibBinding bus;
    EXPECT_EQ(bus.libraryPath(), "/some/where/libqzib32.so.1");
    ::unsetenv(QzibBinding::kPathVariable);
    QzibBinding byDefault;
    EXPECT_NE(byDefault.libraryPath().find(QzibBinding::defaultFileName()), std::string::npos);
}

}  // namespace
}  // namespace marlin

#include "FakeWindow.h"
#include "marlin/testing/FakeHostProbe.h"
#include "marlin/testing/TempDir.h"
#include "marlin/core/RecordingSession.h"

namespace marlin {
namespace {

TEST(BusLibraryTest, SessionNamesAFunctionTheLibraryLacks) {
    testing::TempDir dir;
    testing::FakeStopwatch stopwatch;
    testing::FakeWindow window(stopwatch);
    window.settings.fileName = dir.file("t.sft");
    testing::FakeHostProbe probe;
    QzibBinding bus(MARLIN_TEST_PARTIAL_BUS);
    RecordingSession session(window, bus, probe, stopwatch);
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), RecordingSession::Outcome::BusUnavailable);
    ASSERT_EQ(window.warnings.size(), 1u);
    EXPECT_NE(window.warnings[0].find("QZDLLibwrt"), std::string::npos) << window.warnings[0];
    EXPECT_TRUE(window.startEnabled);
}

TEST(BusLibraryTest, StartChecksEveryFunctionBeforeAnythingIsSentOrTouched) {
    testing::TempDir dir;
    testing::FakeStopwatch stopwatch;
    testing::FakeWindow window(stopwatch);
    window.settings.fileName = dir.file("t.sft");
    testing::writeFile(window.settings.fileName, "earlier recording");
    testing::FakeHostProbe probe;
    QzibBinding bus(MARLIN_TEST_BUS_WITHOUT_LOCAL);
    RecordingSession session(window, bus, probe, stopwatch);
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), RecordingSession::Outcome::BusUnavailable);
    ASSERT_EQ(window.warnings.size(), 1u);
    EXPECT_NE(window.warnings[0].find("has no function QZDLLibloc"), std::string::npos) << window.warnings[0];
    EXPECT_TRUE(probe.checked.empty());
    EXPECT_EQ(testing::readFile(window.settings.fileName), "earlier recording");
}

}  // namespace
}  // namespace marlin
