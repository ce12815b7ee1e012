#include "marlin/base/SignalPipe.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>

namespace marlin {

namespace {

int gPipe[2] = {-1, -1};

extern "C" void onSignal(int signo) {
    const int saved = errno;
    // The next signal of this kind takes its default action: a stuck instrument cannot keep the
    // program from ending.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(signo, &dfl, nullptr);
    const char byte = static_cast<char>(signo);
    if (gPipe[1] >= 0) (void)!::write(gPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

SignalPipe::SignalPipe() {
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        gPipe[0] = gPipe[1] = -1;
        return;
    }
    struct sigaction sa {};
    sa.sa_handler = &onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;
    sigaction(SIGINT, &sa, &oldInt_);
    sigaction(SIGTERM, &sa, &oldTerm_);
}

SignalPipe::~SignalPipe() {
    if (gPipe[0] < 0) return;
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
    ::close(gPipe[0]);
    ::close(gPipe[1]);
    gPipe[0] = gPipe[1] = -1;
}

int SignalPipe::fd() const {
    return gPipe[0];
}

bool SignalPipe::drain() {
    if (gPipe[0] < 0) return false;
    bool any = false;
    char buf[64];
    for (;;) {
        const ssize_t n = ::read(gPipe[0], buf, sizeof buf);
        if (n > 0) {
            any = true;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    return any;
}

}  // namespace marlin
