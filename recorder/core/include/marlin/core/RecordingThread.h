#pragma once
// Runs a recording session on a thread of its own, so that a blocking bus read (a whole sweep and
// a second more) never keeps the window from repainting or answering a click.
//
// The session talks to a stand-in window that hands every call on to the real one on the
// window's thread: display changes are posted and not waited for, questions and the settings are
// posted and the recording waits for the answer. Its waits between readings sleep until the time
// is up or STOP wakes them. While a recording runs, every bus call is made on the recording
// thread: STOP from the window only asks, and the recording thread runs the session's STOP at its
// next look, as the window's event loop ran it before.
//
// The window supplies `post`, which runs a function later on the window's thread, in the order
// posted; it is called from the recording thread. Everything public here is for the window's
// thread (the thread that created the object) only.

#include <functional>
#include <memory>
#include <thread>

#include "marlin/core/Bus.h"
#include "marlin/core/HostProbe.h"
#include "marlin/core/RecordingSession.h"
#include "marlin/core/SessionWindow.h"
#include "marlin/core/Stopwatch.h"

namespace marlin {

class RecordingThread {
public:
    using Post = std::function<void(std::function<void()>)>;

    RecordingThread(SessionWindow& window, Post post, Bus& bus, HostProbe& probe, Stopwatch& stopwatch);
    // Shuts down (below) first.
    ~RecordingThread();
    RecordingThread(const RecordingThread&) = delete;
    RecordingThread& operator=(const RecordingThread&) = delete;

    // The session, for its settings and what it tells. While a recording runs only its flags and
    // reading count may be read here.
    RecordingSession& session() { return session_; }
    const RecordingSession& session() const { return session_; }

    // START on the recording thread. `ended` is posted to the window's thread when START has
    // returned there, and runs after the thread is gone. False (nothing starts) while a recording
    // runs or after shutDown.
    bool start(std::function<void()> ended = {});
    // STOP. While a recording runs the recording thread acts on it: at once when it waits, after
    // the reading in hand otherwise. When none runs, the session's STOP runs here and now.
    void stop();
    // From start until `ended` ran.
    bool isRunning() const { return running_; }

    // For the end of the window: stops a running recording and waits until its thread is gone.
    // From now on the window is asked nothing: the settings stay as the window shows them now,
    // a question gets its cautious answer (no overwrite), a warning counts as seen, and display
    // changes still in the post are dropped.
    void shutDown();

private:
    struct Shared;
    class Relay;

    void ended();

    std::shared_ptr<Shared> shared_;
    std::unique_ptr<Relay> relay_;
    RecordingSession session_;
    std::thread worker_;
    std::function<void()> ended_;
    bool running_ = false;
};

}  // namespace marlin
