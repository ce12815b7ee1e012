#include "ConsoleWindow.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "marlin/core/RecordingSession.h"
#include <marlin/base/TimeStamp.h>

namespace marlin::cli {

namespace {

std::string withNewlines(std::string text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

}  // namespace

ConsoleWindow::ConsoleWindow(RecorderSettings settings, bool overwrite, bool quiet, bool terminal,
                             Limits limits, std::ostream& out, std::ostream& err, int signalFd)
    : settings_(std::move(settings)),
      overwrite_(overwrite),
      quiet_(quiet),
      terminal_(terminal && !quiet),
      limits_(limits),
      out_(out),
      err_(err),
      signalFd_(signalFd),
      started_(std::chrono::steady_clock::now()) {}

void ConsoleWindow::showStatus(const std::string& text) {
    status_ = text;
    redraw(false);
}

void ConsoleWindow::setProgressValue(int percent) {
    progress_ = percent;
    redraw(false);
}

bool ConsoleWindow::askOverwrite(const std::string&, const std::string&) {
    return overwrite_;
}

void ConsoleWindow::showWarning(const std::string& title, const std::string& text) {
    finish();
    err_ << title << ": " << withNewlines(text) << '\n';
    err_.flush();
}

void ConsoleWindow::connectionLost(const std::string& why) {
    finish();
    const int count = session_ ? session_->readingCount() : 0;
    err_ << "marlin-cli: " << TimeStamp::now().isoText().substr(0, 19) << " connection lost after " << count
         << (count == 1 ? " reading: " : " readings: ") << withNewlines(why) << " Reconnecting; giving up after "
         << settings_.giveUpSeconds() << " s without a reading.\n";
    err_.flush();
}

void ConsoleWindow::connectionResumed(int attempts, double secondsWithoutReading) {
    finish();
    const int count = session_ ? session_->readingCount() : 0;
    err_ << "marlin-cli: " << TimeStamp::now().isoText().substr(0, 19) << " connection back at attempt "
         << attempts << ", " << static_cast<long long>(secondsWithoutReading) << " s after the last reading; "
         << "recording goes on with reading " << count + 1 << ".\n";
    err_.flush();
}

void ConsoleWindow::finish() {
    if (lineOpen_) {
        redraw(true);
        out_ << '\n';
        out_.flush();
        lineOpen_ = false;
    }
}

void ConsoleWindow::requestStop() {
    stopRequested_ = true;
    // START clears the stop flag once the instrument is accepted; a stop asked for before that
    // is asked for again.
    if (session_ && session_->isRunning() && !session_->stopFlag()) session_->StopRec_Click();
}

void ConsoleWindow::checkStopConditions() {
    if (!session_) return;
    if (stopRequested_) requestStop();
    if (limits_.readings &&
        static_cast<std::uint64_t>(std::max(0, session_->readingCount())) >= *limits_.readings) {
        requestStop();
    }
    if (limits_.duration && std::chrono::steady_clock::now() - started_ >= *limits_.duration)
        requestStop();
}

void ConsoleWindow::letPendingEventsRun(std::chrono::milliseconds maxWait) {
    checkStopConditions();
    auto wait = maxWait;
    if (limits_.duration && !stopRequested_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            started_ + *limits_.duration - std::chrono::steady_clock::now() + std::chrono::milliseconds(1));
        wait = std::clamp(left, std::chrono::milliseconds(0), wait);
    }
    if (stopRequested_) wait = std::chrono::milliseconds(0);
    // A look without waiting is made at most once a millisecond: back-to-back recording asks
    // several times per reading, and each look is a system call.
    const auto now = std::chrono::steady_clock::now();
    const bool look = wait.count() > 0 || now - lastLook_ >= std::chrono::milliseconds(1);
    if (signalFd_ >= 0 && look) {
        lastLook_ = now;
        pollfd pfd{signalFd_, POLLIN, 0};
        int ready;
        do {
            ready = ::poll(&pfd, 1, static_cast<int>(std::min<std::int64_t>(wait.count(), 1 << 30)));
        } while (ready < 0 && errno == EINTR && wait.count() == 0);
        if (ready > 0) {
            // One read: poll said there are bytes, and the descriptor may be a blocking one.
            char buf[64];
            (void)!::read(signalFd_, buf, sizeof buf);
            requestStop();
        }
    } else if (wait.count() > 0) {
        ::poll(nullptr, 0, static_cast<int>(std::min<std::int64_t>(wait.count(), 1 << 30)));
    }
    checkStopConditions();
    redraw(false);
}

void ConsoleWindow::redraw(bool force) {
    if (!terminal_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    std::string line = "\r";
    const int count = session_ ? session_->readingCount() : 0;
    if (progressVisible_ && session_) {
        constexpr int width = 20;
        const int filled = (progress_ * width + 50) / 100;
        line += "[" + std::string(static_cast<std::size_t>(filled), '#') +
                std::string(static_cast<std::size_t>(width - filled), '-') + "] ";
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f s to next sweep  ",
                      progress_ * session_->interval() / 100.0);
        line += seconds;
    }
    line += "readings: " + std::to_string(count) + "  " + status_;
    out_ << line << "\x1b[K";
    out_.flush();
    lineOpen_ = true;
}

}  // namespace marlin::cli
