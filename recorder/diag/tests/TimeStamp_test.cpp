#include <marlin/diag/TimeStamp.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

#include <marlin/diag/RootDebug.h>

namespace marlin::QZStandard {
namespace {

TEST(GetISOTimeString, WritesFourDigitMilliseconds) {
    EXPECT_EQ(GetISOTimeString({2010, 12, 0, 8, 13, 52, 56, 123}), "2010-12-08 13:52:56.0123");
    EXPECT_EQ(GetISOTimeString({2026, 1, 0, 2, 3, 4, 5, 0}), "2026-01-02 03:04:05.0000");
    EXPECT_EQ(GetISOTimeString({999, 7, 0, 31, 23, 59, 59, 999}), "0999-07-31 23:59:59.0999");
}

// The shared log is the program's; these tests put it back as they found it.
class SharedLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto& log = marlin::RootDebug::Shared();
        log.SetTraceSink([this](std::string_view line) { lines.emplace_back(line); });
        log.SetDebuggerLogEnabled(true);
        log.SetLogPushPop(true);
    }
    void TearDown() override {
        auto& log = marlin::RootDebug::Shared();
        log.SetLogPushPop(false);
        log.SetDebuggerLogEnabled(false);
        log.SetTraceSink(nullptr);
    }
    std::vector<std::string> lines;
};

TEST_F(SharedLogTest, GetISOTimeStringIsOnTheCallStackWhileItRuns) {
    auto& log = marlin::RootDebug::Shared();
    const auto top = log.StackTop();
    std::vector<std::string> stackInside;
    log.SetTraceSink([&](std::string_view line) {
        lines.emplace_back(line);
        if (line.find('>') != std::string_view::npos) {
            log.PushInfo("abc");
            stackInside = log.StackTexts();
        }
    });
    GetISOTimeString({2010, 12, 0, 8, 13, 52, 56, 123});
    EXPECT_EQ(log.StackTop(), top);
    ASSERT_FALSE(stackInside.empty());
    EXPECT_EQ(stackInside.back(), "QZStandard.GetISOTimeString <abc>");
    const std::string indent(static_cast<std::size_t>(top + 1) + 9, ' ');
    EXPECT_THAT(lines, ::testing::ElementsAre(indent + ">QZStandard.GetISOTimeString", indent + "<"));
}

std::chrono::milliseconds LocalMillis(const TimeStamp& s) {
    std::tm tm{};
    tm.tm_year = s.Year - 1900;
    tm.tm_mon = s.Month - 1;
    tm.tm_mday = s.Day;
    tm.tm_hour = s.Hour;
    tm.tm_min = s.Minute;
    tm.tm_sec = s.Second;
    tm.tm_isdst = -1;
    return std::chrono::seconds(std::mktime(&tm)) + std::chrono::milliseconds(s.Milliseconds);
}

TEST(CurrentTimeStamp, IsTheLocalTimeToTheMillisecond) {
    using namespace std::chrono;
    for (int i = 0; i < 200; ++i) {
        const auto before = duration_cast<milliseconds>(system_clock::now().time_since_epoch());
        const TimeStamp stamp = CurrentTimeStamp();
        const auto after = duration_cast<milliseconds>(system_clock::now().time_since_epoch());
        EXPECT_EQ(stamp.DayOfWeek, 0);
        EXPECT_GE(stamp.Milliseconds, 0);
        EXPECT_LE(stamp.Milliseconds, 999);
        // Seconds and milliseconds come from one reading, so the stamp never jumps
        // a second ahead near a second boundary.
        const auto at = LocalMillis(stamp);
        ASSERT_LE(before, at) << GetISOTimeString(stamp);
        ASSERT_LE(at, after) << GetISOTimeString(stamp);
    }
}

}  // namespace
}  // namespace marlin::QZStandard
