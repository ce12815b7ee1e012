// The simulator fuzzers' kept inputs (seeds and every input that ever failed) run again on
// each test run, through the fuzzers' own entries.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>

#include "marlin/testing/FuzzCorpus.h"

int FuzzScpiCommands(const std::uint8_t* data, std::size_t size);
int FuzzSessionStream(const std::uint8_t* data, std::size_t size);

namespace {

const std::filesystem::path kCorpus = ANALYZER_SIM_FUZZ_CORPUS_DIR;

}  // namespace

TEST(SimulatorFuzz, ReplaysTheCommandCorpus) {
    EXPECT_GT(marlin::testing::replayCorpus({kCorpus / "commands"}, FuzzScpiCommands), 0u);
}

TEST(SimulatorFuzz, ReplaysTheSessionStreamCorpus) {
    EXPECT_GT(marlin::testing::replayCorpus({kCorpus / "wire"}, FuzzSessionStream), 0u);
}
