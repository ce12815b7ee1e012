// What CTest hands the window's tests: every entry of their environment, not just the first.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

namespace {

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "(not set)";
}

TEST(TestEnvironmentTest, EveryEntryReachesTheTest) {
    EXPECT_EQ(variable("QT_QPA_PLATFORM"), "offscreen");
#ifdef MARLIN_TEST_LSAN_OPTIONS
    // Without it the sanitizer build's leak check fails every Qt test on the font library.
    EXPECT_EQ(variable("LSAN_OPTIONS"), MARLIN_TEST_LSAN_OPTIONS);
#endif
}

}  // namespace
