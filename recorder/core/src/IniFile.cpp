#include "marlin/core/IniFile.h"

#include <fstream>
#include <vector>

#include "marlin/core/TextHelpers.h"

#include <marlin/base/AtomicFile.h>

namespace marlin {

namespace {

struct Line {
    std::string text;    // without its line end
    std::string ending;  // "\r\n", "\n" or "" (last line without one)
};

std::string_view trim(std::string_view s) {
    const auto start = s.find_first_not_of(" \t");
    if (start == std::string_view::npos) return {};
    const auto end = s.find_last_not_of(" \t");
    return s.substr(start, end - start + 1);
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

enum class ReadResult { Read, Missing, TooLarge };

// Reads the whole file, but never more than the size limit plus one byte.
ReadResult readContent(const std::string& path, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return ReadResult::Missing;
    content.resize(IniFile::kMaxFileSize + 1);
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    content.resize(static_cast<std::size_t>(in.gcount()));
    return content.size() > IniFile::kMaxFileSize ? ReadResult::TooLarge : ReadResult::Read;
}

ReadResult readLines(const std::string& path, std::vector<Line>& lines) {
    std::string content;
    const ReadResult result = readContent(path, content);
    if (result != ReadResult::Read) return result;
    std::size_t pos = 0;
    while (pos < content.size()) {
        const auto nl = content.find('\n', pos);
        if (nl == std::string::npos) {
            lines.push_back({content.substr(pos), ""});
            break;
        }
        Line line;
        if (nl > pos && content[nl - 1] == '\r') {
            line.text = content.substr(pos, nl - 1 - pos);
            line.ending = "\r\n";
        } else {
            line.text = content.substr(pos, nl - pos);
            line.ending = "\n";
        }
        lines.push_back(std::move(line));
        pos = nl + 1;
    }
    return ReadResult::Read;
}

// The section name of a "[name]" line, or nullopt for any other line.
std::optional<std::string_view> sectionName(std::string_view line) {
    line = trim(line);
    if (line.size() < 2 || line.front() != '[') return std::nullopt;
    const auto close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return trim(line.substr(1, close - 1));
}

// Splits a "key=value" line; nullopt for a line without "=" or a comment.
std::optional<std::pair<std::string_view, std::string_view>> keyValue(std::string_view line) {
    const auto t = trim(line);
    if (t.empty() || t.front() == ';') return std::nullopt;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return std::make_pair(trim(line.substr(0, eq)), trim(line.substr(eq + 1)));
}

}  // namespace

std::string IniFile::readString(const std::string& file, std::string_view section, std::string_view key,
                                std::string_view fallback) {
    std::vector<Line> lines;
    std::string value(fallback);
    if (readLines(file, lines) == ReadResult::Read) {
        bool inSection = false;
        for (const auto& line : lines) {
            if (const auto name = sectionName(line.text)) {
                inSection = equalsNoCase(*name, section);
                continue;
            }
            if (!inSection) continue;
            const auto kv = keyValue(line.text);
            if (kv && equalsNoCase(kv->first, key)) {
                std::string_view v = kv->second;
                if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
                    v = v.substr(1, v.size() - 2);
                }
                value.assign(v);
                break;
            }
        }
    }
    if (value.size() > kMaxValueLength) value.resize(kMaxValueLength);
    return value;
}

bool IniFile::writeString(const std::string& file, std::string_view section, std::string_view key,
                          std::string_view value) {
    std::vector<Line> lines;
    if (readLines(file, lines) == ReadResult::TooLarge) return false;
#ifdef _WIN32
    std::string newline = "\r\n";
#else
    std::string newline = "\n";
#endif
    if (!lines.empty() && !lines.front().ending.empty()) newline = lines.front().ending;

    const std::string entry = std::string(key) + "=" + std::string(value);
    bool inSection = false;
    bool sectionFound = false;
    std::size_t insertAt = lines.size();  // after the last key line of the section
    bool done = false;
    for (std::size_t i = 0; i < lines.size() && !done; ++i) {
        if (const auto name = sectionName(lines[i].text)) {
            if (inSection) break;  // left our section without finding the key
            inSection = equalsNoCase(*name, section);
            if (inSection) {
                sectionFound = true;
                insertAt = i + 1;
            }
            continue;
        }
        if (!inSection) continue;
        const auto kv = keyValue(lines[i].text);
        if (kv && equalsNoCase(kv->first, key)) {
            lines[i].text = entry;
            done = true;
        } else if (!trim(lines[i].text).empty()) {
            insertAt = i + 1;
        }
    }
    if (!done) {
        if (!lines.empty() && lines.back().ending.empty()) lines.back().ending = newline;
        if (sectionFound) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), Line{entry, newline});
        } else {
            lines.push_back({"[" + std::string(section) + "]", newline});
            lines.push_back({entry, newline});
        }
    }

    std::string content;
    for (const auto& line : lines) {
        content += line.text;
        content += line.ending;
    }
    return AtomicFile::replace(file, content) == 0;
}

bool IniFile::withinSizeLimit(const std::string& file) {
    std::string content;
    return readContent(file, content) != ReadResult::TooLarge;
}

std::string ReadIniValue(const std::string& file, std::string_view section, std::string_view key,
                         std::optional<std::string_view> defaultValue) {
    return IniFile::readString(file, section, key, defaultValue.value_or("1"));
}

bool WriteIniValue(const std::string& file, std::string_view section, std::string_view key,
                   std::string_view value) {
    return IniFile::writeString(file, section, key, value);
}

bool WriteIniValue(const std::string& file, std::string_view section, std::string_view key, long long value) {
    return IniFile::writeString(file, section, key, TrimText(static_cast<std::int64_t>(value)));
}

bool WriteIniFlag(const std::string& file, std::string_view section, std::string_view key, bool value) {
    return IniFile::writeString(file, section, key, value ? "1" : "0");
}

}  // namespace marlin
