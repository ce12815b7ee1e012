// The analyzer-sim program itself: command line, start-up, logging and a clean stop on signals.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "WireClient.h"

namespace marlin::sim {
namespace {

using Ms = std::chrono::milliseconds;

// A child process with its standard error in a pipe.
class Program {
public:
    explicit Program(std::vector<std::string> args) {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(fds[1], 2);
            ::dup2(fds[1], 1);
            ::close(fds[0]);
            ::close(fds[1]);
            std::vector<char*> argv;
            std::string path = ANALYZER_SIM_PATH;
            argv.push_back(path.data());
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(path.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        out_ = fds[0];
    }
    ~Program() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
    }

    // Reads output until it contains text or the limit passes.
    bool waitFor(const std::string& text, Ms limit = Ms(5000)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (output_.find(text) == std::string::npos) {
            if (!readSome(deadline)) return false;
        }
        return true;
    }

    // Reads until the program closes its output, then its exit status (-1 when it did not end in time).
    int exitCode(Ms limit = Ms(5000)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (readSome(deadline)) {
        }
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        int status = 0;
        ::waitpid(pid_, &status, 0);
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    void signal(int sig) { ::kill(pid_, sig); }
    const std::string& output() const { return output_; }

private:
    bool readSome(std::chrono::steady_clock::time_point deadline) {
        const auto left = std::chrono::ceil<Ms>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        pollfd p{out_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
        char buffer[4096];
        const ssize_t n = ::read(out_, buffer, sizeof buffer);
        if (n <= 0) return false;
        output_.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    bool reaped_ = false;
    std::string output_;
};

TEST(ProgramTest, ServesUntilSigtermAndLogsOneLinePerCommand) {
    Program sim({"--bind", "127.0.0.86", "--port", "2525", "--verbose", "--identity", "QUAZAR,TEST,1,1"});
    ASSERT_TRUE(sim.waitFor("listening on 127.0.0.86:2525")) << sim.output();
    test::WireClient c;
    ASSERT_TRUE(c.open("127.0.0.86", 2525)) << c.why();
    EXPECT_EQ(c.ask("*IDN?"), "QUAZAR,TEST,1,1\n");
    EXPECT_TRUE(sim.waitFor("*IDN? -> 16 bytes")) << sim.output();
    sim.signal(SIGTERM);
    EXPECT_EQ(sim.exitCode(), 0) << sim.output();
    EXPECT_TRUE(c.dataClosed());
}

TEST(ProgramTest, StopsOnSigintWithoutClients) {
    Program sim({"--bind", "127.0.0.87"});
    ASSERT_TRUE(sim.waitFor("listening on 127.0.0.87:")) << sim.output();
    sim.signal(SIGINT);
    EXPECT_EQ(sim.exitCode(), 0) << sim.output();
}

TEST(ProgramTest, HelpAndBadOptions) {
    Program help({"--help"});
    EXPECT_EQ(help.exitCode(), 0);
    EXPECT_NE(help.output().find("Usage: analyzer-sim"), std::string::npos);
    Program bad({"--points", "zero"});
    EXPECT_EQ(bad.exitCode(), 2);
    EXPECT_NE(bad.output().find("--points needs"), std::string::npos) << bad.output();
}

TEST(ProgramTest, AnAddressInUseIsReportedAndTheProgramFails) {
    Program first({"--bind", "127.0.0.88", "--port", "2525"});
    ASSERT_TRUE(first.waitFor("listening")) << first.output();
    Program second({"--bind", "127.0.0.88", "--port", "2525"});
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_NE(second.output().find("cannot listen on 127.0.0.88:2525"), std::string::npos) << second.output();
    first.signal(SIGTERM);
    EXPECT_EQ(first.exitCode(), 0);
}

}  // namespace
}  // namespace marlin::sim
