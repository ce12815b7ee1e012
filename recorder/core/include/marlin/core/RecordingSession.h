#pragma once
// One recording from START to STOP: checks the target file, pings and opens the instrument,
// checks its identity, writes the file head and then takes a reading, waits for the interval,
// and again, until STOP. The session runs on one thread: the window's own (marlin-cli) or a
// thread of its own (RecordingThread, for the main window). It lets the window act at fixed
// points (SessionWindow::letPendingEventsRun), and STOP, called from there, acts through stopFlag
// and readyFlag only. The flags and the reading count may be read from another thread meanwhile.
//
// The session talks to its surroundings through four narrow interfaces: the window
// (SessionWindow), the bus (Bus), the reachability check (HostProbe) and the stopwatch
// (Stopwatch). None of them is owned.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "marlin/core/Bus.h"
#include "marlin/core/DiskRoom.h"
#include "marlin/core/HostProbe.h"
#include "marlin/core/InstrumentIo.h"
#include "marlin/core/RecorderSettings.h"
#include "marlin/core/SessionWindow.h"
#include "marlin/core/Stopwatch.h"
#include "marlin/core/TraceFile.h"
#include <marlin/base/TimeStamp.h>

namespace marlin {

class RecordingSession {
public:
    // How the last START ended (or that it is still running).
    enum class Outcome {
        None,               // START never ran
        Running,            // inside StartRec_Click
        Stopped,            // ended by STOP
        OverwriteDeclined,  // the overwrite question was not answered OK
        NoInstrument,       // the host did not answer the echo request
        BusUnavailable,     // the bus library could not be loaded or lacks a function
        NotIdentified,      // the instrument could not be opened, did not answer "*IDN?", or its
                            // identity reply does not start with the maker word
        NoTraceSelected,    // no trace was selected in the list
        InactiveTrace,      // the selected trace is switched off on the instrument
        ReadingFailed,      // a reply was missing, malformed or short
        FileError,          // the trace file could not be created or written
    };

    static constexpr const char* kMakerWord = "QUAZA";
    // Time limit (whole seconds, as the bus counts them) for the short query that tells an
    // inactive trace from an instrument that no longer answers.
    static constexpr std::int16_t kAliveCheckSeconds = 1;

    // The waits of a recording that reconnects: the first, doubled after each failed attempt up
    // to the longest.
    struct ReconnectSchedule {
        std::chrono::milliseconds firstWait{1000};
        std::chrono::milliseconds longestWait{60000};
    };

    RecordingSession(SessionWindow& window, Bus& bus, HostProbe& probe, Stopwatch& stopwatch);

    // Where START saves the settings; null: they are not saved.
    void setSettingsFile(const SettingsFile* file) { settingsFile_ = file; }
    // The clock of the section time stamps (tests fix it).
    void setClock(std::function<TimeStamp()> clock) { clock_ = std::move(clock); }
    // How the free space of the trace file's folder is found (tests fake a full disk).
    void setFreeSpaceQuery(DiskRoom::FreeSpaceQuery query) { room_.setQuery(std::move(query)); }
    // The waits between attempts to reopen a lost instrument (tests shorten them).
    void setReconnectSchedule(ReconnectSchedule schedule) { schedule_ = schedule; }

    // The window's load-time probe: opens "localhost", asks for its identity and ignores the answer.
    void probeLocalInstrument();

    // START: returns when the recording has ended.
    void StartRec_Click();
    // STOP: requests a stop; when no acquisition is in progress it returns the instrument to
    // continuous sweep and local operation at once.
    void StopRec_Click();

    std::int32_t readingCount() const { return readingCount_; }
    bool readyFlag() const { return readyFlag_; }
    bool stopFlag() const { return stopFlag_; }
    bool isRunning() const { return running_; }
    Outcome outcome() const { return outcome_; }
    // False when START could not write the settings file.
    bool settingsSaved() const { return settingsSaved_; }
    const BusState& busState() const { return state_; }
    // The interval (seconds) the running recording uses.
    double interval() const { return interval_; }
    // How often the running (or last) recording lost its instrument, and how often it got it back.
    int connectionDrops() const { return reconnect_.drops; }
    int connectionResumes() const { return reconnect_.resumes; }

    // The progress value for `elapsedMs` of an interval of `intervalMs`: the remaining part in
    // whole percent, computed without overflow for any interval.
    static int progressPercent(double elapsedMs, double intervalMs);

private:
    // Resumed: the instrument was lost and opened again; the next reading follows at once.
    enum class ReadingResult { Written, Inactive, Failed, Resumed };
    enum class Reconnect { Resumed, Stopped, Ended };
    // Why the trace query got nothing back.
    enum class Silence { InactiveTrace, LateBlock, NoAnswer };

    bool WriteFileHeader();
    void RecordLoop();
    ReadingResult takeReading();
    Silence explainSilence();
    void identityFailed(const std::string& address, const std::string& dottedAddress, std::size_t replyBytes);
    void waitForNextReading();
    // `closeDevice`: the connection is lost or stalled, so the device is closed after STOP and
    // the next START opens the instrument afresh.
    void endWithFailure(Outcome outcome, const std::string& status, const std::string& message,
                        bool closeDevice = false);
    void events() { window_.letPendingEventsRun(std::chrono::milliseconds(0)); }
    // The instrument is gone (`why`): closes it and opens it again until it answers, STOP comes
    // or the time without a reading runs out.
    Reconnect reconnect(const RecorderSettings& settings, const std::string& why);
    // Waits `ms` in small steps that STOP interrupts; false when it did.
    bool waitToReconnect(double ms, int attempt);
    double msWithoutReading() const { return reconnect_.silentMsBefore + stopwatch_.elapsedMs(); }
    // Ends the recording while no device is open: nothing is sent to the instrument.
    void endDisconnected(Outcome outcome, const std::string& status, const std::string& message);

    SessionWindow& window_;
    Bus& bus_;
    HostProbe& probe_;
    Stopwatch& stopwatch_;
    const SettingsFile* settingsFile_ = nullptr;
    std::function<TimeStamp()> clock_;

    BusState state_;
    InstrumentIo io_;
    std::atomic<std::int32_t> readingCount_ = 0;
    std::atomic<bool> readyFlag_ = false;
    std::atomic<bool> stopFlag_ = false;
    std::atomic<bool> running_ = false;
    bool settingsSaved_ = true;
    double interval_ = 0;
    Outcome outcome_ = Outcome::None;
    std::string failureMessage_;
    std::string identity_;
    TraceFileMark fileMark_;
    TextBuffer asciiSection_;  // the text of the ASCII section in hand, its room kept for the next
    DiskRoom room_;
    ReconnectSchedule schedule_;
    struct ReconnectState {
        int drops = 0;
        int resumes = 0;
        // From a drop until the next reading is written; that reading must have the length of
        // those before it (or the head's value count).
        bool sinceDrop = false;
        int attempts = 0;                // attempts to reopen the instrument since that reading
        double silentMsBefore = 0;       // time without a reading before the stopwatch's last reset
        std::size_t readingBytes = 0;    // data bytes of the last reading written
        std::uint64_t headValues = 0;    // value count of the trace description in the head
    } reconnect_;
};

}  // namespace marlin
