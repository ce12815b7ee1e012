#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marlin::sim {

// A command header as instruments document it: "[SENSe:]FREQuency:CENTer",
// "DISPlay[:WINDow#]:TRACe#[:STATe]", "*IDN". Upper-case letters form the short form, the whole
// mnemonic the long form, brackets mark optional nodes and '#' a numeric suffix (default 1).
// Matching ignores letter case.
class ScpiHeaderPattern {
public:
    explicit ScpiHeaderPattern(std::string_view pattern);

    // The numeric suffixes of the '#' nodes when the upper-case tokens match, else nothing.
    std::optional<std::vector<int>> match(const std::vector<std::string>& tokens) const;

    // Whether one upper-case word matches one mnemonic such as "TRACe#" (for character parameters
    // like TRACE1); a suffix found is stored in suffix.
    static bool matchWord(std::string_view mnemonic, std::string_view word, int* suffix = nullptr);

    bool common() const { return common_; }
    const std::string& text() const { return text_; }

private:
    struct Node {
        std::string longForm;   // upper case
        std::string shortForm;  // upper case
        bool optional = false;
        bool suffix = false;
    };

    static bool matchNode(const Node& node, std::string_view token, int* suffix);
    bool matchFrom(std::size_t node, const std::vector<std::string>& tokens, std::size_t token,
                   std::vector<int>& suffixes) const;

    std::string text_;
    std::vector<Node> nodes_;
    bool common_ = false;
};

}  // namespace marlin::sim
