#include "marlin/base/SplitWrite.h"

#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

namespace marlin {

namespace {

// Items [0, count) at p, the second half on a helper thread into a buffer of the calling thread
// and copied after the first; nullptr when no thread is to be had.
char* writeInHalves(char* p, std::size_t count, std::size_t maxItemBytes, const WriteRange& write) {
    // Kept for the next run: a recording writes one such run per reading.
    thread_local std::vector<char> tail;
    const std::size_t half = count / 2;
    tail.resize((count - half) * maxItemBytes + kWriteSlack);
    char* const tailStart = tail.data();  // the helper thread has a `tail` of its own
    char* tailEnd = tailStart;
    try {
        std::thread helper([&] { tailEnd = write(tailStart, half, count); });
        p = write(p, 0, half);
        helper.join();
    } catch (const std::system_error&) {
        return nullptr;
    }
    const auto tailLength = static_cast<std::size_t>(tailEnd - tailStart);
    std::memcpy(p, tailStart, tailLength);
    return p + tailLength;
}

}  // namespace

void appendTexts(std::string& out, std::size_t count, std::size_t maxItemBytes, const WriteRange& write) {
    static const bool twoCores = std::thread::hardware_concurrency() > 1;
    const std::size_t start = out.size();
    out.resize(start + count * maxItemBytes + kWriteSlack);  // also leaves room for a line end after
    char* const at = out.data() + start;
    char* end =
        count >= kSplitWriteFrom && twoCores ? writeInHalves(at, count, maxItemBytes, write) : nullptr;
    if (!end) end = write(at, 0, count);  // short, one core, or no thread to be had: all on this one
    out.resize(static_cast<std::size_t>(end - out.data()));
}

}  // namespace marlin
