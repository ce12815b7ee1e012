#include "marlin/view/FollowThread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>

#include <sys/stat.h>

namespace marlin::view {

namespace {

struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

FileStamp stampOf(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return {};
    return {true, st.st_dev, st.st_ino, st.st_size,
            static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
}

}  // namespace

FollowThread::FollowThread(ViewModel& model, const QString& path, QObject* parent)
    : QObject(parent), model_(model), follower_(model, path.toLocal8Bit().toStdString()), path_(path) {
    follower_.setProgress([this] { emit changed(); });
    // A recorder that replaces the file (or a file that appears later) drops it from the watch
    // list; the folder's watch brings it back.
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, [this] {
        watchAgain();
        wake();
    });
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
        watchAgain();
        wake();
    });
    watchAgain();
    thread_ = std::thread([this] { run(); });
}

FollowThread::~FollowThread() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wakeUp_.notify_all();
    thread_.join();
}

void FollowThread::watchAgain() {
    const QFileInfo info(path_);
    if (info.exists() && !watcher_.files().contains(path_)) watcher_.addPath(path_);
    const QString folder = info.absolutePath();
    if (!watcher_.directories().contains(folder)) watcher_.addPath(folder);
}

void FollowThread::wake() {
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    wakeUp_.notify_all();
}

bool FollowThread::loaded() const {
    std::lock_guard lock(mutex_);
    return loaded_;
}

bool FollowThread::waitLoaded(int ms) {
    const QDeadlineTimer deadline(ms);
    while (!loaded() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::unique_lock lock(mutex_);
        wakeUp_.wait_for(lock, std::chrono::milliseconds(5), [this] { return loaded_; });
    }
    QCoreApplication::processEvents();
    return loaded();
}

void FollowThread::run() {
    const std::string& path = follower_.path();
    model_.setLoading(true);
    FileStamp seen = stampOf(path);
    follower_.poll();
    model_.refreshLevels(true);
    model_.setLoading(false);
    {
        std::lock_guard lock(mutex_);
        loaded_ = true;
    }
    wakeUp_.notify_all();
    emit changed();
    emit firstPassDone();

    bool levelsStale = false;
    while (true) {
        bool woken = false;
        {
            std::unique_lock lock(mutex_);
            wakeUp_.wait_for(lock, std::chrono::milliseconds(kPollMilliseconds), [this] { return woken_ || stop_; });
            if (stop_) return;
            woken = std::exchange(woken_, false);
        }
        bool changedNow = follower_.serveRequests();
        const FileStamp now = stampOf(path);
        if (woken || !(now == seen)) {
            seen = now;
            const reader::UpdateStatus status = follower_.poll();
            if (status != reader::UpdateStatus::Unchanged) {
                changedNow = true;
                levelsStale = true;
            }
        } else if (levelsStale) {
            // The file is quiet: fit the colours to the last readings too.
            levelsStale = false;
            changedNow = model_.refreshLevels(true) || changedNow;
        }
        if (changedNow) emit changed();
    }
}

}  // namespace marlin::view
