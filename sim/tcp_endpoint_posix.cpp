#include "sim/tcp_endpoint.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace orvpw::sim {

namespace {

constexpr int kSendStallLimitMs = 2000;

std::string ErrnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

bool SetNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

}  // namespace

TcpEndpoint::TcpEndpoint() {
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
        wake_read_ = fds[0];
        wake_write_ = fds[1];
    }
}

TcpEndpoint::~TcpEndpoint() {
    CloseFd(client_);
    CloseFd(listener_);
    CloseFd(wake_read_);
    CloseFd(wake_write_);
}

bool TcpEndpoint::Listen(const std::string& address, uint16_t port, std::string& error) {
    if (wake_read_ < 0) {
        error = "no wake-up pipe";
        return false;
    }
    sockaddr_in socket_address{};
    socket_address.sin_family = AF_INET;
    socket_address.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &socket_address.sin_addr) != 1) {
        error = "not a dotted IPv4 address: " + address;
        return false;
    }
    if ((ntohl(socket_address.sin_addr.s_addr) >> 24) != 127) {
        error = "the simulator listens on loopback addresses (127.0.0.0/8) only: " + address;
        return false;
    }
    CloseFd(listener_);
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener_ < 0) {
        error = ErrnoText("socket");
        return false;
    }
    const int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&socket_address), sizeof socket_address) != 0) {
        error = ErrnoText("bind");
        CloseFd(listener_);
        return false;
    }
    if (::listen(listener_, 4) != 0) {
        error = ErrnoText("listen");
        CloseFd(listener_);
        return false;
    }
    sockaddr_in bound{};
    socklen_t bound_size = sizeof bound;
    if (::getsockname(listener_, reinterpret_cast<sockaddr*>(&bound), &bound_size) != 0) {
        error = ErrnoText("getsockname");
        CloseFd(listener_);
        return false;
    }
    address_ = address;
    bound_port_ = ntohs(bound.sin_port);
    return true;
}

void TcpEndpoint::CloseListener() { CloseFd(listener_); }

bool TcpEndpoint::Relisten(std::string& error) { return Listen(address_, bound_port_, error); }

void TcpEndpoint::DropClient() { CloseFd(client_); }

TcpEndpoint::WaitResult TcpEndpoint::Wait(int timeout_ms, std::vector<uint8_t>& received) {
    pollfd fds[3];
    nfds_t count = 0;
    fds[count++] = {wake_read_, POLLIN, 0};
    const nfds_t listener_slot = listener_ >= 0 ? count : 99;
    if (listener_ >= 0) fds[count++] = {listener_, POLLIN, 0};
    const nfds_t client_slot = client_ >= 0 ? count : 99;
    if (client_ >= 0) fds[count++] = {client_, POLLIN, 0};

    const int ready = ::poll(fds, count, timeout_ms < 0 ? 0 : timeout_ms);
    if (ready <= 0) return WaitResult::timeout;  // EINTR counts as a short wait
    if (fds[0].revents != 0) {
        DrainWake();
        return WaitResult::woken;
    }
    if (listener_slot != 99 && fds[listener_slot].revents != 0) {
        const int accepted = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (accepted >= 0) {
            CloseFd(client_);  // one client at a time: the newest wins
            client_ = accepted;
            SetNonBlocking(client_);
            const int yes = 1;
            // Small answers and split writes must leave at once, as separate segments.
            ::setsockopt(client_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
            return WaitResult::connected;
        }
    }
    if (client_slot != 99 && fds[client_slot].revents != 0) {
        uint8_t buffer[65536];
        const ssize_t got = ::recv(client_, buffer, sizeof buffer, 0);
        if (got > 0) {
            received.insert(received.end(), buffer, buffer + got);
            return WaitResult::data;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return WaitResult::timeout;
        CloseFd(client_);
        return WaitResult::client_closed;
    }
    return WaitResult::timeout;
}

bool TcpEndpoint::Send(const uint8_t* data, size_t size) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSendStallLimitMs);
    size_t sent = 0;
    while (sent < size) {
        if (client_ < 0) return false;
        const ssize_t wrote = ::send(client_, data + sent, size - sent, MSG_NOSIGNAL);
        if (wrote > 0) {
            sent += static_cast<size_t>(wrote);
            continue;
        }
        if (wrote < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            CloseFd(client_);
            return false;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            CloseFd(client_);
            return false;
        }
        pollfd fds[2] = {{client_, POLLOUT, 0}, {wake_read_, POLLIN, 0}};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1;
        if (::poll(fds, 2, static_cast<int>(left)) > 0 && fds[1].revents != 0) {
            DrainWake();
            return false;  // stop or disconnect requested; the caller checks which
        }
    }
    return true;
}

bool TcpEndpoint::Sleep(int ms) {
    if (ms <= 0) return false;
    pollfd wake{wake_read_, POLLIN, 0};
    if (::poll(&wake, 1, ms) > 0) {
        DrainWake();
        return true;
    }
    return false;
}

void TcpEndpoint::Wake() {
    if (wake_write_ < 0) return;
    const uint8_t byte = 1;
    // A full pipe already holds a pending wake-up; nothing is lost by dropping this one.
    [[maybe_unused]] const ssize_t ignored = ::write(wake_write_, &byte, 1);
}

void TcpEndpoint::DrainWake() {
    uint8_t buffer[64];
    for (int i = 0; i < 64 && ::read(wake_read_, buffer, sizeof buffer) > 0; ++i) {
    }
}

}  // namespace orvpw::sim
