// The simulator and the bus library under the attacks they must withstand, measured.
//
// Simulator: analyzer-sim runs as a child process on 127.0.4.200; for each attack the program
// reports whether the child survived, its peak memory above its start (VmHWM, reset before each
// attack), its descriptors and threads once the attacker has left, and the longest open + *IDN?
// of a well-behaved client (through the bus library) during the attack, against a goal of
// 100 ms. Library: an in-process instrument on 127.0.4.201 floods; the longest call under each
// flood is printed against its time limit.
//
//   build/bench/hostile_bench [--simulator-only | --library-only]

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <qzib32.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "wire/WireHeader.h"

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;
constexpr const char* kSimAddress = "127.0.4.200";
constexpr const char* kPeerAddress = "127.0.4.201";
constexpr std::uint16_t kPort = 2525;

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// ---- raw bus clients (the attackers) ----------------------------------------------------------

int connectTo(const char* address) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(kPort);
    ::inet_pton(AF_INET, address, &sa.sin_addr);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

bool sendAll(int fd, const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool readExact(int fd, void* data, std::size_t size, Ms limit = Ms(5000)) {
    auto* p = static_cast<char*>(data);
    const auto end = Clock::now() + limit;
    while (size > 0) {
        pollfd pfd{fd, POLLIN, 0};
        const auto left = std::chrono::duration_cast<Ms>(end - Clock::now()).count();
        if (left <= 0 || ::poll(&pfd, 1, static_cast<int>(left)) <= 0) return false;
        const ssize_t n = ::recv(fd, p, size, 0);
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

struct RawDevice {
    int data = -1;
    int control = -1;
    bool open(bool withControl = true) {
        data = connectTo(kSimAddress);
        std::uint8_t reply[8];
        if (data < 0 || !sendAll(data, qzib::kProtocolVersionBytes.data(), 4) || !readExact(data, reply, 8))
            return false;
        if (!withControl) return true;
        control = connectTo(kSimAddress);
        return control >= 0 && sendAll(control, reply + 4, 4);
    }
    bool write(const std::string& text, std::uint8_t sequence = 1) {
        const auto h = qzib::WireHeader{static_cast<std::uint32_t>(text.size()),
                                        static_cast<std::uint8_t>(qzib::FLAG_END | qzib::FLAG_REMOTE), 0, sequence}
                           .encode();
        return sendAll(data, h.data(), h.size()) && sendAll(data, text.data(), text.size());
    }
    void close() {
        if (data >= 0) ::close(data);
        if (control >= 0) ::close(control);
        data = control = -1;
    }
};

// ---- the simulator as a child process -----------------------------------------------------------

struct Child {
    pid_t pid = -1;
    std::string logPath;

    bool start(const char* program, rlim_t descriptors) {
        logPath = "/tmp/hostile_bench_sim." + std::to_string(::getpid()) + ".log";
        pid = ::fork();
        if (pid == 0) {
            rlimit r{descriptors, descriptors};
            ::setrlimit(RLIMIT_NOFILE, &r);
            std::FILE* log = std::fopen(logPath.c_str(), "w");
            if (log) ::dup2(::fileno(log), 2);
            ::execl(program, program, "--bind", kSimAddress, "--port", "2525", static_cast<char*>(nullptr));
            _exit(127);
        }
        // Ready once it answers.
        for (int i = 0; i < 500; ++i) {
            RawDevice d;
            const bool ok = d.open();
            d.close();
            if (ok) return true;
            std::this_thread::sleep_for(Ms(10));  // waiting for another process to start
        }
        return false;
    }
    bool alive() {
        int status = 0;
        return pid > 0 && ::waitpid(pid, &status, WNOHANG) == 0;
    }
    long status(const char* field) const {
        std::ifstream in("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
        }
        return -1;
    }
    long descriptors() const {
        long n = 0;
        if (DIR* dir = ::opendir(("/proc/" + std::to_string(pid) + "/fd").c_str())) {
            while (const dirent* e = ::readdir(dir)) n += e->d_name[0] != '.';
            ::closedir(dir);
        }
        return n;
    }
    double cpuSeconds() const {
        std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(in)), {});
        const std::size_t close = text.rfind(')');
        if (close == std::string::npos) return 0;
        std::vector<std::string> fields;
        std::string field;
        for (char c : text.substr(close + 2)) {
            if (c == ' ') {
                fields.push_back(field);
                field.clear();
            } else {
                field += c;
            }
        }
        if (fields.size() < 13) return 0;
        return (std::atof(fields[11].c_str()) + std::atof(fields[12].c_str())) / ::sysconf(_SC_CLK_TCK);
    }
    void resetPeak() const { std::ofstream("/proc/" + std::to_string(pid) + "/clear_refs") << "5"; }
    long logBytes() const {
        std::ifstream in(logPath, std::ios::ate);
        return static_cast<long>(in.tellg());
    }
    void stop() {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
        std::remove(logPath.c_str());
        pid = -1;
    }
};

// A well-behaved client through the bus library, again and again while the attack runs.
struct Probe {
    std::atomic<bool> stop{false};
    double worstMs = 0;
    int failures = 0;
    int runs = 0;
    std::thread thread;

    void start() {
        thread = std::thread([this] {
            while (!stop) {
                const auto t = Clock::now();
                std::int16_t sta = 0, err = 0;
                std::int32_t cnt = 0;
                bool ok = false;
                const std::int16_t ud = QZDLLibfind(kSimAddress, &sta, &err, &cnt);
                if (ud >= 0) {
                    char reply[256];
                    QZDLLibwrt(ud, "*IDN?", &sta, &err, &cnt);
                    QZDLLilrd(ud, reply, sizeof reply, &sta, &err, &cnt);
                    ok = sta == QZ_CMPL && cnt > 5 && std::memcmp(reply, "QUAZA", 5) == 0;
                    QZDLLibonl(ud, 0, &sta, &err, &cnt);
                }
                worstMs = std::max(worstMs, msSince(t));
                failures += ok ? 0 : 1;
                ++runs;
                std::this_thread::sleep_for(Ms(20));  // a client's pace, not a wait for an event
            }
        });
    }
    void finish() {
        stop = true;
        thread.join();
    }
};

void simulatorAttack(const char* program, const char* name, rlim_t descriptors,
                     const std::function<void(std::vector<RawDevice>&)>& attack) {
    Child child;
    if (!child.start(program, descriptors)) {
        std::printf("%-44s  simulator did not start\n", name);
        child.stop();
        return;
    }
    const long fdsBefore = child.descriptors();
    const long threadsBefore = child.status("Threads:");
    const long rssBefore = child.status("VmRSS:");
    child.resetPeak();
    const double cpuBefore = child.cpuSeconds();
    const long logBefore = child.logBytes();
    Probe probe;
    probe.start();
    std::vector<RawDevice> held;
    const auto t = Clock::now();
    attack(held);
    probe.finish();
    const double attackSeconds = msSince(t) / 1000.0;
    const double cpu = child.cpuSeconds() - cpuBefore;
    const long peak = child.status("VmHWM:") - rssBefore;
    for (RawDevice& d : held) d.close();
    // The attacker has left: give the child a moment to close what it held, then look.
    long fds = 0, threads = 0;
    for (int i = 0; i < 100; ++i) {
        fds = child.descriptors();
        threads = child.status("Threads:");
        if (fds <= fdsBefore && threads <= threadsBefore) break;
        std::this_thread::sleep_for(Ms(20));  // polling another process's state
    }
    const bool alive = child.alive();
    std::printf("%-44s  %-7s peak +%6ld KiB  after: fds %3ld (%ld) threads %3ld (%ld)  open+*IDN? worst %7.1f ms, "
                "%d/%d failed  cpu %.0f%%  log +%ld B\n",
                name, alive ? "alive" : "CRASHED", std::max(0L, peak), fds, fdsBefore, threads, threadsBefore,
                probe.worstMs, probe.failures, probe.runs, 100.0 * cpu / attackSeconds,
                child.logBytes() - logBefore);
    child.stop();
}

void runSimulator(const char* program) {
    std::printf("analyzer-sim under attack (goal: alive, memory bounded, back to its descriptors and threads, "
                "open+*IDN? < 100 ms)\n");
    simulatorAttack(program, "1/5 out of descriptors (limit 256), 2 s", 256, [](std::vector<RawDevice>& held) {
        const auto end = Clock::now() + std::chrono::seconds(2);
        while (Clock::now() < end) {
            RawDevice d;
            if (d.open()) held.push_back(d);
            else d.close();
        }
    });
    simulatorAttack(program, "2 200 clients leave during a 16,000 s sweep", 4096, [](std::vector<RawDevice>&) {
        for (int i = 0; i < 200; ++i) {
            RawDevice d;
            if (d.open()) d.write("SWE:TIME 16000;INIT:IMM;*OPC?");
            d.close();
        }
    });
    simulatorAttack(program, "3a 24 x MMEM:DATA of 8 MiB", 4096, [](std::vector<RawDevice>& held) {
        RawDevice d;
        if (!d.open()) return;
        const std::string data(8u << 20, 'm');
        for (int i = 0; i < 24; ++i)
            d.write("MMEM:DATA 'F" + std::to_string(i) + "',#8" + std::to_string(data.size()) + data);
        char reply[64];
        d.write("*OPC?", 2);
        readExact(d.data, reply, 9, Ms(30000));
        held.push_back(d);
    });
    simulatorAttack(program, "3b 200 x MMEM:STOR:TRAC, 100,001 points", 4096, [](std::vector<RawDevice>& held) {
        RawDevice d;
        if (!d.open()) return;
        std::string message = "SWE:POIN 100001";
        for (int i = 0; i < 200; ++i) message += ";MMEM:STOR:TRAC 1,'T" + std::to_string(i) + "'";
        d.write(message + ";*OPC?");
        char reply[16];
        readExact(d.data, reply, 9, Ms(60000));
        held.push_back(d);
    });
    simulatorAttack(program, "3c one message of 16 MiB of ';'", 4096, [](std::vector<RawDevice>& held) {
        RawDevice d;
        if (!d.open()) return;
        d.write(std::string((16u << 20) - 64, ';') + "*OPC?");
        char reply[16];
        readExact(d.data, reply, 9, Ms(60000));
        held.push_back(d);
    });
    simulatorAttack(program, "3d 50 headers announcing 16 MiB - 1, no payload", 4096, [](std::vector<RawDevice>& held) {
        for (int i = 0; i < 50; ++i) {
            RawDevice d;
            if (!d.open()) continue;
            const auto h = qzib::WireHeader{(16u << 20) - 1, qzib::FLAG_END, 0, 1}.encode();
            sendAll(d.data, h.data(), h.size());
            held.push_back(d);
        }
        std::this_thread::sleep_for(Ms(500));  // let the attack stand while the probe runs
    });
    simulatorAttack(program, "4 pairing beside a device busy for minutes", 4096, [](std::vector<RawDevice>& held) {
        RawDevice d;
        if (!d.open(false)) return;
        std::string heavy;
        for (int i = 0; i < 20000; ++i) heavy += "SWE:POIN 100001;SWE:POIN 100000;";
        d.write(heavy);
        held.push_back(d);
        std::this_thread::sleep_for(Ms(2000));  // the attack's length
    });
    simulatorAttack(program, "6 control header announcing 4 GiB (x50)", 4096, [](std::vector<RawDevice>&) {
        for (int i = 0; i < 50; ++i) {
            RawDevice d;
            if (!d.open()) continue;
            const auto h = qzib::WireHeader{0xFFFFFFFFu, qzib::FLAG_END, 0, 0}.encode();
            sendAll(d.control, h.data(), h.size());
            char byte;
            readExact(d.data, &byte, 1, Ms(5000));  // ends when the simulator closes the device
            d.close();
        }
    });
}

// ---- the library against a flooding instrument ----------------------------------------------------

struct Peer {
    int listener = -1, data = -1, control = -1;
    Peer() {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(kPort);
        ::inet_pton(AF_INET, kPeerAddress, &sa.sin_addr);
        if (::bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(listener, 4) != 0)
            std::perror("bind 127.0.4.201:2525");
    }
    ~Peer() {
        for (int fd : {listener, data, control})
            if (fd >= 0) ::close(fd);
    }
    std::int16_t open() {
        std::int16_t ud = -1, sta = 0, err = 0;
        std::int32_t cnt = 0;
        std::thread opener([&] { ud = QZDLLibfind(kPeerAddress, &sta, &err, &cnt); });
        data = ::accept(listener, nullptr, nullptr);
        std::uint8_t version[4];
        const std::uint8_t greeting[8] = {0, 0, 0, 0x40, 1, 2, 3, 4};
        readExact(data, version, 4);
        sendAll(data, greeting, 8);
        control = ::accept(listener, nullptr, nullptr);
        readExact(control, version, 4);
        opener.join();
        QZDLLibtmo(ud, 1, &sta, &err, &cnt);
        return ud;
    }
};

class Flood {
public:
    Flood(int fd, std::vector<std::uint8_t> unit) : thread_([this, fd, unit] {
        const auto end = Clock::now() + std::chrono::seconds(30);
        while (!stop_ && Clock::now() < end) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 10) > 0) ::send(fd, unit.data(), unit.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        }
    }) {}
    ~Flood() {
        stop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::vector<std::uint8_t> blocks(std::uint32_t length, std::uint8_t flags, std::uint8_t sequence, int times) {
    std::vector<std::uint8_t> out;
    for (int i = 0; i < times; ++i) {
        const auto h = qzib::WireHeader{length, flags, 0, sequence}.encode();
        out.insert(out.end(), h.begin(), h.end());
        out.insert(out.end(), length, 's');
    }
    return out;
}

void libraryFlood(const char* name, const std::function<void(Peer&, std::int16_t)>& setUp,
                  const std::function<std::vector<std::uint8_t>()>& unit, bool onControl,
                  const std::function<void(std::int16_t)>& call) {
    Peer peer;
    const std::int16_t ud = peer.open();
    setUp(peer, ud);
    double worst = 0;
    {
        Flood flood(onControl ? peer.control : peer.data, unit());
        for (int i = 0; i < 3; ++i) {
            const auto t = Clock::now();
            call(ud);
            if (std::getenv("HOSTILE_BENCH_EACH")) std::printf("  %.0f ms\n", msSince(t));
            worst = std::max(worst, msSince(t));
        }
    }
    std::int16_t sta = 0, err = 0;
    std::int32_t cnt = 0;
    QZDLLibonl(ud, 0, &sta, &err, &cnt);
    std::printf("%-52s longest call %7.0f ms   limit 1000 ms   ratio %.2f\n", name, worst, worst / 1000.0);
}

void runLibrary() {
    std::printf("bus library against a flooding instrument (goal: every call within its time limit)\n");
    std::int16_t sta = 0, err = 0, result = 0;
    std::int32_t cnt = 0;
    char buffer[100];
    auto write = [&](Peer&, std::int16_t ud) { QZDLLibwrt(ud, "*IDN?", &sta, &err, &cnt); };
    auto none = [](Peer&, std::int16_t) {};
    libraryFlood("7a QZDLLilrd under stale-sequence blocks", write, [] { return blocks(1000, 0x80, 0xEE, 16); },
                 false, [&](std::int16_t ud) { QZDLLilrd(ud, buffer, sizeof buffer, &sta, &err, &cnt); });
    libraryFlood("7c QZDLLWaitSrq under a control flood", none, [] { return std::vector<std::uint8_t>(4096, 0x55); },
                 true, [&](std::int16_t ud) { QZDLLWaitSrq(ud, &result, &sta, &err, &cnt); });
    libraryFlood("7c QZDLLibwrt under a control flood", none, [] { return std::vector<std::uint8_t>(4096, 0x55); },
                 true, [&](std::int16_t ud) { QZDLLibwrt(ud, "*IDN?", &sta, &err, &cnt); });
    libraryFlood("7d QZDLLilrd after a 4 GiB block, data flood",
                 [&](Peer& peer, std::int16_t ud) {
                     QZDLLibwrt(ud, "BIG?", &sta, &err, &cnt);
                     const auto h = qzib::WireHeader{0xFFFFFFFFu, 0x80, 0, 1}.encode();
                     sendAll(peer.data, h.data(), h.size());
                     QZDLLilrd(ud, buffer, sizeof buffer, &sta, &err, &cnt);
                     QZDLLibwrt(ud, "*IDN?", &sta, &err, &cnt);
                 },
                 [] { return std::vector<std::uint8_t>(65536, 0x42); }, false,
                 [&](std::int16_t ud) { QZDLLilrd(ud, buffer, sizeof buffer, &sta, &err, &cnt); });
    // Into /dev/null: what a real file costs (truncating the last run's hundreds of MiB) is the
    // disk's time, not the library's.
    libraryFlood("10 QZDLLibrdf under an endless reply", write, [] { return blocks(1024, 0, 1, 8); }, false,
                 [&](std::int16_t ud) { QZDLLibrdf(ud, "/dev/null", &sta, &err, &cnt); });
    // Closing: one device per measurement, the flood on both connections.
    double worst = 0;
    for (int i = 0; i < 3; ++i) {
        Peer peer;
        const std::int16_t ud = peer.open();
        Flood data(peer.data, std::vector<std::uint8_t>(4096, 0x66));
        Flood control(peer.control, std::vector<std::uint8_t>(4096, 0x77));
        const auto t = Clock::now();
        QZDLLibonl(ud, 0, &sta, &err, &cnt);
        worst = std::max(worst, msSince(t));
    }
    std::printf("%-52s longest call %7.0f ms   limit 1000 ms   ratio %.2f\n", "7b QZDLLibonl(ud, 0) under data and control floods",
                worst, worst / 1000.0);
}

}  // namespace

int main(int argc, char** argv) {
    bool simulator = true, library = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::printf("Usage: hostile_bench [--simulator-only | --library-only]\n"
                        "Attacks analyzer-sim (child process on %s:2525) and the bus library (in-process\n"
                        "instrument on %s:2525) and prints what each attack did.\n",
                        kSimAddress, kPeerAddress);
            return 0;
        }
        if (arg == "--simulator-only") {
            library = false;
        } else if (arg == "--library-only") {
            simulator = false;
        } else {
            std::fprintf(stderr, "hostile_bench: unknown argument '%s' (try --help)\n", arg.c_str());
            return 2;
        }
    }
    ::signal(SIGPIPE, SIG_IGN);
    if (simulator) runSimulator(HOSTILE_BENCH_SIMULATOR);
    if (library) runLibrary();
    return 0;
}
