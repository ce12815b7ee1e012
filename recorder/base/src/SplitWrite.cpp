#include "marlin/base/SplitWrite.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <system_error>
#include <thread>
#include <vector>

namespace marlin {

char* TextBuffer::room(std::size_t bytes) {
    if (bytes > capacity_ - size_) {
        const std::size_t capacity = std::max(size_ + bytes, capacity_ + capacity_ / 2);
        std::unique_ptr<char[]> grown(new char[capacity]);  // not cleared: only what is written is read
        if (size_ > 0) std::memcpy(grown.get(), data_.get(), size_);
        data_ = std::move(grown);
        capacity_ = capacity;
    }
    return data_.get() + size_;
}

namespace {

// Items a thread takes at a time: few enough that the two threads end close together, enough
// that taking a piece costs nothing beside writing it.
constexpr std::size_t kPieceItems = 1024;

// The pieces not yet taken, [front, back), in one word so that either end moves at once.
class Pieces {
public:
    explicit Pieces(std::size_t count) : ends_(static_cast<std::uint64_t>(count) << 32) {}

    // The next piece from the front or from the back; false when none is left.
    bool take(bool fromBack, std::size_t& piece) {
        std::uint64_t now = ends_.load(std::memory_order_relaxed);
        for (;;) {
            const auto front = static_cast<std::uint32_t>(now);
            const auto back = static_cast<std::uint32_t>(now >> 32);
            if (front >= back) return false;
            piece = fromBack ? back - 1 : front;
            const std::uint64_t next = fromBack ? now - (std::uint64_t{1} << 32) : now + 1;
            // Relaxed: what the pieces hold reaches the calling thread through the join.
            if (ends_.compare_exchange_weak(now, next, std::memory_order_relaxed)) return true;
        }
    }

private:
    std::atomic<std::uint64_t> ends_;
};

// Items [0, count) at p, with a helper thread; nullptr, and nothing written, when no thread is
// to be had.
char* writeOnTwoThreads(char* p, std::size_t count, std::size_t maxItemBytes, const WriteRange& write) {
    const std::size_t pieces = (count + kPieceItems - 1) / kPieceItems;
    // The helper writes its pieces last to first, each into a slot of its own. Kept for the next
    // run: a recording writes one such run per reading.
    const std::size_t stride = kPieceItems * maxItemBytes + kWriteSlack;
    thread_local std::unique_ptr<char[]> slots;
    thread_local std::size_t slotBytes = 0;
    thread_local std::vector<std::size_t> lengths;
    if (slotBytes < pieces * stride) {
        slots.reset(new char[pieces * stride]);
        slotBytes = pieces * stride;
    }
    lengths.resize(pieces);
    // The helper thread has thread-local buffers of its own: it is handed these.
    char* const slotsAt = slots.get();
    std::size_t* const lengthOf = lengths.data();

    Pieces left(pieces);
    auto writePiece = [&](std::size_t piece, char* at) {
        const std::size_t first = piece * kPieceItems;
        return write(at, first, std::min(count, first + kPieceItems));
    };
    std::thread helper;
    try {
        helper = std::thread([&] {
            std::size_t piece;
            while (left.take(true, piece)) {
                char* const at = slotsAt + piece * stride;
                lengthOf[piece] = static_cast<std::size_t>(writePiece(piece, at) - at);
            }
        });
    } catch (const std::system_error&) {
        return nullptr;
    }
    std::size_t piece;
    std::size_t mine = 0;  // the calling thread's pieces are the first ones, in order
    while (left.take(false, piece)) {
        p = writePiece(piece, p);
        ++mine;
    }
    helper.join();
    for (std::size_t k = mine; k < pieces; ++k) {
        std::memcpy(p, slotsAt + k * stride, lengthOf[k]);
        p += lengthOf[k];
    }
    return p;
}

}  // namespace

void appendTexts(TextBuffer& out, std::size_t count, std::size_t maxItemBytes, const WriteRange& write) {
    static const bool twoCores = std::thread::hardware_concurrency() > 1;
    char* const at = out.room(count * maxItemBytes + kWriteSlack);
    char* end = count >= kSplitWriteFrom && twoCores ? writeOnTwoThreads(at, count, maxItemBytes, write) : nullptr;
    if (!end) end = write(at, 0, count);  // short, one core, or no thread to be had: all on this one
    out.setEnd(end);
}

}  // namespace marlin
