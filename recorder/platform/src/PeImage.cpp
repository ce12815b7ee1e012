#include <marlin/platform/PeImage.h>

#include <algorithm>

namespace marlin::platform {

namespace {

constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kVersionResourceType = 16;
constexpr std::uint32_t kSubdirectoryFlag = 0x80000000u;
// Real files have a handful of sections; the format allows 65535, we look at no more than this.
constexpr std::uint16_t kMaxSections = 256;

bool peHeaderOffset(const ByteSource& src, std::uint32_t& peOffset) {
    std::uint16_t mz = 0;
    if (!src.readU16(0, mz) || mz != 0x5A4D) return false;
    if (!src.readU32(0x3C, peOffset)) return false;
    std::uint32_t signature = 0;
    return src.readU32(peOffset, signature) && signature == 0x00004550;
}

// Reads one directory entry; `offset` is relative to the start of the resource tree.
bool readEntry(const ByteSource& src, std::uint64_t treeBase, std::uint64_t dirOffset, std::uint32_t index,
               std::uint32_t& nameOrId, std::uint32_t& target) {
    const std::uint64_t at = treeBase + dirOffset + 16 + 8ull * index;
    return src.readU32(at, nameOrId) && src.readU32(at + 4, target);
}

bool entryCount(const ByteSource& src, std::uint64_t treeBase, std::uint64_t dirOffset, std::uint32_t& named,
                std::uint32_t& total) {
    std::uint16_t namedCount = 0, idCount = 0;
    if (!src.readU16(treeBase + dirOffset + 12, namedCount) ||
        !src.readU16(treeBase + dirOffset + 14, idCount))
        return false;
    named = namedCount;
    total = static_cast<std::uint32_t>(namedCount) + idCount;
    return true;
}

}  // namespace

std::optional<std::uint64_t> PeImage::rvaToOffset(const std::vector<Section>& sections, std::uint32_t rva,
                                                  std::uint32_t length) {
    for (const Section& s : sections) {
        if (rva < s.virtualAddress) continue;
        const std::uint64_t delta = static_cast<std::uint64_t>(rva) - s.virtualAddress;
        // Only bytes present in the file count; the rest of a section is zero-filled at load time.
        if (delta + length > s.rawSize) continue;
        return static_cast<std::uint64_t>(s.rawOffset) + delta;
    }
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> PeImage::versionResource(const ByteSource& src) {
    std::uint32_t peOffset = 0;
    if (!peHeaderOffset(src, peOffset)) return std::nullopt;
    const std::uint64_t coff = static_cast<std::uint64_t>(peOffset) + 4;
    std::uint16_t sectionCount = 0, optionalSize = 0, magic = 0;
    if (!src.readU16(coff + 2, sectionCount) || !src.readU16(coff + 16, optionalSize)) return std::nullopt;
    const std::uint64_t optional = coff + 20;
    if (!src.readU16(optional, magic)) return std::nullopt;

    std::uint64_t countField = 0, directories = 0;
    if (magic == kPe32Magic) {
        countField = 92;
        directories = 96;
    } else if (magic == kPe32PlusMagic) {
        countField = 108;
        directories = 112;
    } else {
        return std::nullopt;
    }
    std::uint32_t directoryCount = 0, resourceRva = 0, resourceSize = 0;
    if (!src.readU32(optional + countField, directoryCount) || directoryCount <= kResourceDirectoryIndex)
        return std::nullopt;
    const std::uint64_t resourceEntry = directories + 8ull * kResourceDirectoryIndex;
    if (resourceEntry + 8 > optionalSize) return std::nullopt;
    if (!src.readU32(optional + resourceEntry, resourceRva) ||
        !src.readU32(optional + resourceEntry + 4, resourceSize))
        return std::nullopt;
    if (resourceRva == 0 || resourceSize == 0) return std::nullopt;

    std::vector<Section> sections;
    const std::uint64_t table = optional + optionalSize;
    for (std::uint16_t i = 0; i < std::min(sectionCount, kMaxSections); ++i) {
        const std::uint64_t at = table + 40ull * i;
        Section s{};
        if (!src.readU32(at + 8, s.virtualSize) || !src.readU32(at + 12, s.virtualAddress) ||
            !src.readU32(at + 16, s.rawSize) || !src.readU32(at + 20, s.rawOffset))
            return std::nullopt;
        sections.push_back(s);
    }

    const auto treeOffset = rvaToOffset(sections, resourceRva, 16);
    if (!treeOffset) return std::nullopt;
    const std::uint64_t tree = *treeOffset;

    // Level 1: the resource type. Named types come first and cannot be type 16.
    std::uint32_t named = 0, total = 0;
    if (!entryCount(src, tree, 0, named, total)) return std::nullopt;
    std::optional<std::uint32_t> typeDir;
    for (std::uint32_t i = named; i < total; ++i) {
        std::uint32_t id = 0, target = 0;
        if (!readEntry(src, tree, 0, i, id, target)) return std::nullopt;
        if (id == kVersionResourceType && (target & kSubdirectoryFlag)) {
            typeDir = target & ~kSubdirectoryFlag;
            break;
        }
    }
    if (!typeDir) return std::nullopt;

    // Level 2 (the resource's name) and level 3 (its language): the first entry of each.
    std::uint64_t dir = *typeDir;
    for (int level = 2; level <= 3; ++level) {
        if (!entryCount(src, tree, dir, named, total) || total == 0) return std::nullopt;
        std::uint32_t id = 0, target = 0;
        if (!readEntry(src, tree, dir, 0, id, target)) return std::nullopt;
        const bool isDirectory = (target & kSubdirectoryFlag) != 0;
        // A version resource without a language level is accepted as well; deeper nesting is not.
        if (level == 2 && !isDirectory) {
            dir = target;
            break;
        }
        if (level == 3 && isDirectory) return std::nullopt;
        dir = target & ~kSubdirectoryFlag;
    }

    std::uint32_t dataRva = 0, dataSize = 0;
    if (!src.readU32(tree + dir, dataRva) || !src.readU32(tree + dir + 4, dataSize)) return std::nullopt;
    dataSize = std::min(dataSize, kMaxVersionResourceSize);
    const auto dataOffset = rvaToOffset(sections, dataRva, dataSize);
    if (!dataOffset) return std::nullopt;
    std::vector<std::uint8_t> data(dataSize);
    if (!src.read(*dataOffset, data)) return std::nullopt;
    return data;
}

}  // namespace marlin::platform
