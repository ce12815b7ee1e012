#include "marlin/core/RecorderSettings.h"

#include <gtest/gtest.h>

#include "marlin/testing/TempDir.h"

namespace marlin {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

TEST(RecorderSettingsTest, NoFileGivesTheDefaults) {
    TempDir dir;
    const auto s = SettingsFile(dir.file("marlin.ini")).load();
    EXPECT_EQ(s.address, "localhost");
    EXPECT_EQ(s.interval, "1");
    EXPECT_EQ(s.traceIndex, 0);
    EXPECT_EQ(s.traceText(), "1");
    EXPECT_EQ(s.fileName, RecorderSettings::defaultFileName());
    EXPECT_EQ(s.format, FileForm::Binary);
    EXPECT_EQ(s.separator, ",");
#ifndef _WIN32
    EXPECT_NE(s.fileName.find("trace.sft"), std::string::npos);
    EXPECT_EQ(s.fileName.front(), '/');
#endif
}

TEST(RecorderSettingsTest, SavedFileReadsAsTheProgramWritesIt) {
    TempDir dir;
    const SettingsFile file(dir.file("marlin.ini"));
    RecorderSettings s = RecorderSettings::defaults();
    s.fileName = "c:\\trace.sft";
    s.traceIndex = 2;
    ASSERT_TRUE(file.save(s));
    EXPECT_EQ(readFile(file.path()),
              "[ADDRESS]\nVALUE=localhost\n[INTERVAL]\nVALUE=1\n[TRACES]\nNUMBER=2\n[FILEPATH]\nVALUE=c:"
              "\\trace.sft\n"
              "[FORMAT]\nTYPE=Binary\n[SEPARATOR]\nTYPE=,\n");
}

TEST(RecorderSettingsTest, RoundTripOfEverySetting) {
    TempDir dir;
    const SettingsFile file(dir.file("marlin.ini"));
    RecorderSettings s;
    s.address = "analyzer-7.lab";
    s.interval = "1,5";
    s.traceIndex = 3;
    s.fileName = "/data/run 1.sft";
    s.format = FileForm::Ascii;
    s.separator = "||";
    ASSERT_TRUE(file.save(s));
    const auto back = file.load();
    EXPECT_EQ(back.address, s.address);
    EXPECT_EQ(back.interval, s.interval);
    EXPECT_EQ(back.traceIndex, 3);
    EXPECT_EQ(back.fileName, s.fileName);
    EXPECT_EQ(back.format, FileForm::Ascii);
    EXPECT_EQ(back.separator, "||");
}

TEST(RecorderSettingsTest, FormatMustBeExactlyUpperCaseAscii) {
    TempDir dir;
    const auto ini = dir.file("marlin.ini");
    writeFile(ini, "[FORMAT]\nTYPE=ascii\n");
    EXPECT_EQ(SettingsFile(ini).load().format, FileForm::Binary);
    writeFile(ini, "[FORMAT]\nTYPE=ASCII\n");
    EXPECT_EQ(SettingsFile(ini).load().format, FileForm::Ascii);
}

TEST(RecorderSettingsTest, TraceNumberOutsideTheListFallsBackToTheFirst) {
    TempDir dir;
    const auto ini = dir.file("marlin.ini");
    writeFile(ini, "[TRACES]\nNUMBER=9\n");
    EXPECT_EQ(SettingsFile(ini).load().traceIndex, 0);
    writeFile(ini, "[TRACES]\nNUMBER=-1\n");
    EXPECT_EQ(SettingsFile(ini).load().traceIndex, -1);
    writeFile(ini, "[TRACES]\nNUMBER=2.6\n");
    EXPECT_EQ(SettingsFile(ini).load().traceIndex, 3);
}

TEST(RecorderSettingsTest, ReconnectHasASectionOfItsOwnOnlyOnceChosen) {
    TempDir dir;
    const SettingsFile file(dir.file("marlin.ini"));
    RecorderSettings s = RecorderSettings::defaults();
    ASSERT_TRUE(file.save(s));
    const std::string before = readFile(file.path());
    EXPECT_EQ(before.find("RECONNECT"), std::string::npos);
    EXPECT_FALSE(file.load().reconnect);  // as every file written before reads
    EXPECT_EQ(file.load().giveUpSeconds(), 3600);

    s.reconnect = true;
    s.giveUpAfter = 90.5;
    ASSERT_TRUE(file.save(s));
    EXPECT_EQ(readFile(file.path()), before + "[RECONNECT]\nVALUE=1\nGIVEUPAFTER=90.5\n");
    EXPECT_TRUE(file.load().reconnect);
    EXPECT_EQ(file.load().giveUpSeconds(), 90.5);
    s.reconnect = false;  // switched off again: said so, not left out
    ASSERT_TRUE(file.save(s));
    EXPECT_FALSE(file.load().reconnect);

    for (const char* bad : {"0", "-5", "soon"}) {
        writeFile(file.path(), std::string("[RECONNECT]\nVALUE=TRUE\nGIVEUPAFTER=") + bad + "\n");
        EXPECT_TRUE(file.load().reconnect);
        EXPECT_FALSE(file.load().giveUpAfter) << bad;
    }
}

TEST(RecorderSettingsTest, DefaultPathIsAWritablePlace) {
    const auto path = SettingsFile::defaultPath();
    EXPECT_NE(path.find(SettingsFile::kFileName), std::string::npos);
}

}  // namespace
}  // namespace marlin
