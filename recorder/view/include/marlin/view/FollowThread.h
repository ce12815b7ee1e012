#pragma once
// Keeps a ViewModel up to date with its file from a thread of its own, so that opening a large
// recording never blocks the window. The file system watcher wakes it as soon as the file changes;
// where the watcher says nothing (network shares and the like) a look at the file's size and time
// every 100 ms finds the change instead.

#include <marlin/view/TraceFollower.h>

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace marlin::view {

class FollowThread : public QObject {
    Q_OBJECT

public:
    static constexpr int kPollMilliseconds = 100;

    FollowThread(ViewModel& model, const QString& path, QObject* parent = nullptr);
    ~FollowThread() override;

    // Look at the file now (also after the model got a request).
    void wake();
    bool loaded() const;  // the first pass over the file is done
    // Runs the event loop until the first pass is done; false if it took longer than `ms`.
    bool waitLoaded(int ms);

signals:
    // From the follower's thread: the model changed (connect with a queued connection).
    void changed();
    void firstPassDone();

private:
    void run();
    void watchAgain();

    ViewModel& model_;
    TraceFollower follower_;
    QFileSystemWatcher watcher_;
    QString path_;
    mutable std::mutex mutex_;
    std::condition_variable wakeUp_;
    bool woken_ = false, stop_ = false, loaded_ = false;
    std::thread thread_;
};

}  // namespace marlin::view
