#include "marlin/core/RecordingSession.h"

#include <marlin/product.h>

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <locale>
#include <sstream>

#include "marlin/core/TextHelpers.h"
#include "marlin/core/TraceFile.h"

namespace marlin {

namespace {

constexpr const char* kNoInstrumentTitle = "No instrument found";
constexpr const char* kNoInstrumentText =
    "No device was found at the specified address.\r\n"
    "Please check if the instrument has been properly connected to the network or if the provided address is "
    "correct.";

// "3600", "2.5": seconds as the user gave them.
std::string secondsText(double seconds) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << std::setprecision(6) << seconds;
    return text.str();
}

std::string readingsBefore(std::int32_t count) {
    if (count == 0) return "No reading had been written before.";
    if (count == 1) return "The reading written before is intact in the file.";
    return "The " + std::to_string(count) + " readings written before are intact in the file.";
}

}  // namespace

RecordingSession::RecordingSession(SessionWindow& window, Bus& bus, HostProbe& probe, Stopwatch& stopwatch)
    : window_(window),
      bus_(bus),
      probe_(probe),
      stopwatch_(stopwatch),
      clock_(&TimeStamp::now),
      io_(bus, state_) {}

int RecordingSession::progressPercent(double elapsedMs, double intervalMs) {
    if (!(intervalMs > 0)) return 0;
    const double value = nearestEven(100.0 - elapsedMs * 100.0 / intervalMs);
    return static_cast<int>(std::clamp(value, 0.0, 100.0));
}

void RecordingSession::probeLocalInstrument() {
    state_.ud = bus_.ibfind("localhost", state_);
    io_.write("*IDN?");
    io_.readIdentity();
}

void RecordingSession::StartRec_Click() {
    // START is enabled again by STOP while a stopped reading is still being completed; a second
    // recording cannot start inside the first one.
    if (running_) return;
    running_ = true;
    outcome_ = Outcome::Running;
    failureMessage_.clear();
    identity_.clear();
    struct Done {
        std::atomic<bool>& flag;
        ~Done() { flag = false; }
    } done{running_};

    window_.setStartEnabled(false);
    window_.setBusyPointer(true);
    events();
    readingCount_ = 0;
    reconnect_ = {};

    const RecorderSettings settings = window_.currentSettings();
    settingsSaved_ = settingsFile_ ? settingsFile_->save(settings) : true;
    fileMark_ = {};

    // Every bus function the recording calls must be there before anything is sent or touched:
    // a library without go-to-local, say, would otherwise record and leave the instrument remote.
    if (!bus_.bindAll()) {
        failureMessage_ = bus_.bindingError();
        window_.setBusyPointer(false);
        window_.setStartEnabled(true);
        window_.showWarning(MARLIN_PRODUCT_NAME, failureMessage_);
        outcome_ = Outcome::BusUnavailable;
        return;
    }

    if (TraceFile::exists(settings.fileName)) {
        if (!window_.askOverwrite("File already exists", "Overwrite file?")) {
            window_.setBusyPointer(false);
            window_.setStartEnabled(true);
            outcome_ = Outcome::OverwriteDeclined;
            return;
        }
        if (const auto emptied = TraceFile::emptyFile(settings.fileName); !emptied) {
            failureMessage_ = emptied.message;
            window_.setBusyPointer(false);
            window_.setStartEnabled(true);
            window_.showWarning(MARLIN_PRODUCT_NAME, failureMessage_);
            outcome_ = Outcome::FileError;
            return;
        }
    }

    if (settings.traceIndex < 0) {
        failureMessage_ =
            "No trace is selected.\r\nPlease select the trace to record before start recording.";
        window_.setBusyPointer(false);
        window_.setStartEnabled(true);
        window_.showWarning(MARLIN_PRODUCT_NAME, failureMessage_);
        outcome_ = Outcome::NoTraceSelected;
        return;
    }

    const std::string dotted = probe_.NameToAddress(settings.address);
    const ReachabilityResult reach = probe_.CheckHostReachable(dotted);
    if (!reach.reachable) {
        failureMessage_ = kNoInstrumentText;
        if (!reach.problem.empty()) failureMessage_ += "\r\n\r\n" + reach.problem;
        window_.showWarning(kNoInstrumentTitle, failureMessage_);
        StopRec_Click();
        window_.setBusyPointer(false);
        outcome_ = Outcome::NoInstrument;
        return;
    }

    state_.ud = bus_.ibfind(settings.address.c_str(), state_);
    std::string reply;
    std::size_t replyBytes = 0;
    if (state_.ud >= 0) {
        io_.write("*IDN?");
        reply = io_.ReadReply(InstrumentIo::kIdentityLength, &replyBytes);
    }
    identity_ = StripLineEnds(reply);

    if (upperAscii(reply.substr(0, 5)) == kMakerWord) {
        window_.setConnectionColour(ConnectionColour::Green);
        io_.write("SYST:DISP:UPD ON");
        io_.write("INIT:CONT OFF");
        stopFlag_ = false;
        if (WriteFileHeader()) RecordLoop();
        events();
        if (outcome_ == Outcome::Running) outcome_ = Outcome::Stopped;
    } else {
        identityFailed(settings.address, dotted, replyBytes);
    }
    window_.setBusyPointer(false);
    events();
}

void RecordingSession::identityFailed(const std::string& address, const std::string& dottedAddress,
                                      std::size_t replyBytes) {
    outcome_ = Outcome::NotIdentified;
    std::string status;
    if (state_.ud < 0) {
        // The library says only that the open failed; find out which step did.
        const std::string why = probe_.explainOpenFailure(dottedAddress);
        failureMessage_ = "The instrument at \"" + address + "\" could not be opened: " +
                          (why.empty() ? std::string("the bus library could not set up the connection") : why) +
                          ".";
        status = "no connection";
    } else if (replyBytes == 0) {
        failureMessage_ = "The instrument at \"" + address + "\" does not answer: no reply to \"*IDN?\".";
        status = "no reply";
        // A dead or stalled device would be handed back again for the same address.
        bus_.ibonl(state_.ud, 0, state_);
    } else {
        failureMessage_ = "The instrument at \"" + address + "\" does not identify itself as a " +
                          MARLIN_MAKER_NAME + " instrument (it answered \"" + identity_ + "\").";
        status = "not identified";
    }
    window_.setConnectionColour(ConnectionColour::Red);
    window_.showStatus(status);
    window_.showWarning(MARLIN_PRODUCT_NAME, failureMessage_);
    // An instrument that answered keeps the START button disabled until the next STOP; where
    // nothing answered, START may simply be tried again.
    if (state_.ud < 0 || replyBytes == 0) window_.setStartEnabled(true);
}

bool RecordingSession::WriteFileHeader() {
    const RecorderSettings settings = window_.currentSettings();
    io_.write("SYST:Err:CLE:All");
    io_.write("FORMat ASCii");
    io_.write("MMEM:STOR:TRAC " + NumberText(settings.traceIndex + 1) + ",'C:\\TRACE.DAT'");
    io_.write("MMEM:DATA? 'C:\\TRACE.DAT'");
    const BlockRead block = io_.readBlock(1);
    if (!block.ok()) {
        const bool lost = block.result == BlockRead::Result::Empty ||
                          block.result == BlockRead::Result::BusError || block.result == BlockRead::Result::Short;
        endWithFailure(Outcome::ReadingFailed, "reading failed",
                       "The trace description of trace " + settings.traceText() +
                           " could not be read: the instrument sent " + block.describe() +
                           ".\r\nThe recording has stopped; nothing was written to the file.",
                       lost);
        return false;
    }
    const double interval = ParseNumber(settings.interval);
    // The head write counts as an acquisition: a STOP that comes meanwhile is completed when the
    // head is in the file, so the instrument is always returned to local.
    readyFlag_ = false;
    window_.showStatus("writing ...");
    events();
    reconnect_.headValues = DiskRoom::valueCount(block.data);
    room_.start(reconnect_.headValues);
    const RecorderSettings now = window_.currentSettings();
    const FileResult written = TraceFile::writeHead(now.fileName, TraceFile::headText(interval, block.data),
                                                    &fileMark_, now.syncsAt(interval));
    readyFlag_ = true;
    if (!written) {
        endWithFailure(Outcome::FileError, "file error", written.message + "\r\nThe recording has stopped.");
        return false;
    }
    if (stopFlag_) StopRec_Click();
    return true;
}

void RecordingSession::RecordLoop() {
    interval_ = ParseNumber(window_.currentSettings().interval);
    if (!(interval_ > 0)) {
        interval_ = 0.00001;
        window_.showIntervalText("1E-05");
    }
    if (interval_ > 1) {
        window_.setProgressVisible(true);
        window_.showRecordingLayout(RecordingLayout::WithProgress);
    } else {
        window_.showRecordingLayout(RecordingLayout::Compact);
    }
    for (;;) {
        if (stopFlag_) break;
        if (readyFlag_) {
            const ReadingResult result = takeReading();
            if (result == ReadingResult::Resumed) continue;
            if (result != ReadingResult::Written) break;
        }
        waitForNextReading();
    }
}

void RecordingSession::waitForNextReading() {
    const double total = interval_ * 1000.0;
    const bool showProgress = interval_ > 1;
    stopwatch_.reset();
    for (;;) {
        const double elapsed = stopwatch_.elapsedMs();
        if (!(total > elapsed) || stopFlag_) break;
        const double remaining = total - elapsed;
        // Block until the next event or the next moment something changes on screen; below one
        // millisecond only the pending events run.
        double step = remaining < 1.0 ? 0.0 : std::ceil(remaining);
        if (showProgress) step = std::min(step, std::max(1.0, std::min(100.0, total / 100.0)));
        window_.letPendingEventsRun(std::chrono::milliseconds(static_cast<std::int64_t>(step)));
        if (showProgress) window_.setProgressValue(progressPercent(stopwatch_.elapsedMs(), total));
    }
    window_.setProgressValue(0);
}

RecordingSession::ReadingResult RecordingSession::takeReading() {
    readyFlag_ = false;
    window_.showStatus("recording ...");
    events();
    const RecorderSettings settings = window_.currentSettings();
    // A disk that fills up ends the recording between readings, never inside a section.
    if (const std::string full = room_.shortOfRoom(settings.fileName, settings.format, settings.separator.size());
        !full.empty()) {
        endWithFailure(Outcome::FileError, "disk full", full + " " + readingsBefore(readingCount_));
        return ReadingResult::Failed;
    }

    io_.write("SWE:TIME?");
    std::size_t sweepReplyBytes = 0;
    const double sweepTime = leadingNumber(StripLineEnds(io_.ReadReply(2, &sweepReplyBytes)));
    const double timeout = std::clamp(nearestEven(sweepTime + 1.0), -1.0, 32767.0);
    bus_.ibtmo(state_.ud, static_cast<std::int16_t>(timeout), state_);
    io_.write("INIT:IMM;*WAI");
    io_.write("FORM REAL,32");
    io_.write("TRAC? TRACE" + settings.traceText());

    BlockRead block = io_.readBlock(0);
    // An inactive trace answers nothing to the trace query only; an instrument that answered
    // nothing to the sweep time query either is not there any more.
    if (block.result == BlockRead::Result::Empty && sweepReplyBytes == 0) {
        block.result = BlockRead::Result::BusError;
        block.iberr = state_.iberr;
    }
    std::string failure;
    if (block.result == BlockRead::Result::Empty) {
        switch (explainSilence()) {
            case Silence::InactiveTrace:
                // Ended like every recording: the instrument sweeps freely again, in local.
                readyFlag_ = true;
                StopRec_Click();
                window_.showWarning(MARLIN_PRODUCT_NAME, "Selected Trace is not active.\r\nPlease activate Trace" +
                                                             NumberText(settings.traceIndex + 1) +
                                                             " before start recording.");
                window_.showStatus("ready");
                events();
                outcome_ = Outcome::InactiveTrace;
                return ReadingResult::Inactive;
            case Silence::LateBlock:
                failure = "its trace block only after the time limit of " + std::to_string(static_cast<int>(timeout)) +
                          " s (the instrument answers too slowly)";
                break;
            case Silence::NoAnswer:
                failure = "no reply to the trace query within " + std::to_string(static_cast<int>(timeout)) +
                          " s, and no reply to \"*OPC?\" either (the connection to the instrument is lost or "
                          "the instrument has stalled)";
                break;
        }
    } else if (block.ok() && block.expected % 4 != 0) {
        block.result = BlockRead::Result::BadHeader;  // not a whole number of 4-byte values
    }
    if (!failure.empty() || !block.ok()) {
        const bool lost = !failure.empty() || block.result == BlockRead::Result::BusError ||
                          block.result == BlockRead::Result::Short;
        const std::string why = "Trace " + settings.traceText() + " could not be read: the instrument sent " +
                                (failure.empty() ? block.describe() : failure) + ".";
        if (lost && settings.reconnect) {
            if (reconnect(settings, why) != Reconnect::Resumed) return ReadingResult::Failed;
            readyFlag_ = true;
            if (stopFlag_) StopRec_Click();
            return ReadingResult::Resumed;
        }
        endWithFailure(Outcome::ReadingFailed, "reading failed",
                       why + "\r\nThe recording has stopped. " + readingsBefore(readingCount_), lost);
        return ReadingResult::Failed;
    }
    // The instrument that came back must still deliver this recording's trace.
    if (const std::size_t before = reconnect_.readingBytes ? reconnect_.readingBytes : reconnect_.headValues * 4;
        reconnect_.sinceDrop && before != 0 && block.data.size() != before) {
        endWithFailure(Outcome::ReadingFailed, "other trace length",
                       "Since the connection came back, trace " + settings.traceText() + " has " +
                           std::to_string(block.data.size() / 4) + " values instead of the " +
                           std::to_string(before / 4) +
                           " of this recording, so its readings would not fit the file.\r\nThe recording has "
                           "stopped. " +
                           readingsBefore(readingCount_));
        return ReadingResult::Failed;
    }

    ++readingCount_;
    const TimeStamp stamp = clock_();
    FileResult written;
    const bool sync = settings.syncsAt(interval_);
    std::uint64_t sectionBytes = DiskRoom::sectionBytes(block.data.size() / 4, FileForm::Binary, 0);
    if (settings.format == FileForm::Ascii) {
        TraceFile::asciiSectionInto(asciiSection_, readingCount_, stamp, block.data,
                                    window_.currentSettings().separator);
        sectionBytes = asciiSection_.size();
        window_.showStatus("writing ...");
        events();
        written =
            TraceFile::appendAsciiSectionText(window_.currentSettings().fileName, asciiSection_.view(), &fileMark_,
                                              sync);
    } else {
        window_.showStatus("writing ...");
        events();
        written = TraceFile::appendBinarySection(window_.currentSettings().fileName, readingCount_, stamp,
                                                 block.data, &fileMark_, sync);
    }
    room_.sectionWritten(sectionBytes, settings.format);
    if (!written) {
        --readingCount_;  // the section is not in the file
        endWithFailure(Outcome::FileError, "file error",
                       written.message + "\r\nThe recording has stopped." +
                           (written.notTheTraceFile ? std::string() : " " + readingsBefore(readingCount_)));
        return ReadingResult::Failed;
    }

    reconnect_.sinceDrop = false;
    reconnect_.attempts = 0;
    reconnect_.readingBytes = block.data.size();
    window_.showStatus("idle.");
    readyFlag_ = true;
    if (stopFlag_) StopRec_Click();
    return ReadingResult::Written;
}

RecordingSession::Reconnect RecordingSession::reconnect(const RecorderSettings& settings, const std::string& why) {
    // A connection that drops again before a reading came through gets no attempt of its own
    // beyond the time allowed, or one that keeps coming back only to fail would never give up.
    const bool again = reconnect_.sinceDrop;
    // The stopwatch was last reset when the wait after the last reading began, or at the drop
    // before this one when no reading came in between; it times the drop from now on.
    double silent = 0;
    if (again) {
        silent = msWithoutReading();
    } else if (readingCount_ > 0) {
        silent = stopwatch_.elapsedMs();
    }
    stopwatch_.reset();
    reconnect_.silentMsBefore = silent;
    reconnect_.sinceDrop = true;
    ++reconnect_.drops;

    // The device of a lost or stalled connection is of no more use; the library would hand it
    // back for the same address.
    bus_.ibonl(state_.ud, 0, state_);
    window_.setConnectionColour(ConnectionColour::Red);
    window_.connectionLost(why);

    const double giveUpMs = settings.giveUpSeconds() * 1000.0;
    const double longest = static_cast<double>(std::max(schedule_.longestWait, schedule_.firstWait).count());
    double wait = static_cast<double>(schedule_.firstWait.count());
    for (int attempt = 1;; ++attempt) {
        // After a reading, one attempt is always made, even when the reading failed after a wait
        // longer than the time allowed; the last one comes when that time runs out.
        const double left = giveUpMs - msWithoutReading();
        if ((attempt > 1 || again) && !(left >= 1)) {
            endDisconnected(Outcome::ReadingFailed, "no connection",
                            why + "\r\nThe instrument at \"" + settings.address + "\" did not answer again within " +
                                secondsText(settings.giveUpSeconds()) + " s without a reading (" +
                                std::to_string(reconnect_.attempts) +
                                (reconnect_.attempts == 1 ? " attempt" : " attempts") +
                                " to open it).\r\nThe recording has stopped. " + readingsBefore(readingCount_));
            return Reconnect::Ended;
        }
        if (!waitToReconnect(attempt > 1 || again ? std::min(wait, left) : wait, attempt)) {
            // Stopped with no device open: STOP has nothing to give back to local.
            readyFlag_ = true;
            window_.showStatus("");
            events();
            return Reconnect::Stopped;
        }
        wait = std::min(wait * 2, longest);
        ++reconnect_.attempts;

        state_.ud = bus_.ibfind(settings.address.c_str(), state_);
        if (state_.ud < 0) continue;
        io_.write("*IDN?");
        std::size_t replyBytes = 0;
        const std::string identity = StripLineEnds(io_.ReadReply(InstrumentIo::kIdentityLength, &replyBytes));
        if (replyBytes == 0) {
            bus_.ibonl(state_.ud, 0, state_);
            continue;
        }
        if (identity != identity_) {
            // Another instrument: it is left as it was found.
            bus_.ibonl(state_.ud, 0, state_);
            endDisconnected(Outcome::NotIdentified, "not identified",
                            why + "\r\nWhen the connection came back, the instrument at \"" + settings.address +
                                "\" answered \"" + identity + "\" instead of \"" + identity_ +
                                "\": it is not the instrument of this recording.\r\nThe recording has stopped. " +
                                readingsBefore(readingCount_));
            return Reconnect::Ended;
        }
        io_.write("SYST:DISP:UPD ON");
        io_.write("INIT:CONT OFF");
        window_.setConnectionColour(ConnectionColour::Green);
        ++reconnect_.resumes;
        window_.connectionResumed(attempt, msWithoutReading() / 1000.0);
        return Reconnect::Resumed;
    }
}

bool RecordingSession::waitToReconnect(double ms, int attempt) {
    // Short steps keep the status current; STOP ends a step at once in both hosts.
    constexpr double kStepMs = 100;
    const double end = stopwatch_.elapsedMs() + ms;
    std::string shown;
    for (;;) {
        if (stopFlag_) return false;
        const std::string status = "reconnecting ... attempt " + std::to_string(attempt) + ", " +
                                   std::to_string(static_cast<long long>(msWithoutReading() / 1000.0)) +
                                   " s since the last reading";
        if (status != shown) {
            window_.showStatus(status);
            shown = status;
        }
        const double left = end - stopwatch_.elapsedMs();
        if (!(left > 0)) return true;
        window_.letPendingEventsRun(
            std::chrono::milliseconds(static_cast<std::int64_t>(std::min(kStepMs, std::ceil(left)))));
    }
}

void RecordingSession::endDisconnected(Outcome outcome, const std::string& status, const std::string& message) {
    readyFlag_ = true;
    stopFlag_ = true;
    window_.setConnectionColour(ConnectionColour::Red);
    window_.setStartEnabled(true);
    outcome_ = outcome;
    failureMessage_ = message;
    window_.showStatus(status);
    window_.showWarning(MARLIN_PRODUCT_NAME, message);
}

RecordingSession::Silence RecordingSession::explainSilence() {
    bus_.ibtmo(state_.ud, kAliveCheckSeconds, state_);
    // A slow instrument's block comes after all; it is not taken as the reading.
    std::size_t got = 0;
    io_.ReadReply(2, &got);
    if (got > 0) return Silence::LateBlock;
    // An instrument that still answers sends nothing for an inactive trace only. (A late trace
    // block cannot pass for this reply: the bus skips replies to earlier commands.)
    io_.write("*OPC?");
    io_.ReadReply(16, &got);
    return got > 0 ? Silence::InactiveTrace : Silence::NoAnswer;
}

void RecordingSession::endWithFailure(Outcome outcome, const std::string& status, const std::string& message,
                                      bool closeDevice) {
    // No acquisition is in progress any more: STOP returns the instrument to local at once.
    readyFlag_ = true;
    StopRec_Click();
    if (closeDevice) bus_.ibonl(state_.ud, 0, state_);
    outcome_ = outcome;
    failureMessage_ = message;
    window_.showStatus(status);
    window_.showWarning(MARLIN_PRODUCT_NAME, message);
}

void RecordingSession::StopRec_Click() {
    stopFlag_ = true;
    if (readyFlag_) {
        window_.setConnectionColour(ConnectionColour::Red);
        window_.showStatus("");
        events();
        io_.write("INIT:CONT ON");
        bus_.ibloc(state_.ud, state_);
    } else {
        events();
    }
    window_.setStartEnabled(true);
}

}  // namespace marlin
