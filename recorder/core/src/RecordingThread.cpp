#include "marlin/core/RecordingThread.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <utility>

namespace marlin {

// What the two threads share. Posted functions hold on to it, so a function that runs late finds
// the window gone (`detached`) instead of a destroyed object.
struct RecordingThread::Shared {
    Shared(SessionWindow& w, Post p) : window(w), post(std::move(p)) {}

    bool isDetached() {
        std::lock_guard lock(mutex);
        return detached;
    }

    SessionWindow& window;
    const Post post;
    const std::thread::id windowThread = std::this_thread::get_id();

    std::mutex mutex;
    std::condition_variable changed;  // an answer came, STOP was asked for, or the window left
    // Guarded by `mutex`:
    bool stopAsked = false;
    bool detached = false;
    RecorderSettings lastSettings;  // what the window showed when it left
};

// The window the session sees. Called on the window's thread (STOP when no recording runs, the
// load-time probe) it is the window itself; on the recording thread it hands each call over.
class RecordingThread::Relay final : public SessionWindow {
public:
    explicit Relay(std::shared_ptr<Shared> shared) : s_(std::move(shared)) {}
    void attach(RecordingSession& session) { session_ = &session; }

    RecorderSettings currentSettings() override {
        if (here()) return s_->window.currentSettings();
        if (auto settings = ask<RecorderSettings>([](SessionWindow& w) { return w.currentSettings(); }))
            return std::move(*settings);
        std::lock_guard lock(s_->mutex);
        return s_->lastSettings;
    }
    bool askOverwrite(const std::string& title, const std::string& text) override {
        if (here()) return s_->window.askOverwrite(title, text);
        return ask<bool>([title, text](SessionWindow& w) { return w.askOverwrite(title, text); }).value_or(false);
    }
    void showWarning(const std::string& title, const std::string& text) override {
        if (here()) return s_->window.showWarning(title, text);
        // Waited for: the recording goes on only when the warning was seen, as it always has.
        ask<bool>([title, text](SessionWindow& w) {
            w.showWarning(title, text);
            return true;
        });
    }

    void showIntervalText(const std::string& text) override {
        show([text](SessionWindow& w) { w.showIntervalText(text); });
    }
    void showStatus(const std::string& text) override {
        show([text](SessionWindow& w) { w.showStatus(text); });
    }
    void setConnectionColour(ConnectionColour colour) override {
        show([colour](SessionWindow& w) { w.setConnectionColour(colour); });
    }
    void setProgressValue(int percent) override {
        show([percent](SessionWindow& w) { w.setProgressValue(percent); });
    }
    void setProgressVisible(bool visible) override {
        show([visible](SessionWindow& w) { w.setProgressVisible(visible); });
    }
    void showRecordingLayout(RecordingLayout layout) override {
        show([layout](SessionWindow& w) { w.showRecordingLayout(layout); });
    }
    void setBusyPointer(bool busy) override {
        show([busy](SessionWindow& w) { w.setBusyPointer(busy); });
    }
    void setStartEnabled(bool enabled) override {
        show([enabled](SessionWindow& w) { w.setStartEnabled(enabled); });
    }
    void connectionLost(const std::string& why) override {
        show([why](SessionWindow& w) { w.connectionLost(why); });
    }
    void connectionResumed(int attempts, double secondsWithoutReading) override {
        show([attempts, secondsWithoutReading](SessionWindow& w) {
            w.connectionResumed(attempts, secondsWithoutReading);
        });
    }

    // The window's events are the window thread's business; all the recording thread has to act
    // on is STOP, which the session runs here as the window's event loop ran it before.
    void letPendingEventsRun(std::chrono::milliseconds maxWait) override {
        if (here()) return s_->window.letPendingEventsRun(maxWait);
        // The session loops on its own clock, so a very long wait may end early.
        maxWait = std::min<std::chrono::milliseconds>(maxWait, std::chrono::hours(1));
        bool stop = false;
        {
            std::unique_lock lock(s_->mutex);
            if (maxWait.count() > 0)
                s_->changed.wait_for(lock, maxWait, [this] { return s_->stopAsked || s_->detached; });
            stop = std::exchange(s_->stopAsked, false);
        }
        if (stop) session_->StopRec_Click();
    }

private:
    bool here() const { return std::this_thread::get_id() == s_->windowThread; }

    template <typename Change>
    void show(Change change) {
        if (here()) return change(s_->window);
        if (s_->isDetached()) return;
        s_->post([s = s_, change] {
            if (!s->isDetached()) change(s->window);
        });
    }

    // Posts the question and waits for the window's answer; nothing when the window has left.
    template <typename Answer, typename Question>
    std::optional<Answer> ask(Question question) {
        auto answer = std::make_shared<std::optional<Answer>>();
        if (s_->isDetached()) return std::nullopt;
        s_->post([s = s_, answer, question] {
            if (s->isDetached()) return;
            Answer value = question(s->window);
            std::lock_guard lock(s->mutex);
            *answer = std::move(value);
            s->changed.notify_all();
        });
        std::unique_lock lock(s_->mutex);
        s_->changed.wait(lock, [&] { return answer->has_value() || s_->detached; });
        return std::move(*answer);
    }

    std::shared_ptr<Shared> s_;
    RecordingSession* session_ = nullptr;
};

RecordingThread::RecordingThread(SessionWindow& window, Post post, Bus& bus, HostProbe& probe,
                                 Stopwatch& stopwatch)
    : shared_(std::make_shared<Shared>(window, std::move(post))),
      relay_(std::make_unique<Relay>(shared_)),
      session_(*relay_, bus, probe, stopwatch) {
    relay_->attach(session_);
}

RecordingThread::~RecordingThread() {
    shutDown();
}

bool RecordingThread::start(std::function<void()> ended) {
    if (running_ || shared_->isDetached()) return false;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopAsked = false;
    }
    running_ = true;
    ended_ = std::move(ended);
    try {
        worker_ = std::thread([this, shared = shared_] {
            session_.StartRec_Click();
            if (shared->isDetached()) return;  // shutDown joins instead
            shared->post([this, shared] {
                if (!shared->isDetached()) this->ended();
            });
        });
    } catch (...) {
        running_ = false;
        ended_ = nullptr;
        throw;
    }
    return true;
}

void RecordingThread::stop() {
    if (!running_) {
        session_.StopRec_Click();
        return;
    }
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopAsked = true;
    }
    shared_->changed.notify_all();
}

void RecordingThread::ended() {
    // START has returned on the recording thread; the thread only has to finish.
    if (worker_.joinable()) worker_.join();
    running_ = false;
    bool stopLeft = false;
    {
        std::lock_guard lock(shared_->mutex);
        stopLeft = std::exchange(shared_->stopAsked, false);
    }
    // STOP pressed after the recording's last look: a STOP after the recording, as it was when
    // the window's own event loop ran the recording.
    if (stopLeft) session_.StopRec_Click();
    if (const auto done = std::exchange(ended_, nullptr)) done();
}

void RecordingThread::shutDown() {
    if (shared_->isDetached()) return;
    // Read while the window is still whole; the recording gets these from now on.
    RecorderSettings now;
    if (running_) now = shared_->window.currentSettings();
    {
        std::lock_guard lock(shared_->mutex);
        shared_->lastSettings = std::move(now);
        shared_->detached = true;
        if (running_) shared_->stopAsked = true;
    }
    shared_->changed.notify_all();
    if (worker_.joinable()) worker_.join();
    running_ = false;
    ended_ = nullptr;
}

}  // namespace marlin
