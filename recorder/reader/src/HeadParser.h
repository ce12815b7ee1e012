#pragma once
// The head of a trace file: the 18-byte count field, "CAPDELAYTIME;" + interval, and the
// instrument's description up to one character after the ";" that ends "Values;n". A file whose
// name was changed during a recording has the count field only, or (ASCII form) nothing at all.

#include <string_view>

#include "marlin/reader/TraceReader.h"

namespace marlin::reader {

inline constexpr std::string_view kCountPlaceholder = "ENDSTOP;0x00000097";
inline constexpr std::size_t kCountFieldLength = 18;

enum class HeadParse { Ok, NeedMore };

// Parses the head from the first bytes of the file; `atEnd` says that `bytes` reaches the end of
// the file. NeedMore: the bytes end inside the head (more bytes, or the file still being written).
HeadParse parseHead(std::string_view bytes, bool atEnd, TraceHead& out);

// The count field's number ("ENDSTOP;0xA       " gives 10).
std::optional<std::uint32_t> countFieldValue(std::string_view field);

}  // namespace marlin::reader
