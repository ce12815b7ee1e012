#include "ScpiParser.h"

#include <gtest/gtest.h>

#include "ScpiErrors.h"

namespace marlin::sim {
namespace {

TEST(ScpiParserTest, SplitsUnitsAndReadsHeadersQueriesAndParameters) {
    const auto cmds = ScpiParser::parse("INIT:IMM;*WAI;:FREQ:CENT 1 GHz;TRAC? TRACE1\r\n");
    ASSERT_EQ(cmds.size(), 4u);
    EXPECT_EQ(cmds[0].tokens, (std::vector<std::string>{"INIT", "IMM"}));
    EXPECT_FALSE(cmds[0].query);
    EXPECT_TRUE(cmds[1].common);
    EXPECT_EQ(cmds[1].tokens, (std::vector<std::string>{"WAI"}));
    EXPECT_TRUE(cmds[2].absolute);
    EXPECT_EQ(cmds[2].params, (std::vector<std::string>{"1 GHz"}));
    EXPECT_TRUE(cmds[3].query);
    EXPECT_EQ(cmds[3].tokens, (std::vector<std::string>{"TRAC"}));
    EXPECT_EQ(cmds[3].params, (std::vector<std::string>{"TRACE1"}));
    for (const auto& c : cmds) EXPECT_EQ(c.syntaxError, 0) << c.text;
}

TEST(ScpiParserTest, HeadersAreReadInUpperCase) {
    const auto cmds = ScpiParser::parse("syst:Err:cle:All");
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0].tokens, (std::vector<std::string>{"SYST", "ERR", "CLE", "ALL"}));
}

TEST(ScpiParserTest, SeparatorsInsideStringsAndBlocksDoNotSplit) {
    const auto cmds = ScpiParser::parse("MMEM:STOR:TRAC  1,'C:\\A;B,C.DAT';MMEM:DATA 'x',#14a;b,;*CLS");
    ASSERT_EQ(cmds.size(), 3u);
    EXPECT_EQ(cmds[0].params, (std::vector<std::string>{"1", "'C:\\A;B,C.DAT'"}));
    EXPECT_EQ(cmds[1].params, (std::vector<std::string>{"'x'", "#14a;b,"}));
    EXPECT_TRUE(cmds[2].common);
}

TEST(ScpiParserTest, EmptyMessagesAndATrailingSemicolonYieldNothingExtra) {
    EXPECT_TRUE(ScpiParser::parse("").empty());
    EXPECT_TRUE(ScpiParser::parse(" \r\n").empty());
    EXPECT_EQ(ScpiParser::parse("*CLS;").size(), 1u);
}

TEST(ScpiParserTest, MalformedUnitsCarryTheirErrorNumber) {
    auto one = [](const char* text) {
        const auto cmds = ScpiParser::parse(text);
        return cmds.empty() ? 0 : cmds.front().syntaxError;
    };
    EXPECT_EQ(one("SYST::ERR?"), scpi::kSyntaxError);
    EXPECT_EQ(one(":"), scpi::kSyntaxError);
    EXPECT_EQ(one("FREQ$CENT 1"), scpi::kInvalidCharacter);
    EXPECT_EQ(one("*IDN?X"), scpi::kInvalidSeparator);
    EXPECT_EQ(one("FREQ:CENT 1,,2"), scpi::kSyntaxError);
    const auto cmds = ScpiParser::parse("*CLS;;*RST");
    ASSERT_EQ(cmds.size(), 3u);
    EXPECT_EQ(cmds[1].syntaxError, scpi::kSyntaxError);
    EXPECT_EQ(cmds[2].syntaxError, 0);
}

}  // namespace
}  // namespace marlin::sim
