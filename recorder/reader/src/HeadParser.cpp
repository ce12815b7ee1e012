#include "HeadParser.h"

#include <charconv>
#include <cstdlib>

#include "SectionLine.h"

namespace marlin::reader {

namespace {

constexpr std::string_view kIntervalKey = "\nCAPDELAYTIME;";
constexpr std::string_view kValuesKey = "Values;";

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Whether `bytes` is a proper beginning of `whole`.
bool isPrefixOf(std::string_view bytes, std::string_view whole) {
    return bytes.size() < whole.size() && whole.starts_with(bytes);
}

std::vector<HeadField> fieldsOf(std::string_view text) {
    std::vector<HeadField> fields;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (line.empty()) continue;
        HeadField f;
        const auto first = line.find(';');
        f.key = trimmed(line.substr(0, first));
        if (first != std::string_view::npos) {
            const auto rest = line.substr(first + 1);
            const auto second = rest.find(';');
            f.value = trimmed(rest.substr(0, second));
            if (second != std::string_view::npos) f.unit = trimmed(rest.substr(second + 1));
        }
        fields.push_back(std::move(f));
    }
    return fields;
}

}  // namespace

std::optional<std::uint32_t> countFieldValue(std::string_view field) {
    if (!field.starts_with("ENDSTOP;0x")) return std::nullopt;
    const std::string_view hex = trimmed(field.substr(10));
    std::uint32_t value = 0;
    const auto r = std::from_chars(hex.data(), hex.data() + hex.size(), value, 16);
    if (r.ec != std::errc() || r.ptr != hex.data() + hex.size() || hex.empty()) return std::nullopt;
    return value;
}

HeadParse parseHead(std::string_view bytes, bool atEnd, TraceHead& out) {
    out = TraceHead{};
    std::size_t at = 0;
    const std::string_view countStart = kCountPlaceholder.substr(0, 8);  // "ENDSTOP;"
    if (!atEnd && isPrefixOf(bytes, countStart)) return HeadParse::NeedMore;
    if (bytes.starts_with(countStart)) {
        if (bytes.size() < kCountFieldLength) return atEnd ? HeadParse::Ok : HeadParse::NeedMore;
        out.countField = bytes.substr(0, kCountFieldLength);
        out.countValue = countFieldValue(out.countField);
        out.countIsPlaceholder = out.countField == kCountPlaceholder;
        at = kCountFieldLength;
    }
    out.sectionsOffset = at;
    const std::string_view rest = bytes.substr(at);
    if (!atEnd && isPrefixOf(rest, kIntervalKey)) return HeadParse::NeedMore;
    if (!rest.starts_with(kIntervalKey)) return HeadParse::Ok;

    const std::size_t intervalAt = at + kIntervalKey.size();
    const std::size_t intervalEnd = bytes.find('\n', intervalAt);
    if (intervalEnd == std::string_view::npos) return atEnd ? HeadParse::Ok : HeadParse::NeedMore;
    out.intervalText = bytes.substr(intervalAt, intervalEnd - intervalAt);
    {
        double interval = 0.0;
        const auto r = std::from_chars(out.intervalText.data(), out.intervalText.data() + out.intervalText.size(),
                                       interval);
        if (r.ec == std::errc() && r.ptr == out.intervalText.data() + out.intervalText.size()) {
            out.intervalSeconds = interval;
        }
    }

    // The description is cut where the recorder cut it: one character after the ";" that follows
    // "Values;" (without "Values;", after the first ";" from its seventh character on).
    const std::size_t textAt = intervalEnd + 1;
    const std::string_view text = bytes.substr(std::min(textAt, bytes.size()));
    const std::size_t values = text.find(kValuesKey);
    const std::size_t searchFrom = values == std::string_view::npos ? 6 : values + kValuesKey.size();
    const std::size_t semicolon = searchFrom < text.size() ? text.find(';', searchFrom) : std::string_view::npos;
    if (semicolon == std::string_view::npos || semicolon + 1 >= text.size()) {
        if (!atEnd) return HeadParse::NeedMore;
        // The file ends inside the description: take all of it.
        out.instrumentText = text;
    } else {
        std::size_t end = semicolon + 2;
        // The character after the ";" is normally a line end; a section right there is not part of it.
        SectionLine line;
        if (text[semicolon + 1] == 'S' &&
            parseSectionLine(text.substr(semicolon + 1, kMaxSectionLine), line) != LineParse::Invalid) {
            end = semicolon + 1;
        }
        out.instrumentText = text.substr(0, end);
        if (values != std::string_view::npos) {
            const std::string_view count = trimmed(text.substr(searchFrom, semicolon - searchFrom));
            std::uint32_t n = 0;
            const auto r = std::from_chars(count.data(), count.data() + count.size(), n);
            if (r.ec == std::errc() && r.ptr == count.data() + count.size() && n > 0) out.values = n;
        }
    }
    out.present = true;
    out.fields = fieldsOf(out.instrumentText);
    out.sectionsOffset = textAt + out.instrumentText.size();
    return HeadParse::Ok;
}

}  // namespace marlin::reader
