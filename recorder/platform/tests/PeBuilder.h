#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Assembles Windows program files and version resources byte by byte, so that the tests know
// exactly what the parser is given.
namespace pe_builder {

using Bytes = std::vector<std::uint8_t>;

struct VersionContent {
    bool withFixedPart = true;
    std::uint32_t fileVersionMS = 0, fileVersionLS = 0;
    std::uint32_t productVersionMS = 0, productVersionLS = 0;
    std::uint32_t flags = 0, os = 0x40004, type = 1, subtype = 0;
    // No translation table when empty.
    std::optional<std::pair<std::uint16_t, std::uint16_t>> translation;
    // The key of the string table; empty: derived from the translation in upper-case hex.
    std::string tableKey;
    std::vector<std::pair<std::string, std::string>> strings;
};

// One block: length, value length, type, UTF-16 key, padding, value, padding, children.
Bytes block(const std::string& key, std::uint16_t type, const Bytes& value, std::uint16_t valueLength,
            const std::vector<Bytes>& children);
Bytes utf16(const std::string& ascii, bool terminate = true);
Bytes versionResource(const VersionContent& content);

// A PE32 (or PE32+) file with one resource section holding `resource` as version resource.
Bytes peFile(const Bytes& resource, bool pe32Plus = false);
// Offsets inside peFile()'s layout, for tests that damage it.
constexpr std::size_t kResourceSectionOffset = 0x200;
constexpr std::size_t kVersionDataOffset = kResourceSectionOffset + 0x58;

// A minimal ELF header of the given class and type, with one program header (PT_INTERP or not).
Bytes elfFile(bool is64, std::uint16_t type, bool withInterpreter);

}  // namespace pe_builder
