#include "PeBuilder.h"

#include <cstring>

namespace pe_builder {

namespace {

void put16(Bytes& b, std::size_t at, std::uint32_t v) {
    if (b.size() < at + 2) b.resize(at + 2);
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}
void pad4(Bytes& b) {
    while (b.size() % 4) b.push_back(0);
}
void append(Bytes& b, const Bytes& more) {
    b.insert(b.end(), more.begin(), more.end());
}

}  // namespace

Bytes utf16(const std::string& ascii, bool terminate) {
    Bytes out;
    for (unsigned char c : ascii) {
        out.push_back(c);
        out.push_back(0);
    }
    if (terminate) out.insert(out.end(), {0, 0});
    return out;
}

Bytes block(const std::string& key, std::uint16_t type, const Bytes& value, std::uint16_t valueLength,
            const std::vector<Bytes>& children) {
    Bytes b(6, 0);
    append(b, utf16(key));
    pad4(b);
    append(b, value);
    for (const Bytes& child : children) {
        pad4(b);
        append(b, child);
    }
    put16(b, 0, static_cast<std::uint32_t>(b.size()));
    put16(b, 2, valueLength);
    put16(b, 4, type);
    return b;
}

Bytes versionResource(const VersionContent& content) {
    Bytes fixed;
    if (content.withFixedPart) {
        const std::uint32_t fields[13] = {0xFEEF04BD,
                                          0x00010000,
                                          content.fileVersionMS,
                                          content.fileVersionLS,
                                          content.productVersionMS,
                                          content.productVersionLS,
                                          0x3F,
                                          content.flags,
                                          content.os,
                                          content.type,
                                          content.subtype,
                                          0,
                                          0};
        for (std::uint32_t f : fields) put32(fixed, fixed.size(), f);
    }
    std::vector<Bytes> children;
    if (content.translation) {
        std::string key = content.tableKey;
        if (key.empty()) {
            char buf[9];
            std::snprintf(buf, sizeof buf, "%04X%04X", content.translation->first,
                          content.translation->second);
            key = buf;
        }
        std::vector<Bytes> strings;
        for (const auto& [name, text] : content.strings) {
            strings.push_back(block(name, 1, utf16(text), static_cast<std::uint16_t>(text.size() + 1), {}));
        }
        children.push_back(block("StringFileInfo", 1, {}, 0, {block(key, 1, {}, 0, strings)}));
        Bytes pair;
        put16(pair, 0, content.translation->first);
        put16(pair, 2, content.translation->second);
        children.push_back(block("VarFileInfo", 1, {}, 0, {block("Translation", 0, pair, 4, {})}));
    }
    return block("VS_VERSION_INFO", 0, fixed, static_cast<std::uint16_t>(fixed.size()), children);
}

Bytes peFile(const Bytes& resource, bool pe32Plus) {
    Bytes f(kResourceSectionOffset, 0);
    f[0] = 'M';
    f[1] = 'Z';
    const std::size_t pe = 0x40;
    put32(f, 0x3C, pe);
    std::memcpy(&f[pe], "PE\0\0", 4);
    const std::size_t coff = pe + 4;
    const std::uint32_t optionalSize = pe32Plus ? 240 : 224;
    put16(f, coff, pe32Plus ? 0x8664 : 0x14C);
    put16(f, coff + 2, 1);
    put16(f, coff + 16, optionalSize);
    put16(f, coff + 18, 0x2102);
    const std::size_t opt = coff + 20;
    put16(f, opt, pe32Plus ? 0x20B : 0x10B);
    const std::size_t countField = pe32Plus ? 108 : 92, dirs = pe32Plus ? 112 : 96;
    put32(f, opt + countField, 16);
    const std::uint32_t rva = 0x1000;
    const std::uint32_t dataSize = static_cast<std::uint32_t>(resource.size());
    const std::uint32_t sectionSize = ((0x58 + dataSize) + 0x1FF) & ~0x1FFu;
    put32(f, opt + dirs + 16, rva);
    put32(f, opt + dirs + 20, 0x58 + dataSize);
    const std::size_t section = opt + optionalSize;
    std::memcpy(&f[section], ".rsrc\0\0\0", 8);
    put32(f, section + 8, 0x58 + dataSize);
    put32(f, section + 12, rva);
    put32(f, section + 16, sectionSize);
    put32(f, section + 20, kResourceSectionOffset);

    Bytes r(0x58, 0);
    // Type directory: one id entry, 16 (version), pointing at the name directory.
    put16(r, 14, 1);
    put32(r, 16, 16);
    put32(r, 20, 0x80000000u | 0x18);
    // Name directory: id 1, pointing at the language directory.
    put16(r, 0x18 + 14, 1);
    put32(r, 0x18 + 16, 1);
    put32(r, 0x18 + 20, 0x80000000u | 0x30);
    // Language directory: 0x409, pointing at the data entry.
    put16(r, 0x30 + 14, 1);
    put32(r, 0x30 + 16, 0x409);
    put32(r, 0x30 + 20, 0x48);
    put32(r, 0x48, rva + 0x58);
    put32(r, 0x4C, dataSize);
    append(r, resource);
    r.resize(sectionSize, 0);
    append(f, r);
    return f;
}

Bytes elfFile(bool is64, std::uint16_t type, bool withInterpreter) {
    Bytes f(is64 ? 64 : 52, 0);
    f[0] = 0x7F;
    f[1] = 'E';
    f[2] = 'L';
    f[3] = 'F';
    f[4] = is64 ? 2 : 1;
    f[5] = 1;
    f[6] = 1;
    put16(f, 16, type);
    const std::uint32_t phoff = is64 ? 64 : 52, phentsize = is64 ? 56 : 32;
    put32(f, is64 ? 32 : 28, phoff);
    put16(f, is64 ? 54 : 42, phentsize);
    put16(f, is64 ? 56 : 44, 2);
    f.resize(phoff + 2 * phentsize, 0);
    put32(f, phoff, 1);  // PT_LOAD
    put32(f, phoff + phentsize, withInterpreter ? 3 : 2);
    return f;
}

}  // namespace pe_builder
