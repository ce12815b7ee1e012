#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace marlin::platform {

// The fixed part of a version resource (the value of its root block).
struct FixedFileInfo {
    std::uint32_t signature = 0;
    std::uint32_t structVersion = 0;
    std::uint32_t fileVersionMS = 0;
    std::uint32_t fileVersionLS = 0;
    std::uint32_t productVersionMS = 0;
    std::uint32_t productVersionLS = 0;
    std::uint32_t fileFlagsMask = 0;
    std::uint32_t fileFlags = 0;
    std::uint32_t fileOS = 0;
    std::uint32_t fileType = 0;
    std::uint32_t fileSubtype = 0;
    std::uint32_t fileDateMS = 0;
    std::uint32_t fileDateLS = 0;
};

// A version resource as a tree of blocks (key, value, children), queried by paths such as
// "\", "\VarFileInfo\Translation" or "\StringFileInfo\040904B0\CompanyName". Building the tree
// checks every length against the block that holds it: damaged data yields fewer blocks, never a
// read outside the buffer, and a block that claims no length ends its list instead of looping.
class VersionResource {
public:
    static constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
    static constexpr std::size_t kFixedInfoSize = 52;
    static constexpr int kMaxDepth = 8;

    struct Block {
        std::u16string key;
        std::uint16_t type = 0;  // 1: the value is text, 0: binary
        std::vector<std::uint8_t> value;
        std::vector<Block> children;
    };

    explicit VersionResource(std::span<const std::uint8_t> data);

    bool empty() const { return !root_; }
    // The block at `path` (keys separated by "\", compared without regard to letter case).
    const Block* find(std::string_view path) const;
    // The fixed part, when the root block carries one with the right signature.
    std::optional<FixedFileInfo> fixedInfo() const;
    // The first language and code page pair of "\VarFileInfo\Translation".
    std::optional<std::pair<std::uint16_t, std::uint16_t>> firstTranslation() const;
    // The text of "\StringFileInfo\<table>\<name>" up to its first zero character, in UTF-8.
    std::optional<std::string> queryString(std::string_view table, std::string_view name) const;

    // UTF-16LE bytes up to the first zero character, as UTF-8 (unpaired surrogates become U+FFFD).
    static std::string utf16ToUtf8(std::span<const std::uint8_t> bytes);

private:
    static std::optional<Block> parseBlock(std::span<const std::uint8_t> data, std::size_t offset,
                                           std::size_t limit, int depth, std::size_t& end);
    std::optional<Block> root_;
};

}  // namespace marlin::platform
