#include <marlin/base/TimeStamp.h>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

namespace marlin {
namespace {

TEST(TimeStampTest, LeapSecondIsTheLastSecondOfItsMinute) {
    std::tm local{};
    local.tm_year = 2016 - 1900;
    local.tm_mon = 11;
    local.tm_mday = 31;
    local.tm_wday = 6;
    local.tm_hour = 23;
    local.tm_min = 59;
    local.tm_sec = 60;
    const TimeStamp stamp = TimeStamp::fromLocal(local, 500);
    EXPECT_EQ(stamp, (TimeStamp{2016, 12, 6, 31, 23, 59, 59, 500}));
    EXPECT_EQ(stamp.isoText(), "2016-12-31 23:59:59.0500");
    EXPECT_EQ(stamp.sectionText(), "2016.12.31_23.59.59:500");
}

TEST(TimeStampTest, NowCarriesTheDayOfTheWeekOfItsDate) {
    using namespace std::chrono;
    const TimeStamp stamp = TimeStamp::now();
    const year_month_day date{year{stamp.Year}, month{static_cast<unsigned>(stamp.Month)},
                              day{static_cast<unsigned>(stamp.Day)}};
    ASSERT_TRUE(date.ok());
    EXPECT_EQ(stamp.DayOfWeek, static_cast<int>(weekday{sys_days{date}}.c_encoding()));
    EXPECT_LE(stamp.Second, 59);
}

}  // namespace
}  // namespace marlin
