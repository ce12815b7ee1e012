#include "ScpiParser.h"

#include <cctype>

#include "ScpiErrors.h"

namespace marlin::sim {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Length of the definite-length block starting at s[pos] == '#', or 0 when it is not a complete one.
// "#0" (indefinite) runs to the end of the message.
std::size_t blockLength(std::string_view s, std::size_t pos) {
    if (pos + 1 >= s.size() || !std::isdigit(static_cast<unsigned char>(s[pos + 1]))) return 0;
    const std::size_t digits = static_cast<std::size_t>(s[pos + 1] - '0');
    if (digits == 0) return s.size() - pos;
    if (pos + 2 + digits > s.size()) return 0;
    std::size_t length = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const char c = s[pos + 2 + i];
        if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
        length = length * 10 + static_cast<std::size_t>(c - '0');
        if (length > s.size()) return 0;
    }
    const std::size_t total = 2 + digits + length;
    return pos + total <= s.size() ? total : 0;
}

// Position of the first separator at or after from that is outside quotes and blocks, or npos.
std::size_t findOutside(std::string_view s, std::size_t from, char separator) {
    char quote = 0;
    for (std::size_t i = from; i < s.size(); ++i) {
        const char c = s[i];
        if (quote) {
            if (c == quote) {
                // A doubled quote inside a string stands for the quote character itself.
                if (i + 1 < s.size() && s[i + 1] == quote) {
                    ++i;
                } else {
                    quote = 0;
                }
            }
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '#') {
            const std::size_t n = blockLength(s, i);
            if (n > 0) i += n - 1;
        } else if (c == separator) {
            return i;
        }
    }
    return std::string_view::npos;
}

// Splits s at separator characters that are outside quotes and blocks.
std::vector<std::string_view> splitOutside(std::string_view s, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = findOutside(s, start, separator);
        if (end == std::string_view::npos) break;
        parts.push_back(s.substr(start, end - start));
        start = end + 1;
    }
    parts.push_back(s.substr(start));
    return parts;
}

bool isHeaderChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

}  // namespace

ScpiCommand ScpiParser::parseUnit(std::string_view unit) {
    ScpiCommand cmd;
    unit = trim(unit);
    cmd.text = std::string(unit);

    std::size_t i = 0;
    if (i < unit.size() && unit[i] == '*') {
        cmd.common = true;
        ++i;
    } else if (i < unit.size() && unit[i] == ':') {
        cmd.absolute = true;
        ++i;
    }
    std::string token;
    bool expectMnemonic = true;
    for (; i < unit.size(); ++i) {
        const char c = unit[i];
        if (isHeaderChar(c)) {
            token.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
            expectMnemonic = false;
        } else if (c == ':' && !cmd.common) {
            if (expectMnemonic) {
                cmd.syntaxError = scpi::kSyntaxError;
                return cmd;
            }
            cmd.tokens.push_back(std::move(token));
            token.clear();
            expectMnemonic = true;
        } else if (c == '?') {
            cmd.query = true;
            ++i;
            break;
        } else if (isBlank(c)) {
            break;
        } else {
            cmd.syntaxError = scpi::kInvalidCharacter;
            return cmd;
        }
    }
    if (token.empty()) {
        cmd.syntaxError = scpi::kSyntaxError;
        return cmd;
    }
    cmd.tokens.push_back(std::move(token));

    std::string_view rest = unit.substr(i);
    if (!rest.empty() && !isBlank(rest.front())) {
        // Something glued to the header, such as "*IDN?X".
        cmd.syntaxError = scpi::kInvalidSeparator;
        return cmd;
    }
    rest = trim(rest);
    if (rest.empty()) return cmd;
    for (std::string_view p : splitOutside(rest, ',')) {
        p = trim(p);
        if (p.empty()) {
            cmd.syntaxError = scpi::kSyntaxError;
            cmd.params.clear();
            return cmd;
        }
        cmd.params.emplace_back(p);
    }
    return cmd;
}

ScpiParser::Units::Units(std::string_view message) : message_(trim(message)) {}

bool ScpiParser::Units::next(ScpiCommand& command) {
    while (!done_) {
        const std::size_t end = findOutside(message_, pos_, ';');
        const std::string_view unit =
            trim(message_.substr(pos_, end == std::string_view::npos ? std::string_view::npos : end - pos_));
        done_ = end == std::string_view::npos;
        pos_ = done_ ? message_.size() : end + 1;
        if (!unit.empty()) {
            command = parseUnit(unit);
            return true;
        }
        // A lone trailing ';' is tolerated; an empty unit between two others is not.
        if (!done_) {
            command = ScpiCommand{};
            command.syntaxError = scpi::kSyntaxError;
            return true;
        }
    }
    return false;
}

std::vector<ScpiCommand> ScpiParser::parse(std::string_view message) {
    std::vector<ScpiCommand> commands;
    Units units(message);
    ScpiCommand command;
    while (units.next(command)) commands.push_back(std::move(command));
    return commands;
}

}  // namespace marlin::sim
