// Socket calls of the network transport.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
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

int OpenUdp(const std::string& bindAddress, uint16_t port, int* error, const char** step) {
    *error = 0;
    *step = "socket";
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        *error = errno;
        *step = "setsockopt(SO_BROADCAST)";
        ::close(fd);
        return -1;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (!bindAddress.empty() && ::inet_pton(AF_INET, bindAddress.c_str(), &local.sin_addr) != 1) {
        *error = EINVAL;
        *step = "bind";
        ::close(fd);
        return -1;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        *error = errno;
        *step = "bind";
        ::close(fd);
        return -1;
    }
    return fd;
}

int SendTo(int socket, const uint8_t* data, size_t length, const std::string& address,
           uint16_t port, int* error) {
    *error = 0;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1) {
        *error = EINVAL;
        return kFailed;
    }
    for (;;) {
        ssize_t n = ::sendto(socket, data, length, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&peer),
                             sizeof peer);
        if (n >= 0) return static_cast<int>(n);
        if (errno == EINTR) continue;
        *error = errno;
        return kFailed;
    }
}

int ReceiveFrom(int socket, uint8_t* buffer, size_t capacity, std::string* fromAddress,
                uint16_t* fromPort, int* error) {
    *error = 0;
    for (;;) {
        sockaddr_in peer{};
        socklen_t peerLength = sizeof peer;
        ssize_t n = ::recvfrom(socket, buffer, capacity, MSG_DONTWAIT,
                               reinterpret_cast<sockaddr*>(&peer), &peerLength);
        if (n >= 0) {
            char text[INET_ADDRSTRLEN] = "";
            ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
            if (fromAddress) *fromAddress = text;
            if (fromPort) *fromPort = ntohs(peer.sin_port);
            return static_cast<int>(n);
        }
        if (errno == EINTR) continue;
        *error = errno;
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? kWouldBlock : kFailed;
    }
}

std::vector<std::string> AdapterAddresses() {
    std::vector<std::string> addresses;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return addresses;
    for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (address->sin_addr.s_addr == htonl(INADDR_ANY)) continue;
        char text[INET_ADDRSTRLEN] = "";
        if (::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) == nullptr) continue;
        addresses.push_back(text);
    }
    ::freeifaddrs(list);
    return addresses;
}

}  // namespace netsock
