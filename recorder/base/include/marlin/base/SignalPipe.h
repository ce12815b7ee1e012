#pragma once
// SIGINT and SIGTERM as readable bytes: the handler only writes to a pipe, and the program's
// event wait (marlin-cli's poll, the window's socket notifier) watches the pipe's read end, so a
// signal wakes the wait at once and the recording ends through STOP. A second signal of the same
// kind ends the program the default way. One instance at a time; POSIX only.

#include <csignal>

namespace marlin {

class SignalPipe {
public:
    SignalPipe();   // installs the handlers
    ~SignalPipe();  // restores the previous handlers
    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;

    // The descriptor to poll for reading; -1 when the pipe could not be made.
    int fd() const;
    // Consumes what is in the pipe; true when at least one signal had arrived.
    bool drain();

private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

}  // namespace marlin
