#pragma once

#include <cstddef>
#include <deque>
#include <string>

namespace marlin::sim {

// The instrument's SCPI error queue: first in, first out, bounded. When it is full the newest
// entry is replaced by "Queue overflow", as instruments do, so the oldest errors survive.
class ErrorQueue {
public:
    static constexpr std::size_t kCapacity = 32;

    void push(int code);
    // The next entry as the instrument answers SYST:ERR? (`-113,"Undefined header"`), removed from
    // the queue; `0,"No error"` when the queue is empty.
    std::string pop();
    void clear() { entries_.clear(); }
    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }

    static std::string format(int code);

private:
    std::deque<int> entries_;
};

}  // namespace marlin::sim
