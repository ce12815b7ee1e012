#include "ValueLine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace marlin::reader {
namespace {

TEST(ValueLineTest, SplitsTheRecordersNumberTexts) {
    std::vector<float> v(5);
    EXPECT_EQ(splitValues("-56.27; .5; 1.234568E-05;-.25; 0", ";", v), 5u);
    EXPECT_EQ(v, (std::vector<float>{-56.27f, 0.5f, 1.234568E-05f, -0.25f, 0.0f}));
    // Without a separator the sign characters still split the line.
    EXPECT_EQ(splitValues(" 1-2 3E+20-4.5E-07", "", v), 4u);
    EXPECT_EQ(v[2], 3E+20f);
    EXPECT_EQ(v[3], -4.5E-07f);
    EXPECT_EQ(splitValues(" NaN,-Inf", ",", v), 2u);
    EXPECT_TRUE(std::isnan(v[0]));
    EXPECT_EQ(v[1], -INFINITY);
}

TEST(ValueLineTest, RejectsLinesThatAreNotValues) {
    EXPECT_FALSE(splitValues("", ";"));
    EXPECT_FALSE(splitValues(" 1;", ";"));
    EXPECT_FALSE(splitValues(" 1; x", ";"));
    EXPECT_FALSE(splitValues("1; 2", ";"));  // no sign character
    EXPECT_FALSE(splitValues(" 1,, 2", ","));
}

TEST(ValueLineTest, InfersTheSeparatorFromTheCount) {
    EXPECT_EQ(inferSeparator(" 1 2 3", 3), "");
    EXPECT_EQ(inferSeparator(" 1  2  3", 3), " ");
    EXPECT_EQ(inferSeparator("-1.5E-05::-2:: 3", 3), "::");
    EXPECT_EQ(inferSeparator(" 12 13", 2), "");
    // Separators made of number characters: only when nothing else reads the line.
    EXPECT_EQ(inferSeparator(" 51 6", 2), "");
    EXPECT_EQ(inferSeparator(" 5E 6", 2), "E");
    EXPECT_EQ(inferSeparator(" 5.. 6", 2), ".");
    EXPECT_EQ(inferSeparator(" 7", 1), "");
    EXPECT_EQ(inferSeparator(" 1; 2", 3), std::nullopt);
}

}  // namespace
}  // namespace marlin::reader
