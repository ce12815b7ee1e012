#include "marlin/core/TextHelpers.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

namespace marlin {
namespace {

TEST(NumberTextTest, SignBlankAndNoLeadingZero) {
    EXPECT_EQ(NumberText(2.0f), " 2");
    EXPECT_EQ(NumberText(0.5f), " .5");
    EXPECT_EQ(NumberText(-56.27f), "-56.27");
    EXPECT_EQ(NumberText(-0.25f), "-.25");
    EXPECT_EQ(NumberText(0.0f), " 0");
    EXPECT_EQ(NumberText(-0.0f), " 0");
    EXPECT_EQ(NumberText(12), " 12");
    EXPECT_EQ(NumberText(-3), "-3");
    EXPECT_EQ(NumberText(std::int64_t{0}), " 0");
}

TEST(NumberTextTest, SevenSignificantDigitsForSingles) {
    EXPECT_EQ(NumberText(1.2345678e-5f), " 1.234568E-05");
    EXPECT_EQ(NumberText(1234567.0f), " 1234567");
    EXPECT_EQ(NumberText(12345678.0f), " 1.234568E+07");
    EXPECT_EQ(NumberText(0.0001f), " .0001");
    EXPECT_EQ(NumberText(-1e-20f), "-1E-20");
    EXPECT_EQ(NumberText(3.4e38f), " 3.4E+38");
    EXPECT_EQ(NumberText(-80.12345f), "-80.12345");
    EXPECT_EQ(NumberText(1.4e-45f), " 1.401298E-45");  // the smallest single
    EXPECT_EQ(NumberText(-3.4028235e38f), "-3.402823E+38");
    EXPECT_EQ(NumberText(-1.7976931348623157e308), "-1.79769313486232E+308");
}

TEST(NumberTextTest, FifteenDigitsForDoubles) {
    EXPECT_EQ(NumberText(0.1), " .1");
    EXPECT_EQ(NumberText(1.0 / 3.0), " .333333333333333");
    EXPECT_EQ(NumberText(1e15), " 1E+15");
    EXPECT_EQ(NumberText(123456789012345.0), " 123456789012345");
}

TEST(NumberTextTest, NotANumberAndInfinityAreNamed) {
    EXPECT_EQ(NumberText(std::numeric_limits<float>::quiet_NaN()), " NaN");
    EXPECT_EQ(NumberText(-std::numeric_limits<float>::infinity()), "-Inf");
}

TEST(NumberTextTest, DecimalPointWhateverTheLocale) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "de_DE")) {
        GTEST_SKIP() << "no German locale installed";
    }
    EXPECT_EQ(NumberText(-50.5f), "-50.5");
    EXPECT_EQ(fixedText(0.5, 6), "0.500000");
    EXPECT_DOUBLE_EQ(ParseNumber("1.5"), 1.5);
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(TrimTextTest, RemovesTheSignBlank) {
    EXPECT_EQ(TrimText(2), "2");
    EXPECT_EQ(TrimText(0.5f), ".5");
    EXPECT_EQ(TrimText(-7), "-7");
}

TEST(StripLineEndsTest, Cases) {
    EXPECT_EQ(StripLineEnds(std::string("  ab\r\n\0", 7)), "ab");
    EXPECT_EQ(StripLineEnds("\r\nab"), "ab");
    EXPECT_EQ(StripLineEnds("\r\n"), "");
    EXPECT_EQ(StripLineEnds("a \r"), "a ");
    EXPECT_EQ(StripLineEnds("    "), "");
    EXPECT_EQ(StripLineEnds(""), "");
}

TEST(PadTextTest, Alignments) {
    EXPECT_EQ(PadText("ab", 5, 0, "*"), "ab***");
    EXPECT_EQ(PadText("ab", 5, 1, "*"), "***ab");
    EXPECT_EQ(PadText("ab", 5, 2, "*"), "**ab*");
    EXPECT_EQ(PadText("ab", 7, 2, "*"), "**ab***");  // 5 missing: 2.5 rounds to 2 on the left
    EXPECT_EQ(PadText("abcdef", 5, 1, "*"), "abcdef");
    EXPECT_EQ(PadText("ab", 5, 7, "*"), "");
    EXPECT_EQ(PadText("ab", 4, 0, "xyz"), "abxx");
}

TEST(ParseNumberTest, DecimalMarksAndThousands) {
    EXPECT_DOUBLE_EQ(ParseNumber("1,5"), 1.5);
    EXPECT_DOUBLE_EQ(ParseNumber("1.234,5"), 1234.5);
    EXPECT_DOUBLE_EQ(ParseNumber("1,234.5"), 1234.5);
    EXPECT_DOUBLE_EQ(ParseNumber("0,001"), 0.001);
    EXPECT_DOUBLE_EQ(ParseNumber("2 s"), 2.0);
    EXPECT_DOUBLE_EQ(ParseNumber("abc"), 0.0);
    EXPECT_DOUBLE_EQ(ParseNumber(""), 0.0);
    EXPECT_DOUBLE_EQ(ParseNumber("1.5e1"), 15.0);
    EXPECT_DOUBLE_EQ(ParseNumber("1 0"), 10.0);
    EXPECT_DOUBLE_EQ(ParseNumber("-3"), -3.0);
    EXPECT_DOUBLE_EQ(ParseNumber("1e999"), 0.0);  // not a finite double
}

TEST(LeadingNumberTest, ScanRules) {
    EXPECT_DOUBLE_EQ(leadingNumber(" \t\n12.5xyz"), 12.5);
    EXPECT_DOUBLE_EQ(leadingNumber("2D2"), 200.0);
    EXPECT_DOUBLE_EQ(leadingNumber("&HFF"), 255.0);
    EXPECT_DOUBLE_EQ(leadingNumber("&o17"), 15.0);
    EXPECT_DOUBLE_EQ(leadingNumber("."), 0.0);
    EXPECT_DOUBLE_EQ(leadingNumber("3E"), 3.0);
    EXPECT_DOUBLE_EQ(leadingNumber("+.5"), 0.5);
}

TEST(ConvertTextTest, RangesAndRounding) {
    EXPECT_EQ(ConvertText("2.5", ValueType::Int16), 2.0);
    EXPECT_EQ(ConvertText("3.5", ValueType::Int16), 4.0);
    EXPECT_EQ(ConvertText("40000", ValueType::Int16), std::nullopt);
    EXPECT_EQ(ConvertText("40000", ValueType::Int16, -1.0), -1.0);
    EXPECT_EQ(ConvertText("40000", ValueType::Int32), 40000.0);
    EXPECT_EQ(ConvertText("256", ValueType::Byte), std::nullopt);
    EXPECT_EQ(ConvertText("1e39", ValueType::Single), std::nullopt);
    EXPECT_EQ(ConvertText("0.1", ValueType::Single), static_cast<double>(0.1f));
    EXPECT_EQ(ConvertText("x", ValueType::Double), 0.0);
    EXPECT_EQ(ConvertText("1", static_cast<ValueType>(9)), std::nullopt);
}

TEST(NearestEvenTest, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(nearestEven(2.5), 2.0);
    EXPECT_EQ(nearestEven(3.5), 4.0);
    EXPECT_EQ(nearestEven(-2.5), -2.0);
    EXPECT_EQ(nearestEven(2.4999), 2.0);
    EXPECT_EQ(nearestEven(1e300), 1e300);
}

}  // namespace
}  // namespace marlin
