#include <marlin/diag/RtfReader.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include <marlin/diag/RTFGen.h>

#include "marlin/testing/FuzzCorpus.h"

namespace marlin {
namespace {

constexpr RtfColor kRed{255, 0, 0};
constexpr RtfColor kBlackColor{0, 0, 0};

// A document as the generator's flush builds it, at size 20 (10 points).
std::string Document(const std::string& runs) {
    return RTFGen::RtfDocument(std::string(RTFGen::kColorTable) + runs, 20);
}

std::string RunText(std::string_view text, bool newParagraph, bool bold = false,
                    std::int32_t fore = RTFGen::kBlack, std::int32_t alignment = RTFGen::kAlignLeft,
                    std::int32_t highlight = RTFGen::kNoHighlight, bool italic = false,
                    bool underline = false) {
    return RTFGen::RtfRun(text, newParagraph, bold, italic, underline, fore, alignment, highlight);
}

TEST(RtfReader, ReadsTheGeneratorsColourTable) {
    const RtfParsedDocument doc = RtfReader::Parse(Document(""));
    ASSERT_EQ(doc.ColorTable.size(), 9U);
    EXPECT_FALSE(doc.ColorTable[0].has_value());
    EXPECT_EQ(doc.ColorTable[1], kBlackColor);
    EXPECT_EQ(doc.ColorTable[5], (RtfColor{127, 127, 127}));
    EXPECT_EQ(doc.ColorTable[7], (RtfColor{255, 128, 0}));
    EXPECT_EQ(doc.ColorTable[8], (RtfColor{255, 255, 255}));
    EXPECT_EQ(doc.PlainText(), "");  // the table shows nothing
}

TEST(RtfReader, BoldLabelAndPlainValueMakeOneLine) {
    const RtfParsedDocument doc =
        RtfReader::Parse(Document(RunText("Operating system: ", false, true) + RunText("Linux 6.1", true)));
    ASSERT_EQ(doc.Paragraphs.size(), 2U);
    const auto& runs = doc.Paragraphs[0].Runs;
    ASSERT_EQ(runs.size(), 2U);
    EXPECT_EQ(runs[0].Text, "Operating system: ");
    EXPECT_TRUE(runs[0].Format.Bold);
    EXPECT_EQ(runs[1].Text, "Linux 6.1");
    EXPECT_FALSE(runs[1].Format.Bold);
    for (const RtfRun& run : runs) {
        EXPECT_EQ(run.Format.FontSize, 20);
        EXPECT_EQ(run.Format.Foreground, kBlackColor);
        EXPECT_FALSE(run.Format.Highlight.has_value());
    }
    EXPECT_EQ(doc.PlainText(), "Operating system: Linux 6.1\n");
}

TEST(RtfReader, EscapedTextComesBackAsWritten) {
    const std::string path = R"(C:\Program Files\Quazar\qzib32.dll)";
    EXPECT_EQ(RtfReader::Parse(Document(RunText(path, true))).PlainText(), path + "\n");
    EXPECT_EQ(
        RtfReader::Parse(Document(RunText("{unbalanced} }{", true) + RunText("after", true))).PlainText(),
        "{unbalanced} }{\nafter\n");
}

TEST(RtfReader, ColoursHighlightsAndStyles) {
    const RtfParsedDocument doc = RtfReader::Parse(Document(
        RunText("red", false, false, RTFGen::kRed) + RunText("on black", false, false, RTFGen::kBlack, 0, 0) +
        RunText("other", false, false, 0x123456, 0, 0x123456) +
        RunText("iu", true, false, 0, 0, -1, true, true)));
    const auto& runs = doc.Paragraphs[0].Runs;
    ASSERT_EQ(runs.size(), 4U);
    EXPECT_EQ(runs[0].Format.Foreground, kRed);
    EXPECT_EQ(runs[1].Format.Highlight, kBlackColor);
    EXPECT_EQ(runs[2].Format.Foreground, kBlackColor);  // outside the palette: black
    EXPECT_FALSE(runs[2].Format.Highlight.has_value());
    EXPECT_TRUE(runs[3].Format.Italic);
    EXPECT_TRUE(runs[3].Format.Underline);
    EXPECT_FALSE(runs[3].Format.Bold);
}

TEST(RtfReader, AlignmentInEffectAtTheParagraphMarkWins) {
    const RtfParsedDocument doc = RtfReader::Parse(Document(
        RunText("right", true, false, 0, RTFGen::kAlignRight) +
        RunText("centre", true, false, 0, RTFGen::kAlignCenter) + RunText("none", true, false, 0, 3) +
        RunText("label ", false, false, 0, RTFGen::kAlignRight) + RunText("value", true)));
    ASSERT_EQ(doc.Paragraphs.size(), 5U);
    EXPECT_EQ(doc.Paragraphs[0].Alignment, RtfAlignment::Right);
    EXPECT_EQ(doc.Paragraphs[1].Alignment, RtfAlignment::Center);
    EXPECT_EQ(doc.Paragraphs[2].Alignment, RtfAlignment::Left);
    EXPECT_EQ(doc.Paragraphs[3].Alignment, RtfAlignment::Left);  // the alignment ended with its group
    EXPECT_EQ(RtfReader::Parse(R"({\qj a\par\pard b})").Paragraphs[1].Alignment, RtfAlignment::Left);
    EXPECT_EQ(RtfReader::Parse(R"({\qj a\par b})").Paragraphs[1].Alignment, RtfAlignment::Justify);
}

TEST(RtfReader, CharacterFormattingKeywords) {
    const RtfParsedDocument doc =
        RtfReader::Parse(R"({\b\i\ul bold\b0  plain-b\i0\ul0 none\ul x\ulnone y\fs30 z\plain\fs0 w})");
    const auto& runs = doc.Paragraphs[0].Runs;
    ASSERT_EQ(runs.size(), 7U);
    EXPECT_TRUE(runs[0].Format.Bold && runs[0].Format.Italic && runs[0].Format.Underline);
    EXPECT_EQ(runs[1].Text, " plain-b");  // one space ends the word, the next is text
    EXPECT_FALSE(runs[1].Format.Bold);
    EXPECT_TRUE(runs[1].Format.Italic);
    EXPECT_EQ(runs[2].Text, "none");
    EXPECT_TRUE(runs[3].Format.Underline);
    EXPECT_EQ(runs[4].Text, "y");
    EXPECT_FALSE(runs[4].Format.Underline);
    EXPECT_EQ(runs[5].Format.FontSize, 30);
    EXPECT_EQ(runs[6].Text, "w");
    EXPECT_EQ(runs[6].Format, RtfCharFormat{});
}

TEST(RtfReader, FontSizeIsKeptWithinBounds) {
    EXPECT_EQ(RtfReader::Parse(R"({\fs99999999999999 a})").Paragraphs[0].Runs[0].Format.FontSize,
              RtfReader::kMaxFontSize);
    EXPECT_EQ(RtfReader::Parse(R"({\fs1 a})").Paragraphs[0].Runs[0].Format.FontSize, RtfReader::kMinFontSize);
    EXPECT_EQ(RtfReader::Parse(R"({\fs-30 a})").Paragraphs[0].Runs[0].Format.FontSize, 24);
}

TEST(RtfReader, GroupsRestoreTheFormattingAroundThem) {
    const RtfParsedDocument doc = RtfReader::Parse(R"({\b outer{\b0\i inner}back})");
    const auto& runs = doc.Paragraphs[0].Runs;
    ASSERT_EQ(runs.size(), 3U);
    EXPECT_TRUE(runs[0].Format.Bold);
    EXPECT_FALSE(runs[1].Format.Bold);
    EXPECT_TRUE(runs[1].Format.Italic);
    EXPECT_EQ(runs[2].Text, "back");
    EXPECT_TRUE(runs[2].Format.Bold);
    EXPECT_FALSE(runs[2].Format.Italic);
}

TEST(RtfReader, EightBitAndUnicodeText) {
    EXPECT_EQ(RtfReader::Parse(R"({caf\'e9})").PlainText(), "caf\xC3\xA9");
    EXPECT_EQ(RtfReader::Parse(R"({caf\'c3\'a9})").PlainText(), "caf\xC3\xA9");  // UTF-8 bytes
    EXPECT_EQ(RtfReader::Parse("{caf\xC3\xA9}").PlainText(), "caf\xC3\xA9");
    EXPECT_EQ(RtfReader::Parse("{\x80 5}").PlainText(), "\xE2\x82\xAC 5");  // Windows-1252 euro sign
    EXPECT_EQ(RtfReader::Parse(R"({\u8364? 5\uc0\u-3999 x})").PlainText(), "\xE2\x82\xAC 5\xEF\x81\xA1x");
    EXPECT_EQ(RtfReader::Parse(R"({a\~b\tab c\line d})").PlainText(),
              "a\xC2\xA0"
              "b\tc\xE2\x80\xA8"
              "d");
    EXPECT_EQ(RtfReader::Parse("{a\r\nb\\\nc}").PlainText(), "ab\nc");
}

TEST(RtfReader, UnknownWordsAreIgnoredAndForeignDestinationsSkipped) {
    EXPECT_EQ(
        RtfReader::Parse(R"({\rtf1\ansi\deff0{\fonttbl{\f0 Arial;}}{\*\generator X;}\f0\lang1031 Hello})")
            .PlainText(),
        "Hello");
    EXPECT_EQ(RtfReader::Parse(R"({\frobnicate42 a{\*\secret hidden {nested}}b})").PlainText(), "ab");
    EXPECT_EQ(RtfReader::Parse(R"({\info{\title T}}x)").PlainText(), "x");
}

TEST(RtfReader, ColourIndexesOutsideTheTableHaveNoColour) {
    const RtfParsedDocument doc =
        RtfReader::Parse(R"({{\colortbl;\red1\green2\blue3}\cf1 a\cf9 b\highlight1 c\highlight0\cf-1 d})");
    ASSERT_EQ(doc.ColorTable.size(), 2U);  // the last entry lacks its ';'
    const auto& runs = doc.Paragraphs[0].Runs;
    ASSERT_EQ(runs.size(), 4U);
    EXPECT_EQ(runs[0].Format.Foreground, (RtfColor{1, 2, 3}));
    EXPECT_FALSE(runs[1].Format.Foreground.has_value());
    EXPECT_EQ(runs[2].Format.Highlight, (RtfColor{1, 2, 3}));
    EXPECT_FALSE(runs[2].Format.Foreground.has_value());
    EXPECT_FALSE(runs[3].Format.Foreground.has_value());
    EXPECT_FALSE(runs[3].Format.Highlight.has_value());
    EXPECT_EQ(RtfReader::Parse(R"({{\colortbl;\red999\green-5\blue7;}\cf1 a})").ColorTable[1],
              (RtfColor{255, 0, 7}));
}

TEST(RtfReader, MalformedInputNeverFails) {
    const std::string inputs[] = {"",
                                  "}}}}",
                                  "{{{{",
                                  "\\",
                                  "{\\'",
                                  "{\\'4",
                                  "{\\'zz}",
                                  "\\u",
                                  "\\u-",
                                  "{\\fs-}",
                                  "{\\colortbl",
                                  "{\\*",
                                  "\\par\\",
                                  "{\\b-",
                                  std::string("\0\0\x01", 3),
                                  "{\\uc99999999 \\u65 abc}"};
    for (const std::string& input : inputs) {
        const RtfParsedDocument doc = RtfReader::Parse(input);
        EXPECT_FALSE(doc.Paragraphs.empty()) << input;
    }
    EXPECT_EQ(RtfReader::Parse("}a}b{").PlainText(), "ab");
}

TEST(RtfReader, DeepNestingIsBoundedAndLinear) {
    const std::size_t depth = 200000;
    const std::string open(depth, '{');
    const std::string close(depth, '}');
    const auto start = std::chrono::steady_clock::now();
    const RtfParsedDocument doc = RtfReader::Parse(open + R"(\b deep)" + close + " top");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    ASSERT_EQ(doc.Paragraphs[0].Runs.size(), 2U);
    EXPECT_EQ(doc.Paragraphs[0].Runs[0].Text, "deep");
    EXPECT_TRUE(doc.Paragraphs[0].Runs[0].Format.Bold);
    // Past the nesting bound the groups share one state; it ends with the outermost ones.
    EXPECT_FALSE(doc.Paragraphs[0].Runs[1].Format.Bold);
}

TEST(RtfReader, DecodeBytesKeepsUtf8AndMapsOtherBytes) {
    EXPECT_EQ(RtfReader::DecodeBytes("plain"), "plain");
    EXPECT_EQ(RtfReader::DecodeBytes("\xE2\x82\xAC"), "\xE2\x82\xAC");
    EXPECT_EQ(RtfReader::DecodeBytes("\x93q\x94"), "\xE2\x80\x9Cq\xE2\x80\x9D");
    EXPECT_EQ(RtfReader::DecodeBytes("\xE9t\xE9"), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(RtfReader::DecodeBytes("\xC0\xAF"), "\xC3\x80\xC2\xAF");  // overlong: two Latin letters
    EXPECT_EQ(RtfReader::DecodeBytes("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xE2\x82\xAC");  // surrogate
    EXPECT_EQ(RtfReader::DecodeBytes("\xF0\x9F\x98"), "\xC3\xB0\xC5\xB8\xCB\x9C");      // cut short
}

// Every input the fuzzer kept (crashes, hangs and interesting cases) stays a test.
TEST(RtfReader, ReplaysTheFuzzCorpus) {
    const auto replayed = testing::replayCorpus({MARLIN_RTF_CORPUS_DIR}, [](const std::string& input) {
        const RtfParsedDocument doc = RtfReader::Parse(input);
        EXPECT_FALSE(doc.Paragraphs.empty());
        EXPECT_LE(doc.PlainText().size(), input.size() * 3 + 3);
    });
    EXPECT_GT(replayed, 0u);
}

}  // namespace
}  // namespace marlin
