#pragma once
// Walks marlin-cli's command line one argument at a time; an option's value may follow it as the
// next argument or be joined to it with "=" ("--file=x.sft").

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace marlin::cli {

class OptionScanner {
public:
    explicit OptionScanner(const std::vector<std::string>& args, std::size_t first = 0)
        : args_(args), next_(first) {}

    // Moves to the next argument; false when there is none left.
    bool next() {
        if (next_ >= args_.size()) return false;
        current_ = next_++;
        name_ = args_[current_];
        joined_.reset();
        if (name_.rfind("--", 0) == 0) {
            if (const auto eq = name_.find('='); eq != std::string::npos) {
                joined_ = name_.substr(eq + 1);
                name_.resize(eq);
            }
        }
        return true;
    }

    // The argument, an option without its joined value.
    const std::string& name() const { return name_; }
    // The argument as it was given.
    const std::string& argument() const { return args_[current_]; }
    bool hasJoinedValue() const { return joined_.has_value(); }

    // The option's value: the joined one, or else the next argument, which is used up by it.
    // Nothing when the command line ends first.
    std::optional<std::string> value() {
        if (joined_) return joined_;
        if (next_ >= args_.size()) return std::nullopt;
        return args_[next_++];
    }

private:
    const std::vector<std::string>& args_;
    std::size_t next_;
    std::size_t current_ = 0;
    std::string name_;
    std::optional<std::string> joined_;
};

}  // namespace marlin::cli
