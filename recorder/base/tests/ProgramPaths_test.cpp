#include <marlin/base/ProgramPaths.h>

#include <gtest/gtest.h>

namespace marlin {
namespace {

TEST(ProgramPathsTest, TheProgramIsThisTestAndItsFolderHoldsIt) {
    const auto exe = ProgramPaths::executablePath();
    EXPECT_EQ(exe.filename(), "marlin_base_tests");
    EXPECT_EQ(ProgramPaths::executableDir(), exe.parent_path().string());
    EXPECT_TRUE(std::filesystem::is_regular_file(
        ProgramPaths::join(ProgramPaths::executableDir(), "marlin_base_tests")));
}

}  // namespace
}  // namespace marlin
