// The device fuzzer's kept inputs (seeds and every input that ever failed) run again on each
// test run, through the fuzzer's own entry.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

int FuzzDeviceStream(const std::uint8_t* data, std::size_t size);

TEST(qzib32Fuzz, ReplaysTheDeviceStreamCorpus) {
    const std::filesystem::path corpus = QZIB32_FUZZ_CORPUS_DIR;
    ASSERT_TRUE(std::filesystem::is_directory(corpus)) << corpus;
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string input(std::istreambuf_iterator<char>(in), {});
        SCOPED_TRACE(entry.path().string());
        FuzzDeviceStream(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}
