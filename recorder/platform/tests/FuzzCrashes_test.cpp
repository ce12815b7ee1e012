// Replays every input the fuzzers ever found a fault with, and their seeds, so that a fault once
// fixed stays fixed.
#include <gtest/gtest.h>

#include <filesystem>

#include "marlin/testing/FuzzCorpus.h"
#include "marlin/testing/TempDir.h"
using marlin::testing::TempDir;
#include <marlin/platform/RegistryTextFormat.h>
#include <marlin/platform/VersionInfo.h>
#include <marlin/platform/VersionResource.h>

namespace marlin::platform {

namespace {

std::vector<std::filesystem::path> inputs(const char* folder) {
    return testing::corpusFiles({std::filesystem::path(MARLIN_FUZZ_CRASH_DIR) / folder,
                                 std::filesystem::path(MARLIN_FUZZ_CORPUS_DIR) / folder});
}

}  // namespace

TEST(FuzzCrashesTest, VersionResourceInputsParse) {
    EXPECT_FALSE(inputs("version_resource").empty());
    for (const auto& path : inputs("version_resource")) {
        SCOPED_TRACE(path.string());
        const std::string bytes = TempDir::read(path.string());
        const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                                 bytes.size());
        (void)VersionInfo::GetVersionRecordFromImage(data);
        const marlin::platform::VersionResource res(data);
        (void)res.fixedInfo();
        (void)res.firstTranslation();
        // And through the file reader, which reads the same bytes piece by piece.
        (void)VersionInfo::GetFileVersionRecord(path.string());
    }
}

TEST(FuzzCrashesTest, RegistryTextInputsParseAndRoundTrip) {
    EXPECT_FALSE(inputs("registry_text").empty());
    for (const auto& path : inputs("registry_text")) {
        SCOPED_TRACE(path.string());
        const std::vector<marlin::platform::RegistryRootName> roots = {
            {"HKEY_LOCAL_MACHINE", ""}, {"HKEY_CLASSES_ROOT", "SOFTWARE\\Classes"}};
        const auto first = marlin::platform::RegistryTextFormat::parse(TempDir::read(path.string()), roots);
        const std::string text = marlin::platform::RegistryTextFormat::format(first.root, "HKEY_LOCAL_MACHINE");
        const auto second = marlin::platform::RegistryTextFormat::parse(text, roots);
        EXPECT_TRUE(second.problems.empty());
        EXPECT_EQ(marlin::platform::RegistryTextFormat::format(second.root, "HKEY_LOCAL_MACHINE"), text);
    }
}

}  // namespace marlin::platform
