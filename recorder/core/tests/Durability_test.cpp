// Files that survive a crash: one write per section, sections synced to the disk before they are
// reported, and a recording that ends before a full disk would cut a section.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <optional>
#include <string>

#include "marlin/testing/ExampleTime.h"
#include "marlin/testing/FakeBus.h"
#include "marlin/testing/FakeHostProbe.h"
#include "FakeWindow.h"
#include "marlin/testing/TempDir.h"
#include "marlin/core/DiskRoom.h"
#include "marlin/core/RecordingSession.h"
#include "marlin/core/TraceFile.h"
#include "SessionFixture.h"

namespace marlin {
namespace {

using testing::exampleTime;
using testing::FakeBus;
using testing::FakeHostProbe;
using testing::FakeStopwatch;
using testing::FakeWindow;
using testing::readFile;
using testing::TempDir;

#ifdef __linux__
// Write system calls this process has made so far.
long writeCalls() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long value = 0;
    while (io >> key >> value) {
        if (key == "syscw:") return value;
    }
    return -1;
}

TEST(DurabilitySingleWrite, AsciiSectionIsOneWriteAndBinaryTheSectionThenTheCountField) {
    if (writeCalls() < 0) GTEST_SKIP() << "no write count in /proc/self/io";
    TempDir dir;
    const auto path = dir.file("w.sft");
    ASSERT_TRUE(TraceFile::writeHead(path, TraceFile::headText(1, "Values;3;")));
    const std::string values = TraceFile::JoinValues(std::string(12, '\x41'), ",");
    long before = writeCalls();
    ASSERT_TRUE(TraceFile::appendAsciiSection(path, 1, exampleTime(), values));
    EXPECT_EQ(writeCalls() - before, 1);
    TextBuffer built;
    TraceFile::asciiSectionInto(built, 2, exampleTime(), std::string(12, '\x41'), ",");
    before = writeCalls();
    ASSERT_TRUE(TraceFile::appendAsciiSectionText(path, built.view(), nullptr, true));
    EXPECT_EQ(writeCalls() - before, 1);
    // Both ways give the same bytes as ever.
    const std::string section = "\r\n" + values + "\r\n";
    EXPECT_EQ(readFile(path), TraceFile::headText(1, "Values;3;") + "Section 1;2010.3.2_9.5.7:40" + section +
                                  "Section 2;2010.3.2_9.5.7:40" + section);

    before = writeCalls();
    ASSERT_TRUE(TraceFile::appendBinarySection(path, 3, exampleTime(), "abcd"));
    EXPECT_EQ(writeCalls() - before, 2);
}
#endif

TEST(DurabilitySync, SyncedWritesAreCountedAndUnsyncedOnesAreNot) {
    TempDir dir;
    const auto path = dir.file("s.sft");
    const auto before = TraceFile::syncCount();
    ASSERT_TRUE(TraceFile::writeHead(path, "ENDSTOP;0x00000097\n", nullptr, false));
    ASSERT_TRUE(TraceFile::appendBinarySection(path, 1, exampleTime(), "abcd", nullptr, false));
    EXPECT_EQ(TraceFile::syncCount(), before);
    ASSERT_TRUE(TraceFile::appendBinarySection(path, 2, exampleTime(), "abcd", nullptr, true));
    // The section, then the count field that counts it.
    EXPECT_EQ(TraceFile::syncCount(), before + 2);
    ASSERT_TRUE(TraceFile::appendAsciiSection(path, 3, exampleTime(), " 1", nullptr, true));
    EXPECT_EQ(TraceFile::syncCount(), before + 3);
}

TEST(DurabilitySync, SettingsFileKeepsItsSixSettingsAndAddsTheChoiceInASectionOfItsOwn) {
    TempDir dir;
    const SettingsFile file(dir.file("marlin.ini"));
    RecorderSettings settings = RecorderSettings::defaults();
    ASSERT_TRUE(file.save(settings));
    const std::string sixSettings = readFile(file.path());
    EXPECT_EQ(sixSettings.find("SYNC"), std::string::npos);
    EXPECT_EQ(file.load().sync, std::nullopt);

    settings.sync = false;
    ASSERT_TRUE(file.save(settings));
    const std::string withChoice = readFile(file.path());
    EXPECT_EQ(withChoice.substr(0, sixSettings.size()), sixSettings);
    EXPECT_NE(withChoice.find("[SYNC]"), std::string::npos);
    EXPECT_EQ(file.load().sync, false);
    settings.sync = true;
    ASSERT_TRUE(file.save(settings));
    EXPECT_EQ(file.load().sync, true);
    // Back to the default: the interval decides again.
    settings.sync.reset();
    ASSERT_TRUE(file.save(settings));
    EXPECT_EQ(file.load().sync, std::nullopt);

    EXPECT_TRUE(settings.syncsAt(1.0));
    EXPECT_FALSE(settings.syncsAt(0.5));
    settings.sync = false;
    EXPECT_FALSE(settings.syncsAt(3600));
}

class DurabilitySession : public testing::SessionFixture {
protected:
    // Syncs made by a recording of two readings.
    std::uint64_t syncsOfTwoReadings() {
        stopAfter(2);
        const auto before = TraceFile::syncCount();
        session.StartRec_Click();
        EXPECT_EQ(session.readingCount(), 2);
        return TraceFile::syncCount() - before;
    }
};

TEST_F(DurabilitySession, SyncIsOnFromOneSecondOnUnlessChosenOtherwise) {
    window.settings.interval = "1";
    EXPECT_EQ(syncsOfTwoReadings(), 5u);  // the head, and section and count field twice
}

TEST_F(DurabilitySession, BackToBackRecordingDoesNotSync) {
    window.settings.interval = "0";
    EXPECT_EQ(syncsOfTwoReadings(), 0u);
}

TEST_F(DurabilitySession, ChosenSyncOverridesTheInterval) {
    window.settings.interval = "0";
    window.settings.format = FileForm::Ascii;
    window.settings.sync = true;
    EXPECT_EQ(syncsOfTwoReadings(), 3u);
}

TEST_F(DurabilitySession, FullDiskEndsTheRecordingBeforeASectionIsCut) {
    // A disk of 8,000 bytes: every byte of the file is gone from its free space.
    std::string askedFolder;
    session.setFreeSpaceQuery([&](const std::string& folder) -> std::optional<std::uint64_t> {
        askedFolder = folder;
        const auto used = static_cast<std::uint64_t>(readFile(window.settings.fileName).size());
        return used < 8000 ? 8000 - used : 0;
    });
    bus.trace.assign(400, -50.5f);  // 1,600 data bytes a section
    window.settings.interval = "0";
    session.StartRec_Click();
    EXPECT_EQ(askedFolder + "/trace.sft", window.settings.fileName);
    EXPECT_EQ(session.outcome(), RecordingSession::Outcome::FileError);
    const std::string file = readFile(window.settings.fileName);
    EXPECT_EQ(file.substr(0, 18), TraceFile::countField(session.readingCount()));
    // Room was left for two more sections; all written ones are whole.
    EXPECT_GE(8000 - file.size(), 1600u);
    EXPECT_LT(8000 - file.size(), 2 * 1664u);
    EXPECT_EQ(file.back(), '\n');
    ASSERT_EQ(window.warnings.size(), 1u);
    EXPECT_NE(window.warnings[0].find(window.settings.fileName), std::string::npos);
    EXPECT_NE(window.warnings[0].find(" bytes free"), std::string::npos);
    EXPECT_EQ(window.status, "disk full");
    EXPECT_EQ(bus.log.back(), "ibloc");
}

TEST_F(DurabilitySession, FreeSpaceThatCannotBeToldDoesNotStopTheRecording) {
    session.setFreeSpaceQuery([](const std::string&) { return std::nullopt; });
    stopAfter(3);
    session.StartRec_Click();
    EXPECT_EQ(session.outcome(), RecordingSession::Outcome::Stopped);
    EXPECT_EQ(session.readingCount(), 3);
}

TEST(DurabilityDiskRoom, FirstSectionIsEstimatedFromTheValueCountAndLaterOnesFromTheLast) {
    EXPECT_EQ(DiskRoom::valueCount("Type;FSX;\r\nValues;501;\r\n1;2"), 501u);
    EXPECT_EQ(DiskRoom::valueCount("no count"), 0u);
    std::uint64_t free = 0;
    DiskRoom room;
    room.setQuery([&](const std::string&) { return free; });
    room.start(501);
    const auto binary = DiskRoom::sectionBytes(501, FileForm::Binary, 0);
    free = 2 * binary;
    EXPECT_EQ(room.shortOfRoom("/x/t.sft", FileForm::Binary, 1), "");
    free = 2 * binary - 1;
    EXPECT_NE(room.shortOfRoom("/x/t.sft", FileForm::Binary, 1), "");
    room.sectionWritten(1000, FileForm::Binary);
    free = 2000;
    EXPECT_EQ(room.shortOfRoom("/x/t.sft", FileForm::Binary, 1), "");
    // A change of form goes back to the estimate.
    EXPECT_NE(room.shortOfRoom("/x/t.sft", FileForm::Ascii, 1), "");
    // A roomy disk is not asked again before every reading; a nearly full one is.
    int asked = 0;
    room.setQuery([&](const std::string&) -> std::optional<std::uint64_t> {
        ++asked;
        return free;
    });
    free = 1000000;
    room.shortOfRoom("/x/t.sft", FileForm::Binary, 1);
    room.shortOfRoom("/x/t.sft", FileForm::Binary, 1);
    EXPECT_EQ(asked, 1);
    free = 20000;
    room.start(501);
    room.shortOfRoom("/x/t.sft", FileForm::Binary, 1);
    room.shortOfRoom("/x/t.sft", FileForm::Binary, 1);
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(DiskRoom::bytesText(812), "812 bytes");
    EXPECT_EQ(DiskRoom::bytesText(3400000), "3.4 MB");
}

}  // namespace
}  // namespace marlin
