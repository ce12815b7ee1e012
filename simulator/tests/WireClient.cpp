#include "WireClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace marlin::sim::test {
namespace {

int connectTo(const std::string& address, std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        ::close(fd);
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

bool waitReadable(int fd, std::chrono::milliseconds limit) {
    pollfd p{fd, POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left < 0) return false;
        const int r = ::poll(&p, 1, static_cast<int>(left));
        if (r > 0) return true;
        if (r == 0) return false;
        if (errno != EINTR) return false;
    }
}

}  // namespace

WireClient::~WireClient() {
    close();
}

void WireClient::close() {
    if (data_ >= 0) ::close(data_);
    if (control_ >= 0) ::close(control_);
    data_ = control_ = -1;
}

bool WireClient::readExact(int fd, void* buffer, std::size_t count, Ms limit) {
    auto* out = static_cast<char*>(buffer);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (count > 0) {
        const auto left = std::chrono::duration_cast<Ms>(deadline - std::chrono::steady_clock::now());
        if (!waitReadable(fd, left)) return false;
        const ssize_t n = ::recv(fd, out, count, 0);
        if (n <= 0) return false;
        out += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

bool WireClient::sendAll(int fd, const void* buffer, std::size_t count) {
    const char* p = static_cast<const char*>(buffer);
    while (count > 0) {
        const ssize_t n = ::send(fd, p, count, MSG_NOSIGNAL);
        if (n <= 0) return false;
        p += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

bool WireClient::open(const std::string& address, std::uint16_t port, bool withControl) {
    data_ = connectTo(address, port);
    if (data_ < 0) {
        why_ = "cannot connect the data connection";
        return false;
    }
    if (!sendAll(data_, qzib::kProtocolVersionBytes.data(), 4) || !readExact(data_, versionReply, 4, Ms(5000))) {
        why_ = "no version reply";
        return false;
    }
    if (!readExact(data_, token, 4, Ms(5000))) {
        why_ = "no token";
        return false;
    }
    if (!withControl) return true;
    control_ = connectTo(address, port);
    if (control_ < 0 || !sendAll(control_, token, 4)) {
        why_ = "cannot open the control connection";
        return false;
    }
    return true;
}

void WireClient::write(std::string_view payload, bool end) {
    qzib::WireHeader h;
    h.length = static_cast<std::uint32_t>(payload.size());
    h.flags = (end ? qzib::FLAG_END : 0) | (remote ? qzib::FLAG_REMOTE : 0) |
              (consumedPending ? qzib::FLAG_CONSUMED : 0);
    consumedPending = false;
    h.sequence = ++sequence_;
    const auto head = h.encode();
    std::string out(reinterpret_cast<const char*>(head.data()), head.size());
    out.append(payload);
    sendAll(data_, out.data(), out.size());
}

void WireClient::writeWithSequence(std::string_view payload, std::uint8_t sequence) {
    sequence_ = static_cast<std::uint8_t>(sequence - 1);
    write(payload);
}

std::optional<WireClient::Block> WireClient::readBlock(Ms limit) {
    std::uint8_t head[qzib::WireHeader::kSize];
    if (!readExact(data_, head, sizeof head, limit)) return std::nullopt;
    Block b;
    b.header = qzib::WireHeader::decode(head);
    b.payload.resize(b.header.length);
    if (b.header.length > 0 && !readExact(data_, b.payload.data(), b.header.length, limit))
        return std::nullopt;
    return b;
}

std::optional<std::string> WireClient::readMessage(Ms limit) {
    std::string all;
    for (;;) {
        auto b = readBlock(limit);
        if (!b) return std::nullopt;
        all += b->payload;
        if (b->header.has(qzib::FLAG_END)) {
            consumedPending = true;
            return all;
        }
    }
}

std::optional<std::string> WireClient::ask(std::string_view command, Ms limit) {
    write(command);
    return readMessage(limit);
}

void WireClient::sendControl(std::uint8_t flags, std::uint8_t code) {
    qzib::WireHeader h;
    h.flags = qzib::FLAG_END | flags | (remote ? qzib::FLAG_REMOTE : 0) |
              (consumedPending ? qzib::FLAG_CONSUMED : 0);
    consumedPending = false;
    h.code = code;
    const auto head = h.encode();
    sendAll(control_, head.data(), head.size());
}

std::optional<qzib::WireHeader> WireClient::readControl(Ms limit) {
    std::uint8_t head[qzib::WireHeader::kSize];
    if (!readExact(control_, head, sizeof head, limit)) return std::nullopt;
    return qzib::WireHeader::decode(head);
}

std::optional<qzib::WireHeader> WireClient::control(std::uint8_t flags, std::uint8_t code, Ms limit) {
    sendControl(flags, code);
    return readControl(limit);
}

std::optional<std::uint8_t> WireClient::serialPoll(Ms limit) {
    const auto reply =
        control(qzib::FLAG_COMMAND | qzib::FLAG_QUERY, qzib::ifc::kSerialPollEnable, limit);
    if (!reply) return std::nullopt;
    return reply->code;
}

bool WireClient::dataClosed(Ms limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    char scratch[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<Ms>(deadline - std::chrono::steady_clock::now());
        if (!waitReadable(data_, left)) return false;
        const ssize_t n = ::recv(data_, scratch, sizeof scratch, 0);
        if (n <= 0) return true;
    }
}

bool WireClient::sendRaw(bool onControl, std::string_view bytes) {
    return sendAll(onControl ? control_ : data_, bytes.data(), bytes.size());
}

bool WireClient::dataHasBytes(Ms limit) {
    return waitReadable(data_, limit);
}
bool WireClient::controlHasBytes(Ms limit) {
    return waitReadable(control_, limit);
}

}  // namespace marlin::sim::test
