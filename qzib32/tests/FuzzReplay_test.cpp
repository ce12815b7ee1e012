// The device fuzzer's kept inputs (seeds and every input that ever failed) run again on each
// test run, through the fuzzer's own entry.

#include <gtest/gtest.h>

#include <cstdint>

#include "marlin/testing/FuzzCorpus.h"

int FuzzDeviceStream(const std::uint8_t* data, std::size_t size);

TEST(qzib32Fuzz, ReplaysTheDeviceStreamCorpus) {
    EXPECT_GT(marlin::testing::replayCorpus({QZIB32_FUZZ_CORPUS_DIR}, FuzzDeviceStream), 0u);
}
