// The simulator fuzzers' kept inputs (seeds and every input that ever failed) run again on
// each test run, through the fuzzers' own entries.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

int FuzzScpiCommands(const std::uint8_t* data, std::size_t size);
int FuzzSessionStream(const std::uint8_t* data, std::size_t size);

namespace {

int replay(const std::string& folder, int (*fuzz)(const std::uint8_t*, std::size_t)) {
    const std::filesystem::path corpus = std::filesystem::path(ANALYZER_SIM_FUZZ_CORPUS_DIR) / folder;
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string input(std::istreambuf_iterator<char>(in), {});
        SCOPED_TRACE(entry.path().string());
        fuzz(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
        ++replayed;
    }
    return replayed;
}

}  // namespace

TEST(SimulatorFuzz, ReplaysTheCommandCorpus) {
    EXPECT_GT(replay("commands", FuzzScpiCommands), 0);
}

TEST(SimulatorFuzz, ReplaysTheSessionStreamCorpus) {
    EXPECT_GT(replay("wire", FuzzSessionStream), 0);
}
