#pragma once
// Writing a long run of texts (the values of a 100,001-point trace) on two cores. The run is cut
// into pieces: the calling thread takes them from the front and writes them in place, a helper
// thread takes them from the back into a buffer of its own, and the two meet wherever they meet,
// so a helper that starts late (an idle core can take a while to wake) simply takes fewer. The
// helper's pieces are then copied after the calling thread's. Short runs, and every run on a
// single core, are written in place on the calling thread alone.

#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>

namespace marlin {

// A text built piece by piece into memory kept from one use to the next (a recording's section,
// an export's row). Room is made without clearing it, which a std::string does for every byte
// it grows by.
class TextBuffer {
public:
    std::string_view view() const { return {data_.get(), size_}; }
    std::size_t size() const { return size_; }
    void clear() { size_ = 0; }

    TextBuffer& operator+=(std::string_view text) {
        std::memcpy(room(text.size()), text.data(), text.size());
        size_ += text.size();
        return *this;
    }
    TextBuffer& operator+=(char c) {
        *room(1) = c;
        ++size_;
        return *this;
    }

    // Room for `bytes` more after the text, as it is in memory; setEnd takes what was written.
    char* room(std::size_t bytes);
    void setEnd(const char* end) { size_ = static_cast<std::size_t>(end - data_.get()); }

private:
    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// From this many items on the work is split: starting a thread costs about what 2,000 values do.
inline constexpr std::size_t kSplitWriteFrom = 16384;

// What a writer may store past the end of its last text (stores of fixed length).
inline constexpr std::size_t kWriteSlack = 32;

// Writes items [first, last) at `at` and returns the end.
using WriteRange = std::function<char*(char* at, std::size_t first, std::size_t last)>;

// Appends items [0, count) to `out`, each at most maxItemBytes long (with its separator).
void appendTexts(TextBuffer& out, std::size_t count, std::size_t maxItemBytes, const WriteRange& write);

}  // namespace marlin
