#pragma once
// What a recording session needs from the window that hosts it. The main window implements it
// with its controls; marlin-cli implements it on a terminal; tests implement it with a fake.
// Every call comes from the thread that runs the session (the window's thread).

#include <chrono>
#include <string>

#include "marlin/core/RecorderSettings.h"

namespace marlin {

// Back colour of the connection indicator.
enum class ConnectionColour {
    Red,    // RGB 255, 0, 0: no instrument is being recorded
    Green,  // RGB 0, 255, 0: an accepted instrument is being recorded
};

// What the window shows while a recording runs; each host decides what that means on screen.
enum class RecordingLayout {
    Compact,       // the button strip only
    WithProgress,  // the strip and the progress bar
};

class SessionWindow {
public:
    virtual ~SessionWindow() = default;

    // The six settings as they stand in the window right now. Read at START and again at every
    // reading, so that changes made during a recording take effect with the next reading.
    virtual RecorderSettings currentSettings() = 0;
    // Shows the interval the recording really uses when the typed one was not above 0.
    virtual void showIntervalText(const std::string& text) = 0;

    // Status line: "", "recording ...", "writing ...", "idle.", "ready", or a failure text.
    virtual void showStatus(const std::string& text) = 0;
    virtual void setConnectionColour(ConnectionColour colour) = 0;
    // Time left to the next sweep, in whole percent (100 .. 0).
    virtual void setProgressValue(int percent) = 0;
    virtual void setProgressVisible(bool visible) = 0;
    // Set when a recording starts; it also closes the options panel (its button then reads
    // "show options").
    virtual void showRecordingLayout(RecordingLayout layout) = 0;
    virtual void setBusyPointer(bool busy) = 0;
    virtual void setStartEnabled(bool enabled) = 0;

    // Asks whether an existing file may be overwritten; true only for OK.
    virtual bool askOverwrite(const std::string& title, const std::string& text) = 0;
    // Shows a warning with an OK button and waits until it is acknowledged.
    virtual void showWarning(const std::string& title, const std::string& text) = 0;

    // Runs the window events that are pending. When none is pending, waits up to `maxWait` for
    // one to arrive and runs it; returns as soon as at least one event ran or the time is up.
    // It must block (not spin) while it waits: the recording waits for its next sweep through it.
    // A zero `maxWait` only runs what is pending. Event handlers may call the session's
    // StopRec_Click from inside this call.
    virtual void letPendingEventsRun(std::chrono::milliseconds maxWait) = 0;

    // Only a recording that reconnects calls these. The instrument was lost (`why` says what the
    // failed reading got) and the session now tries to open it again; or it answers again after
    // `attempts` attempts and `secondsWithoutReading` without a reading, and the recording goes on.
    virtual void connectionLost(const std::string& why) { (void)why; }
    virtual void connectionResumed(int attempts, double secondsWithoutReading) {
        (void)attempts;
        (void)secondsWithoutReading;
    }
};

}  // namespace marlin
