#pragma once

namespace marlin::sim {

// A pipe whose read end becomes readable when signal() is called, so that a thread waiting in
// poll() for socket traffic can also be woken by another thread (stop, device clear, service request).
class WakePipe {
public:
    WakePipe();
    ~WakePipe();
    WakePipe(const WakePipe&) = delete;
    WakePipe& operator=(const WakePipe&) = delete;

    void signal();  // async-signal-safe
    void drain();
    int fd() const { return fds_[0]; }

private:
    int fds_[2] = {-1, -1};
};

}  // namespace marlin::sim
