// Replays every input the fuzzer ever failed on, and its seeds, so that a fault once fixed stays fixed.
#include <gtest/gtest.h>

#include "FuzzOneInput.h"
#include "marlin/testing/FuzzCorpus.h"

namespace {

TEST(FuzzCrashesTest, TraceFileInputsRead) {
    const auto replayed = marlin::testing::replayCorpus({MARLIN_FUZZ_CRASH_DIR, MARLIN_FUZZ_CORPUS_DIR},
                                                        marlin::reader::fuzzOneInput);
    EXPECT_GT(replayed, 0u);
}

}  // namespace
