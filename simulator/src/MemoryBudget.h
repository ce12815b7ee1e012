#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

namespace marlin::sim {

// Bytes that all devices of a simulator may hold together (messages being received, stored
// files). Shared by the sessions; safe to use from any thread.
class MemoryBudget {
public:
    explicit MemoryBudget(std::size_t limit) : limit_(limit) {}

    bool take(std::size_t bytes) {
        std::size_t used = used_.load();
        do {
            if (bytes > limit_ || used > limit_ - bytes) return false;
        } while (!used_.compare_exchange_weak(used, used + bytes));
        return true;
    }
    void give(std::size_t bytes) { used_.fetch_sub(bytes); }
    std::size_t used() const { return used_.load(); }

private:
    const std::size_t limit_;
    std::atomic<std::size_t> used_{0};
};

// A share of a budget that goes back when the holder lets it go; without a budget, any amount.
class BudgetShare {
public:
    explicit BudgetShare(std::shared_ptr<MemoryBudget> budget = nullptr) : budget_(std::move(budget)) {}
    ~BudgetShare() { release(); }
    BudgetShare(const BudgetShare&) = delete;
    BudgetShare& operator=(const BudgetShare&) = delete;

    bool grow(std::size_t bytes) {
        if (budget_ && !budget_->take(bytes)) return false;
        held_ += bytes;
        return true;
    }
    void shrink(std::size_t bytes) {
        if (bytes > held_) bytes = held_;
        if (budget_) budget_->give(bytes);
        held_ -= bytes;
    }
    void release() { shrink(held_); }
    // Gives back what is held and draws on another budget from now on.
    void reset(std::shared_ptr<MemoryBudget> budget) {
        release();
        budget_ = std::move(budget);
    }
    std::size_t held() const { return held_; }

private:
    std::shared_ptr<MemoryBudget> budget_;
    std::size_t held_ = 0;
};

}  // namespace marlin::sim
