// Following a file as the recorder writes it, step by step: readings reach the model only when
// their section is complete, a restarted file starts the model again, requests are served.
#include <gtest/gtest.h>

#include <marlin/view/TraceFollower.h>

#include <cstdio>
#include <fstream>

#include "marlin/testing/Recordings.h"
#include "marlin/testing/TempDir.h"

namespace marlin::view {
namespace {

using marlin::testing::readingValues;
using marlin::testing::stampOf;

class TraceFollowerTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir_.file("trace.sft");
    }
    void head(std::size_t values) {
        TraceFile::emptyFile(path);
        TraceFile::writeHead(path, TraceFile::headText(1.0, marlin::testing::instrumentExport(values)));
    }
    void section(int k, std::size_t values) {
        TraceFile::appendBinarySection(path, k, stampOf(k), marlin::testing::floatBytes(readingValues(k, values)));
    }
    void appendRaw(const std::string& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out << bytes;
    }
    std::vector<float> newestValues(const ViewModel& model) {
        return model.newest() ? model.newest()->values : std::vector<float>{};
    }

    marlin::testing::TempDir dir_;
    std::string path;
};

TEST_F(TraceFollowerTest, FollowsAFileWrittenStepByStep) {
    ViewModel model;
    TraceFollower follower(model, path);
    EXPECT_EQ(follower.poll(), reader::UpdateStatus::Failed);  // not there yet
    EXPECT_NE(model.statusLines().back().find("waiting for"), std::string::npos);

    head(5);
    follower.poll();
    EXPECT_EQ(model.count(), 0u);
    EXPECT_NE(model.statusLines()[1].find("centre 1.5 MHz"), std::string::npos);
    section(1, 5);
    section(2, 5);
    follower.poll();
    ASSERT_EQ(model.count(), 2u);
    EXPECT_EQ(newestValues(model), readingValues(2, 5));
    EXPECT_EQ(model.newest()->section.number, 2);

    // Section 3 half written: its line and part of its data. Nothing of it is shown.
    const std::string line = TraceFile::sectionLine(3, stampOf(3), false) + "\n";
    const std::string data = marlin::testing::floatBytes(readingValues(3, 5)) + "\n";
    appendRaw(line + data.substr(0, 7));
    EXPECT_EQ(follower.poll(), reader::UpdateStatus::Grew);  // the pending tail is new
    EXPECT_EQ(model.count(), 2u);
    EXPECT_EQ(newestValues(model), readingValues(2, 5));
    EXPECT_EQ(model.statusLines().back(), "no damage");
    appendRaw(data.substr(7));
    follower.poll();
    ASSERT_EQ(model.count(), 3u);
    EXPECT_EQ(newestValues(model), readingValues(3, 5));
    EXPECT_EQ(model.waterfall().rows(), 3);
    EXPECT_FLOAT_EQ(model.holds().max()[0], readingValues(3, 5)[0]);

    // An older reading on request; stepping past the newest follows the newest again.
    model.select(0);
    EXPECT_TRUE(follower.serveRequests());
    ASSERT_NE(model.shown(), nullptr);
    EXPECT_EQ(model.shown()->index, 0u);
    EXPECT_EQ(model.shown()->values, readingValues(1, 5));
    model.step(5);
    EXPECT_TRUE(model.followsNewest());
    EXPECT_EQ(model.shown()->index, 2u);

    // Holds over the last two readings come from the file.
    model.setHoldWindow(2);
    EXPECT_TRUE(follower.serveRequests());
    EXPECT_EQ(model.holds().count(), 2u);
    EXPECT_FLOAT_EQ(model.holds().min()[0], readingValues(2, 5)[0]);
}

TEST_F(TraceFollowerTest, ARestartedFileIsANewRecording) {
    ViewModel model;
    TraceFollower follower(model, path);
    head(5);
    for (int k = 1; k <= 4; ++k) section(k, 5);
    follower.poll();
    ASSERT_EQ(model.count(), 4u);

    // Emptied and started again with a different instrument set-up; the new file's first poll
    // already holds two sections, so the count alone would not tell.
    TraceFile::emptyFile(path);
    TraceFile::writeHead(path, TraceFile::headText(1.0, marlin::testing::instrumentExport(3, 5e6, 6e6)));
    section(1, 3);
    section(2, 3);
    section(3, 3);
    section(4, 3);
    section(5, 3);
    EXPECT_EQ(follower.poll(), reader::UpdateStatus::Restarted);
    EXPECT_EQ(model.restarts(), 1u);
    ASSERT_EQ(model.count(), 5u);
    EXPECT_EQ(model.points(), 3u);
    EXPECT_EQ(newestValues(model), readingValues(5, 3));
    EXPECT_EQ(model.holds().allMax()[0], readingValues(5, 3)[0]);  // nothing of the old file
    EXPECT_DOUBLE_EQ(model.axis().start, 5e6);

    // Emptied with nothing after it yet: the view is empty, not the old picture.
    TraceFile::emptyFile(path);
    follower.poll();
    EXPECT_EQ(model.count(), 0u);
    EXPECT_EQ(model.restarts(), 2u);
    EXPECT_EQ(model.waterfall().rows(), 0);
}

}  // namespace
}  // namespace marlin::view
