#pragma once
// Packs a chunk of 32-bit values as HDF5's shuffle and deflate filters store it, so that any HDF5
// reader unpacks it with those two standard filters: the bytes regrouped by significance (byte 0
// of every value, then byte 1, ...), then one zlib stream.
//
// Each of the four byte planes becomes a deflate block of its own. A plane that a code cannot make
// smaller (the low bytes of measured values are noise) is stored as it is; the others get a
// Huffman code of their own, with runs of a repeated byte as matches at distance 1. That packs
// measured values as well as a general deflate at its fastest level, several times faster.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace marlin::cli {

class ChunkPacker {
public:
    // Packs `size` bytes of 4-byte values (size a multiple of 4) into the start of `out`, which
    // grows when it is too small (and never shrinks, so that it is not cleared every time);
    // returns the length of the packed chunk.
    std::size_t pack(const void* values, std::size_t size, std::vector<char>& out);

private:
    std::vector<unsigned char> shuffled_;
};

}  // namespace marlin::cli
