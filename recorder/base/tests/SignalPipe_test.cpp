#include "marlin/base/SignalPipe.h"

#include <poll.h>
#include <signal.h>

#include <gtest/gtest.h>

namespace marlin {
namespace {

bool readableWithin(int fd, int ms) {
    pollfd pfd{fd, POLLIN, 0};
    return ::poll(&pfd, 1, ms) == 1 && (pfd.revents & POLLIN);
}

void (*currentHandler(int signo))(int) {
    struct sigaction now {};
    sigaction(signo, nullptr, &now);
    return now.sa_handler;
}

extern "C" void testOwnHandler(int) {}

TEST(SignalPipe, EachSignalBecomesAByteThatDrainConsumes) {
    for (int signo : {SIGINT, SIGTERM}) {
        SignalPipe pipe;
        ASSERT_GE(pipe.fd(), 0);
        EXPECT_FALSE(readableWithin(pipe.fd(), 0));
        EXPECT_FALSE(pipe.drain());
        ::raise(signo);
        EXPECT_TRUE(readableWithin(pipe.fd(), 5000)) << signo;
        EXPECT_TRUE(pipe.drain());
        EXPECT_FALSE(pipe.drain());
        EXPECT_FALSE(readableWithin(pipe.fd(), 0));
    }
}

TEST(SignalPipe, TheSecondSignalOfAKindTakesItsDefaultActionAndTheOldHandlersReturn) {
    struct sigaction own {};
    own.sa_handler = &testOwnHandler;
    sigemptyset(&own.sa_mask);
    struct sigaction oldInt {}, oldTerm {};
    sigaction(SIGINT, &own, &oldInt);
    sigaction(SIGTERM, &own, &oldTerm);
    {
        SignalPipe pipe;
        EXPECT_NE(currentHandler(SIGINT), &testOwnHandler);
        EXPECT_NE(currentHandler(SIGINT), SIG_DFL);
        ::raise(SIGINT);
        EXPECT_EQ(currentHandler(SIGINT), SIG_DFL);
        EXPECT_NE(currentHandler(SIGTERM), SIG_DFL);  // only the kind that came
        EXPECT_TRUE(pipe.drain());
    }
    EXPECT_EQ(currentHandler(SIGINT), &testOwnHandler);
    EXPECT_EQ(currentHandler(SIGTERM), &testOwnHandler);
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
}

}  // namespace
}  // namespace marlin
