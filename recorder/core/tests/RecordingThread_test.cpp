#include "marlin/core/RecordingThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>

#include "FakeWindow.h"
#include "marlin/testing/ExampleTime.h"
#include "marlin/testing/FakeBus.h"
#include "marlin/testing/FakeHostProbe.h"
#include "marlin/testing/TempDir.h"

namespace marlin {
namespace {

using namespace std::chrono_literals;

// The window's thread of these tests is the test's own: it runs what the recording posts.
class PostQueue {
public:
    void post(std::function<void()> call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
        arrived_.notify_all();
    }
    // Runs posted calls until `done` holds; false when it does not within 10 s.
    bool runUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!done()) {
            std::unique_lock lock(mutex_);
            if (!arrived_.wait_until(lock, deadline, [this] { return !calls_.empty(); })) return false;
            auto call = std::move(calls_.front());
            calls_.pop_front();
            lock.unlock();
            call();
        }
        return true;
    }
    void runPending() {
        std::deque<std::function<void()>> calls;
        {
            std::lock_guard lock(mutex_);
            calls.swap(calls_);
        }
        for (auto& call : calls) call();
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::function<void()>> calls_;
};

// Counts window calls made on any thread but the window's.
class WindowOnItsThread : public testing::FakeWindow {
public:
    using FakeWindow::FakeWindow;
    RecorderSettings currentSettings() override {
        check();
        if (onSettings) onSettings();
        return FakeWindow::currentSettings();
    }
    void showStatus(const std::string& text) override { check(), FakeWindow::showStatus(text); }
    void setConnectionColour(ConnectionColour colour) override { check(), FakeWindow::setConnectionColour(colour); }
    void setProgressValue(int percent) override { check(), FakeWindow::setProgressValue(percent); }
    void setStartEnabled(bool enabled) override { check(), FakeWindow::setStartEnabled(enabled); }
    void setBusyPointer(bool busy) override { check(), FakeWindow::setBusyPointer(busy); }
    bool askOverwrite(const std::string& title, const std::string& text) override {
        return check(), FakeWindow::askOverwrite(title, text);
    }
    void showWarning(const std::string& title, const std::string& text) override {
        check(), FakeWindow::showWarning(title, text);
    }

    std::function<void()> onSettings;
    int offThread = 0;

private:
    void check() { offThread += std::this_thread::get_id() != thread_; }
    std::thread::id thread_ = std::this_thread::get_id();
};

// Notes the threads the bus is called on.
class BusOnItsThread : public testing::FakeBus {
public:
    std::int16_t ibwrt(std::int16_t ud, const char* text, BusState& s) override {
        note();
        return FakeBus::ibwrt(ud, text, s);
    }
    std::int16_t ibloc(std::int16_t ud, BusState& s) override {
        note();
        return FakeBus::ibloc(ud, s);
    }
    std::set<std::thread::id> threads() {
        std::lock_guard lock(mutex_);
        return threads_;
    }

private:
    void note() {
        std::lock_guard lock(mutex_);
        threads_.insert(std::this_thread::get_id());
    }
    std::mutex mutex_;
    std::set<std::thread::id> threads_;
};

class RecordingThreadTest : public ::testing::Test {
protected:
    RecordingThreadTest() {
        window.settings.fileName = dir.file("trace.sft");
        window.settings.address = "analyzer";
        window.settings.interval = "0";
        recording->session().setClock(&testing::exampleTime);
    }
    bool ended() {
        return queue.runUntil([this] { return !recording->isRunning(); });
    }
    void start() {
        ASSERT_TRUE(recording->start([this] { ++ends; }));
    }
    std::vector<std::string> lastCommands(std::size_t n) const {
        return {bus.log.end() - static_cast<std::ptrdiff_t>(n), bus.log.end()};
    }

    testing::TempDir dir;
    testing::FakeStopwatch unused;
    WindowOnItsThread window{unused};
    BusOnItsThread bus;
    testing::FakeHostProbe probe;
    SteadyStopwatch stopwatch;
    PostQueue queue;
    std::unique_ptr<RecordingThread> recording = std::make_unique<RecordingThread>(
        window, [this](std::function<void()> call) { queue.post(std::move(call)); }, bus, probe, stopwatch);
    int ends = 0;
};

TEST_F(RecordingThreadTest, BusCallsOnTheRecordingThreadWindowCallsOnTheWindowsThread) {
    // STOP during the third reading: it is written first, then the instrument is given back.
    window.onSettings = [this] {
        if (window.status == "recording ..." && recording->session().readingCount() == 2) recording->stop();
    };
    start();
    EXPECT_FALSE(recording->start());  // one recording at a time
    ASSERT_TRUE(ended());
    EXPECT_FALSE(recording->isRunning());
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(recording->session().outcome(), RecordingSession::Outcome::Stopped);
    EXPECT_EQ(recording->session().readingCount(), 3);
    EXPECT_EQ(lastCommands(3), (std::vector<std::string>{"TRAC? TRACE1", "INIT:CONT ON", "ibloc"}));
    const auto threads = bus.threads();
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_NE(*threads.begin(), std::this_thread::get_id());
    EXPECT_EQ(window.offThread, 0);
    // The window heard it all, in the order the session said it.
    const std::vector<std::string> tail(window.log.end() - 5, window.log.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"status idle.", "red", "status ", "start enabled", "normal pointer"}));

    // With no recording running, STOP acts at once, here.
    const std::size_t before = bus.log.size();
    recording->stop();
    EXPECT_EQ(bus.log.size(), before + 2);
    EXPECT_EQ(bus.threads().count(std::this_thread::get_id()), 1u);
    EXPECT_EQ(window.log.back(), "start enabled");
}

TEST_F(RecordingThreadTest, StopDuringTheWaitEndsItAtOnce) {
    window.settings.interval = "3600";
    start();
    ASSERT_TRUE(queue.runUntil([this] { return window.status == "idle."; }));
    recording->stop();
    ASSERT_TRUE(ended());  // an hour's wait would not end within the bound
    EXPECT_EQ(recording->session().readingCount(), 1);
    EXPECT_EQ(lastCommands(2), (std::vector<std::string>{"INIT:CONT ON", "ibloc"}));
}

TEST_F(RecordingThreadTest, QuestionsWaitForTheWindowsAnswerAndWarningsComeBeforeWhatFollows) {
    testing::writeFile(window.settings.fileName, "older");
    window.overwriteAnswer = false;
    start();
    ASSERT_TRUE(ended());
    EXPECT_EQ(recording->session().outcome(), RecordingSession::Outcome::OverwriteDeclined);
    EXPECT_EQ(testing::readFile(window.settings.fileName), "older");

    window.overwriteAnswer = true;
    bus.setAllTracesActive(false);
    start();
    ASSERT_TRUE(ended());
    EXPECT_EQ(ends, 2);
    EXPECT_EQ(recording->session().outcome(), RecordingSession::Outcome::InactiveTrace);
    const auto warning = std::find(window.log.begin(), window.log.end(), "warning Marlin");
    ASSERT_NE(warning, window.log.end());
    EXPECT_EQ(std::find(window.log.begin(), window.log.end(), "status ready") - warning, 1);
    EXPECT_EQ(window.offThread, 0);
}

TEST_F(RecordingThreadTest, ShutDownStopsTheRecordingWithoutTheWindow) {
    // Waiting between readings: the instrument is given back before shutDown returns.
    window.settings.interval = "3600";
    start();
    ASSERT_TRUE(queue.runUntil([this] { return window.status == "idle."; }));
    const std::size_t heard = window.log.size();
    recording->shutDown();
    EXPECT_EQ(lastCommands(2), (std::vector<std::string>{"INIT:CONT ON", "ibloc"}));
    EXPECT_FALSE(recording->start());
    // What was posted meanwhile reaches nobody.
    queue.runPending();
    EXPECT_EQ(window.log.size(), heard);
    EXPECT_EQ(ends, 0);

    // Waiting for an answer that never comes: the file is left alone.
    testing::writeFile(window.settings.fileName, "older");
    recording = std::make_unique<RecordingThread>(
        window, [this](std::function<void()> call) { queue.post(std::move(call)); }, bus, probe, stopwatch);
    start();
    recording.reset();
    EXPECT_EQ(testing::readFile(window.settings.fileName), "older");
}

}  // namespace
}  // namespace marlin
