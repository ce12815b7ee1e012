#include "Session.h"

#include <poll.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "ScpiErrors.h"

namespace marlin::sim {
namespace {

constexpr std::size_t kMaxMessageBytes = 16u << 20;
constexpr auto kWriteLimit = std::chrono::seconds(60);
constexpr auto kControlLimit = std::chrono::seconds(5);
// How long a status query on the control connection waits for commands already sent on the
// data connection to be run, so that a serial poll right after a write sees its effect.
constexpr auto kDataIdleLimit = std::chrono::milliseconds(200);

// Waits until one of fds is readable (its index) or the deadline passes (-1).
int pollWake(std::initializer_list<int> fds, Instrument::Clock::time_point deadline) {
    pollfd p[4];
    nfds_t n = 0;
    for (int fd : fds) p[n++] = {fd, POLLIN, 0};
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Instrument::Clock::now()).count();
        if (left <= 0) return -1;
        const int r = ::poll(p, n, static_cast<int>(std::min<long long>(left, 1 << 30)));
        if (r < 0 && errno != EINTR) return 0;
        if (r <= 0) continue;
        for (nfds_t i = 0; i < n; ++i) {
            if (p[i].revents) return static_cast<int>(i);
        }
    }
}

bool isReadable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

// Message text for a log line: printable, and short.
std::string printable(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    std::string out;
    for (char c : text.substr(0, 120)) {
        out += (c >= 0x20 && c < 0x7F) ? c : '.';
    }
    if (text.size() > 120) out += "...";
    return out;
}

const char* controlName(const WireHeader& h) {
    if (h.has(WireHeader::kFlagCommand)) {
        switch (h.code) {
            case ifc::kGoToLocal:
                return "go to local";
            case ifc::kSelectedDeviceClear:
                return "device clear";
            case ifc::kDeviceClear:
                return "universal device clear";
            case ifc::kSerialPollEnable:
                return "serial poll";
            case ifc::kGroupExecuteTrigger:
                return "trigger";
            default:
                return h.code >= 0x20 && h.code < 0x3F ? "listen" : "interface command";
        }
    }
    if (h.has(WireHeader::kFlagSrq) && h.has(WireHeader::kFlagQuery)) return "wait for service request";
    if (h.has(WireHeader::kFlagQuery)) return "test service request";
    return h.has(WireHeader::kFlagRemote) ? "remote enable" : "remote disable";
}

}  // namespace

Session::Session(SessionHost& host, std::unique_ptr<SocketLink> data, Token token, std::uint64_t id)
    : host_(host), data_(std::move(data)), token_(token), id_(id) {
    Instrument::Hooks hooks;
    hooks.now = [] { return Instrument::Clock::now(); };
    hooks.waitUntil = [this](Instrument::Clock::time_point t) { return waitUntil(t); };
    instrument_ = std::make_unique<Instrument>(host_.options()->instrument, std::move(hooks));
}

Session::~Session() {
    close();
    join();
}

void Session::start() {
    dataThread_ = std::thread([this] { serveData(); });
}

bool Session::attachControl(std::unique_ptr<SocketLink> control) {
    std::lock_guard lock(mutex_);
    if (control_ || closing_) return false;
    control_ = std::move(control);
    controlStarted_ = true;
    controlThread_ = std::thread([this] { serveControl(); });
    return true;
}

void Session::close() {
    std::lock_guard lock(mutex_);
    if (closing_.exchange(true)) return;
    closePipe_.signal();
    data_->shutdown();
    if (control_) control_->shutdown();
}

void Session::join() {
    if (dataThread_.joinable() && dataThread_.get_id() != std::this_thread::get_id()) dataThread_.join();
    if (controlThread_.joinable() && controlThread_.get_id() != std::this_thread::get_id())
        controlThread_.join();
}

void Session::log(const std::string& line) {
    host_.log("[" + data_->peer() + "] " + line);
}

DeviceState Session::state() {
    std::lock_guard lock(mutex_);
    DeviceState s;
    s.id = id_;
    s.peer = data_->peer();
    s.controlConnected = control_ != nullptr && !controlDone_;
    s.remote = instrument_->remote();
    s.continuous = instrument_->continuous();
    s.outputPending = instrument_->outputPending();
    s.sweeps = instrument_->sweepCount();
    s.messages = messagesRun_;
    s.replies = repliesSent_;
    s.errorsQueued = instrument_->errors().size();
    return s;
}

void Session::setTraceActive(int trace, bool active) {
    std::lock_guard lock(mutex_);
    instrument_->setTraceActive(trace, active);
}

// ---- Data connection ---------------------------------------------------------------------------

void Session::serveData() {
    std::uint8_t bytes[WireHeader::kSize];
    for (;;) {
        if (data_->readExact(bytes, sizeof bytes, std::nullopt, {host_.stopFd(), closePipe_.fd()}) !=
            SocketLink::Result::Ok)
            break;
        const WireHeader h = WireHeader::decode(bytes);
        {
            std::lock_guard lock(mutex_);
            dataBusy_ = true;
            // Whatever output the client had not read is gone once it sends a new message.
            instrument_->setOutputPending(false);
            instrument_->setRemote(h.has(WireHeader::kFlagRemote));
            if (message_.empty() && !messageTooLong_) {
                messageGeneration_ = clearGeneration_;
            } else if (messageGeneration_ != clearGeneration_) {
                // A device clear came between the blocks of this message: its start is dropped.
                message_.clear();
                messageTooLong_ = false;
                messageGeneration_ = clearGeneration_;
            }
        }
        SocketLink::Result r;
        if (messageTooLong_ || message_.size() + h.length > kMaxMessageBytes) {
            messageTooLong_ = true;
            message_.clear();
            r = data_->discard(h.length, std::nullopt, {host_.stopFd(), closePipe_.fd()});
        } else {
            const std::size_t old = message_.size();
            message_.resize(old + h.length);
            r = data_->readExact(message_.data() + old, h.length, std::nullopt,
                                 {host_.stopFd(), closePipe_.fd()});
        }
        if (r != SocketLink::Result::Ok) break;
        if (h.has(WireHeader::kFlagEnd)) {
            handleDataMessage(h.sequence);
        } else {
            std::lock_guard lock(mutex_);
            dataBusy_ = false;
            idle_.notify_all();
        }
        if (closing_) break;
    }
    {
        std::lock_guard lock(mutex_);
        dataBusy_ = false;
        idle_.notify_all();
    }
    if (!closing_) log("client closed the device");
    close();
    dataDone_ = true;
}

void Session::handleDataMessage(std::uint8_t sequence) {
    std::string message = std::move(message_);
    message_.clear();
    const bool tooLong = messageTooLong_;
    messageTooLong_ = false;

    std::unique_lock lock(mutex_);
    clearPipe_.drain();
    const std::uint64_t generation = messageGeneration_;
    if (generation != clearGeneration_) {
        dataBusy_ = false;
        idle_.notify_all();
        return;
    }
    Instrument::Response response;
    if (tooLong) {
        instrument_->pushError(scpi::kTooMuchData);
    } else {
        dataLock_ = &lock;
        response = instrument_->execute(message);
        dataLock_ = nullptr;
    }
    ++messagesRun_;
    signalServiceRequest();
    const std::shared_ptr<const SimulatorOptions> options = host_.options();
    if (options->verbose) {
        std::string line = "#" + std::to_string(sequence) + " " + printable(message);
        if (response.aborted) {
            line += " -> broken off";
        } else if (response.query) {
            line += " -> " + std::to_string(response.bytes.size()) + " bytes";
        }
        lock.unlock();
        log(line);
        lock.lock();
    }
    sendReply(lock, response, sequence, generation);
    if (!lock.owns_lock()) lock.lock();
    dataBusy_ = false;
    idle_.notify_all();
}

// Called with the lock held; sends without it.
void Session::sendReply(std::unique_lock<std::mutex>& lock, Instrument::Response& response,
                        std::uint8_t sequence, std::uint64_t generation) {
    if (response.aborted || !response.query || generation != clearGeneration_) {
        lock.unlock();
        return;
    }
    const std::shared_ptr<const SimulatorOptions> options = host_.options();
    const FaultOptions& faults = options->faults;
    const std::uint64_t n = repliesSent_;
    if (faults.closeAfterReplies && n >= *faults.closeAfterReplies) {
        lock.unlock();
        log("closing the device after " + std::to_string(n) + " replies (injected fault)");
        close();
        return;
    }
    if (faults.stallAfterReplies && n >= *faults.stallAfterReplies) {
        lock.unlock();
        if (options->verbose) log("reply withheld (injected fault)");
        return;
    }
    if (faults.replyDelay.count() > 0) {
        dataLock_ = &lock;
        const bool waited = waitUntil(Instrument::Clock::now() + faults.replyDelay);
        dataLock_ = nullptr;
        if (!waited || generation != clearGeneration_) {
            lock.unlock();
            return;
        }
    }
    std::string& bytes = response.bytes;
    if (faults.shortBlockAfterReplies && n >= *faults.shortBlockAfterReplies) {
        for (auto it = response.blocks.rbegin(); it != response.blocks.rend(); ++it) {
            const std::size_t keep = it->second / 2;
            bytes.erase(it->first + keep, it->second - keep);
        }
    }
    const bool shortMessage = faults.shortMessageAfterReplies && n >= *faults.shortMessageAfterReplies;
    ++repliesSent_;
    instrument_->setOutputPending(true);
    signalServiceRequest();
    const bool remote = instrument_->remote();
    lock.unlock();

    if (shortMessage) {
        WireHeader h;
        h.length = static_cast<std::uint32_t>(bytes.empty() ? 8 : bytes.size());
        h.flags = WireHeader::kFlagEnd | (remote ? WireHeader::kFlagRemote : 0);
        h.sequence = sequence;
        const auto head = h.encode();
        const iovec parts[2] = {{const_cast<std::uint8_t*>(head.data()), head.size()},
                                {bytes.data(), bytes.size() / 2}};
        data_->writeAll(parts, 2, Instrument::Clock::now() + kWriteLimit, {host_.stopFd(), closePipe_.fd()});
        log("sent a block shorter than its header and closed the device (injected fault)");
        close();
        return;
    }
    if (!sendBlocks(bytes, sequence, remote)) close();
}

bool Session::sendBlocks(const std::string& bytes, std::uint8_t sequence, bool remote) {
    const std::size_t maxBlock = std::max<std::size_t>(host_.options()->maxBlockBytes, 1);
    const std::size_t blocks = bytes.empty() ? 1 : (bytes.size() + maxBlock - 1) / maxBlock;
    std::vector<std::array<std::uint8_t, WireHeader::kSize>> headers(blocks);
    std::vector<iovec> parts;
    parts.reserve(blocks * 2);
    for (std::size_t i = 0; i < blocks; ++i) {
        const std::size_t offset = i * maxBlock;
        const std::size_t length = std::min(maxBlock, bytes.size() - offset);
        WireHeader h;
        h.length = static_cast<std::uint32_t>(length);
        h.flags = (i + 1 == blocks ? WireHeader::kFlagEnd : 0) | (remote ? WireHeader::kFlagRemote : 0);
        h.sequence = sequence;
        headers[i] = h.encode();
        parts.push_back({headers[i].data(), headers[i].size()});
        if (length > 0) parts.push_back({const_cast<char*>(bytes.data()) + offset, length});
    }
    return data_->writeAll(parts.data(), static_cast<int>(parts.size()),
                           Instrument::Clock::now() + kWriteLimit,
                           {host_.stopFd(), closePipe_.fd()}) == SocketLink::Result::Ok;
}

// Called by the instrument (through its hook) with the data thread's lock held: releases it for
// the wait so that the control connection stays served.
bool Session::waitUntil(Instrument::Clock::time_point until) {
    std::unique_lock<std::mutex>* lock = dataLock_;
    dataWaiting_ = true;
    idle_.notify_all();
    const std::uint64_t generation = messageGeneration_;
    lock->unlock();
    bool completed = true;
    for (;;) {
        const int which = pollWake({host_.stopFd(), closePipe_.fd(), clearPipe_.fd()}, until);
        if (which < 0) break;
        if (which < 2) {
            completed = false;
            break;
        }
        clearPipe_.drain();
        std::lock_guard check(mutex_);
        if (clearGeneration_ != generation) {
            completed = false;
            break;
        }
    }
    lock->lock();
    dataWaiting_ = false;
    return completed;
}

void Session::signalServiceRequest() {
    if (srqWaiter_ && instrument_->serviceRequested()) srqPipe_.signal();
}

// ---- Control connection ------------------------------------------------------------------------

void Session::waitForDataIdle(std::unique_lock<std::mutex>& lock) {
    const auto deadline = Instrument::Clock::now() + kDataIdleLimit;
    while (Instrument::Clock::now() < deadline) {
        if ((!dataBusy_ || dataWaiting_) && !data_->readable()) return;
        idle_.wait_until(lock, std::min(deadline, Instrument::Clock::now() + std::chrono::milliseconds(2)));
    }
}

// Holds a WaitSrq request until the instrument requests service. False when the client gave up
// first (it sent its next control message or closed), in which case the request gets no reply:
// a late reply would be taken for the answer to the client's next message.
bool Session::waitServiceRequest(std::unique_lock<std::mutex>& lock) {
    for (;;) {
        instrument_->update();
        if (instrument_->serviceRequested()) return true;
        const std::optional<Instrument::Clock::time_point> next = instrument_->nextEvent();
        srqWaiter_ = true;
        lock.unlock();
        const SocketLink::Result r =
            control_->waitReadable(next, {host_.stopFd(), closePipe_.fd(), srqPipe_.fd()});
        lock.lock();
        srqWaiter_ = false;
        if (r == SocketLink::Result::Ok) return false;
        if (r == SocketLink::Result::Interrupted) {
            srqPipe_.drain();
            if (closing_ || isReadable(host_.stopFd())) return false;
        }
    }
}

void Session::serveControl() {
    std::uint8_t bytes[WireHeader::kSize];
    for (;;) {
        if (control_->readExact(bytes, sizeof bytes, std::nullopt, {host_.stopFd(), closePipe_.fd()}) !=
            SocketLink::Result::Ok)
            break;
        const WireHeader h = WireHeader::decode(bytes);
        if (h.length > 0 && control_->discard(h.length, Instrument::Clock::now() + kControlLimit,
                                              {host_.stopFd(), closePipe_.fd()}) != SocketLink::Result::Ok)
            break;
        std::unique_lock lock(mutex_);
        if (h.has(WireHeader::kFlagConsumed)) instrument_->setOutputPending(false);
        // Remote enable off puts the instrument in local; it returns to remote when addressed again.
        if (!h.has(WireHeader::kFlagRemote)) instrument_->setRemote(false);
        std::uint8_t code = 0;
        bool answer = true;
        if (h.has(WireHeader::kFlagCommand)) {
            switch (h.code) {
                case ifc::kGoToLocal:
                    instrument_->setRemote(false);
                    break;
                case ifc::kSelectedDeviceClear:
                case ifc::kDeviceClear:
                    ++clearGeneration_;
                    instrument_->deviceClear();
                    clearPipe_.signal();
                    break;
                case ifc::kSerialPollEnable:
                    waitForDataIdle(lock);
                    code = instrument_->serialPoll();
                    break;
                case ifc::kGroupExecuteTrigger:
                    instrument_->trigger();
                    break;
                default:
                    if (h.code >= ifc::kListenAddressBase && h.code < 0x3F && h.has(WireHeader::kFlagRemote))
                        instrument_->setRemote(true);
                    break;
            }
        } else if (h.has(WireHeader::kFlagSrq) && h.has(WireHeader::kFlagQuery)) {
            waitForDataIdle(lock);
            answer = waitServiceRequest(lock);
        } else if (h.has(WireHeader::kFlagQuery)) {
            waitForDataIdle(lock);
            instrument_->update();
        }
        if (!answer) {
            lock.unlock();
            if (host_.options()->verbose) log("control: wait for service request given up by the client");
            continue;
        }
        WireHeader reply;
        reply.flags = WireHeader::kFlagEnd | (instrument_->remote() ? WireHeader::kFlagRemote : 0) |
                      (instrument_->serviceRequested() ? WireHeader::kFlagSrq : 0);
        reply.code = code;
        lock.unlock();
        const auto out = reply.encode();
        const iovec part{const_cast<std::uint8_t*>(out.data()), out.size()};
        if (control_->writeAll(&part, 1, Instrument::Clock::now() + kControlLimit,
                               {host_.stopFd(), closePipe_.fd()}) != SocketLink::Result::Ok)
            break;
        if (host_.options()->verbose) {
            std::string line = std::string("control: ") + controlName(h);
            if (h.has(WireHeader::kFlagCommand) && h.code == ifc::kSerialPollEnable)
                line += " -> status byte " + std::to_string(code);
            if (reply.has(WireHeader::kFlagSrq)) line += " (service request pending)";
            log(line);
        }
    }
    controlDone_ = true;
}

}  // namespace marlin::sim
