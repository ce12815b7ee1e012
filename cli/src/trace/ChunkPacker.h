#pragma once
// Packs a chunk of 32-bit values as HDF5's shuffle and deflate filters store it, so that any HDF5
// reader unpacks it with those two standard filters: the bytes regrouped by significance (byte 0
// of every value, then byte 1, ...), then one zlib stream.
//
// Each of the four byte planes becomes a deflate block of its own. A plane that a code cannot make
// smaller (the low bytes of measured values are noise) is stored as it is; the others get a
// Huffman code of their own, with runs of a repeated byte as matches at distance 1. The code of a
// large plane is made from a sample of it (a sixteenth), and the bytes are coded up to six at a time;
// should the plane come out no smaller than stored, it is stored after all. That packs measured
// values as well as a general deflate at its fastest level, many times faster.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace marlin::cli {

class ChunkPacker {
public:
    ChunkPacker();
    ~ChunkPacker();
    ChunkPacker(ChunkPacker&&) noexcept;
    ChunkPacker& operator=(ChunkPacker&&) noexcept;

    // The room that packing `size` bytes of values may need.
    static std::size_t packedBound(std::size_t size);
    // Packs `size` bytes of 4-byte values (size a multiple of 4) into `out`, which has room for
    // packedBound(size) bytes; returns the length of the packed chunk.
    std::size_t pack(const void* values, std::size_t size, char* out);
    // The same for values already shuffled: the four planes of size / 4 bytes one after another.
    std::size_t packShuffled(const unsigned char* planes, std::size_t size, char* out);

    // Byte k of each of `count` 4-byte values to plane k, the planes `planeSize` bytes apart from
    // `planes` on: the order of HDF5's shuffle filter. A chunk may be shuffled a few values at a time.
    static void shuffle(const void* values, std::size_t count, unsigned char* planes, std::size_t planeSize);

private:
    struct Tables;
    std::unique_ptr<Tables> tables_;
};

}  // namespace marlin::cli
