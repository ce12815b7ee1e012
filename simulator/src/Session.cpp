#include "Session.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <time.h>

#include <algorithm>
#include <system_error>
#include <cstring>
#include <vector>

#include "ScpiErrors.h"
#include "channels/ErrorNumberFailure.h"

namespace marlin::sim {
namespace {

// Payload is taken in (and its memory granted) in pieces of this size as it arrives.
constexpr std::size_t kPayloadPiece = 64 * 1024;
// Once a message has begun, each wait for more of it (or for room to send) has this limit; a
// stop or close ends it sooner by shutting the connections down.
constexpr std::uint32_t kTransferLimitMs = 60000;
constexpr std::uint32_t kControlLimitMs = 5000;
// How long a control message waits for the data messages sent before it to be taken in, so that
// a serial poll right after a write sees its effect and a device clear clears it. Commands run
// in microseconds; the bound only matters on a badly overloaded machine.
constexpr auto kDataIdleLimit = std::chrono::seconds(5);

constexpr int kHungUp = -2;

// Waits until one of fds is readable (its index) or the deadline passes (-1). A descriptor that
// fails counts as readable, so that the caller's next read reports it. A socket given as
// hangUp is watched only for the peer closing it (kHungUp), not for its input.
int pollWake(std::initializer_list<int> fds, std::optional<Instrument::Clock::time_point> deadline,
             int hangUp = -1) {
    pollfd p[6];
    nfds_t n = 0;
    for (int fd : fds) p[n++] = {fd, POLLIN, 0};
    const nfds_t watched = n;
    if (hangUp >= 0) p[n++] = {hangUp, POLLRDHUP, 0};
    for (;;) {
        int timeoutMs = -1;
        if (deadline) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(*deadline - Instrument::Clock::now()).count();
            if (left <= 0) return -1;
            timeoutMs = static_cast<int>(std::min<long long>(left, 1 << 30));
        }
        const int r = ::poll(p, n, timeoutMs);
        if (r < 0 && errno != EINTR) return 0;
        if (r <= 0) continue;
        for (nfds_t i = 0; i < watched; ++i) {
            if (p[i].revents) return static_cast<int>(i);
        }
        if (n > watched && p[watched].revents) return kHungUp;
    }
}

bool isReadable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

// The peer closed (or reset) its side of the connection.
bool hungUp(int fd) {
    pollfd p{fd, POLLRDHUP, 0};
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

const char* controlName(const qzib::WireHeader& h) {
    if (h.has(qzib::FLAG_COMMAND)) {
        switch (h.code) {
            case qzib::ifc::kGoToLocal:
                return "go to local";
            case qzib::ifc::kSelectedDeviceClear:
                return "device clear";
            case qzib::ifc::kDeviceClear:
                return "universal device clear";
            case qzib::ifc::kSerialPollEnable:
                return "serial poll";
            case qzib::ifc::kGroupExecuteTrigger:
                return "trigger";
            default:
                return h.code >= 0x20 && h.code < 0x3F ? "listen" : "interface command";
        }
    }
    if (h.has(qzib::FLAG_SRQ) && h.has(qzib::FLAG_QUERY)) return "wait for service request";
    if (h.has(qzib::FLAG_QUERY)) return "test service request";
    return h.has(qzib::FLAG_REMOTE) ? "remote enable" : "remote disable";
}

}  // namespace

std::string peerOf(qzib::SocketHandle socket) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getpeername(socket, reinterpret_cast<sockaddr*>(&addr), &len) != 0 || addr.sin_family != AF_INET)
        return "?";
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(addr.sin_port));
}

Session::Session(SessionHost& host, qzib::SocketHandle data, Token token, std::uint64_t id)
    : host_(host),
      limits_(host.options()->limits),
      messageShare_(host.memoryBudget()),
      channel_(std::make_unique<qzib::CSocketCommunicationChannel>(data)),
      peer_(peerOf(data)),
      token_(token),
      id_(id) {
    Instrument::Hooks hooks;
    hooks.now = [] { return Instrument::Clock::now(); };
    hooks.abandoned = [this] { return closing_ || hungUp(channel_->GetDataSocket()); };
    instrument_ = std::make_unique<Instrument>(host_.options()->instrument, std::move(hooks));
    instrument_->setLimits(limits_, host_.memoryBudget());
}

Session::~Session() {
    close();
    join();
}

bool Session::sendGreeting(const void* bytes, std::uint32_t count) {
    const qzib::SendBuffer part{count, bytes};
    try {
        std::uint32_t sent = 0;
        return channel_->WriteData(&part, 1, sent, kControlLimitMs);
    } catch (const qzib::ErrorNumberFailure&) {
        return false;
    }
}

void Session::start() {
    // state() may look at the thread from another thread at any time.
    std::lock_guard lock(mutex_);
    dataThread_ = std::thread([this] { serveData(); });
}

// Takes only the attach lock, never the instrument's: pairing must not wait for a device that
// is busy with a long message.
bool Session::attachControl(qzib::SocketHandle control) {
    std::lock_guard lock(attachMutex_);
    if (hasControl_ || closing_) return false;
    channel_->SetControlSocket(control);
    channel_->SetNoDelay(true);
    hasControl_ = true;
    try {
        controlThread_ = std::thread([this] { serveControl(); });
    } catch (const std::system_error&) {
        // No thread to serve it: the device cannot work, so it ends (the channel owns the socket).
        closeLocked();
        return true;
    }
    controlStarted_ = true;
    return true;
}

void Session::close() {
    std::lock_guard lock(attachMutex_);
    closeLocked();
}

void Session::closeLocked() {
    if (closing_.exchange(true)) return;
    closePipe_.signal();
    // Ending the receiving side wakes any read still under way; a send that waits for a client
    // who does not read is ended only by shutting the sending side too. The channel's own close
    // does the rest in order.
    const int how = writing_ ? SHUT_RDWR : SHUT_RD;
    ::shutdown(channel_->GetDataSocket(), how);
    if (hasControl_) ::shutdown(channel_->GetControlSocket(), SHUT_RD);
}

void Session::join() {
    if (dataThread_.joinable() && dataThread_.get_id() != std::this_thread::get_id()) dataThread_.join();
    if (controlThread_.joinable() && controlThread_.get_id() != std::this_thread::get_id())
        controlThread_.join();
}

void Session::log(const std::string& line) {
    host_.log("[" + peer_ + "] " + line);
}

DeviceState Session::state() {
    std::lock_guard lock(mutex_);
    DeviceState s;
    s.id = id_;
    s.peer = peer_;
    s.controlConnected = controlStarted_ && !controlDone_;
    s.remote = instrument_->remote();
    s.continuous = instrument_->continuous();
    s.outputPending = instrument_->outputPending();
    s.sweeps = instrument_->sweepCount();
    s.waiting = dataWaiting_;
    s.messages = messagesRun_;
    s.replies = repliesSent_;
    s.errorsQueued = instrument_->errors().size();
    clockid_t clock{};
    timespec used{};
    if (dataThread_.joinable() && ::pthread_getcpuclockid(dataThread_.native_handle(), &clock) == 0 &&
        ::clock_gettime(clock, &used) == 0)
        s.dataThreadCpuSeconds = static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) * 1e-9;
    return s;
}

void Session::setTraceActive(int trace, bool active) {
    std::lock_guard lock(mutex_);
    instrument_->setTraceActive(trace, active);
}

// ---- Transfers ---------------------------------------------------------------------------------

// Reads through a buffer of its own: on a busy connection one receive takes in a header, its
// payload and often the next messages too. Waiting happens only when nothing has arrived, and
// watches the wake pipes.
Session::Io Session::readData(void* buffer, std::size_t count) {
    auto* out = static_cast<char*>(buffer);
    bool sawReadable = false;
    while (count > 0) {
        if (inStart_ < inEnd_) {
            const std::size_t n = std::min(count, inEnd_ - inStart_);
            std::memcpy(out, inBuffer_.data() + inStart_, n);
            inStart_ += n;
            out += n;
            count -= n;
            continue;
        }
        inStart_ = inEnd_ = 0;
        int error = 0;
        const long n = qzib::socketapi::receiveSome(channel_->GetDataSocket(), inBuffer_.data(),
                                                    inBuffer_.size(), error);
        if (n > 0) {
            inEnd_ = static_cast<std::size_t>(n);
            sawReadable = false;
            {
                // The bytes have left the socket but their message is not marked busy yet: a
                // control message that came after them must still wait for them (go-to-local
                // after "INIT:CONT ON" was otherwise undone by the data message's remote flag).
                std::lock_guard lock(mutex_);
                dataBuffered_ = true;
            }
            continue;
        }
        if (n == 0 || error != qzib::socketapi::kWouldBlock || sawReadable) return Io::Closed;
        if (pollWake({channel_->GetDataSocket(), host_.stopFd(), closePipe_.fd()}, std::nullopt) != 0)
            return Io::Interrupted;
        sawReadable = true;
    }
    return Io::Ok;
}

void Session::dropMessage(int error) {
    std::string().swap(message_);
    messageShare_.release();
    messageError_ = error;
}

// Takes in the payload of a block for the message being received. Memory is granted piece by
// piece as the bytes arrive, not from the announced length: a header that promises 16 MiB and
// sends nothing holds nothing. A message over the device's limit (-223) or over what all
// devices may hold together (-225) is read on and dropped, and answered with that error.
Session::Io Session::takePayload(std::size_t length) {
    if (messageError_ == 0 && message_.size() + length > limits_.messageBytes) dropMessage(scpi::kTooMuchData);
    while (length > 0 && messageError_ == 0) {
        const std::size_t piece = std::min(length, kPayloadPiece);
        if (!messageShare_.grow(piece)) {
            dropMessage(scpi::kOutOfMemory);
            break;
        }
        const std::size_t old = message_.size();
        message_.resize(old + piece);
        const Io r = readData(message_.data() + old, piece);
        if (r != Io::Ok) return r;
        length -= piece;
    }
    return discardData(length);
}

Session::Io Session::discardData(std::size_t count) {
    char scratch[4096];
    while (count > 0) {
        const std::size_t chunk = std::min(count, sizeof scratch);
        const Io r = readData(scratch, chunk);
        if (r != Io::Ok) return r;
        count -= chunk;
    }
    return Io::Ok;
}

Session::Io Session::readControl(void* buffer, std::size_t count) {
    if (pollWake({channel_->GetControlSocket(), host_.stopFd(), closePipe_.fd()}, std::nullopt) != 0)
        return Io::Interrupted;
    try {
        return channel_->ReadControl(buffer, static_cast<std::uint32_t>(count), kControlLimitMs) ? Io::Ok
                                                                                                 : Io::Closed;
    } catch (const qzib::ErrorNumberFailure&) {
        return Io::Closed;
    }
}

bool Session::writeData(const qzib::SendBuffer* buffers, std::uint32_t number) {
    struct Writing {
        std::atomic<bool>& flag;
        explicit Writing(std::atomic<bool>& f) : flag(f) { flag = true; }
        ~Writing() { flag = false; }
    } writing(writing_);
    try {
        std::uint32_t sent = 0;
        return channel_->WriteData(buffers, number, sent, kTransferLimitMs);
    } catch (const qzib::ErrorNumberFailure&) {
        return false;
    }
}

bool Session::writeControl(const void* buffer, std::uint32_t count) {
    try {
        return channel_->WriteControl(buffer, count, kControlLimitMs);
    } catch (const qzib::ErrorNumberFailure&) {
        return false;
    }
}

// ---- Data connection ---------------------------------------------------------------------------

// With the lock held: the data side has run what it had; what it already took in but has not
// run yet still counts as work to wait for.
void Session::markIdle() {
    dataBusy_ = false;
    dataWaiting_ = false;
    dataSending_ = false;
    dataBuffered_ = inStart_ < inEnd_;
    idle_.notify_all();
}

void Session::serveData() {
    std::uint8_t bytes[qzib::WireHeader::kSize];
    for (;;) {
        if (readData(bytes, sizeof bytes) != Io::Ok) break;
        const qzib::WireHeader h = qzib::WireHeader::decode(bytes);
        {
            std::lock_guard lock(mutex_);
            dataBusy_ = true;
            dataBuffered_ = false;
            // Whatever output the client had not read is gone once it sends a new message.
            instrument_->setOutputPending(false);
            instrument_->setRemote(h.has(qzib::FLAG_REMOTE));
            if (message_.empty() && messageError_ == 0) {
                messageGeneration_ = clearGeneration_;
            } else if (messageGeneration_ != clearGeneration_) {
                // A device clear came between the blocks of this message: its start is dropped.
                dropMessage(0);
                messageGeneration_ = clearGeneration_;
            }
        }
        if (takePayload(h.length) != Io::Ok) break;
        if (h.has(qzib::FLAG_END)) {
            handleDataMessage(h.sequence);
        } else {
            std::lock_guard lock(mutex_);
            markIdle();
        }
        if (closing_) break;
    }
    {
        std::lock_guard lock(mutex_);
        markIdle();
    }
    if (!closing_) {
        clientClosed_ = true;
        log("client closed the device");
    }
    close();
    dataDone_ = true;
    if (!controlStarted_ || controlDone_) host_.sessionFinished();
}

void Session::handleDataMessage(std::uint8_t sequence) {
    std::string message = std::move(message_);
    message_.clear();
    const int messageError = messageError_;
    messageError_ = 0;
    struct GiveBack {
        BudgetShare& share;
        ~GiveBack() { share.release(); }
    } giveBack{messageShare_};

    std::unique_lock lock(mutex_);
    if (clearSignalled_.exchange(false)) clearPipe_.drain();
    const std::uint64_t generation = messageGeneration_;
    if (generation != clearGeneration_) {
        markIdle();
        return;
    }
    Instrument::Response response;
    if (messageError != 0) {
        instrument_->pushError(messageError);
    } else {
        response = instrument_->execute(message,
                                        [this, &lock](Instrument::Clock::time_point t) { return waitUntil(lock, t); });
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
    markIdle();
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
        const bool waited = waitUntil(lock, Instrument::Clock::now() + faults.replyDelay);
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
    // Sending may wait for the client to read; control messages need not wait for that, only
    // for data messages that came after this one.
    dataSending_ = true;
    dataBuffered_ = inStart_ < inEnd_;
    idle_.notify_all();
    lock.unlock();

    if (shortMessage) {
        qzib::WireHeader h;
        h.length = static_cast<std::uint32_t>(bytes.empty() ? 8 : bytes.size());
        h.flags = qzib::FLAG_END | (remote ? qzib::FLAG_REMOTE : 0);
        h.sequence = sequence;
        const auto head = h.encode();
        const qzib::SendBuffer parts[2] = {{static_cast<std::uint32_t>(head.size()), head.data()},
                                           {static_cast<std::uint32_t>(bytes.size() / 2), bytes.data()}};
        writeData(parts, 2);
        log("sent a block shorter than its header and closed the device (injected fault)");
        close();
        return;
    }
    if (!sendBlocks(bytes, sequence, remote)) close();
}

bool Session::sendBlocks(const std::string& bytes, std::uint8_t sequence, bool remote) {
    const std::size_t maxBlock = std::max<std::size_t>(host_.options()->maxBlockBytes, 1);
    const std::size_t blocks = bytes.empty() ? 1 : (bytes.size() + maxBlock - 1) / maxBlock;
    std::vector<std::array<std::uint8_t, qzib::WireHeader::kSize>> headers(blocks);
    std::vector<qzib::SendBuffer> parts;
    parts.reserve(blocks * 2);
    for (std::size_t i = 0; i < blocks; ++i) {
        const std::size_t offset = i * maxBlock;
        const std::size_t length = std::min(maxBlock, bytes.size() - offset);
        qzib::WireHeader h;
        h.length = static_cast<std::uint32_t>(length);
        h.flags = (i + 1 == blocks ? qzib::FLAG_END : 0) | (remote ? qzib::FLAG_REMOTE : 0);
        h.sequence = sequence;
        headers[i] = h.encode();
        parts.push_back({static_cast<std::uint32_t>(qzib::WireHeader::kSize), headers[i].data()});
        if (length > 0) parts.push_back({static_cast<std::uint32_t>(length), bytes.data() + offset});
    }
    return writeData(parts.data(), static_cast<std::uint32_t>(parts.size()));
}

// Called on the data thread with its lock held (also by the instrument, for a sweep): releases it
// for the wait so that the control connection stays served.
bool Session::waitUntil(std::unique_lock<std::mutex>& lock, Instrument::Clock::time_point until) {
    dataWaiting_ = true;
    idle_.notify_all();
    const std::uint64_t generation = messageGeneration_;
    lock.unlock();
    bool completed = true;
    for (;;) {
        // A client that leaves ends the wait: nobody is left to take the reply.
        const int which =
            pollWake({host_.stopFd(), closePipe_.fd(), clearPipe_.fd()}, until, channel_->GetDataSocket());
        if (which == -1) break;
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
    lock.lock();
    dataWaiting_ = false;
    return completed;
}

// Wakes a held WaitSrq after every message the data side ran: the request may be set now, or the
// message started a sweep whose end the waiter must now wait for (it took its deadline before).
void Session::signalServiceRequest() {
    if (srqWaiter_) srqPipe_.signal();
}

// ---- Control connection ------------------------------------------------------------------------

void Session::waitForDataIdle(std::unique_lock<std::mutex>& lock) {
    const auto deadline = Instrument::Clock::now() + kDataIdleLimit;
    while (Instrument::Clock::now() < deadline) {
        // A message that waits (for a sweep, a delay or the client) holds back the ones after it
        // anyway, so only the messages before it count.
        if (dataWaiting_ ||
            ((!dataBusy_ || dataSending_) && !dataBuffered_ && !isReadable(channel_->GetDataSocket())))
            return;
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
        const int r =
            pollWake({channel_->GetControlSocket(), host_.stopFd(), closePipe_.fd(), srqPipe_.fd()}, next);
        lock.lock();
        srqWaiter_ = false;
        if (r == 0) return false;
        if (r > 0) {
            srqPipe_.drain();
            if (closing_ || isReadable(host_.stopFd())) return false;
        }
    }
}

void Session::serveControl() {
    std::uint8_t bytes[qzib::WireHeader::kSize];
    for (;;) {
        if (readControl(bytes, sizeof bytes) != Io::Ok) break;
        const qzib::WireHeader h = qzib::WireHeader::decode(bytes);
        // Control messages have no payload; a short one that comes anyway is read and dropped,
        // a longer one ends the device.
        if (h.length > (1u << 16)) {
            log("control message announcing " + std::to_string(h.length) + " bytes; device closed");
            break;
        }
        std::vector<std::uint8_t> payload(h.length);
        if (!payload.empty() && readControl(payload.data(), payload.size()) != Io::Ok) break;
        std::unique_lock lock(mutex_);
        // A control message comes after the data messages the client sent before it: let the
        // data side take those in first, as an instrument on a bus would have.
        waitForDataIdle(lock);
        if (h.has(qzib::FLAG_CONSUMED)) instrument_->setOutputPending(false);
        // Remote enable off puts the instrument in local; it returns to remote when addressed again.
        if (!h.has(qzib::FLAG_REMOTE)) instrument_->setRemote(false);
        std::uint8_t code = 0;
        bool answer = true;
        if (h.has(qzib::FLAG_COMMAND)) {
            switch (h.code) {
                case qzib::ifc::kGoToLocal:
                    instrument_->setRemote(false);
                    break;
                case qzib::ifc::kSelectedDeviceClear:
                case qzib::ifc::kDeviceClear:
                    ++clearGeneration_;
                    instrument_->deviceClear();
                    clearSignalled_ = true;
                    clearPipe_.signal();
                    break;
                case qzib::ifc::kSerialPollEnable:
                    code = instrument_->serialPoll();
                    break;
                case qzib::ifc::kGroupExecuteTrigger:
                    instrument_->trigger();
                    break;
                default:
                    if (h.code >= qzib::ifc::kListenAddressBase && h.code < 0x3F && h.has(qzib::FLAG_REMOTE))
                        instrument_->setRemote(true);
                    break;
            }
        } else if (h.has(qzib::FLAG_SRQ) && h.has(qzib::FLAG_QUERY)) {
            answer = waitServiceRequest(lock);
        } else if (h.has(qzib::FLAG_QUERY)) {
            instrument_->update();
        }
        if (!answer) {
            lock.unlock();
            if (host_.options()->verbose) log("control: wait for service request given up by the client");
            continue;
        }
        qzib::WireHeader reply;
        reply.flags = qzib::FLAG_END | (instrument_->remote() ? qzib::FLAG_REMOTE : 0) |
                      (instrument_->serviceRequested() ? qzib::FLAG_SRQ : 0);
        reply.code = code;
        lock.unlock();
        const auto out = reply.encode();
        if (!writeControl(out.data(), static_cast<std::uint32_t>(out.size()))) break;
        if (host_.options()->verbose) {
            std::string line = std::string("control: ") + controlName(h);
            if (h.has(qzib::FLAG_COMMAND) && h.code == qzib::ifc::kSerialPollEnable)
                line += " -> status byte " + std::to_string(code);
            if (reply.has(qzib::FLAG_SRQ)) line += " (service request pending)";
            log(line);
        }
    }
    // The device ends with its control connection: without it the client cannot use it, and a
    // data thread waiting for a long operation would hold it for nothing.
    close();
    controlDone_ = true;
    if (dataDone_) host_.sessionFinished();
}

}  // namespace marlin::sim
