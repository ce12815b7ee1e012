#include "ScpiHeaderPattern.h"

#include <cctype>
#include <stdexcept>

namespace marlin::sim {
namespace {

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

ScpiHeaderPattern::ScpiHeaderPattern(std::string_view pattern) : text_(pattern) {
    if (!pattern.empty() && pattern.front() == '*') {
        common_ = true;
        pattern.remove_prefix(1);
    }
    bool optional = false;
    std::string mnemonic;
    auto finish = [&] {
        if (mnemonic.empty()) return;
        Node node;
        node.optional = optional;
        if (mnemonic.back() == '#') {
            node.suffix = true;
            mnemonic.pop_back();
        }
        for (char c : mnemonic) {
            if (std::isupper(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)))
                node.shortForm.push_back(c);
        }
        node.longForm = upper(mnemonic);
        if (node.shortForm.empty()) node.shortForm = node.longForm;
        nodes_.push_back(std::move(node));
        mnemonic.clear();
    };
    for (char c : pattern) {
        if (c == '[') {
            finish();
            optional = true;
        } else if (c == ']') {
            finish();
            optional = false;
        } else if (c == ':') {
            finish();
        } else {
            mnemonic.push_back(c);
        }
    }
    finish();
    if (nodes_.empty()) throw std::invalid_argument("empty SCPI header pattern");
}

bool ScpiHeaderPattern::matchNode(const Node& node, std::string_view token, int* suffix) {
    std::string_view word = token;
    int value = 1;
    if (node.suffix) {
        std::size_t end = word.size();
        while (end > 0 && std::isdigit(static_cast<unsigned char>(word[end - 1]))) --end;
        if (end < word.size()) {
            if (word.size() - end > 6) return false;
            value = 0;
            for (std::size_t i = end; i < word.size(); ++i) value = value * 10 + (word[i] - '0');
            word = word.substr(0, end);
        }
    }
    if (word != node.longForm && word != node.shortForm) return false;
    if (suffix) *suffix = value;
    return true;
}

bool ScpiHeaderPattern::matchWord(std::string_view mnemonic, std::string_view word, int* suffix) {
    const ScpiHeaderPattern pattern(mnemonic);
    return pattern.nodes_.size() == 1 && matchNode(pattern.nodes_.front(), upper(word), suffix);
}

bool ScpiHeaderPattern::matchFrom(std::size_t node, const std::vector<std::string>& tokens, std::size_t token,
                                  std::vector<int>& suffixes) const {
    if (node == nodes_.size()) return token == tokens.size();
    const Node& n = nodes_[node];
    const std::size_t mark = suffixes.size();
    if (token < tokens.size()) {
        int suffix = 1;
        if (matchNode(n, tokens[token], &suffix)) {
            if (n.suffix) suffixes.push_back(suffix);
            if (matchFrom(node + 1, tokens, token + 1, suffixes)) return true;
            suffixes.resize(mark);
        }
    }
    if (n.optional) {
        if (n.suffix) suffixes.push_back(1);
        if (matchFrom(node + 1, tokens, token, suffixes)) return true;
        suffixes.resize(mark);
    }
    return false;
}

std::optional<std::vector<int>> ScpiHeaderPattern::match(const std::vector<std::string>& tokens) const {
    std::vector<int> suffixes;
    if (matchFrom(0, tokens, 0, suffixes)) return suffixes;
    return std::nullopt;
}

}  // namespace marlin::sim
