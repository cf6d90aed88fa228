// Socket calls of the network transport.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "transport/network.h"

namespace netsock {

int ConnectTcp(const std::string& address, uint16_t port, int* error) {
    *error = 0;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1) {
        *error = EINVAL;
        return -1;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
        *error = errno;
        ::close(fd);
        return -1;
    }
    return fd;
}

void CloseSocket(int socket) {
    ::shutdown(socket, SHUT_RDWR);
    ::close(socket);
}

int SendSome(int socket, const uint8_t* data, size_t length, int* error) {
    *error = 0;
    for (;;) {
        ssize_t n = ::send(socket, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) return static_cast<int>(n);
        if (errno == EINTR) continue;
        *error = errno;
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? kWouldBlock : kFailed;
    }
}

int ReceiveSome(int socket, uint8_t* buffer, size_t capacity, int timeoutMs, int* error) {
    *error = 0;
    pollfd waiting{socket, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&waiting, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) {
        *error = errno;
        return kFailed;
    }
    if (ready == 0) return kWouldBlock;
    for (;;) {
        ssize_t n = ::recv(socket, buffer, capacity, MSG_DONTWAIT);
        if (n > 0) return static_cast<int>(n);
        if (n == 0) return kClosed;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return kWouldBlock;
        *error = errno;
        return errno == ECONNRESET ? kClosed : kFailed;
    }
}

const char* ErrorText(int error) { return error ? std::strerror(error) : "unknown error"; }

}  // namespace netsock
