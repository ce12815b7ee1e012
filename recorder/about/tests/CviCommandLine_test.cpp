#include <marlin/about/CviCommandLine.h>

#include <gtest/gtest.h>

namespace marlin::about {

namespace {

const QString kExample =
    QStringLiteral("CVI \"Tool\",\"Does things\",\"2.0\",\"Lab\",\"Maker 2010\",\"address\"");

void expectExampleFields(const CviCommandLine& line) {
    ASSERT_TRUE(line.isActive());
    ASSERT_TRUE(line.isComplete());
    EXPECT_EQ(line.applicationName(), QStringLiteral("Tool"));
    EXPECT_EQ(line.description(), QStringLiteral("Does things"));
    EXPECT_EQ(line.version(), QStringLiteral("2.0"));
    EXPECT_EQ(line.user(), QStringLiteral("Lab"));
    EXPECT_EQ(line.copyrightHolder(), QStringLiteral("Maker 2010"));
    EXPECT_EQ(line.appNoteAddress(), QStringLiteral("address"));
}

TEST(CviCommandLine, ExampleWithQuotesKept) {
    expectExampleFields(CviCommandLine::fromText(kExample));
    expectExampleFields(CviCommandLine::fromArguments({kExample}));
    expectExampleFields(CviCommandLine::fromArguments(
        {QStringLiteral("CVI"),
         QStringLiteral("\"Tool\",\"Does things\",\"2.0\",\"Lab\",\"Maker 2010\",\"address\"")}));
}

TEST(CviCommandLine, ExampleAfterTheShellRemovedTheQuotes) {
    expectExampleFields(CviCommandLine::fromArguments(
        {QStringLiteral("CVI"), QStringLiteral("Tool,Does things,2.0,Lab,Maker 2010,address")}));
    // One argument per field keeps commas inside a field.
    const CviCommandLine separate = CviCommandLine::fromArguments(
        {QStringLiteral("CVI"), QStringLiteral("Tool"), QStringLiteral("Does things, fast"),
         QStringLiteral("2.0"), QStringLiteral("Lab"), QStringLiteral("Maker 2010"),
         QStringLiteral("address")});
    ASSERT_TRUE(separate.isComplete());
    EXPECT_EQ(separate.description(), QStringLiteral("Does things, fast"));
}

TEST(CviCommandLine, FieldsAreTrimmedAndBlanksAroundTheListTolerated) {
    const CviCommandLine line = CviCommandLine::fromText(
        QStringLiteral("CVI  \" Tool \",\"Does things\",\"2.0\",\"Lab\",\"Maker\",\" x \" "));
    ASSERT_TRUE(line.isComplete());
    EXPECT_EQ(line.applicationName(), QStringLiteral("Tool"));
    EXPECT_EQ(line.appNoteAddress(), QStringLiteral("x"));
}

TEST(CviCommandLine, FewFieldsOrNoneStillMeanTheMode) {
    for (const QString& text : {QStringLiteral("CVI"), QStringLiteral("CVI "), QStringLiteral("CVI \""),
                                QStringLiteral("CVI \"Tool\",\"Does things\"")}) {
        const CviCommandLine line = CviCommandLine::fromText(text);
        EXPECT_TRUE(line.isActive()) << text.toStdString();
        EXPECT_FALSE(line.isComplete()) << text.toStdString();
    }
    EXPECT_TRUE(CviCommandLine::fromArguments({QStringLiteral("CVI")}).isActive());
    EXPECT_EQ(CviCommandLine::fromText(QStringLiteral("CVI \"Tool\",\"Does things\"")).fields().size(), 2);
}

TEST(CviCommandLine, OtherCommandLinesAreNotTheMode) {
    EXPECT_FALSE(CviCommandLine::fromArguments({}).isActive());
    EXPECT_FALSE(CviCommandLine::fromArguments({QStringLiteral("--help")}).isActive());
    EXPECT_FALSE(CviCommandLine::fromArguments({QStringLiteral("cvi"), QStringLiteral("a")}).isActive());
    EXPECT_FALSE(CviCommandLine::fromText(QStringLiteral(" CVI \"a\"")).isActive());
}

}  // namespace

}  // namespace marlin::about
