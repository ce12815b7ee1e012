#pragma once

// Test peers on loopback: raw socket helpers and a scriptable fake instrument that serves the
// instrument side of the bus protocol and records every byte it receives.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qzibtest {

using Bytes = std::vector<std::uint8_t>;
using Millis = std::chrono::milliseconds;

// Bound for waiting on an event that should come at once.
inline constexpr Millis kEventBound{5000};

inline constexpr std::uint16_t kPort = 2525;

// The header codec and flag bits below are written out again here on purpose, instead of using
// the library's wire/WireHeader.h: the fake checks the library's bytes, and a shared mistake
// would pass unnoticed.
inline constexpr std::uint8_t kFlagEnd = 0x80;
inline constexpr std::uint8_t kFlagCommand = 0x40;
inline constexpr std::uint8_t kFlagSrq = 0x20;
inline constexpr std::uint8_t kFlagRemote = 0x10;
inline constexpr std::uint8_t kFlagConsumed = 0x04;
inline constexpr std::uint8_t kFlagQuery = 0x01;

struct WireHeader {
    std::uint32_t length = 0;
    std::uint8_t flags = 0;
    std::uint8_t code = 0;
    std::uint8_t sequence = 0;
};

struct DataMessage {
    WireHeader header;
    Bytes payload;
};

Bytes encodeHeader(std::uint32_t length, std::uint8_t flags, std::uint8_t code, std::uint8_t sequence);
// A data block: header and payload.
Bytes dataBlock(const std::string& payload, std::uint8_t flags, std::uint8_t sequence);
Bytes dataBlock(const Bytes& payload, std::uint8_t flags, std::uint8_t sequence);
WireHeader decodeHeader(const std::uint8_t* bytes);

// --- raw sockets ------------------------------------------------------------------------

// A listening TCP socket on address:2525 with SO_REUSEADDR.
class RawListener {
public:
    explicit RawListener(const char* address);
    ~RawListener();
    RawListener(const RawListener&) = delete;
    RawListener& operator=(const RawListener&) = delete;
    // Accepts one connection within the bound; -1 if none came.
    int accept(Millis bound = kEventBound);

private:
    int m_fd = -1;
};

// Opens a blocking TCP connection to address:2525; -1 on failure.
int connectTo(const char* address);
// Two connected sockets over loopback (first: the connecting side, second: the accepted side).
std::pair<int, int> loopbackPair(const char* address);
bool sendAll(int fd, const void* data, std::size_t count);
bool sendAll(int fd, const Bytes& bytes);
// Receives exactly count bytes within the bound; returns what arrived.
Bytes receiveExact(int fd, std::size_t count, Millis bound = kEventBound);
// Whether the peer has closed its sending side within the bound (reads and drops until EOF).
bool waitForEof(int fd, Millis bound = kEventBound);
void closeFd(int& fd);

// --- the fake instrument -----------------------------------------------------------------

class FakeInstrument {
public:
    struct Options {
        bool sendVersionReply = true;
        std::array<std::uint8_t, 4> versionReply{0x00, 0x00, 0x00, 0x40};
        bool sendToken = true;
        std::array<std::uint8_t, 4> token{0xDE, 0xAD, 0xBE, 0xEF};
    };

    // Reply to a control request, as the pieces to send one after the other; empty: no reply.
    using ControlResponder = std::function<std::vector<Bytes>(const WireHeader& request)>;
    // Bytes to send in answer to a data message; empty: nothing.
    using DataResponder = std::function<Bytes(const DataMessage& message)>;

    // Binds address:2525 and listens before it returns, so a client may connect at once.
    explicit FakeInstrument(const char* address);
    FakeInstrument(const char* address, Options options);
    ~FakeInstrument();
    FakeInstrument(const FakeInstrument&) = delete;
    FakeInstrument& operator=(const FakeInstrument&) = delete;

    void setControlResponder(ControlResponder responder);
    void setDataResponder(DataResponder responder);
    // The default control reply: FLAG_END, FLAG_SRQ when srqPending, code = statusByte.
    void setSrqPending(bool pending);
    void setStatusByte(std::uint8_t statusByte);

    // Sends raw bytes on a session's data connection (from the test thread).
    void sendData(const Bytes& bytes, std::size_t session = 0);
    // Closes the instrument's sending side of both connections of a session.
    void closeSession(std::size_t session = 0);

    // Waits (bounded) for events; true when they happened.
    bool waitForSessions(std::size_t count, Millis bound = kEventBound);
    bool waitForDataMessages(std::size_t count, std::size_t session = 0, Millis bound = kEventBound);
    bool waitForControlMessages(std::size_t count, std::size_t session = 0, Millis bound = kEventBound);
    // Both connections of the session closed by the client.
    bool waitForClientClosed(std::size_t session = 0, Millis bound = kEventBound);

    std::size_t connectionsAccepted() const;
    std::vector<DataMessage> dataMessages(std::size_t session = 0) const;
    std::vector<WireHeader> controlMessages(std::size_t session = 0) const;
    Bytes versionReceived(std::size_t session = 0) const;
    Bytes tokenReceived(std::size_t session = 0) const;

private:
    enum class Stage { AwaitVersion, AwaitControl, AwaitToken, Ready };
    struct Session {
        int data = -1;
        int control = -1;
        Stage stage = Stage::AwaitVersion;
        Bytes dataIn;     // received and not yet parsed
        Bytes controlIn;  // received and not yet parsed
        Bytes version;
        Bytes token;
        bool dataClosed = false;
        bool controlClosed = false;
        std::vector<DataMessage> messages;
        std::vector<WireHeader> controls;
    };

    void run();
    void onAccepted(int fd);
    void onData(Session& s);
    void onControl(Session& s);
    bool waitUntil(const std::function<bool()>& done, Millis bound) const;

    Options m_options;
    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::vector<Session> m_sessions;
    std::size_t m_accepted = 0;
    bool m_srqPending = false;
    std::uint8_t m_statusByte = 0;
    ControlResponder m_controlResponder;
    DataResponder m_dataResponder;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

}  // namespace qzibtest
