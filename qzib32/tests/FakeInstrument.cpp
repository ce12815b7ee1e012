#include "FakeInstrument.h"

#ifndef _WIN32
#include <fcntl.h>
#endif

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "TestPlatform.h"

namespace qzibtest {
namespace {

#ifdef _WIN32
// The tests use sockets of their own before the library starts Winsock, and after it stopped it.
struct WinsockForTests {
    WinsockForTests() {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockForTests() { ::WSACleanup(); }
} g_winsock;

constexpr int kSendFlags = 0;
using ReceiveResult = int;

int pollSockets(pollfd* fds, std::size_t number, int timeoutMs) {
    return ::WSAPoll(fds, static_cast<ULONG>(number), timeoutMs);
}
int acceptSocket(int listener) {
    return static_cast<int>(::accept(static_cast<SOCKET>(listener), nullptr, nullptr));
}
int newSocket(int type) {
    SOCKET s = ::socket(AF_INET, type, 0);
    return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}
int closeSocket(int fd) {
    return ::closesocket(static_cast<SOCKET>(fd));
}
bool interruptedOrEmpty() {
    int e = ::WSAGetLastError();
    return e == WSAEWOULDBLOCK || e == WSAEINTR;
}
std::string lastErrorText() {
    return "Winsock error " + std::to_string(::WSAGetLastError());
}
// Receives what is there now without waiting, also on a blocking socket.
ReceiveResult receiveNow(int fd, std::uint8_t* buffer, std::size_t count) {
    pollfd p{static_cast<SOCKET>(fd), POLLIN, 0};
    if (::WSAPoll(&p, 1, 0) <= 0) {
        ::WSASetLastError(WSAEWOULDBLOCK);
        return -1;
    }
    return ::recv(static_cast<SOCKET>(fd), reinterpret_cast<char*>(buffer), static_cast<int>(count), 0);
}
#else
constexpr int kSendFlags = MSG_NOSIGNAL;
using ReceiveResult = ssize_t;

int pollSockets(pollfd* fds, std::size_t number, int timeoutMs) {
    return ::poll(fds, number, timeoutMs);
}
int acceptSocket(int listener) {
    return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}
int newSocket(int type) {
    return ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
}
int closeSocket(int fd) {
    return ::close(fd);
}
bool interruptedOrEmpty() {
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}
std::string lastErrorText() {
    return std::strerror(errno);
}
ReceiveResult receiveNow(int fd, std::uint8_t* buffer, std::size_t count) {
    return ::recv(fd, buffer, count, MSG_DONTWAIT);
}
#endif

pollfd pollEntry(int fd) {
    pollfd p{};
    p.fd = static_cast<decltype(p.fd)>(fd);
    p.events = POLLIN;
    return p;
}

sockaddr_in endpoint(const char* address) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(kPort);
    if (::inet_pton(AF_INET, address, &sa.sin_addr) != 1) throw std::runtime_error("bad test address");
    return sa;
}

void setNoDelay(int fd) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

void setReuseAddress(int fd) {
#ifndef _WIN32
    // Winsock binds over TIME_WAIT without it, and with it would share a port in use.
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
#else
    (void)fd;
#endif
}

}  // namespace

Bytes encodeHeader(std::uint32_t length, std::uint8_t flags, std::uint8_t code, std::uint8_t sequence) {
    return {static_cast<std::uint8_t>(length >> 24),
            static_cast<std::uint8_t>(length >> 16),
            static_cast<std::uint8_t>(length >> 8),
            static_cast<std::uint8_t>(length),
            flags,
            code,
            sequence};
}

Bytes dataBlock(const Bytes& payload, std::uint8_t flags, std::uint8_t sequence) {
    Bytes block = encodeHeader(static_cast<std::uint32_t>(payload.size()), flags, 0, sequence);
    block.insert(block.end(), payload.begin(), payload.end());
    return block;
}

Bytes dataBlock(const std::string& payload, std::uint8_t flags, std::uint8_t sequence) {
    return dataBlock(Bytes(payload.begin(), payload.end()), flags, sequence);
}

WireHeader decodeHeader(const std::uint8_t* b) {
    WireHeader h;
    h.length = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
    h.flags = b[4];
    h.code = b[5];
    h.sequence = b[6];
    return h;
}

// --- raw sockets ------------------------------------------------------------------------

RawListener::RawListener(const char* address) {
    m_fd = newSocket(SOCK_STREAM);
    setReuseAddress(m_fd);
    sockaddr_in sa = endpoint(address);
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(m_fd, 16) != 0) {
        std::string why = lastErrorText();
        closeSocket(m_fd);
        throw std::runtime_error(std::string("cannot listen on ") + address + ": " + why);
    }
}

RawListener::~RawListener() {
    closeFd(m_fd);
}

int RawListener::accept(Millis bound) {
    pollfd p = pollEntry(m_fd);
    if (pollSockets(&p, 1, static_cast<int>(bound.count())) != 1) return -1;
    int fd = acceptSocket(m_fd);
    if (fd >= 0) setNoDelay(fd);
    return fd;
}

int connectTo(const char* address) {
    int fd = newSocket(SOCK_STREAM);
    sockaddr_in sa = endpoint(address);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        closeSocket(fd);
        return -1;
    }
    setNoDelay(fd);
    return fd;
}

std::pair<int, int> loopbackPair(const char* address) {
    RawListener listener(address);
    int a = connectTo(address);
    int b = listener.accept();
    if (a < 0 || b < 0) throw std::runtime_error("cannot make a loopback pair");
    return {a, b};
}

bool sendAll(int fd, const void* data, std::size_t count) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (count > 0) {
        auto n = ::send(fd, reinterpret_cast<const char*>(p), static_cast<int>(count), kSendFlags);
        if (n < 0 && interruptedOrEmpty()) continue;
        if (n <= 0) return false;
        p += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

bool sendAll(int fd, const Bytes& bytes) {
    return sendAll(fd, bytes.data(), bytes.size());
}

Bytes receiveExact(int fd, std::size_t count, Millis bound) {
    Bytes out;
    auto deadline = std::chrono::steady_clock::now() + bound;
    std::uint8_t buffer[4096];
    while (out.size() < count) {
        auto left = std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) break;
        pollfd p = pollEntry(fd);
        if (pollSockets(&p, 1, static_cast<int>(left)) <= 0) continue;
        ReceiveResult n = receiveNow(fd, buffer, std::min(sizeof buffer, count - out.size()));
        if (n == 0) break;
        if (n < 0) {
            if (interruptedOrEmpty()) continue;
            break;
        }
        out.insert(out.end(), buffer, buffer + n);
    }
    return out;
}

bool waitForEof(int fd, Millis bound) {
    auto deadline = std::chrono::steady_clock::now() + bound;
    std::uint8_t buffer[4096];
    for (;;) {
        auto left = std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        pollfd p = pollEntry(fd);
        if (pollSockets(&p, 1, static_cast<int>(left)) <= 0) continue;
        ReceiveResult n = receiveNow(fd, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0 && !interruptedOrEmpty()) return true;  // reset counts as closed
    }
}

void closeFd(int& fd) {
    if (fd >= 0) closeSocket(fd);
    fd = -1;
}

// --- the fake instrument -----------------------------------------------------------------

FakeInstrument::FakeInstrument(const char* address) : FakeInstrument(address, Options{}) {}

FakeInstrument::FakeInstrument(const char* address, Options options) : m_options(options) {
    m_listen = newSocket(SOCK_STREAM);
    setReuseAddress(m_listen);
    // Not blocking: a connection that goes away between the poll and the accept must not stop the instrument.
#ifdef _WIN32
    u_long on = 1;
    ::ioctlsocket(static_cast<SOCKET>(m_listen), FIONBIO, &on);
#else
    ::fcntl(m_listen, F_SETFL, ::fcntl(m_listen, F_GETFL, 0) | O_NONBLOCK);
#endif
    sockaddr_in sa = endpoint(address);
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(m_listen, 16) != 0) {
        std::string why = lastErrorText();
        closeFd(m_listen);
        throw std::runtime_error(std::string("fake instrument cannot listen on ") + address + ": " + why);
    }
#ifdef _WIN32
    // Winsock waits on sockets only: the wake-up is a datagram the instrument sends itself.
    m_wake[0] = newSocket(SOCK_DGRAM);
    sockaddr_in wake = endpoint(address);
    wake.sin_port = 0;
    int length = sizeof wake;
    if (::bind(m_wake[0], reinterpret_cast<sockaddr*>(&wake), sizeof wake) != 0 ||
        ::getsockname(m_wake[0], reinterpret_cast<sockaddr*>(&wake), &length) != 0 ||
        ::connect(m_wake[0], reinterpret_cast<sockaddr*>(&wake), sizeof wake) != 0)
        throw std::runtime_error("fake instrument cannot make its wake-up socket: " + lastErrorText());
    m_wake[1] = m_wake[0];
#else
    if (::pipe2(m_wake, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
#endif
    m_thread = std::thread([this] { run(); });
}

FakeInstrument::~FakeInstrument() {
    char stop = 'x';
    m_stopping = true;
#ifdef _WIN32
    ::send(m_wake[1], &stop, 1, 0);
#else
    (void)!::write(m_wake[1], &stop, 1);
#endif
    m_thread.join();
    for (Session& s : m_sessions) {
        closeFd(s.data);
        closeFd(s.control);
    }
    closeFd(m_listen);
    if (m_wake[1] == m_wake[0]) m_wake[1] = -1;
    closeFd(m_wake[0]);
    closeFd(m_wake[1]);
}

void FakeInstrument::setControlResponder(ControlResponder responder) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_controlResponder = std::move(responder);
}

void FakeInstrument::setDataResponder(DataResponder responder) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_dataResponder = std::move(responder);
}

void FakeInstrument::setSrqPending(bool pending) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_srqPending = pending;
}

void FakeInstrument::setStatusByte(std::uint8_t statusByte) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_statusByte = statusByte;
}

void FakeInstrument::sendData(const Bytes& bytes, std::size_t session) {
    int fd;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        fd = m_sessions.at(session).data;
    }
    if (!sendAll(fd, bytes)) throw std::runtime_error("fake instrument could not send");
}

void FakeInstrument::closeSession(std::size_t session) {
    std::lock_guard<std::mutex> lock(m_lock);
    Session& s = m_sessions.at(session);
    if (s.data >= 0) shutdownWrite(s.data);
    if (s.control >= 0) shutdownWrite(s.control);
}

bool FakeInstrument::waitUntil(const std::function<bool()>& done, Millis bound) const {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, bound, done);
}

bool FakeInstrument::waitForSessions(std::size_t count, Millis bound) {
    return waitUntil(
        [&] {
            std::size_t ready = 0;
            for (const Session& s : m_sessions) ready += s.stage == Stage::Ready ? 1 : 0;
            return ready >= count;
        },
        bound);
}

bool FakeInstrument::waitForDataMessages(std::size_t count, std::size_t session, Millis bound) {
    return waitUntil(
        [&] { return m_sessions.size() > session && m_sessions[session].messages.size() >= count; }, bound);
}

bool FakeInstrument::waitForControlMessages(std::size_t count, std::size_t session, Millis bound) {
    return waitUntil(
        [&] { return m_sessions.size() > session && m_sessions[session].controls.size() >= count; }, bound);
}

bool FakeInstrument::waitForClientClosed(std::size_t session, Millis bound) {
    return waitUntil(
        [&] {
            if (m_sessions.size() <= session) return false;
            const Session& s = m_sessions[session];
            return s.dataClosed && (s.control < 0 || s.controlClosed);
        },
        bound);
}

std::size_t FakeInstrument::connectionsAccepted() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_accepted;
}

std::vector<DataMessage> FakeInstrument::dataMessages(std::size_t session) const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_sessions.at(session).messages;
}

std::vector<WireHeader> FakeInstrument::controlMessages(std::size_t session) const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_sessions.at(session).controls;
}

Bytes FakeInstrument::versionReceived(std::size_t session) const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_sessions.at(session).version;
}

Bytes FakeInstrument::tokenReceived(std::size_t session) const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_sessions.at(session).token;
}

void FakeInstrument::run() {
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<std::pair<std::size_t, bool>> owners;  // session, is control
        fds.push_back(pollEntry(m_wake[0]));
        fds.push_back(pollEntry(m_listen));
        {
            std::lock_guard<std::mutex> lock(m_lock);
            for (std::size_t i = 0; i < m_sessions.size(); ++i) {
                const Session& s = m_sessions[i];
                if (s.data >= 0 && !s.dataClosed) {
                    fds.push_back(pollEntry(s.data));
                    owners.emplace_back(i, false);
                }
                if (s.control >= 0 && !s.controlClosed) {
                    fds.push_back(pollEntry(s.control));
                    owners.emplace_back(i, true);
                }
            }
        }
#ifdef _WIN32
        // Wine's WSAPoll may miss the wake-up datagram once a session was shut down; the stop
        // flag is looked at between bounded polls as well.
        constexpr int kPollSlice = 100;
#else
        constexpr int kPollSlice = -1;
#endif
        if (m_stopping) return;
        if (pollSockets(fds.data(), fds.size(), kPollSlice) < 0) continue;
        if (fds[0].revents != 0 || m_stopping) return;
        if (fds[1].revents != 0) {
            int fd = acceptSocket(m_listen);
            if (fd >= 0) onAccepted(fd);
        }
        for (std::size_t k = 2; k < fds.size(); ++k) {
            if (fds[k].revents == 0) continue;
            std::lock_guard<std::mutex> lock(m_lock);
            Session& s = m_sessions[owners[k - 2].first];
            if (owners[k - 2].second)
                onControl(s);
            else
                onData(s);
            m_changed.notify_all();
        }
    }
}

void FakeInstrument::onAccepted(int fd) {
    setNoDelay(fd);
    std::lock_guard<std::mutex> lock(m_lock);
    ++m_accepted;
    Session* waiting = nullptr;
    for (Session& s : m_sessions)
        if (s.stage == Stage::AwaitControl) waiting = &s;
    if (waiting != nullptr) {
        waiting->control = fd;
        waiting->stage = Stage::AwaitToken;
    } else {
        Session s;
        s.data = fd;
        m_sessions.push_back(std::move(s));
    }
    m_changed.notify_all();
}

// Reads what is there; false when the peer closed (the fake then closes its side too).
static bool drainInto(int fd, Bytes& into) {
    std::uint8_t buffer[65536];
    for (;;) {
        ReceiveResult n = receiveNow(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.insert(into.end(), buffer, buffer + n);
            continue;
        }
        if (n < 0 && interruptedOrEmpty()) return true;
        shutdownWrite(fd);
        return false;
    }
}

void FakeInstrument::onData(Session& s) {
    if (!drainInto(s.data, s.dataIn)) s.dataClosed = true;
    if (s.stage == Stage::AwaitVersion && s.dataIn.size() >= 4) {
        s.version.assign(s.dataIn.begin(), s.dataIn.begin() + 4);
        s.dataIn.erase(s.dataIn.begin(), s.dataIn.begin() + 4);
        if (m_options.sendVersionReply) {
            sendAll(s.data, m_options.versionReply.data(), 4);
            if (m_options.sendToken) sendAll(s.data, m_options.token.data(), 4);
        }
        s.stage = Stage::AwaitControl;
    }
    while (s.stage != Stage::AwaitVersion && s.dataIn.size() >= 7) {
        WireHeader h = decodeHeader(s.dataIn.data());
        if (s.dataIn.size() < 7 + std::size_t{h.length}) break;
        DataMessage m{h, Bytes(s.dataIn.begin() + 7, s.dataIn.begin() + 7 + h.length)};
        s.dataIn.erase(s.dataIn.begin(), s.dataIn.begin() + 7 + h.length);
        s.messages.push_back(m);
        if (m_dataResponder) {
            Bytes reply = m_dataResponder(m);
            if (!reply.empty()) sendAll(s.data, reply);
        }
    }
}

void FakeInstrument::onControl(Session& s) {
    if (!drainInto(s.control, s.controlIn)) s.controlClosed = true;
    if (s.stage == Stage::AwaitToken && s.controlIn.size() >= 4) {
        s.token.assign(s.controlIn.begin(), s.controlIn.begin() + 4);
        s.controlIn.erase(s.controlIn.begin(), s.controlIn.begin() + 4);
        s.stage = Stage::Ready;
    }
    while (s.stage == Stage::Ready && s.controlIn.size() >= 7) {
        WireHeader request = decodeHeader(s.controlIn.data());
        s.controlIn.erase(s.controlIn.begin(), s.controlIn.begin() + 7);
        s.controls.push_back(request);
        std::vector<Bytes> pieces;
        if (m_controlResponder) {
            pieces = m_controlResponder(request);
        } else {
            pieces.push_back(encodeHeader(0, kFlagEnd | (m_srqPending ? kFlagSrq : 0), m_statusByte, 0));
        }
        for (const Bytes& piece : pieces) sendAll(s.control, piece);
    }
}

}  // namespace qzibtest
