// Builds formatted text for a rich-text display control one run at a time. The
// caller owns one accumulator text per control; each flush hands the whole document
// to the control and scrolls to its end.
//
// Colours are 24-bit values blue * 65536 + green * 256 + red. Eight of them are in
// the palette; any other colour gives black text and no highlight, so callers that
// want no highlight pass -1.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <marlin/diag/RtfControl.h>

namespace marlin::RTFGen {

inline constexpr std::string_view kColorTable =
    "{\\colortbl "
    ";\\red0\\green0\\blue0;\\red255\\green0\\blue0;\\red0\\green255\\blue0;\\red0\\green0\\blue255;"
    "\\red127\\green127\\blue127;\\red0\\green127\\blue0;\\red255\\green128\\blue0;"
    "\\red255\\green255\\blue255;}";

// Palette colours in the 0x00BBGGRR layout.
inline constexpr std::int32_t kBlack = 0x000000;
inline constexpr std::int32_t kRed = 0x0000FF;
inline constexpr std::int32_t kGreen = 0x00FF00;
inline constexpr std::int32_t kBlue = 0xFF0000;
inline constexpr std::int32_t kLightGrey = 0xC0C0C0;
inline constexpr std::int32_t kDarkGreen = 0x00C000;
inline constexpr std::int32_t kOrange = 0x0080FF;
inline constexpr std::int32_t kWhite = 0xFFFFFF;
inline constexpr std::int32_t kNoHighlight = -1;

// Alignment codes.
inline constexpr std::int32_t kAlignLeft = 0;
inline constexpr std::int32_t kAlignRight = 1;
inline constexpr std::int32_t kAlignCenter = 2;

// Colour-table index (1 to 8) of a palette colour, 0 for any other value.
int PaletteIndex(std::int32_t color);

// The text with backslashes and braces escaped, so any text keeps the document balanced.
std::string RtfEscape(std::string_view text);

// One run: "{" + formatting codes + " " + escaped text (+ "\par") + "}".
std::string RtfRun(std::string_view text, bool newParagraph, bool bold, bool italic, bool underline,
                   std::int32_t foreColor, std::int32_t alignment, std::int32_t highlightColor);

// The whole document the control is given for an accumulator.
std::string RtfDocument(std::string_view accumulator, std::int16_t fontSize);

// Starts a new document: sets the control's font, remembers the size for this
// control's flushes and shows the empty document.
void RtfBegin(RtfControl& control, std::string& accumulator, const std::string& fontName,
              std::int16_t fontSize);

// Appends one run; with flush set the control shows the document up to it.
void RtfAddText(RtfControl& control, std::string& accumulator, std::string_view text,
                bool newParagraph, bool bold, bool italic, bool underline, std::int32_t foreColor,
                std::int32_t alignment, std::int32_t highlightColor, bool flush);

// Shows the whole document and puts the caret at its end, so the last line is in view.
void RtfFlush(RtfControl& control, const std::string& accumulator, std::int16_t fontSize);

}  // namespace marlin::RTFGen
