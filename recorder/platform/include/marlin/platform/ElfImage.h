#pragma once

#include <optional>

#include <marlin/platform/ByteSource.h>

namespace marlin::platform {

// What the version query needs to know about a native program file of this platform (ELF):
// whether it is a shared library or a program. Reads only the file header and the program
// headers, with every offset checked.
class ElfImage {
public:
    enum class Kind { SharedLibrary, Program, Other };

    // Nothing when the source is not an ELF file.
    static std::optional<Kind> kind(const ByteSource& source, bool nameLooksLikeLibrary);
};

}  // namespace marlin::platform
