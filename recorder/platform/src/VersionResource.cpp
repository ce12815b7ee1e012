#include <marlin/platform/VersionResource.h>

#include <algorithm>

#include <marlin/base/Utf8.h>

namespace marlin::platform {

namespace {

std::uint16_t u16At(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::uint16_t>(d[at] | (d[at + 1] << 8));
}

std::size_t align4(std::size_t v) {
    return (v + 3) & ~static_cast<std::size_t>(3);
}

char16_t asciiLower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

bool keyEquals(const std::u16string& key, std::string_view part) {
    if (key.size() != part.size()) return false;
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (asciiLower(key[i]) != asciiLower(static_cast<unsigned char>(part[i]))) return false;
    }
    return true;
}

}  // namespace

std::string VersionResource::utf16ToUtf8(std::span<const std::uint8_t> bytes) {
    std::string out;
    const std::size_t units = bytes.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        const char16_t u = u16At(bytes, 2 * i);
        if (u == 0) break;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            const char16_t low = u16At(bytes, 2 * (i + 1));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        appendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? char32_t{0xFFFD} : char32_t{u});
    }
    return out;
}

VersionResource::VersionResource(std::span<const std::uint8_t> data) {
    std::size_t end = 0;
    root_ = parseBlock(data, 0, data.size(), 0, end);
}

// Layout of a block: length, value length, type (16 bits each), the key as zero-terminated UTF-16,
// padding to 4 bytes, the value, padding to 4 bytes, then child blocks up to the block's length.
std::optional<VersionResource::Block> VersionResource::parseBlock(std::span<const std::uint8_t> data,
                                                                  std::size_t offset, std::size_t limit,
                                                                  int depth, std::size_t& end) {
    if (depth > kMaxDepth || offset > limit || limit - offset < 6) return std::nullopt;
    const std::size_t length = u16At(data, offset);
    if (length < 6) return std::nullopt;
    const std::size_t blockEnd = offset + std::min(length, limit - offset);
    end = blockEnd;

    Block block;
    const std::uint16_t valueLength = u16At(data, offset + 2);
    block.type = u16At(data, offset + 4);

    std::size_t at = offset + 6;
    bool terminated = false;
    while (at + 2 <= blockEnd) {
        const char16_t c = u16At(data, at);
        at += 2;
        if (c == 0) {
            terminated = true;
            break;
        }
        block.key += c;
    }
    if (!terminated) return block;  // no room left for a value or children

    at = align4(at);
    if (at >= blockEnd) return block;
    // Text values count their length in characters, binary ones in bytes. Writers disagree about
    // that, so a text value that does not fit is cut at the block's end.
    std::size_t valueBytes = block.type == 1 ? 2u * valueLength : valueLength;
    valueBytes = std::min(valueBytes, blockEnd - at);
    block.value.assign(data.begin() + static_cast<std::ptrdiff_t>(at),
                       data.begin() + static_cast<std::ptrdiff_t>(at + valueBytes));
    at = align4(at + valueBytes);

    while (at < blockEnd) {
        std::size_t childEnd = 0;
        auto child = parseBlock(data, at, blockEnd, depth + 1, childEnd);
        if (!child) break;
        block.children.push_back(std::move(*child));
        at = align4(childEnd);
    }
    return block;
}

const VersionResource::Block* VersionResource::find(std::string_view path) const {
    if (!root_) return nullptr;
    const Block* current = &*root_;
    std::size_t pos = 0;
    while (pos < path.size()) {
        std::size_t next = path.find('\\', pos);
        if (next == std::string_view::npos) next = path.size();
        const std::string_view part = path.substr(pos, next - pos);
        pos = next + 1;
        if (part.empty()) continue;
        const auto it = std::find_if(current->children.begin(), current->children.end(),
                                     [&](const Block& b) { return keyEquals(b.key, part); });
        if (it == current->children.end()) return nullptr;
        current = &*it;
    }
    return current;
}

std::optional<FixedFileInfo> VersionResource::fixedInfo() const {
    if (!root_ || root_->value.size() < kFixedInfoSize) return std::nullopt;
    const auto& v = root_->value;
    auto u32 = [&](std::size_t i) {
        return static_cast<std::uint32_t>(v[4 * i]) | (static_cast<std::uint32_t>(v[4 * i + 1]) << 8) |
               (static_cast<std::uint32_t>(v[4 * i + 2]) << 16) |
               (static_cast<std::uint32_t>(v[4 * i + 3]) << 24);
    };
    FixedFileInfo f;
    f.signature = u32(0);
    if (f.signature != kFixedInfoSignature) return std::nullopt;
    f.structVersion = u32(1);
    f.fileVersionMS = u32(2);
    f.fileVersionLS = u32(3);
    f.productVersionMS = u32(4);
    f.productVersionLS = u32(5);
    f.fileFlagsMask = u32(6);
    f.fileFlags = u32(7);
    f.fileOS = u32(8);
    f.fileType = u32(9);
    f.fileSubtype = u32(10);
    f.fileDateMS = u32(11);
    f.fileDateLS = u32(12);
    return f;
}

std::optional<std::pair<std::uint16_t, std::uint16_t>> VersionResource::firstTranslation() const {
    const Block* b = find("\\VarFileInfo\\Translation");
    if (!b || b->value.size() < 4) return std::nullopt;
    return std::make_pair(u16At(b->value, 0), u16At(b->value, 2));
}

std::optional<std::string> VersionResource::queryString(std::string_view table, std::string_view name) const {
    std::string path = "\\StringFileInfo\\";
    path.append(table);
    path += '\\';
    path.append(name);
    const Block* b = find(path);
    if (!b) return std::nullopt;
    return utf16ToUtf8(b->value);
}

}  // namespace marlin::platform
