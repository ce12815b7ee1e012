// Measures the bus library against a raw TCP client that moves the same bytes with plain
// blocking sockets, both talking to one in-process instrument on 127.0.0.9 that answers at
// once. Prints the ratios; goals: round trips >= 0.9 of raw, bulk throughput >= 0.95 of
// raw, and no growth of the library's memory over 100,000 queries.

#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "qzib32.h"
#include "wire/WireHeader.h"

namespace {

constexpr const char* kAddress = "127.0.0.9";
constexpr std::uint16_t kPort = 2525;
constexpr std::size_t kReplySize = 40;
constexpr std::size_t kBulkSize = 64u << 20;
constexpr std::size_t kBlockSize = 1u << 20;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

[[noreturn]] void die(const char* what) {
    std::perror(what);
    std::exit(1);
}

sockaddr_in endpoint() {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(kPort);
    ::inet_pton(AF_INET, kAddress, &sa.sin_addr);
    return sa;
}

void noDelay(int fd) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool readExact(int fd, void* buffer, std::size_t count) {
    auto* p = static_cast<char*>(buffer);
    while (count > 0) {
        ssize_t n = ::recv(fd, p, count, 0);
        if (n <= 0) return false;
        p += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

bool writeAll(int fd, iovec* v, int n) {
    while (n > 0) {
        ssize_t sent = ::writev(fd, v, n);
        if (sent <= 0) return false;
        auto left = static_cast<std::size_t>(sent);
        while (n > 0 && left >= v->iov_len) {
            left -= v->iov_len;
            ++v;
            --n;
        }
        if (n > 0) {
            v->iov_base = static_cast<char*>(v->iov_base) + left;
            v->iov_len -= left;
        }
    }
    return true;
}

void header(std::uint8_t* h, std::uint32_t length, std::uint8_t flags, std::uint8_t sequence) {
    qzib::WireHeader{length, flags, 0, sequence}.encodeTo(h);
}

// The instrument: set-up exchange, a reply to every control request, and for data messages
// a 40-byte answer to "*IDN?" and a 64 MiB block to "BULK?".
class Instrument {
public:
    Instrument() : m_bulk(kBulkSize, 'B') {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in sa = endpoint();
        if (::bind(m_listen, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) die("bind 127.0.0.9:2525");
        if (::listen(m_listen, 8) != 0) die("listen");
        m_acceptor = std::thread([this] { acceptLoop(); });
    }
    ~Instrument() {
        ::shutdown(m_listen, SHUT_RDWR);
        m_acceptor.join();
        for (std::thread& t : m_sessions) t.join();
        ::close(m_listen);
    }

private:
    void acceptLoop() {
        for (;;) {
            int data = ::accept(m_listen, nullptr, nullptr);
            if (data < 0) return;
            noDelay(data);
            float version = 0;
            if (!readExact(data, &version, 4)) return;
            std::uint8_t reply[8] = {0, 0, 0, 0, 1, 2, 3, 4};
            std::memcpy(reply, qzib::kProtocolVersionBytes.data(), 4);
            if (::send(data, reply, sizeof reply, 0) != sizeof reply) return;
            int control = ::accept(m_listen, nullptr, nullptr);
            if (control < 0) return;
            noDelay(control);
            std::uint8_t token[4];
            if (!readExact(control, token, 4)) return;
            m_sessions.emplace_back([this, data] { serveData(data); });
            m_sessions.emplace_back([control] { serveControl(control); });
        }
    }

    static void serveControl(int fd) {
        std::uint8_t request[7];
        while (readExact(fd, request, 7)) {
            std::uint8_t reply[7];
            header(reply, 0, qzib::FLAG_END, 0);
            if (::send(fd, reply, 7, 0) != 7) break;
        }
        ::close(fd);
    }

    void serveData(int fd) {
        std::uint8_t h[7];
        std::vector<char> payload;
        char idn[kReplySize];
        std::memset(idn, ' ', sizeof idn);
        std::memcpy(idn, "QUAZAR,BENCH,000000/000,1.0", 27);
        while (readExact(fd, h, 7)) {
            const std::uint32_t length = qzib::WireHeader::decode(h).length;
            payload.resize(length);
            if (!readExact(fd, payload.data(), length)) break;
            std::string text(payload.begin(), payload.end());
            std::uint8_t out[7];
            iovec v[2];
            v[0] = {out, 7};
            if (text == "*IDN?") {
                header(out, kReplySize, qzib::FLAG_END, h[6]);
                v[1] = {idn, kReplySize};
            } else if (text == "BULK?") {
                header(out, kBulkSize, qzib::FLAG_END, h[6]);
                v[1] = {m_bulk.data(), kBulkSize};
            } else {
                continue;
            }
            if (!writeAll(fd, v, 2)) break;
        }
        ::close(fd);
    }

    int m_listen = -1;
    std::vector<char> m_bulk;
    std::thread m_acceptor;
    std::vector<std::thread> m_sessions;
};

// The baseline: the same exchange written with plain blocking sockets and nothing else.
class RawClient {
public:
    RawClient() {
        sockaddr_in sa = endpoint();
        m_data = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(m_data, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) die("connect");
        noDelay(m_data);
        ::send(m_data, qzib::kProtocolVersionBytes.data(), 4, 0);
        std::uint8_t reply[8];
        if (!readExact(m_data, reply, 8)) die("set-up");
        m_control = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(m_control, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) die("connect");
        noDelay(m_control);
        ::send(m_control, reply + 4, 4, 0);
    }
    ~RawClient() {
        ::close(m_data);
        ::close(m_control);
    }
    std::size_t query(const char* text, char* into) {
        std::uint8_t out[64];
        std::size_t length = std::strlen(text);
        header(out, static_cast<std::uint32_t>(length), qzib::FLAG_END | qzib::FLAG_REMOTE, ++m_sequence);
        std::memcpy(out + 7, text, length);
        if (::send(m_data, out, 7 + length, 0) != static_cast<ssize_t>(7 + length)) die("send");
        std::uint8_t h[7];
        if (!readExact(m_data, h, 7)) die("recv");
        const std::uint32_t n = qzib::WireHeader::decode(h).length;
        // Read in blocks of at most 1 MiB, as the library's caller does.
        for (std::uint32_t done = 0; done < n;) {
            std::uint32_t chunk = std::min<std::uint32_t>(n - done, kBlockSize);
            if (!readExact(m_data, into + (n <= kBlockSize ? done : 0), chunk)) die("recv");
            done += chunk;
        }
        return n;
    }

private:
    int m_data = -1;
    int m_control = -1;
    std::uint8_t m_sequence = 0;
};

struct Library {
    Library() {
        ud = QZDLLibfind(kAddress, &sta, &err, &cntl);
        if (ud < 0) {
            std::fprintf(stderr, "cannot open the instrument (iberr %d)\n", err);
            std::exit(1);
        }
    }
    ~Library() { QZDLLibonl(ud, 0, &sta, &err, &cntl); }
    void query(char* into) {
        QZDLLibwrt(ud, "*IDN?", &sta, &err, &cntl);
        QZDLLibrd(ud, into, &sta, &err, &cntl);
        if (sta != QZ_CMPL || cntl != static_cast<std::int32_t>(kReplySize)) {
            std::fprintf(stderr, "query failed: ibsta %#x iberr %d ibcntl %d\n", sta & 0xFFFF, err, cntl);
            std::exit(1);
        }
    }
    void bulk(char* block) {
        QZDLLibwrt(ud, "BULK?", &sta, &err, &cntl);
        for (std::size_t done = 0; done < kBulkSize; done += kBlockSize) {
            QZDLLilrd(ud, block, kBlockSize, &sta, &err, &cntl);
            if (sta != QZ_CMPL || cntl != static_cast<std::int32_t>(kBlockSize)) {
                std::fprintf(stderr, "bulk read failed: ibsta %#x iberr %d\n", sta & 0xFFFF, err);
                std::exit(1);
            }
        }
    }
    std::int16_t ud = -1;
    std::int16_t sta = 0, err = 0;
    std::int32_t cntl = 0;
};

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::size_t heapInUse() {
    return mallinfo2().uordblks;
}

std::size_t residentKiB() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<std::size_t>(resident) * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) / 1024;
}

}  // namespace

int main(int argc, char** argv) {
    int queries = 500;
    int rounds = 81;
    int bulkRounds = 21;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::printf(
                "Usage: qzib32_bench [--queries N] [--rounds N] [--bulk-rounds N]\n"
                "  --queries N      queries per segment (500)\n"
                "  --rounds N       alternating query segments (81)\n"
                "  --bulk-rounds N  alternating 64 MiB reads (21)\n"
                "Compares the bus library with a raw TCP client on 127.0.0.9:2525 (query round trips,\n"
                "a 64 MiB read in 1 MiB blocks, memory over 100,000 queries) and prints the ratios.\n");
            return 0;
        }
        if (arg == "--queries" && i + 1 < argc) {
            queries = std::atoi(argv[++i]);
        } else if (arg == "--rounds" && i + 1 < argc) {
            rounds = std::atoi(argv[++i]);
        } else if (arg == "--bulk-rounds" && i + 1 < argc) {
            bulkRounds = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "qzib32_bench: unknown argument '%s' (try --help)\n", arg.c_str());
            return 2;
        }
    }

    if (queries < 1 || rounds < 1 || bulkRounds < 1) {
        std::fprintf(stderr, "qzib32_bench: counts must be at least 1 (try --help)\n");
        return 2;
    }

    Instrument instrument;
    RawClient raw;
    Library library;
    std::vector<char> buffer(kBlockSize);
    for (int i = 0; i < 1000; ++i) {  // warm up both paths
        library.query(buffer.data());
        raw.query("*IDN?", buffer.data());
    }

    // The machine is shared: library and baseline run in short alternating segments, each
    // pair sees about the same load, and the median of the pair ratios is reported.
    std::vector<double> libRates, rawRates, ratios;
    for (int r = 0; r < rounds; ++r) {
        bool libraryFirst = r % 2 == 0;
        double lib = 0, base = 0;
        for (int side = 0; side < 2; ++side) {
            auto start = Clock::now();
            if ((side == 0) == libraryFirst) {
                for (int i = 0; i < queries; ++i) library.query(buffer.data());
                lib = queries / secondsSince(start);
            } else {
                for (int i = 0; i < queries; ++i) raw.query("*IDN?", buffer.data());
                base = queries / secondsSince(start);
            }
        }
        libRates.push_back(lib);
        rawRates.push_back(base);
        ratios.push_back(lib / base);
    }
    std::printf("query round trip   library %9.0f/s   raw %9.0f/s   ratio %.3f (goal >= 0.90)\n",
                median(libRates), median(rawRates), median(ratios));

    libRates.clear();
    rawRates.clear();
    ratios.clear();
    for (int r = 0; r < bulkRounds; ++r) {
        bool libraryFirst = r % 2 == 0;
        double lib = 0, base = 0;
        for (int side = 0; side < 2; ++side) {
            auto start = Clock::now();
            if ((side == 0) == libraryFirst) {
                library.bulk(buffer.data());
                lib = kBulkSize / secondsSince(start) / (1 << 20);
            } else {
                if (raw.query("BULK?", buffer.data()) != kBulkSize) return 1;
                base = kBulkSize / secondsSince(start) / (1 << 20);
            }
        }
        libRates.push_back(lib);
        rawRates.push_back(base);
        ratios.push_back(lib / base);
    }
    std::printf("64 MiB bulk read   library %9.0f MiB/s raw %9.0f MiB/s ratio %.3f (goal >= 0.95)\n",
                median(libRates), median(rawRates), median(ratios));

    // Growth is measured from a state the query path has already reached once (the first
    // calls after the bulk reads settle a few one-time allocations of the process).
    for (int i = 0; i < 1000; ++i) library.query(buffer.data());
    std::size_t rssBefore = residentKiB();  // reading /proc allocates; keep it outside the heap figures
    std::size_t heapBefore = heapInUse();
    for (int i = 0; i < 100000; ++i) library.query(buffer.data());
    long heapGrowth = static_cast<long>(heapInUse()) - static_cast<long>(heapBefore);
    long rssGrowth = static_cast<long>(residentKiB()) - static_cast<long>(rssBefore);
    std::printf("100,000 queries    heap growth %ld bytes, resident growth %ld KiB (goal: none)\n",
                heapGrowth, rssGrowth);
    unsigned cores = std::thread::hardware_concurrency();
    std::printf("machine: %u cores\n", cores);
    return 0;
}
