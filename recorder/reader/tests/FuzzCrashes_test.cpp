// Replays every input the fuzzer ever failed on, and its seeds, so that a fault once fixed stays fixed.
#include <gtest/gtest.h>

#include <filesystem>

#include "FuzzOneInput.h"
#include "marlin/testing/TempDir.h"

namespace {

TEST(FuzzCrashesTest, TraceFileInputsRead) {
    std::size_t count = 0;
    for (const char* base : {MARLIN_FUZZ_CRASH_DIR, MARLIN_FUZZ_CORPUS_DIR}) {
        if (!std::filesystem::exists(base)) continue;
        for (const auto& e : std::filesystem::directory_iterator(base)) {
            if (!e.is_regular_file() || e.path().filename() == ".keep") continue;
            SCOPED_TRACE(e.path().string());
            marlin::reader::fuzzOneInput(marlin::testing::readFile(e.path().string()));
            ++count;
        }
    }
    EXPECT_GT(count, 0u);
}

}  // namespace
