#include "ErrorQueue.h"

#include "ScpiErrors.h"

namespace marlin::sim {

void ErrorQueue::push(int code) {
    if (code == scpi::kNoError) return;
    if (entries_.size() >= kCapacity) {
        entries_.back() = scpi::kQueueOverflow;
        return;
    }
    entries_.push_back(code);
}

std::string ErrorQueue::pop() {
    if (entries_.empty()) return format(scpi::kNoError);
    const int code = entries_.front();
    entries_.pop_front();
    return format(code);
}

std::string ErrorQueue::format(int code) {
    std::string text = std::to_string(code);
    text += ",\"";
    text += scpi::errorText(code);
    text += '"';
    return text;
}

}  // namespace marlin::sim
