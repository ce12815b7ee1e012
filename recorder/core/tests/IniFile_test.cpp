#include "marlin/core/IniFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "marlin/testing/TempDir.h"

namespace marlin {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

TEST(IniFileTest, MissingFileSectionOrKeyGivesTheDefault) {
    TempDir dir;
    const auto ini = dir.file("a.ini");
    EXPECT_EQ(ReadIniValue(ini, "ADDRESS", "VALUE", "localhost"), "localhost");
    EXPECT_EQ(ReadIniValue(ini, "ADDRESS", "VALUE"), "1");
    writeFile(ini, "[OTHER]\nVALUE=x\n");
    EXPECT_EQ(ReadIniValue(ini, "ADDRESS", "VALUE", "d"), "d");
    EXPECT_EQ(ReadIniValue(ini, "OTHER", "NOPE", "d"), "d");
}

TEST(IniFileTest, LookUpIgnoresLetterCaseAndTrimsValues) {
    TempDir dir;
    const auto ini = dir.file("a.ini");
    writeFile(ini, "; comment\r\n[Address]\r\n  value =  10.0.0.5  \r\n[x]\r\nk=\"quoted\"\r\n");
    EXPECT_EQ(ReadIniValue(ini, "ADDRESS", "VALUE", ""), "10.0.0.5");
    EXPECT_EQ(ReadIniValue(ini, "X", "K", ""), "quoted");
}

TEST(IniFileTest, KeyUpdatedInPlaceAndTheRestKept) {
    TempDir dir;
    const auto ini = dir.file("a.ini");
    const std::string before = "; my notes\r\n[ADDRESS]\r\nVALUE=old\r\nOTHER=keep\r\n\r\n[FOO]\r\nbar=1\r\n";
    writeFile(ini, before);
    ASSERT_TRUE(WriteIniValue(ini, "address", "value", std::string_view("new")));
    EXPECT_EQ(readFile(ini), "; my notes\r\n[ADDRESS]\r\nvalue=new\r\nOTHER=keep\r\n\r\n[FOO]\r\nbar=1\r\n");
}

TEST(IniFileTest, NewKeyGoesAfterTheLastKeyOfItsSection) {
    TempDir dir;
    const auto ini = dir.file("a.ini");
    writeFile(ini, "[A]\nx=1\n\n[B]\ny=2\n");
    ASSERT_TRUE(WriteIniValue(ini, "A", "z", std::string_view("3")));
    ASSERT_TRUE(WriteIniValue(ini, "C", "w", std::string_view("4")));
    EXPECT_EQ(readFile(ini), "[A]\nx=1\nz=3\n\n[B]\ny=2\n[C]\nw=4\n");
}

TEST(IniFileTest, NumbersAndFlags) {
    TempDir dir;
    const auto ini = dir.file("a.ini");
    ASSERT_TRUE(WriteIniValue(ini, "TRACES", "NUMBER", 2LL));
    ASSERT_TRUE(WriteIniFlag(ini, "F", "ON", true));
    EXPECT_EQ(ReadIniValue(ini, "TRACES", "NUMBER", "0"), "2");
    EXPECT_EQ(ReadIniValue(ini, "F", "ON", "0"), "1");
}

TEST(IniFileTest, LongValuesAreCutLikeTheProfileReader) {
    TempDir dir;
    const auto ini = dir.file("a.ini");
    ASSERT_TRUE(WriteIniValue(ini, "S", "K", std::string(900, 'x')));
    EXPECT_EQ(ReadIniValue(ini, "S", "K", "").size(), IniFile::kMaxValueLength);
}

TEST(IniFileTest, UnwritableFolderFailsWithoutTouchingAnything) {
    EXPECT_FALSE(WriteIniValue("/nonexistent-marlin-dir/x.ini", "S", "K", std::string_view("v")));
}

TEST(IniFileTest, FailedWriteKeepsTheWholeOldFile) {
    TempDir dir;
    const auto ini = dir.file("a.ini");
    writeFile(ini, "[S]\nK=old\n");
    // The temporary name is taken by a folder, so the new content has nowhere to go.
    std::filesystem::create_directory(ini + ".tmp");
    EXPECT_FALSE(WriteIniValue(ini, "S", "K", std::string_view("new")));
    EXPECT_EQ(readFile(ini), "[S]\nK=old\n");
}

TEST(IniFileTest, ReplacedFileKeepsItsPermissions) {
    TempDir dir;
    const auto ini = dir.file("a.ini");
    writeFile(ini, "[S]\nK=old\n");
    const auto ownerOnly = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;
    std::filesystem::permissions(ini, ownerOnly);
    ASSERT_TRUE(WriteIniValue(ini, "S", "K", std::string_view("new")));
    EXPECT_EQ(readFile(ini), "[S]\nK=new\n");
    EXPECT_EQ(std::filesystem::status(ini).permissions(), ownerOnly);
    EXPECT_FALSE(std::filesystem::exists(ini + ".tmp"));
}

}  // namespace
}  // namespace marlin
