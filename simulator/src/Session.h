#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "Instrument.h"
#include "SessionHost.h"
#include "SocketLink.h"
#include "WakePipe.h"
#include "WireHeader.h"
#include "analyzer_sim/DeviceState.h"

namespace marlin::sim {

// One opened device: the data connection with its instrument, and the control connection that
// the pairing token ties to it. Each connection is served by a thread of its own; the instrument
// is shared between them under one lock.
class Session {
public:
    using Token = std::array<std::uint8_t, 4>;

    Session(SessionHost& host, std::unique_ptr<SocketLink> data, Token token, std::uint64_t id);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void start();
    // Takes the control connection; false when the device already has one.
    bool attachControl(std::unique_ptr<SocketLink> control);
    // Ends both connections; join() waits for the threads.
    void close();
    void join();
    bool finished() const { return dataDone_.load() && (!controlStarted_.load() || controlDone_.load()); }

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
    bool waitUntil(Instrument::Clock::time_point until);
    void waitForDataIdle(std::unique_lock<std::mutex>& lock);
    bool waitServiceRequest(std::unique_lock<std::mutex>& lock);
    void signalServiceRequest();
    void log(const std::string& line);

    SessionHost& host_;
    std::unique_ptr<SocketLink> data_;
    std::unique_ptr<SocketLink> control_;
    Token token_;
    std::uint64_t id_;

    std::mutex mutex_;  // guards everything below and the instrument
    std::condition_variable idle_;
    std::unique_ptr<Instrument> instrument_;
    std::unique_lock<std::mutex>* dataLock_ = nullptr;  // held by the data thread while it runs a message
    bool dataBusy_ = false;                             // a message is being received or run
    bool dataWaiting_ = false;                          // the message waits for a sweep or a reply delay
    bool srqWaiter_ = false;
    std::uint64_t clearGeneration_ = 0;
    std::uint64_t messageGeneration_ = 0;
    std::uint64_t repliesSent_ = 0;
    std::uint64_t messagesRun_ = 0;
    std::string message_;  // blocks of the message being received
    bool messageTooLong_ = false;

    WakePipe closePipe_;
    WakePipe clearPipe_;
    WakePipe srqPipe_;
    std::thread dataThread_;
    std::thread controlThread_;
    std::atomic<bool> dataDone_{false};
    std::atomic<bool> controlStarted_{false};
    std::atomic<bool> controlDone_{false};
    std::atomic<bool> closing_{false};
};

}  // namespace marlin::sim
