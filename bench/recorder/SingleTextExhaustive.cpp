// Checks the fast single-precision number text against the library conversion for every one of
// the 2^32 bit patterns (or a range of them: FIRST and LAST in hex). Run by hand; it takes
// minutes, so it is no test. Prints the patterns that differ and how many took the slow path.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "marlin/core/SingleText.h"
#include "marlin/core/TextHelpers.h"

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf(
            "Usage: marlin_single_text_exhaustive [FIRST LAST]\n"
            "Compares the fast number text of a single with the library conversion for every bit\n"
            "pattern from FIRST to LAST (hexadecimal, default 0 to FFFFFFFF). Exit status 0 when all\n"
            "agree, 1 when any differs (each is printed, the first 20 in full).\n");
        return 0;
    }
    std::uint64_t first = 0, last = 0xFFFFFFFFu;
    if (argc == 3) {
        first = std::strtoull(argv[1], nullptr, 16);
        last = std::strtoull(argv[2], nullptr, 16);
    } else if (argc != 1) {
        std::fprintf(stderr, "marlin_single_text_exhaustive: give FIRST and LAST, or nothing; see --help\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t differ = 0;
    for (std::uint64_t pattern = first; pattern <= last; ++pattern) {
        const auto bits = static_cast<std::uint32_t>(pattern);
        float value;
        std::memcpy(&value, &bits, 4);
        char fast[marlin::kMaxSingleNumberText], general[marlin::kMaxSingleNumberText];
        const std::size_t fastLength = static_cast<std::size_t>(marlin::writeSingleText(fast, value) - fast);
        const std::size_t generalLength =
            static_cast<std::size_t>(marlin::writeSingleTextGeneral(general, value) - general);
        if (fastLength != generalLength || std::memcmp(fast, general, fastLength) != 0) {
            if (++differ <= 20)
                std::printf("%08X: fast \"%.*s\", library \"%.*s\"\n", bits, static_cast<int>(fastLength), fast,
                            static_cast<int>(generalLength), general);
        }
        if ((pattern & 0x0FFFFFFFu) == 0x0FFFFFFFu) {
            std::fprintf(stderr, "  up to %08X, %llu differ\n", bits, static_cast<unsigned long long>(differ));
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%llu patterns from %08llX to %08llX checked in %.0f s: %llu differ\n",
                static_cast<unsigned long long>(last - first + 1), static_cast<unsigned long long>(first),
                static_cast<unsigned long long>(last), seconds, static_cast<unsigned long long>(differ));
    return differ == 0 ? 0 : 1;
}
