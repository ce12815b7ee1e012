#include "BlockFormat.h"

#include <cctype>

namespace marlin::sim {

std::string BlockFormat::header(std::size_t length) {
    const std::string digits = std::to_string(length);
    std::string out = "#";
    out += static_cast<char>('0' + digits.size());
    out += digits;
    return out;
}

void BlockFormat::append(std::string& out, std::string_view data) {
    out += header(data.size());
    out.append(data);
}

bool BlockFormat::parse(std::string_view text, std::string_view& data, std::size_t& consumed) {
    if (text.size() < 2 || text[0] != '#' || !std::isdigit(static_cast<unsigned char>(text[1])) ||
        text[1] == '0')
        return false;
    const std::size_t digits = static_cast<std::size_t>(text[1] - '0');
    if (text.size() < 2 + digits) return false;
    std::size_t length = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const char c = text[2 + i];
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        length = length * 10 + static_cast<std::size_t>(c - '0');
    }
    if (text.size() - 2 - digits < length) return false;
    data = text.substr(2 + digits, length);
    consumed = 2 + digits + length;
    return true;
}

}  // namespace marlin::sim
