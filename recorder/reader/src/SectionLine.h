#pragma once
// The section line that starts every reading: "Section12;2010.3.2_9.5.7:40" + LF (binary) or
// "Section 12;…" + CR LF (ASCII).

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "marlin/reader/TraceReader.h"

namespace marlin::reader {

inline constexpr std::string_view kSectionWord = "Section";
// Longer than any section line the recorder writes, line end included.
inline constexpr std::size_t kMaxSectionLine = 80;

struct SectionLine {
    SectionForm form = SectionForm::Binary;
    std::int32_t number = 0;
    CivilTime time;
    std::size_t length = 0;  // with the line end
};

enum class LineParse { Ok, NeedMore, Invalid };

// Parses the section line at the start of `bytes`. NeedMore: the bytes end inside what could still
// become a section line.
LineParse parseSectionLine(std::string_view bytes, SectionLine& out);

// Offset in `bytes` of the first section line that starts at or after `from` and right after a LF
// (or at `from` itself when `atLineStart`); npos when there is none. A section line cut off by the
// end of `bytes` counts only when `bytesEndFile`.
std::size_t findSectionLine(std::string_view bytes, std::size_t from, bool atLineStart, bool bytesEndFile);

}  // namespace marlin::reader
