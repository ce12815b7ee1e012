#pragma once

namespace marlin::sim {

// A descriptor that becomes readable when signal() is called, so that a thread waiting in poll()
// for socket traffic can also be woken by another thread (stop, device clear, service request).
// Construction raises std::system_error when the process is out of descriptors.
class WakePipe {
public:
    WakePipe();
    ~WakePipe();
    WakePipe(const WakePipe&) = delete;
    WakePipe& operator=(const WakePipe&) = delete;

    void signal();  // async-signal-safe
    void drain();
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

}  // namespace marlin::sim
