#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Instrument.h"
#include "MemoryBudget.h"
#include "SessionHost.h"
#include "WakePipe.h"
#include "wire/WireHeader.h"
#include "analyzer_sim/DeviceState.h"
#include "channels/CSocketCommunicationChannel.h"

namespace marlin::sim {

// "address:port" of the peer of a connected socket, for the log; "?" when it cannot be told.
std::string peerOf(qzib::SocketHandle socket);

// One opened device: the data connection with its instrument, and the control connection that
// the pairing token ties to it, together one channel of the bus library. Each connection is
// served by a thread of its own; the instrument is shared between them under one lock. Waits
// that may last (for input, a sweep, a service request) also watch wake pipes, so that a stop,
// a device clear or the client's next message ends them at once.
class Session {
public:
    using Token = std::array<std::uint8_t, 4>;

    // Takes the accepted data connection, whose set-up exchange is done. Raises
    // std::system_error when out of descriptors; the socket is then still the caller's.
    Session(SessionHost& host, qzib::SocketHandle data, Token token, std::uint64_t id);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Sends the instrument's half of the set-up exchange on the data connection.
    bool sendGreeting(const void* bytes, std::uint32_t count);
    // Raises std::system_error when no thread can be started; close() the session then.
    void start();
    // Takes the control connection (also when the device cannot start serving it and closes);
    // false when the device already has one or is closing.
    bool attachControl(qzib::SocketHandle control);
    // Ends both connections; join() waits for the threads.
    void close();
    void join();
    bool finished() const { return dataDone_.load() && (!controlStarted_.load() || controlDone_.load()); }
    // The client ended the data connection (rather than the simulator closing the device).
    bool closedByClient() const { return clientClosed_.load(); }

    const Token& token() const { return token_; }
    std::uint64_t id() const { return id_; }
    DeviceState state();
    void setTraceActive(int trace, bool active);

private:
    void serveData();
    void serveControl();
    void handleDataMessage(std::uint8_t sequence);
    void sendReply(std::unique_lock<std::mutex>& lock, Instrument::Response& response, std::uint8_t sequence,
                   std::uint64_t generation);
    bool sendBlocks(const std::string& bytes, std::uint8_t sequence, bool remote);
    bool waitUntil(std::unique_lock<std::mutex>& lock, Instrument::Clock::time_point until);
    void markIdle();
    void closeLocked();
    void waitForDataIdle(std::unique_lock<std::mutex>& lock);
    bool waitServiceRequest(std::unique_lock<std::mutex>& lock);
    void signalServiceRequest();
    void log(const std::string& line);

    enum class Io { Ok, Closed, Interrupted };
    // Waits for input without limit (a stop or close ends the wait) and reads count bytes.
    Io readData(void* buffer, std::size_t count);
    Io discardData(std::size_t count);
    Io takePayload(std::size_t length);
    void dropMessage(int error);
    Io readControl(void* buffer, std::size_t count);
    bool writeData(const qzib::SendBuffer* buffers, std::uint32_t number);
    bool writeControl(const void* buffer, std::uint32_t count);

    SessionHost& host_;
    const ResourceLimits limits_;
    BudgetShare messageShare_;  // memory of message_
    // Made before the channel takes the socket, so that running out of descriptors here leaves
    // the socket to the caller.
    WakePipe closePipe_;
    WakePipe clearPipe_;
    WakePipe srqPipe_;
    std::unique_ptr<qzib::CSocketCommunicationChannel> channel_;
    std::mutex attachMutex_;  // guards hasControl_ and the start of closing
    bool hasControl_ = false;
    std::string peer_;
    Token token_;
    std::uint64_t id_;

    std::mutex mutex_;  // guards everything below and the instrument
    std::condition_variable idle_;
    std::unique_ptr<Instrument> instrument_;
    bool dataBusy_ = false;                             // a message is being received or run
    bool dataWaiting_ = false;                          // the message waits for a sweep or a reply delay
    bool dataSending_ = false;                          // its reply is being sent
    bool srqWaiter_ = false;
    std::uint64_t clearGeneration_ = 0;
    std::uint64_t messageGeneration_ = 0;
    std::uint64_t repliesSent_ = 0;
    std::uint64_t messagesRun_ = 0;
    std::string message_;  // blocks of the message being received
    std::vector<char> inBuffer_ = std::vector<char>(64 * 1024);
    std::size_t inStart_ = 0;
    std::size_t inEnd_ = 0;
    bool dataBuffered_ = false;  // input taken in but not yet run, beyond the current message
    std::atomic<bool> clearSignalled_{false};
    int messageError_ = 0;  // the message over a limit: the error that answers it
    std::thread dataThread_;
    std::thread controlThread_;
    std::atomic<bool> dataDone_{false};
    std::atomic<bool> controlStarted_{false};
    std::atomic<bool> controlDone_{false};
    std::atomic<bool> closing_{false};
    std::atomic<bool> clientClosed_{false};
    std::atomic<bool> writing_{false};  // a data send is under way
};

}  // namespace marlin::sim
