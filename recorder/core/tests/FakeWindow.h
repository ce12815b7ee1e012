#pragma once
// A window for driving a RecordingSession without a display; time passes on its stopwatch only
// when the window lets events run.

#include <functional>
#include <string>
#include <vector>

#include "marlin/core/SessionWindow.h"
#include "marlin/testing/FakeStopwatch.h"

namespace marlin::testing {

class FakeWindow : public SessionWindow {
public:
    explicit FakeWindow(FakeStopwatch& clock) : clock_(clock) {}

    RecorderSettings currentSettings() override { return settings; }
    void showIntervalText(const std::string& text) override { record("interval " + text); }
    void showStatus(const std::string& text) override {
        status = text;
        record("status " + text);
    }
    void setConnectionColour(ConnectionColour c) override {
        colour = c;
        record(c == ConnectionColour::Green ? "green" : "red");
    }
    void setProgressValue(int percent) override { progress.push_back(percent); }
    void setProgressVisible(bool visible) override {
        progressVisible = visible;
        record(visible ? "progress shown" : "progress hidden");
    }
    void showRecordingLayout(RecordingLayout shown) override {
        layout = shown;
        record(shown == RecordingLayout::WithProgress ? "layout with progress" : "layout compact");
    }
    void setBusyPointer(bool b) override {
        busy = b;
        record(b ? "busy" : "normal pointer");
    }
    void setStartEnabled(bool enabled) override {
        startEnabled = enabled;
        record(enabled ? "start enabled" : "start disabled");
    }
    bool askOverwrite(const std::string& title, const std::string& text) override {
        record("ask " + title + ": " + text);
        return overwriteAnswer;
    }
    void showWarning(const std::string& title, const std::string& text) override {
        warnings.push_back(title + "|" + text);
        record("warning " + title);
    }
    void letPendingEventsRun(std::chrono::milliseconds maxWait) override {
        ++eventRuns;
        // Running events takes a little time even when nothing waits.
        clock_.elapsed += maxWait.count() > 0 ? static_cast<double>(maxWait.count()) : 0.001;
        waited += maxWait.count();
        if (onEvents) onEvents(maxWait);
    }

    void record(const std::string& what) { log.push_back(what); }

    RecorderSettings settings = RecorderSettings::defaults();
    bool overwriteAnswer = true;
    std::function<void(std::chrono::milliseconds)> onEvents;

    std::vector<std::string> log;
    std::vector<std::string> warnings;
    std::vector<int> progress;
    std::string status;
    ConnectionColour colour = ConnectionColour::Red;
    bool progressVisible = false;
    RecordingLayout layout = RecordingLayout::Compact;
    bool busy = false;
    bool startEnabled = true;
    long long eventRuns = 0;
    long long waited = 0;

private:
    FakeStopwatch& clock_;
};

}  // namespace marlin::testing
