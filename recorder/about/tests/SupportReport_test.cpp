#include <marlin/about/SupportReport.h>

#include "AboutFakes.h"

#include <gtest/gtest.h>

namespace marlin::about {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

TEST(SupportReport, FillNeverShortensAndFitCutsToWidth) {
    EXPECT_EQ(SupportReport::fill(QStringLiteral("Date:"), 8), QStringLiteral("Date:   "));
    EXPECT_EQ(SupportReport::fill(QStringLiteral("a much longer label"), 5),
              QStringLiteral("a much longer label"));
    EXPECT_EQ(SupportReport::fitExactly(QStringLiteral("QZFSP_VERY_LONG_NAME_32.DLL"), 20),
              QStringLiteral("QZFSP_VERY_LONG_NAME"));
    EXPECT_EQ(SupportReport::fitExactly(QStringLiteral("QZA.DLL"), 10), QStringLiteral("QZA.DLL   "));
    EXPECT_EQ(SupportReport::trimBlanks(QStringLiteral("  a b  ")), QStringLiteral("a b"));
}

TEST(SupportReport, HeadLinesOpenTheReport) {
    SupportReport report;
    report.addLine(QStringLiteral("stale"), QStringLiteral("line"));
    report.beginGlobalSetup(QStringLiteral("Marlin"), QStringLiteral("1.15.1"), QStringLiteral("12/8/2010"));
    EXPECT_EQ(report.text(), QStringLiteral("*** GLOBAL SETUP ***") + kCrLf +
                                 QStringLiteral("Product:              Marlin") + kCrLf +
                                 QStringLiteral("Version:              1.15.1") + kCrLf +
                                 QStringLiteral("Date:                 12/8/2010") + kCrLf);
}

TEST(SupportReport, HeadingGoesToPaneInBoldAndToReportInUpperCase) {
    SupportReport report;
    RecordingPane pane;
    report.addInfoLine(pane, QStringLiteral("Language settings"), QString(), true);
    report.addInfoLine(pane, QStringLiteral("Abc"), QStringLiteral("def"), true);

    EXPECT_EQ(report.text(), QStringLiteral("***LANGUAGE SETTINGS***") + kCrLf + QStringLiteral("***ABC") +
                                 QString(19, QLatin1Char(' ')) + QStringLiteral("DEF***") + kCrLf);
    ASSERT_EQ(pane.runs.size(), 4u);
    EXPECT_EQ(pane.runs[0].text, QStringLiteral("Language settings   "));
    EXPECT_TRUE(pane.runs[0].format.bold);
    EXPECT_FALSE(pane.runs[0].format.italic);
    EXPECT_FALSE(pane.runs[0].format.newParagraph);
    EXPECT_EQ(pane.runs[1].text, QString());
    EXPECT_FALSE(pane.runs[1].format.bold);
    EXPECT_TRUE(pane.runs[1].format.newParagraph);
    for (const auto& run : pane.runs) {
        EXPECT_TRUE(run.format.flush);
        EXPECT_EQ(run.format.alignment, 0);
        EXPECT_EQ(run.format.foreColor, 0);
        EXPECT_EQ(run.format.highlightColor, -1);
        EXPECT_FALSE(run.format.underline);
    }
}

TEST(SupportReport, PlainLineHasItalicLabelWithTwoBlanksAndAlignedReportValue) {
    SupportReport report;
    RecordingPane pane;
    report.addInfoLine(pane, QStringLiteral("Country"), QStringLiteral("Germany"), false);
    report.addInfoLine(pane, QStringLiteral("A label of twenty-five ch"), QStringLiteral("v"), false);

    EXPECT_EQ(report.text(), QStringLiteral("Country               Germany") + kCrLf +
                                 QStringLiteral("A label of twenty-five chv") + kCrLf);
    EXPECT_EQ(pane.lines(), QStringList({QStringLiteral("Country             Germany"),
                                         QStringLiteral("A label of twenty-five ch  v")}));
    EXPECT_TRUE(pane.runs[0].format.italic);
    EXPECT_FALSE(pane.runs[0].format.bold);
}

TEST(SupportReport, BlankLineIsEmptyInPaneAndTwentyTwoBlanksInReport) {
    SupportReport report;
    RecordingPane pane;
    report.addInfoLine(pane, QString(), QString(), false);
    EXPECT_EQ(report.text(), QString(22, QLatin1Char(' ')) + kCrLf);
    ASSERT_EQ(pane.lines().size(), 1);
    EXPECT_EQ(pane.lines().first().trimmed(), QString());
}

}  // namespace

}  // namespace marlin::about
