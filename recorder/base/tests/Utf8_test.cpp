#include <marlin/base/Utf8.h>

#include <gtest/gtest.h>

namespace marlin {
namespace {

std::string utf8(char32_t cp) {
    std::string out;
    appendUtf8(out, cp);
    return out;
}

TEST(Utf8Test, EachLengthUpToItsLastCodePoint) {
    EXPECT_EQ(utf8(U'A'), "A");
    EXPECT_EQ(utf8(0x7F), "\x7F");
    EXPECT_EQ(utf8(0x80), "\xC2\x80");
    EXPECT_EQ(utf8(0x7FF), "\xDF\xBF");
    EXPECT_EQ(utf8(0x800), "\xE0\xA0\x80");
    EXPECT_EQ(utf8(0xFFFF), "\xEF\xBF\xBF");
    EXPECT_EQ(utf8(0x10000), "\xF0\x90\x80\x80");
    EXPECT_EQ(utf8(0x10FFFF), "\xF4\x8F\xBF\xBF");
}

TEST(Utf8Test, SurrogatesAndCodePointsBeyondUnicodeBecomeTheReplacementCharacter) {
    for (char32_t cp : {char32_t{0xD800}, char32_t{0xDFFF}, char32_t{0x110000}, char32_t{0xFFFFFFFF}})
        EXPECT_EQ(utf8(cp), "\xEF\xBF\xBD") << static_cast<unsigned long>(cp);
    EXPECT_EQ(utf8(0xD7FF), "\xED\x9F\xBF");
    EXPECT_EQ(utf8(0xE000), "\xEE\x80\x80");
}

}  // namespace
}  // namespace marlin
