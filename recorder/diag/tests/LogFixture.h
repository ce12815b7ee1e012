// Shared helper of the diagnostics tests: the lines the log wrote. The folder for the log files
// is the shared TempDir.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "marlin/testing/TempDir.h"

namespace marlin::testing {

// The file's lines without their CR LF; fails the test on a line that lacks it.
inline std::vector<std::string> ReadLines(const std::string& name) {
    const std::string text = readFile(name);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "line without CR LF at the end of " << name;
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

}  // namespace marlin::testing
