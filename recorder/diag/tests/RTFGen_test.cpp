#include <marlin/diag/RTFGen.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "FakeRtfControl.h"

namespace marlin::RTFGen {
namespace {

using marlin::testing::FakeRtfControl;
using ::testing::ElementsAre;

// The colour table that starts every document, as the panes have always been written.
const std::string kTable =
    R"({\colortbl ;\red0\green0\blue0;\red255\green0\blue0;\red0\green255\blue0;\red0\green0\blue255;)"
    R"(\red127\green127\blue127;\red0\green127\blue0;\red255\green128\blue0;\red255\green255\blue255;})";

std::string OneRun(std::string_view text, std::int32_t fore = kBlack, std::int32_t alignment = kAlignLeft,
                   std::int32_t highlight = kNoHighlight, bool bold = false, bool italic = false,
                   bool underline = false, bool newParagraph = false) {
    return RtfRun(text, newParagraph, bold, italic, underline, fore, alignment, highlight);
}

TEST(RTFGen, BeginStartsTheDocumentWithTheColourTable) {
    FakeRtfControl control;
    std::string accumulator = "left over";
    RtfBegin(control, accumulator, "Lucida Console", 20);
    EXPECT_EQ(accumulator, kTable);
    EXPECT_EQ(control.RtfFontSize(), 20);
    EXPECT_THAT(control.calls, ElementsAre("font:Lucida Console", "text:", "rtf:", "rtf:" + kTable));
}

TEST(RTFGen, BoldHeadingRunIsFlushedAsAWholeDocument) {
    FakeRtfControl control;
    std::string accumulator;
    RtfBegin(control, accumulator, "Lucida Console", 20);
    control.calls.clear();
    RtfAddText(control, accumulator, "Operating system", true, true, false, false, 0, 0, -1, true);

    EXPECT_EQ(accumulator, kTable + R"({\b\cf1\ql Operating system\par})");
    const std::string document = R"({\plain\fs20)" + kTable + R"({\b\cf1\ql Operating system\par}})";
    EXPECT_THAT(control.calls,
                ElementsAre("rtf:" + document, "sel:" + std::to_string(document.size()), "refresh"));
}

TEST(RTFGen, LabelAndValueRunsShareOneLine) {
    FakeRtfControl control;
    std::string accumulator;
    RtfBegin(control, accumulator, "Lucida Console", 20);
    RtfAddText(control, accumulator, "Version: ", false, true, false, false, kBlack, kAlignLeft, -1, false);
    const auto callsBefore = control.calls.size();
    RtfAddText(control, accumulator, "1.15.1", true, false, false, false, kBlack, kAlignLeft, -1, true);
    EXPECT_EQ(accumulator, kTable + R"({\b\cf1\ql Version: }{\cf1\ql 1.15.1\par})");
    EXPECT_EQ(control.calls.size(), callsBefore + 3);  // the first run did not flush
}

TEST(RTFGen, FormattingCodesComeInTheirFixedOrder) {
    EXPECT_EQ(OneRun("x", kRed, kAlignCenter, kGreen, true, true, true, true),
              R"({\b\i\ul\cf2\highlight3\qc x\par})");
    EXPECT_EQ(OneRun("x", kBlue, kAlignRight), R"({\cf4\qr x})");
    EXPECT_EQ(OneRun("", kBlack, kAlignLeft), R"({\cf1\ql })");
}

TEST(RTFGen, PaletteColoursAndOthers) {
    const std::pair<std::int32_t, int> palette[] = {{kBlack, 1},  {kRed, 2},       {kGreen, 3},
                                                    {kBlue, 4},   {kLightGrey, 5}, {kDarkGreen, 6},
                                                    {kOrange, 7}, {kWhite, 8}};
    for (const auto& [color, index] : palette) {
        const std::string n = std::to_string(index);
        EXPECT_EQ(OneRun("x", color, 3, color), "{\\cf" + n + "\\highlight" + n + " x}") << std::hex << color;
    }
    // Colours outside the palette: black text and no highlight.
    EXPECT_EQ(OneRun("x", 0x123456, 3, 0x123456), R"({\cf1 x})");
    EXPECT_EQ(OneRun("x", 0xC0C0C1, 3, -1), R"({\cf1 x})");
    EXPECT_EQ(OneRun("x", static_cast<std::int32_t>(0x80000005), 3, 0x7FFFFFFF), R"({\cf1 x})");
    // 0 is black, a real highlight.
    EXPECT_EQ(OneRun("x", kRed, 3, 0), R"({\cf2\highlight1 x})");
}

TEST(RTFGen, AlignmentOutsideZeroToTwoWritesNoCode) {
    EXPECT_EQ(OneRun("x", kBlack, 3), R"({\cf1 x})");
    EXPECT_EQ(OneRun("x", kBlack, -1), R"({\cf1 x})");
}

TEST(RTFGen, BackslashesAndBracesAreEscaped) {
    EXPECT_EQ(OneRun(R"(C:\Windows\System32\qzib32.dll)", kBlack, 3),
              R"({\cf1 C:\\Windows\\System32\\qzib32.dll})");
    EXPECT_EQ(OneRun("{x}}", kBlack, 3), R"({\cf1 \{x\}\}})");
    EXPECT_EQ(RtfEscape("caf\xC3\xA9 \\par"), "caf\xC3\xA9 \\\\par");  // other bytes pass through
}

TEST(RTFGen, EachControlKeepsItsOwnFontSize) {
    FakeRtfControl system, drivers;
    std::string systemText, driverText;
    RtfBegin(system, systemText, "Lucida Console", 20);
    RtfBegin(drivers, driverText, "Lucida Console", 16);
    RtfAddText(system, systemText, "a", true, false, false, false, kBlack, kAlignLeft, -1, true);
    RtfAddText(drivers, driverText, "b", true, false, false, false, kBlack, kAlignLeft, -1, true);
    EXPECT_EQ(system.rtf.rfind(R"({\plain\fs20{\colortbl)", 0), 0U);
    EXPECT_EQ(drivers.rtf.rfind(R"({\plain\fs16{\colortbl)", 0), 0U);
}

TEST(RTFGen, FlushUsesTheSizeItIsGiven) {
    FakeRtfControl control;
    RtfFlush(control, kTable, 32);
    EXPECT_EQ(control.rtf, R"({\plain\fs32)" + kTable + "}");
    EXPECT_EQ(RtfDocument("", -4), R"({\plain\fs-4})");
}

}  // namespace
}  // namespace marlin::RTFGen
