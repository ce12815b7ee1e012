#include "marlin/base/SplitWrite.h"

#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

namespace marlin {

char* splitWrite(char* p, std::size_t count, std::size_t roomPerItem, const WriteRange& write) {
    static const bool twoCores = std::thread::hardware_concurrency() > 1;
    if (count < kSplitWriteFrom || !twoCores) return write(p, 0, count);
    // Kept for the next run: a recording writes one such run per reading.
    thread_local std::vector<char> tail;
    const std::size_t half = count / 2;
    tail.resize((count - half) * roomPerItem);
    char* const tailStart = tail.data();  // the helper thread has a `tail` of its own
    char* tailEnd = tailStart;
    try {
        std::thread helper([&] { tailEnd = write(tailStart, half, count); });
        p = write(p, 0, half);
        helper.join();
    } catch (const std::system_error&) {  // no thread to be had: all on this one
        return write(p, 0, count);
    }
    const auto tailLength = static_cast<std::size_t>(tailEnd - tailStart);
    std::memcpy(p, tailStart, tailLength);
    return p + tailLength;
}

}  // namespace marlin
