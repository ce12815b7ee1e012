#include "ScpiValues.h"

#include <gtest/gtest.h>

#include "ScpiErrors.h"

namespace marlin::sim::scpi {
namespace {

TEST(ScpiValuesTest, NumbersTakeUnitSuffixesOfTheirKind) {
    EXPECT_DOUBLE_EQ(parseNumber("1.5 GHz", Unit::Frequency).value, 1.5e9);
    EXPECT_DOUBLE_EQ(parseNumber("100MHZ", Unit::Frequency).value, 100e6);
    EXPECT_DOUBLE_EQ(parseNumber("+2.5e3", Unit::Frequency).value, 2500.0);
    EXPECT_DOUBLE_EQ(parseNumber("5ms", Unit::Time).value, 0.005);
    EXPECT_DOUBLE_EQ(parseNumber("-10dBm", Unit::Level).value, -10.0);
    EXPECT_EQ(parseNumber("5 ms", Unit::Frequency).error, kInvalidSuffix);
    EXPECT_EQ(parseNumber("abc", Unit::Time).error, kDataTypeError);
    EXPECT_EQ(parseNumber("", Unit::Time).error, kDataTypeError);
    EXPECT_EQ(parseNumber("max", Unit::Time).kind, Number::Kind::Maximum);
    EXPECT_EQ(parseNumber("MIN", Unit::Time).kind, Number::Kind::Minimum);
    EXPECT_EQ(parseNumber("DEF", Unit::Time).kind, Number::Kind::Default);
    EXPECT_EQ(parseNumber("1e999", Unit::None).error, kDataTypeError);
}

TEST(ScpiValuesTest, BooleansAndStrings) {
    EXPECT_EQ(parseBoolean("on"), true);
    EXPECT_EQ(parseBoolean("0"), false);
    EXPECT_FALSE(parseBoolean("2"));
    EXPECT_EQ(parseString("'C:\\TRACE.DAT'"), "C:\\TRACE.DAT");
    EXPECT_EQ(parseString("\"it''s\""), "it''s");
    EXPECT_EQ(parseString("'it''s'"), "it's");
    EXPECT_FALSE(parseString("'open"));
    EXPECT_FALSE(parseString("bare"));
    EXPECT_FALSE(parseString("'a'b'"));
}

TEST(ScpiValuesTest, RepliesUseWholeNumbersWhereTheyCanAndShortestTextOtherwise) {
    EXPECT_EQ(formatNumber(1e9), "1000000000");
    EXPECT_EQ(formatNumber(0.005), "0.005");
    EXPECT_EQ(formatNumber(-92.5), "-92.5");
    EXPECT_EQ(formatNumber(0.0), "0");
}

}  // namespace
}  // namespace marlin::sim::scpi
