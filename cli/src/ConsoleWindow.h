#pragma once
// The recording session's window on a terminal: the settings come from the command line and the
// settings file, warnings go to standard error, and on a terminal one line shows the status, a
// countdown bar to the next sweep and the readings taken. Its event wait sleeps in poll() on the
// signal pipe, and it runs STOP when the readings or the duration are reached or a signal came.
// A recording that reconnects reports each loss and each resume of the instrument on standard
// error.

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "marlin/core/SessionWindow.h"

namespace marlin {
class RecordingSession;
}

namespace marlin::cli {

class ConsoleWindow final : public SessionWindow {
public:
    struct Limits {
        std::optional<std::uint64_t> readings;
        std::optional<std::chrono::milliseconds> duration;
    };

    ConsoleWindow(RecorderSettings settings, bool overwrite, bool quiet, bool terminal, Limits limits,
                  std::ostream& out, std::ostream& err, int signalFd);

    void attach(RecordingSession* session) { session_ = session; }
    // Ends the status line on a terminal.
    void finish();

    RecorderSettings currentSettings() override { return settings_; }
    void showIntervalText(const std::string& text) override { settings_.interval = text; }
    void showStatus(const std::string& text) override;
    void setConnectionColour(ConnectionColour) override {}
    void setProgressValue(int percent) override;
    void setProgressVisible(bool visible) override { progressVisible_ = visible; }
    void showRecordingLayout(RecordingLayout) override {}
    void setBusyPointer(bool) override {}
    void setStartEnabled(bool) override {}
    bool askOverwrite(const std::string& title, const std::string& text) override;
    void showWarning(const std::string& title, const std::string& text) override;
    void letPendingEventsRun(std::chrono::milliseconds maxWait) override;
    // One line each on standard error, with the time, also when quiet.
    void connectionLost(const std::string& why) override;
    void connectionResumed(int attempts, double secondsWithoutReading) override;

private:
    void checkStopConditions();
    void requestStop();
    void redraw(bool force);

    RecorderSettings settings_;
    bool overwrite_;
    bool quiet_;
    bool terminal_;
    Limits limits_;
    std::ostream& out_;
    std::ostream& err_;
    int signalFd_;
    RecordingSession* session_ = nullptr;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point lastDraw_{};
    std::chrono::steady_clock::time_point lastLook_{};  // last look at the signal pipe
    bool stopRequested_ = false;
    std::string status_;
    int progress_ = 0;
    bool progressVisible_ = false;
    bool lineOpen_ = false;
};

}  // namespace marlin::cli
