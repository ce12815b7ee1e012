#pragma once
// Ctrl-C (SIGINT) and SIGTERM for the window program: the signal arrives as a byte on a pipe, the
// window's event loop notices it and the program ends the way the About window's OK ends it,
// through STOP first, so the instrument is returned to local. Does nothing on Windows.

#include <QObject>

#include <functional>
#include <memory>

namespace marlin {

class SignalPipe;

class SignalStop : public QObject {
    Q_OBJECT

public:
    // `end` runs on the event loop's thread after SIGINT or SIGTERM.
    explicit SignalStop(std::function<void()> end, QObject* parent = nullptr);
    ~SignalStop() override;

private:
    std::function<void()> end_;
    std::unique_ptr<SignalPipe> pipe_;
};

}  // namespace marlin
