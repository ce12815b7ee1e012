#include "SectionLine.h"

#include <cstring>

namespace marlin::reader {

namespace {

// A cursor over the line; every step says Invalid, NeedMore (ran out of bytes) or Ok.
struct Cursor {
    std::string_view bytes;
    std::size_t at = 0;

    LineParse literal(std::string_view text) {
        for (char c : text) {
            if (at == bytes.size()) return LineParse::NeedMore;
            if (bytes[at] != c) return LineParse::Invalid;
            ++at;
        }
        return LineParse::Ok;
    }
    // 1 to maxDigits decimal digits ending at a byte that is not a digit.
    LineParse number(int maxDigits, long long& value) {
        value = 0;
        int digits = 0;
        while (at < bytes.size() && bytes[at] >= '0' && bytes[at] <= '9') {
            if (++digits > maxDigits) return LineParse::Invalid;
            value = value * 10 + (bytes[at] - '0');
            ++at;
        }
        if (at == bytes.size()) return LineParse::NeedMore;
        return digits == 0 ? LineParse::Invalid : LineParse::Ok;
    }
    LineParse field(int maxDigits, long long low, long long high, int& out) {
        long long v = 0;
        const LineParse r = number(maxDigits, v);
        if (r != LineParse::Ok) return r;
        if (v < low || v > high) return LineParse::Invalid;
        out = static_cast<int>(v);
        return LineParse::Ok;
    }
};

// The time stamp "2010.3.2_9.5.7:40": each field after its separator, with its largest number
// of digits and its range (a second of 60 is a leap second).
struct TimeField {
    std::string_view before;
    int maxDigits;
    long long low, high;
    int CivilTime::*member;
};
constexpr TimeField kTimeFields[] = {
    {";", 5, 0, 32767, &CivilTime::year},      {".", 2, 1, 12, &CivilTime::month},
    {".", 2, 1, 31, &CivilTime::day},          {"_", 2, 0, 23, &CivilTime::hour},
    {".", 2, 0, 59, &CivilTime::minute},       {".", 2, 0, 60, &CivilTime::second},
    {":", 3, 0, 999, &CivilTime::millisecond},
};

#define MARLIN_STEP(expr)                           \
    do {                                            \
        const LineParse step_ = (expr);             \
        if (step_ != LineParse::Ok) return step_;   \
    } while (false)

}  // namespace

LineParse parseSectionLine(std::string_view bytes, SectionLine& out) {
    Cursor c{bytes};
    MARLIN_STEP(c.literal(kSectionWord));
    if (c.at == bytes.size()) return LineParse::NeedMore;
    // The ASCII form writes the number with the sign blank of the recorder's number text.
    out.form = bytes[c.at] == ' ' ? SectionForm::Ascii : SectionForm::Binary;
    if (out.form == SectionForm::Ascii) ++c.at;
    if (c.at == bytes.size()) return LineParse::NeedMore;
    const bool negative = bytes[c.at] == '-';
    if (negative) ++c.at;
    long long number = 0;
    MARLIN_STEP(c.number(10, number));
    if (negative) number = -number;
    if (number < INT32_MIN || number > INT32_MAX) return LineParse::Invalid;
    out.number = static_cast<std::int32_t>(number);
    for (const TimeField& f : kTimeFields) {
        MARLIN_STEP(c.literal(f.before));
        MARLIN_STEP(c.field(f.maxDigits, f.low, f.high, out.time.*f.member));
    }
    MARLIN_STEP(c.literal(out.form == SectionForm::Ascii ? "\r\n" : "\n"));
    out.length = c.at;
    return LineParse::Ok;
}

std::size_t findSectionLine(std::string_view bytes, std::size_t from, bool atLineStart, bool bytesEndFile) {
    SectionLine line;
    std::size_t at = from;
    while (at < bytes.size()) {
        const void* hit = std::memchr(bytes.data() + at, 'S', bytes.size() - at);
        if (hit == nullptr) break;
        const auto pos = static_cast<std::size_t>(static_cast<const char*>(hit) - bytes.data());
        const bool lineStart = pos == from ? (atLineStart || (pos > 0 && bytes[pos - 1] == '\n'))
                                           : bytes[pos - 1] == '\n';
        if (lineStart) {
            const LineParse r = parseSectionLine(bytes.substr(pos, kMaxSectionLine), line);
            if (r == LineParse::Ok || (r == LineParse::NeedMore && bytesEndFile)) return pos;
        }
        at = pos + 1;
    }
    return std::string_view::npos;
}

}  // namespace marlin::reader
