#include <marlin/platform/RegistryTextFormat.h>

#include <cstdio>
#include <optional>

#include <marlin/platform/VersionResource.h>

namespace marlin::platform {

namespace {

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && registryNameEquals(s.substr(0, prefix.size()), prefix);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted text at s[pos] == '"'; on success pos is just past the closing quote.
bool readQuoted(std::string_view s, std::size_t& pos, std::string& out) {
    if (pos >= s.size() || s[pos] != '"') return false;
    for (std::size_t i = pos + 1; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
            out += s[++i];
        } else if (s[i] == '"') {
            pos = i + 1;
            return true;
        } else {
            // A lone backslash, as people type it in paths, stays what it is.
            out += s[i];
        }
    }
    return false;
}

// The data part of a value line ("name"=data or @=data), with the name; nothing for other lines.
std::optional<std::string_view> valueData(std::string_view line, std::string& name) {
    std::size_t pos = 0;
    if (!line.empty() && line.front() == '@') {
        pos = 1;
    } else if (!readQuoted(line, pos, name)) {
        return std::nullopt;
    }
    const std::string_view rest = trim(line.substr(pos));
    if (rest.empty() || rest.front() != '=') return std::nullopt;
    return trim(rest.substr(1));
}

bool parseHexBytes(std::string_view s, std::vector<std::uint8_t>& out) {
    s = trim(s);
    if (s.empty()) return true;
    std::size_t pos = 0;
    while (pos < s.size()) {
        std::size_t comma = s.find(',', pos);
        if (comma == std::string_view::npos) comma = s.size();
        const std::string_view item = trim(s.substr(pos, comma - pos));
        pos = comma + 1;
        if (item.empty() && comma == s.size()) break;  // trailing comma
        if (item.empty() || item.size() > 2) return false;
        int v = 0;
        for (char c : item) {
            const int d = hexDigit(c);
            if (d < 0) return false;
            v = v * 16 + d;
        }
        out.push_back(static_cast<std::uint8_t>(v));
    }
    return true;
}

// UTF-16LE code units, zero characters included, as UTF-8.
std::vector<std::uint8_t> utf16BytesToUtf8(const std::vector<std::uint8_t>& in) {
    std::vector<std::uint8_t> out;
    std::size_t start = 0;
    const std::size_t units = in.size() / 2;
    for (std::size_t i = 0; i <= units; ++i) {
        if (i == units || (in[2 * i] == 0 && in[2 * i + 1] == 0)) {
            const std::string part = VersionResource::utf16ToUtf8(
                std::span<const std::uint8_t>(in.data() + 2 * start, 2 * (i - start)));
            out.insert(out.end(), part.begin(), part.end());
            if (i < units) out.push_back(0);
            start = i + 1;
        }
    }
    return out;
}

// A UTF-16LE file (with its byte-order mark) as UTF-8 text.
std::string decodeFile(std::string_view text) {
    if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
        static_cast<unsigned char>(text[1]) == 0xFE) {
        std::vector<std::uint8_t> units(text.begin() + 2, text.end());
        const auto utf8 = utf16BytesToUtf8(units);
        return std::string(utf8.begin(), utf8.end());
    }
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    return std::string(text);
}

bool isPlainText(const std::vector<std::uint8_t>& data) {
    if (data.empty() || data.back() != 0) return false;
    for (std::size_t i = 0; i + 1 < data.size(); ++i) {
        if (data[i] == 0 || data[i] == '\r' || data[i] == '\n') return false;
    }
    return true;
}

}  // namespace

std::string RegistryTextFormat::quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + '"';
}

RegistryParseResult RegistryTextFormat::parse(std::string_view raw,
                                              const std::vector<RegistryRootName>& roots) {
    RegistryParseResult result;
    const std::string text = decodeFile(raw);

    // Physical lines; a hex value ending in "\" continues on the next line.
    std::vector<std::pair<std::size_t, std::string>> lines;
    {
        std::size_t pos = 0, number = 0;
        bool continuing = false;
        while (pos < text.size()) {
            std::size_t end = text.find('\n', pos);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(pos, end - pos);
            pos = end + 1;
            ++number;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            // Each piece is looked at once, so that a value continued over many lines (a few
            // megabytes of binary data) is read in time linear in its size.
            if (continuing) {
                std::string_view piece = trim(line);
                continuing = !piece.empty() && piece.back() == '\\';
                if (continuing) piece.remove_suffix(1);
                lines.back().second += piece;
                continue;
            }
            lines.emplace_back(number, line);
            std::string& logical = lines.back().second;
            const std::string_view last = trim(logical);
            std::string ignored;
            const auto data = valueData(last, ignored);
            continuing = data && !data->empty() && data->back() == '\\' && startsWithNoCase(*data, "hex");
            if (continuing)
                logical.resize(static_cast<std::size_t>(last.data() - logical.data()) + last.size() - 1);
        }
    }

    bool v5 = false, headerSeen = false;
    RegistryKey* current = nullptr;
    auto problem = [&](std::size_t line, const std::string& what) {
        result.problems.push_back("line " + std::to_string(line) + ": " + what);
    };

    for (const auto& [number, fullLine] : lines) {
        const std::string_view line = trim(fullLine);
        if (line.empty() || line.front() == ';') continue;
        if (!headerSeen) {
            headerSeen = true;
            if (line == kHeader5) {
                v5 = true;
                continue;
            }
            if (line == kHeader4) continue;
            problem(number, "the file does not start with \"" + std::string(kHeader4) + "\"");
        }

        if (line.front() == '[') {
            const auto close = line.rfind(']');
            if (close == std::string_view::npos || !trim(line.substr(close + 1)).empty()) {
                problem(number, "a key line must end with \"]\"");
                current = nullptr;
                continue;
            }
            std::string_view name = line.substr(1, close - 1);
            const bool remove = !name.empty() && name.front() == '-';
            if (remove) name.remove_prefix(1);
            const std::string_view rootPart = name.substr(0, name.find('\\'));
            const std::string_view path =
                rootPart.size() < name.size() ? name.substr(rootPart.size() + 1) : "";
            const RegistryRootName* root = nullptr;
            for (const auto& r : roots) {
                if (registryNameEquals(r.name, rootPart)) root = &r;
            }
            current = nullptr;
            if (!root) {
                problem(number, "\"" + std::string(rootPart) + "\" is not a root this store holds");
                continue;
            }
            std::string full = root->prefix;
            if (!path.empty()) full += (full.empty() ? "" : "\\") + std::string(path);
            if (RegistryKey::pathDepth(full) > RegistryKey::kMaxDepth) {
                problem(number,
                        "a key nested deeper than " + std::to_string(RegistryKey::kMaxDepth) + " levels");
                continue;
            }
            if (remove) {
                const auto parts = RegistryKey::splitPath(full);
                if (parts.empty()) {
                    problem(number, "a root cannot be removed");
                    continue;
                }
                std::string parentPath;
                for (std::size_t i = 0; i + 1 < parts.size(); ++i) parentPath += std::string(parts[i]) + "\\";
                if (RegistryKey* parent = result.root.find(parentPath)) parent->removeSubkey(parts.back());
                continue;
            }
            current = &result.root.create(full);
            continue;
        }

        // A value line: "name"=data or @=data.
        std::string name;
        const auto parsedData = valueData(line, name);
        if (!parsedData) {
            problem(number, "not a key, a value (\"name\"=data or @=data) or a comment");
            continue;
        }
        const std::string_view data = *parsedData;
        if (!current) {
            problem(number, "a value outside a key");
            continue;
        }
        if (data == "-") {
            current->removeValue(name);
            continue;
        }
        if (!data.empty() && data.front() == '"') {
            std::string value;
            std::size_t at = 0;
            if (!readQuoted(data, at, value) || !trim(data.substr(at)).empty()) {
                problem(number, "a text value must be one quoted text");
                continue;
            }
            std::vector<std::uint8_t> bytes(value.begin(), value.end());
            bytes.push_back(0);
            current->setValue(name, kRegSz, std::move(bytes));
            continue;
        }
        if (startsWithNoCase(data, "dword:")) {
            const std::string_view digits = trim(data.substr(6));
            std::uint32_t v = 0;
            bool ok = !digits.empty() && digits.size() <= 8;
            for (char c : digits) {
                const int d = hexDigit(c);
                if (d < 0) ok = false;
                v = v * 16 + static_cast<std::uint32_t>(d < 0 ? 0 : d);
            }
            if (!ok) {
                problem(number, "dword: needs one to eight hexadecimal digits");
                continue;
            }
            current->setValue(name, kRegDword,
                              {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                               static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)});
            continue;
        }
        if (startsWithNoCase(data, "hex")) {
            std::uint32_t type = kRegBinary;
            std::string_view bytesText;
            if (startsWithNoCase(data, "hex:")) {
                bytesText = data.substr(4);
            } else if (data.size() > 4 && data[3] == '(') {
                const auto close = data.find("):");
                bool ok = close != std::string_view::npos && close > 4 && close <= 12;
                std::uint32_t t = 0;
                for (std::size_t i = 4; ok && i < close; ++i) {
                    const int d = hexDigit(data[i]);
                    if (d < 0) ok = false;
                    t = t * 16 + static_cast<std::uint32_t>(d < 0 ? 0 : d);
                }
                if (!ok) {
                    problem(number, "hex(type): needs a hexadecimal type");
                    continue;
                }
                type = t;
                bytesText = data.substr(close + 2);
            } else {
                problem(number, "unknown value form");
                continue;
            }
            std::vector<std::uint8_t> bytes;
            if (!parseHexBytes(bytesText, bytes)) {
                problem(number, "hex data must be bytes of two hexadecimal digits separated by commas");
                continue;
            }
            if (v5 && (type == kRegSz || type == kRegExpandSz || type == kRegMultiSz))
                bytes = utf16BytesToUtf8(bytes);
            current->setValue(name, type, std::move(bytes));
            continue;
        }
        problem(number, "unknown value form");
    }
    return result;
}

std::string RegistryTextFormat::format(const RegistryKey& root, std::string_view rootName) {
    std::string out = std::string(kHeader4) + "\n\n";
    auto writeKey = [&](const RegistryKey& key, const std::string& path) {
        out += "[" + std::string(rootName) + (path.empty() ? "" : "\\" + path) + "]\n";
        for (const RegistryValueEntry& v : key.values()) {
            std::string line = v.name.empty() ? "@=" : quote(v.name) + "=";
            if (v.type == kRegSz && isPlainText(v.data)) {
                line +=
                    quote(std::string_view(reinterpret_cast<const char*>(v.data.data()), v.data.size() - 1));
            } else if (v.type == kRegDword && v.data.size() == 4) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08x",
                              v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) |
                                  (static_cast<unsigned>(v.data[3]) << 24));
                line += buf;
            } else {
                char prefix[24];
                if (v.type == kRegBinary) {
                    std::snprintf(prefix, sizeof prefix, "hex:");
                } else {
                    std::snprintf(prefix, sizeof prefix, "hex(%x):", v.type);
                }
                line += prefix;
                std::size_t width = line.size();
                for (std::size_t i = 0; i < v.data.size(); ++i) {
                    char byte[4];
                    std::snprintf(byte, sizeof byte, "%02x", v.data[i]);
                    const bool last = i + 1 == v.data.size();
                    line += byte;
                    if (!last) line += ',';
                    width += last ? 2 : 3;
                    if (!last && width > 76) {
                        line += "\\\n  ";
                        width = 2;
                    }
                }
            }
            out += line + "\n";
        }
        out += "\n";
    };
    // Depth first, parents before their subkeys; the root itself only when it holds values.
    std::vector<std::pair<const RegistryKey*, std::string>> stack;
    if (!root.values().empty()) writeKey(root, "");
    const auto top = root.subkeys();
    for (auto it = top.rbegin(); it != top.rend(); ++it) stack.emplace_back(*it, (*it)->name());
    while (!stack.empty()) {
        auto [key, path] = stack.back();
        stack.pop_back();
        writeKey(*key, path);
        const auto children = key->subkeys();
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            stack.emplace_back(*it, path + "\\" + (*it)->name());
    }
    return out;
}

}  // namespace marlin::platform
