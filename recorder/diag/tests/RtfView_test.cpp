#include <marlin/diag/RtfView.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <vector>

#include <marlin/diag/RTFGen.h>

namespace marlin {
namespace {

class RtfViewTest : public ::testing::Test {
protected:
    void Add(std::string_view text, bool newParagraph, bool bold = false, std::int32_t fore = RTFGen::kBlack,
             std::int32_t alignment = RTFGen::kAlignLeft, std::int32_t highlight = RTFGen::kNoHighlight) {
        RTFGen::RtfAddText(view, accumulator, text, newParagraph, bold, false, false, fore, alignment,
                           highlight, true);
    }

    // The text fragments of one block, in order.
    static std::vector<QTextFragment> Fragments(const QTextBlock& block) {
        std::vector<QTextFragment> fragments;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            fragments.push_back(it.fragment());
        }
        return fragments;
    }

    RtfView view;
    std::string accumulator;
};

TEST_F(RtfViewTest, BeginShowsAnEmptyDocumentInTheChosenFont) {
    view.SetPlainText("old text");
    RTFGen::RtfBegin(view, accumulator, "Lucida Console", 20);
    EXPECT_EQ(view.PlainText(), "");
    EXPECT_EQ(view.RtfText(), accumulator);
    EXPECT_EQ(view.document()->defaultFont().family(), QStringLiteral("Lucida Console"));
}

TEST_F(RtfViewTest, ShowsTheLabelAndValueLineWithItsFormatting) {
    RTFGen::RtfBegin(view, accumulator, "Lucida Console", 20);
    Add("Operating system", true, true);
    Add("Version: ", false, true, RTFGen::kDarkGreen);
    Add("1.15.1", true, false, RTFGen::kRed, RTFGen::kAlignLeft, RTFGen::kLightGrey);
    Add("centred", true, false, RTFGen::kBlack, RTFGen::kAlignCenter);
    Add("right", true, false, RTFGen::kBlack, RTFGen::kAlignRight);

    EXPECT_EQ(view.toPlainText(), QStringLiteral("Operating system\nVersion: 1.15.1\ncentred\nright\n"));
    const QTextDocument* doc = view.document();
    ASSERT_EQ(doc->blockCount(), 5);

    const auto heading = Fragments(doc->findBlockByNumber(0));
    ASSERT_EQ(heading.size(), 1U);
    EXPECT_EQ(heading[0].charFormat().fontWeight(), QFont::Bold);
    EXPECT_DOUBLE_EQ(heading[0].charFormat().fontPointSize(), 10.0);
    EXPECT_EQ(heading[0].charFormat().foreground().color(), QColor(0, 0, 0));

    const auto line = Fragments(doc->findBlockByNumber(1));
    ASSERT_EQ(line.size(), 2U);
    EXPECT_EQ(line[0].text(), QStringLiteral("Version: "));
    EXPECT_EQ(line[0].charFormat().fontWeight(), QFont::Bold);
    EXPECT_EQ(line[0].charFormat().foreground().color(), QColor(0, 127, 0));
    EXPECT_EQ(line[1].text(), QStringLiteral("1.15.1"));
    EXPECT_NE(line[1].charFormat().fontWeight(), QFont::Bold);
    EXPECT_EQ(line[1].charFormat().foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(line[1].charFormat().background().color(), QColor(127, 127, 127));
    EXPECT_FALSE(line[0].charFormat().hasProperty(QTextFormat::BackgroundBrush));

    EXPECT_TRUE(doc->findBlockByNumber(0).blockFormat().alignment() & Qt::AlignLeft);
    EXPECT_TRUE(doc->findBlockByNumber(2).blockFormat().alignment() & Qt::AlignHCenter);
    EXPECT_TRUE(doc->findBlockByNumber(3).blockFormat().alignment() & Qt::AlignRight);
}

TEST_F(RtfViewTest, PathsKeepOneBackslashAndBracesShowAsThemselves) {
    RTFGen::RtfBegin(view, accumulator, "Lucida Console", 20);
    Add(R"(C:\Windows\System32\qzib32.dll)", true);
    Add("{not a group", true);
    EXPECT_EQ(view.toPlainText(), QStringLiteral("C:\\Windows\\System32\\qzib32.dll\n{not a group\n"));
}

TEST_F(RtfViewTest, HighlightZeroIsBlackAndAlignmentThreeIsLeft) {
    RTFGen::RtfBegin(view, accumulator, "Lucida Console", 20);
    Add("black background", true, false, RTFGen::kWhite, 3, 0);
    const auto fragments = Fragments(view.document()->firstBlock());
    ASSERT_EQ(fragments.size(), 1U);
    EXPECT_EQ(fragments[0].charFormat().background().color(), QColor(0, 0, 0));
    EXPECT_EQ(fragments[0].charFormat().foreground().color(), QColor(255, 255, 255));
    EXPECT_TRUE(view.document()->firstBlock().blockFormat().alignment() & Qt::AlignLeft);
}

TEST_F(RtfViewTest, FlushPutsTheCaretAtTheEndAndScrollsToTheLastLine) {
    view.resize(240, 120);
    view.show();
    RTFGen::RtfBegin(view, accumulator, "Lucida Console", 20);
    for (int i = 0; i < 60; ++i) {
        Add("Line " + std::to_string(i), true);
    }
    QApplication::processEvents();
    EXPECT_EQ(view.textCursor().position(), view.document()->characterCount() - 1);
    QScrollBar* bar = view.verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    view.SetSelStart(3);
    EXPECT_EQ(view.textCursor().position(), 3);
}

TEST_F(RtfViewTest, PlainTextReplacesTheDocument) {
    RTFGen::RtfBegin(view, accumulator, "Lucida Console", 20);
    Add("formatted", true, true);
    view.SetPlainText("a{b}\\c\nd");
    EXPECT_EQ(view.PlainText(), "a{b}\\c\nd");
    // The document text stays in step: reading it back shows the same text.
    EXPECT_EQ(RtfReader::Parse(view.RtfText()).PlainText(), "a{b}\\c\nd");
}

TEST_F(RtfViewTest, MalformedDocumentsShowWhatTheyCan) {
    view.SetRtfText("{\\b unclosed {\\i group \\'e9\\u8364?");
    EXPECT_EQ(view.toPlainText(), QString::fromUtf8("unclosed group \xC3\xA9\xE2\x82\xAC"));
    view.SetRtfText(std::string(100000, '{') + "x" + std::string(3, '}'));
    EXPECT_EQ(view.toPlainText(), QStringLiteral("x"));
    view.SetRtfText("}}}\\");
    EXPECT_EQ(view.toPlainText(), QString());
}

}  // namespace
}  // namespace marlin
