#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace marlin::sim {

// IEEE 488.2 definite-length blocks: "#", the number of length digits, the length, the data.
struct BlockFormat {
    // The header "#42004" for 2004 data bytes ("#10" for none).
    static std::string header(std::size_t length);
    // Header, then data.
    static void append(std::string& out, std::string_view data);
    // Parses a block at the start of text: the data it holds, or false when text does not start
    // with a complete block.
    static bool parse(std::string_view text, std::string_view& data, std::size_t& consumed);
};

}  // namespace marlin::sim
