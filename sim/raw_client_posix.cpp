#include "sim/raw_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace orvpw::sim {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

}  // namespace

RawClient::~RawClient() { Close(); }

void RawClient::Close() {
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
}

bool RawClient::Connect(const std::string& address, uint16_t port, int timeout_ms) {
    Close();
    peer_closed_ = false;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &target.sin_addr) != 1) return false;
    if ((ntohl(target.sin_addr.s_addr) >> 24) != 127) return false;
    socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket_ < 0) return false;
    if (::connect(socket_, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0) {
        if (errno != EINPROGRESS) {
            Close();
            return false;
        }
        pollfd out{socket_, POLLOUT, 0};
        int error = 0;
        socklen_t size = sizeof error;
        if (::poll(&out, 1, timeout_ms) != 1 || ::getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &size) != 0 ||
            error != 0) {
            Close();
            return false;
        }
    }
    const int yes = 1;
    ::setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    return true;
}

bool RawClient::Send(const std::vector<uint8_t>& bytes) {
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    size_t sent = 0;
    while (sent < bytes.size() && socket_ >= 0) {
        const ssize_t wrote = ::send(socket_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (wrote > 0) {
            sent += static_cast<size_t>(wrote);
            continue;
        }
        if (wrote < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
        if (MillisecondsLeft(deadline) == 0) return false;
        pollfd out{socket_, POLLOUT, 0};
        ::poll(&out, 1, MillisecondsLeft(deadline));
    }
    return sent == bytes.size();
}

long RawClient::ReadSome(uint8_t* buffer, size_t room, int wait_ms) {
    if (socket_ < 0 || peer_closed_) return -1;
    pollfd in{socket_, POLLIN, 0};
    if (::poll(&in, 1, wait_ms) <= 0) return 0;
    const ssize_t got = ::recv(socket_, buffer, room, 0);
    if (got > 0) return static_cast<long>(got);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
    peer_closed_ = true;
    return -1;
}

std::vector<uint8_t> RawClient::Receive(size_t count, int timeout_ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    std::vector<uint8_t> received;
    uint8_t buffer[4096];
    while (received.size() < count) {
        const int left = MillisecondsLeft(deadline);
        if (left == 0) break;
        const long got = ReadSome(buffer, std::min(sizeof buffer, count - received.size()), left);
        if (got < 0) break;
        received.insert(received.end(), buffer, buffer + got);
    }
    return received;
}

std::vector<uint8_t> RawClient::ReceiveUntilQuiet(int quiet_ms, int timeout_ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    std::vector<uint8_t> received;
    uint8_t buffer[4096];
    for (;;) {
        const int left = MillisecondsLeft(deadline);
        if (left == 0) break;
        const long got = ReadSome(buffer, sizeof buffer, std::min(quiet_ms, left));
        if (got <= 0) break;
        received.insert(received.end(), buffer, buffer + got);
    }
    return received;
}

bool RawClient::WaitClosed(int timeout_ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    uint8_t buffer[4096];
    while (!peer_closed_) {
        const int left = MillisecondsLeft(deadline);
        if (left == 0) return false;
        if (ReadSome(buffer, sizeof buffer, left) < 0) return peer_closed_;
    }
    return true;
}

}  // namespace orvpw::sim
