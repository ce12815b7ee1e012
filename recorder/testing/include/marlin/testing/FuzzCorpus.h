#pragma once
// The inputs a fuzzer keeps (its seeds, and every input that ever made it fail), replayed by each
// test run so that a fault once fixed stays fixed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "marlin/testing/TempDir.h"

namespace marlin::testing {

// The files of the given folders, in name order; a folder that is not there adds nothing and the
// ".keep" placeholder of an empty one is left out.
inline std::vector<std::filesystem::path> corpusFiles(std::initializer_list<std::filesystem::path> folders) {
    std::vector<std::filesystem::path> files;
    for (const auto& folder : folders) {
        if (!std::filesystem::is_directory(folder)) continue;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.is_regular_file() && entry.path().filename() != ".keep") files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Hands the bytes of every file of the folders to `check`, each under the file's name in a
// failure, and returns how many there were (a test expects more than none).
inline std::size_t replayCorpus(std::initializer_list<std::filesystem::path> folders,
                                const std::function<void(const std::string& input)>& check) {
    const auto files = corpusFiles(folders);
    for (const auto& file : files) {
        SCOPED_TRACE(file.string());
        check(readFile(file.string()));
    }
    return files.size();
}

// The same through a fuzzer's own entry, which takes the bytes as libFuzzer hands them over.
inline std::size_t replayCorpus(std::initializer_list<std::filesystem::path> folders,
                                int (*entry)(const std::uint8_t* data, std::size_t size)) {
    return replayCorpus(folders, [entry](const std::string& input) {
        entry(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    });
}

}  // namespace marlin::testing
