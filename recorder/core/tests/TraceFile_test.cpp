#include "marlin/core/TraceFile.h"

#ifdef __linux__
#include <sys/resource.h>

#include <csignal>
#endif

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "marlin/testing/ExampleTime.h"
#include "marlin/testing/TempDir.h"

namespace marlin {
namespace {

using testing::readFile;
using testing::exampleTime;
using testing::TempDir;
using testing::writeFile;

std::string floats(std::vector<float> values) {
    std::string bytes(values.size() * 4, '\0');
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

TEST(TraceFileTest, InstrumentHeaderEndsOneCharacterAfterTheValueCount) {
    const std::string text = "Type;FSX;\r\nValues;501;\r\n1;2;\r\n";
    EXPECT_EQ(TraceFile::instrumentHeader(text), "Type;FSX;\n\nValues;501;\n");
    // No "Values;": the first ";" from the seventh character on ends it.
    EXPECT_EQ(TraceFile::instrumentHeader("abcdefgh;ij"), "abcdefgh;i");
    EXPECT_EQ(TraceFile::instrumentHeader("no separator"), "n");
    EXPECT_EQ(TraceFile::instrumentHeader(""), "");
}

TEST(TraceFileTest, HeadTextHasSixDecimalsAndLineFeeds) {
    EXPECT_EQ(TraceFile::headText(0.5, "A;1;\r\nValues;3;\r\n"),
              "ENDSTOP;0x00000097\nCAPDELAYTIME;0.500000\nA;1;\n\nValues;3;\n");
    EXPECT_EQ(TraceFile::headText(3600, "x").substr(19), "CAPDELAYTIME;3600.000000\nx");
}

TEST(TraceFileTest, CountFieldIsAlwaysEighteenBytes) {
    EXPECT_EQ(TraceFile::countField(10), "ENDSTOP;0xA       ");
    EXPECT_EQ(TraceFile::countField(16), "ENDSTOP;0x10      ");
    for (int i = 1; i <= 16; ++i) EXPECT_EQ(TraceFile::countField(i).size(), 18u);
    EXPECT_EQ(TraceFile::countField(0x7FFFFFFF), "ENDSTOP;0x7FFFFFFF");
}

TEST(TraceFileTest, SectionLinesDifferByTheBlank) {
    EXPECT_EQ(TraceFile::sectionLine(3, exampleTime(), false), "Section3;2010.3.2_9.5.7:40");
    EXPECT_EQ(TraceFile::sectionLine(3, exampleTime(), true), "Section 3;2010.3.2_9.5.7:40");
}

TEST(TraceFileTest, JoinValuesKeepsTheBlankOfNonNegativeValues) {
    EXPECT_EQ(TraceFile::JoinValues(floats({-50.5f, -51.0f, 2.5f}), ";"), "-50.5;-51; 2.5");
    EXPECT_EQ(TraceFile::JoinValues(floats({1.0f, 0.25f}), ""), " 1 .25");
    EXPECT_EQ(TraceFile::JoinValues(floats({1.0f, 2.0f}), "||"), " 1|| 2");
    EXPECT_EQ(TraceFile::JoinValues("", ","), "");
}

TEST(TraceFileTest, SuggestedFileName) {
    EXPECT_EQ(TraceFile::suggestedFileName("10.0.0.5", "1", exampleTime()), "10.0.0.5_trace1@2010-3-2 09_05_07");
}

TEST(TraceFileTest, BinaryRecordingOfThreeReadings) {
    TempDir dir;
    const auto path = dir.file("t.sft");
    const std::string head = TraceFile::headText(1, "H;\r\nValues;501;\r\n");
    ASSERT_TRUE(TraceFile::writeHead(path, head));
    const std::string data(2004, '\x41');
    for (int k = 1; k <= 3; ++k) ASSERT_TRUE(TraceFile::appendBinarySection(path, k, exampleTime(), data));
    std::string expected = "ENDSTOP;0x3       " + head.substr(18);
    for (int k = 1; k <= 3; ++k)
        expected += "Section" + std::to_string(k) + ";2010.3.2_9.5.7:40\n" + data + "\n";
    EXPECT_EQ(readFile(path), expected);
}

TEST(TraceFileTest, BinarySectionIntoANewFileFollowsTheCountField) {
    TempDir dir;
    const auto path = dir.file("new.sft");
    ASSERT_TRUE(TraceFile::appendBinarySection(path, 5, exampleTime(), "abcd"));
    EXPECT_EQ(readFile(path), "ENDSTOP;0x5       Section5;2010.3.2_9.5.7:40\nabcd\n");
}

TEST(TraceFileTest, BinarySectionNeverOverlapsTheCountFieldOfAShortFile) {
    TempDir dir;
    const auto path = dir.file("short.sft");
    writeFile(path, "\r\n");
    ASSERT_TRUE(TraceFile::appendBinarySection(path, 1, exampleTime(), "abcd"));
    EXPECT_EQ(readFile(path), "ENDSTOP;0x1       Section1;2010.3.2_9.5.7:40\nabcd\n");
}

TEST(TraceFileTest, AsciiSectionsEndWithCrLfAndKeepTheCountField) {
    TempDir dir;
    const auto path = dir.file("a.sft");
    ASSERT_TRUE(TraceFile::writeHead(path, TraceFile::headText(1, "Values;2;")));
    ASSERT_TRUE(TraceFile::appendAsciiSection(path, 12, exampleTime(), "-1, 2"));
    EXPECT_EQ(
        readFile(path),
        "ENDSTOP;0x00000097\nCAPDELAYTIME;1.000000\nValues;2;Section 12;2010.3.2_9.5.7:40\r\n-1, 2\r\n");
}

TEST(TraceFileTest, HeadIsWrittenOverTheStartWithoutTruncating) {
    TempDir dir;
    const auto path = dir.file("h.sft");
    writeFile(path, std::string(100, 'z'));
    ASSERT_TRUE(TraceFile::writeHead(path, "HEAD"));
    EXPECT_EQ(readFile(path), "HEAD" + std::string(96, 'z'));
}

TEST(TraceFileTest, EmptyFileLeavesOneEmptyLine) {
    TempDir dir;
    const auto path = dir.file("e.sft");
    writeFile(path, "old contents that must go");
    ASSERT_TRUE(TraceFile::emptyFile(path));
    EXPECT_EQ(readFile(path), "\r\n");
}

TEST(TraceFileTest, FailuresNameTheFileAndTheReason) {
    const std::string path = "/nonexistent-marlin-dir/t.sft";
    const auto head = TraceFile::writeHead(path, "x");
    EXPECT_FALSE(head.ok);
    EXPECT_NE(head.message.find(path), std::string::npos);
    EXPECT_NE(head.message.find("No such file or directory"), std::string::npos);
    EXPECT_FALSE(TraceFile::appendBinarySection(path, 1, exampleTime(), "abcd").ok);
    EXPECT_FALSE(TraceFile::appendAsciiSection(path, 1, exampleTime(), "1").ok);
}

#ifdef __linux__
TEST(TraceFileTest, FullDiskKeepsWhatWasInTheFile) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    // /dev/full accepts opening and fails every write with ENOSPC.
    const auto result = TraceFile::appendAsciiSection("/dev/full", 1, exampleTime(), "1");
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find("No space left on device"), std::string::npos);
}

TEST(TraceFileTest, HeadThatCannotBeWrittenLeavesNoEmptyFileBehind) {
    TempDir dir;
    const auto path = dir.file("full.sft");
    // A file size limit of 8 bytes stands in for a disk that fills up before the head is in.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 8;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const auto result = TraceFile::writeHead(path, TraceFile::headText(1, "Values;2;"));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(TraceFile::exists(path));  // the next recording needs no --overwrite
}
#endif

}  // namespace
}  // namespace marlin
