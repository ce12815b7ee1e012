#include "marlin/reader/TraceReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "marlin/testing/Recordings.h"
#include "marlin/testing/TempDir.h"

namespace marlin::reader {
namespace {

using marlin::testing::readingValues;
using marlin::testing::Recording;
using marlin::testing::TempDir;

// Checks every section of a reader against what record() wrote, both in one pass and by index.
void expectReadings(const TraceReader& reader, int first, int count, std::size_t n) {
    ASSERT_EQ(reader.sectionCount(), static_cast<std::uint64_t>(count));
    ASSERT_EQ(reader.values(), n);
    for (int i = 0; i < count; ++i) {
        Section s;
        std::vector<float> values;
        ASSERT_TRUE(reader.read(static_cast<std::uint64_t>(i), s, values)) << i;
        EXPECT_EQ(s.number, first + i);
        EXPECT_EQ(s.time.isoText(), "2010-03-02T09:0" + std::to_string(5 + (first + i) / 60) + ":" +
                                        (((first + i) % 60) < 10 ? "0" : "") + std::to_string((first + i) % 60) +
                                        "." + (std::to_string(1000 + (first + i) * 7 % 1000)).substr(1));
        EXPECT_EQ(values, readingValues(first + i, n)) << i;
    }
}

class TraceReaderTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("t.sft");
};

TEST_F(TraceReaderTest, BinaryRecordingRoundTrips) {
    marlin::testing::record(path, {.values = 7, .readings = 4});
    TraceReader reader(path);
    ASSERT_EQ(reader.update(), UpdateStatus::Grew);
    EXPECT_EQ(reader.form(), FileForm::Binary);
    const TraceHead& head = reader.head();
    EXPECT_TRUE(head.present);
    EXPECT_EQ(head.intervalSeconds, 1.5);
    EXPECT_EQ(head.countValue, 4u);
    EXPECT_EQ(head.number("ref level"), -10.0);
    ASSERT_NE(head.field("Sweep Time"), nullptr);
    EXPECT_EQ(head.field("Sweep Time")->unit, "s");
    const FrequencyAxis axis = reader.axis();
    EXPECT_TRUE(axis.fromHead);
    EXPECT_EQ(axis.unit, "Hz");
    EXPECT_DOUBLE_EQ(axis.at(0), 1e6);
    EXPECT_DOUBLE_EQ(axis.at(6), 2e6);
    expectReadings(reader, 1, 4, 7);
    EXPECT_EQ(reader.damageCount(), 0u);
    EXPECT_FALSE(reader.pendingTail());
    EXPECT_EQ(reader.update(), UpdateStatus::Unchanged);
}

// The separator is not in the file: it is found from the first value line and the head's count.
TEST_F(TraceReaderTest, AsciiRecordingsRoundTripWithAnySeparator) {
    for (const std::string separator : {";", "", " ", ", ", "<->", "\t", "-", "1"}) {
        SCOPED_TRACE("separator \"" + separator + "\"");
        marlin::testing::record(path, {.ascii = true, .separator = separator, .values = 6, .readings = 3});
        // Separators of number characters can read two ways and are given by the user.
        ReaderOptions options;
        if (separator == "1") options.separator = separator;
        TraceReader reader(path, options);
        reader.update();
        EXPECT_EQ(reader.form(), FileForm::Ascii);
        EXPECT_EQ(reader.separator(), separator);
        EXPECT_TRUE(reader.head().countIsPlaceholder);
        expectReadings(reader, 1, 3, 6);
        EXPECT_EQ(reader.damageCount(), 0u);
    }
}

// A file name changed during a recording: the new file has no head; the binary one starts with the
// count field, the ASCII one with its first section.
TEST_F(TraceReaderTest, FilesWithoutHeadTakeTheValueCountFromTheSections) {
    for (bool ascii : {false, true}) {
        std::filesystem::remove(path);
        marlin::testing::record(path, {.ascii = ascii, .separator = ",", .head = false, .values = 9,
                                       .first = 57, .readings = 3});
        TraceReader reader(path);
        reader.update();
        EXPECT_FALSE(reader.head().present);
        EXPECT_EQ(reader.head().countValue, ascii ? std::nullopt : std::optional<std::uint32_t>(59));
        EXPECT_FALSE(reader.axis().fromHead);
        expectReadings(reader, 57, 3, 9);
    }
}

// A crash or a full disk cuts the last section short; a live recording shows the same until the
// writer finishes it, and the reader then goes on from there.
TEST_F(TraceReaderTest, CutShortLastSectionIsPendingUntilItIsComplete) {
    for (bool ascii : {false, true}) {
        SCOPED_TRACE(ascii ? "ascii" : "binary");
        marlin::testing::record(path, {.ascii = ascii, .values = 50, .readings = 3});
        const std::string whole = marlin::testing::readFile(path);
        TraceReader reader(path);
        reader.update();
        const Section third = *reader.lastSection();
        for (const std::uint64_t cut : {third.dataOffset + 9, third.offset + 4, third.end - 1}) {
            marlin::testing::writeFile(path, whole.substr(0, cut));
            TraceReader cutReader(path);
            cutReader.update();
            EXPECT_EQ(cutReader.sectionCount(), 2u);
            ASSERT_TRUE(cutReader.pendingTail());
            EXPECT_EQ(cutReader.pendingTail()->kind, DamageKind::CutShort);
            EXPECT_EQ(cutReader.pendingTail()->offset, third.offset);
            marlin::testing::writeFile(path, whole);
            EXPECT_EQ(cutReader.update(), UpdateStatus::Grew);
            EXPECT_FALSE(cutReader.pendingTail());
            expectReadings(cutReader, 1, 3, 50);
        }
    }
}

// The binary writer appends the section before it rewrites the count field.
TEST_F(TraceReaderTest, CountFieldThatDisagreesIsReportedAsFound) {
    marlin::testing::record(path, {.readings = 3});
    std::string bytes = marlin::testing::readFile(path);
    bytes.replace(0, 18, TraceFile::countField(2));
    marlin::testing::writeFile(path, bytes);
    TraceReader reader(path);
    reader.update();
    EXPECT_EQ(reader.head().countValue, 2u);
    EXPECT_EQ(reader.lastSection()->number, 3);
    EXPECT_EQ(reader.sectionCount(), 3u);
}

TEST_F(TraceReaderTest, DamagedSectionsAreSkippedWithTheirOffsets) {
    marlin::testing::record(path, {.values = 8, .readings = 2});
    const auto shortAt = std::filesystem::file_size(path);
    TraceFile::appendBinarySection(path, 3, marlin::testing::stampOf(3),
                                   marlin::testing::floatBytes(readingValues(3, 6)));
    const auto nextAt = std::filesystem::file_size(path);
    marlin::testing::record(path, {.head = false, .values = 8, .first = 4, .readings = 2});
    TraceReader reader(path);
    reader.update();
    EXPECT_EQ(reader.sectionCount(), 4u);
    ASSERT_EQ(reader.damages().size(), 1u);
    EXPECT_EQ(reader.damages()[0].kind, DamageKind::WrongLength);
    EXPECT_EQ(reader.damages()[0].offset, shortAt);
    EXPECT_EQ(reader.damages()[0].length, nextAt - shortAt);
    Section s;
    std::vector<float> values;
    ASSERT_TRUE(reader.read(2, s, values));
    EXPECT_EQ(s.number, 4);
    EXPECT_EQ(values, readingValues(4, 8));

    // Bytes that are no section at all, between two ASCII sections.
    std::filesystem::remove(path);
    marlin::testing::record(path, {.ascii = true, .values = 8, .readings = 1});
    const auto junkAt = std::filesystem::file_size(path);
    {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out << "junk\r\nmore junk\r\n";
    }
    marlin::testing::record(path, {.ascii = true, .head = false, .values = 8, .first = 2, .readings = 1});
    TraceReader ascii(path);
    ascii.update();
    EXPECT_EQ(ascii.sectionCount(), 2u);
    ASSERT_EQ(ascii.damages().size(), 1u);
    EXPECT_EQ(ascii.damages()[0].kind, DamageKind::Unreadable);
    EXPECT_EQ(ascii.damages()[0].offset, junkAt);
    EXPECT_EQ(ascii.damages()[0].length, 17u);
}

TEST_F(TraceReaderTest, AsciiLineWithTheWrongNumberOfValuesIsDamage) {
    marlin::testing::record(path, {.ascii = true, .separator = ",", .values = 4, .readings = 1});
    TraceFile::appendAsciiSection(path, 2, marlin::testing::stampOf(2), " 1, 2, 3");
    marlin::testing::record(path, {.ascii = true, .separator = ",", .head = false, .values = 4, .first = 3,
                                   .readings = 1});
    TraceReader reader(path);
    reader.update();
    EXPECT_EQ(reader.sectionCount(), 2u);
    ASSERT_EQ(reader.damageCount(), 1u);
    EXPECT_EQ(reader.damages()[0].kind, DamageKind::WrongValueCount);
    EXPECT_NE(reader.damages()[0].detail.find("3 values instead of 4"), std::string::npos);
}

// START empties the file and writes a new head: a live reader must forget the old recording.
TEST_F(TraceReaderTest, FileStartedAgainIsNoticed) {
    marlin::testing::record(path, {.values = 4, .readings = 5});
    TraceReader reader(path);
    reader.update();
    ASSERT_EQ(reader.sectionCount(), 5u);
    marlin::testing::record(path, {.values = 4, .first = 1, .readings = 1});
    EXPECT_EQ(reader.update(), UpdateStatus::Restarted);
    EXPECT_EQ(reader.sectionCount(), 1u);
    // Started again and grown past the old size between two looks: the head is the same, the
    // last known section line is not.
    marlin::testing::record(path, {.values = 4, .first = 2, .readings = 9});
    EXPECT_EQ(reader.update(), UpdateStatus::Restarted);
    expectReadings(reader, 2, 9, 4);
}

TEST_F(TraceReaderTest, OnePassVisitorNeedsNoIndex) {
    marlin::testing::record(path, {.ascii = true, .separator = "", .values = 3, .readings = 4});
    TraceReader reader(path, {.keepIndex = false});
    int seen = 0;
    reader.update([&](const Section& s, std::string_view data) {
        std::vector<float> v(3);
        ASSERT_TRUE(reader.decode(s, data, v));
        EXPECT_EQ(v, readingValues(s.number, 3));
        ++seen;
    });
    EXPECT_EQ(seen, 4);
    EXPECT_FALSE(reader.section(0));
}

TEST_F(TraceReaderTest, MissingFileFailsWithItsName) {
    TraceReader reader(dir.file("none.sft"));
    EXPECT_EQ(reader.update(), UpdateStatus::Failed);
    EXPECT_NE(reader.error().find("none.sft"), std::string::npos);
}

}  // namespace
}  // namespace marlin::reader
