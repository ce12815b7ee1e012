// Reads the RTF that the program writes into paragraphs of formatted runs, for the
// rich-text view to show. Understands groups, the colour table, \plain, \fs, \b, \i,
// \ul, \cf, \highlight, \ql/\qr/\qc/\qj, \pard, \par, \line, \tab, escaped characters,
// \'hh and \uN; other control words are ignored and the groups of destinations it
// does not show (font tables, {\* ...} and the like) are skipped.
//
// Any input is accepted: the reader makes one pass, never recurses, bounds its group
// nesting and produces output proportional to its input.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marlin {

struct RtfColor {
    std::uint8_t Red = 0;
    std::uint8_t Green = 0;
    std::uint8_t Blue = 0;

    friend bool operator==(const RtfColor&, const RtfColor&) = default;
};

enum class RtfAlignment { Left, Right, Center, Justify };

struct RtfCharFormat {
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    int FontSize = 24;                   // half-points
    std::optional<RtfColor> Foreground;  // none: the control's own text colour
    std::optional<RtfColor> Highlight;   // none: no background

    friend bool operator==(const RtfCharFormat&, const RtfCharFormat&) = default;
};

struct RtfRun {
    std::string Text;  // UTF-8
    RtfCharFormat Format;
};

struct RtfParagraph {
    RtfAlignment Alignment = RtfAlignment::Left;
    std::vector<RtfRun> Runs;
};

struct RtfParsedDocument {
    // Never empty: the text after the last paragraph mark is a paragraph of its own.
    std::vector<RtfParagraph> Paragraphs;
    // Index 0 is usually the "auto" entry (no colour).
    std::vector<std::optional<RtfColor>> ColorTable;

    // The paragraphs' texts joined with "\n".
    std::string PlainText() const;
};

class RtfReader {
public:
    static constexpr int kMaxGroupDepth = 256;
    static constexpr int kMinFontSize = 2;    // 1 point
    static constexpr int kMaxFontSize = 400;  // 200 points

    static RtfParsedDocument Parse(std::string_view rtf);

    // Raw 8-bit text as UTF-8: valid UTF-8 sequences are kept, any other byte is
    // read as a Windows-1252 character.
    static std::string DecodeBytes(std::string_view bytes);
};

}  // namespace marlin
