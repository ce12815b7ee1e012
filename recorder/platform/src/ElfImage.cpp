#include <marlin/platform/ElfImage.h>

#include <algorithm>

namespace marlin::platform {

namespace {

constexpr std::uint16_t kTypeExecutable = 2;
constexpr std::uint16_t kTypeShared = 3;
constexpr std::uint32_t kSegmentInterpreter = 3;

struct Reader {
    const ByteSource& src;
    bool bigEndian;
    bool u16(std::uint64_t at, std::uint16_t& v) const {
        std::uint8_t b[2];
        if (!src.read(at, b)) return false;
        v = bigEndian ? static_cast<std::uint16_t>((b[0] << 8) | b[1])
                      : static_cast<std::uint16_t>((b[1] << 8) | b[0]);
        return true;
    }
    bool uN(std::uint64_t at, int bytes, std::uint64_t& v) const {
        std::uint8_t b[8];
        if (!src.read(at, std::span<std::uint8_t>(b, static_cast<std::size_t>(bytes)))) return false;
        v = 0;
        for (int i = 0; i < bytes; ++i) v = (v << 8) | b[bigEndian ? i : bytes - 1 - i];
        return true;
    }
};

}  // namespace

std::optional<ElfImage::Kind> ElfImage::kind(const ByteSource& src, bool nameLooksLikeLibrary) {
    std::uint8_t ident[16];
    if (!src.read(0, ident) || ident[0] != 0x7F || ident[1] != 'E' || ident[2] != 'L' || ident[3] != 'F')
        return std::nullopt;
    const bool is64 = ident[4] == 2;
    if (!is64 && ident[4] != 1) return Kind::Other;
    const Reader r{src, ident[5] == 2};
    std::uint16_t type = 0;
    if (!r.u16(16, type)) return Kind::Other;
    if (type == kTypeExecutable) return Kind::Program;
    if (type != kTypeShared) return Kind::Other;
    // Position-independent programs are shared objects too; the library naming decides first,
    // then a program interpreter marks a program.
    if (nameLooksLikeLibrary) return Kind::SharedLibrary;

    std::uint64_t phoff = 0;
    std::uint16_t phentsize = 0, phnum = 0;
    const int word = is64 ? 8 : 4;
    if (!r.uN(is64 ? 32 : 28, word, phoff) || !r.u16(is64 ? 54 : 42, phentsize) ||
        !r.u16(is64 ? 56 : 44, phnum))
        return Kind::SharedLibrary;
    if (phentsize < 4) return Kind::SharedLibrary;
    for (std::uint16_t i = 0; i < phnum; ++i) {
        std::uint64_t ptype = 0;
        if (phoff > src.size() || !r.uN(phoff + static_cast<std::uint64_t>(i) * phentsize, 4, ptype)) break;
        if (ptype == kSegmentInterpreter) return Kind::Program;
    }
    return Kind::SharedLibrary;
}

}  // namespace marlin::platform
