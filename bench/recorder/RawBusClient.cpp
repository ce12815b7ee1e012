#include "RawBusClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "wire/WireHeader.h"

namespace marlin::bench {

namespace {

using qzib::FLAG_COMMAND;
using qzib::FLAG_CONSUMED;
using qzib::FLAG_END;
using qzib::FLAG_REMOTE;

int connectTo(const std::string& address, std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket: " + std::string(std::strerror(errno)));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        throw std::runtime_error("connect to " + address + ": " + std::strerror(errno));
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

}  // namespace

RawBusClient::RawBusClient(const std::string& address, std::uint16_t port) {
    data_ = connectTo(address, port);
    sendAll(data_, qzib::kProtocolVersionBytes.data(), 4);
    unsigned char reply[8];
    receiveAll(data_, reply, 8);  // version, then the pairing token
    control_ = connectTo(address, port);
    sendAll(control_, reply + 4, 4);
}

RawBusClient::~RawBusClient() {
    if (data_ >= 0) ::close(data_);
    if (control_ >= 0) ::close(control_);
}

void RawBusClient::sendAll(int fd, const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("send: " + std::string(std::strerror(errno)));
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

void RawBusClient::receiveAll(int fd, void* data, std::size_t size) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::recv(fd, p, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("receive: connection closed");
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

void RawBusClient::control(std::uint8_t flags, std::uint8_t code) {
    auto header = qzib::WireHeader{0, static_cast<std::uint8_t>(FLAG_END | FLAG_REMOTE | flags), code, 0}.encode();
    sendAll(control_, header.data(), 7);
    receiveAll(control_, header.data(), 7);
}

void RawBusClient::write(const std::string& command) {
    if (!addressed_) {
        control(FLAG_COMMAND, qzib::ifc::kListenAddressBase);  // listen, once before the first message
        addressed_ = true;
    }
    ++sequence_;
    const auto length = static_cast<std::uint32_t>(command.size());
    std::uint8_t header[7];
    qzib::WireHeader{length, static_cast<std::uint8_t>(FLAG_END | FLAG_REMOTE | (consumed_ ? FLAG_CONSUMED : 0)), 0,
                     sequence_}
        .encodeTo(header);
    consumed_ = false;
    iovec parts[2] = {{header, 7}, {const_cast<char*>(command.data()), command.size()}};
    msghdr msg{};
    msg.msg_iov = parts;
    msg.msg_iovlen = 2;
    std::size_t left = 7 + command.size();
    while (left > 0) {
        const ssize_t n = ::sendmsg(data_, &msg, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("send: " + std::string(std::strerror(errno)));
        left -= static_cast<std::size_t>(n);
        // Move the vector on past what went out.
        std::size_t done = static_cast<std::size_t>(n);
        while (done > 0 && msg.msg_iovlen > 0) {
            if (done >= msg.msg_iov->iov_len) {
                done -= msg.msg_iov->iov_len;
                ++msg.msg_iov;
                --msg.msg_iovlen;
            } else {
                msg.msg_iov->iov_base = static_cast<char*>(msg.msg_iov->iov_base) + done;
                msg.msg_iov->iov_len -= done;
                done = 0;
            }
        }
    }
}

std::string RawBusClient::read() {
    std::string reply;
    for (;;) {
        std::uint8_t header[7];
        receiveAll(data_, header, 7);
        const qzib::WireHeader h = qzib::WireHeader::decode(header);
        const std::uint32_t length = h.length;
        const std::size_t at = reply.size();
        reply.resize(at + length);
        receiveAll(data_, reply.data() + at, length);
        if (h.sequence != sequence_) {  // a stale block of an earlier message
            reply.resize(at);
            continue;
        }
        if (h.has(FLAG_END)) break;
    }
    consumed_ = true;
    return reply;
}

}  // namespace marlin::bench
