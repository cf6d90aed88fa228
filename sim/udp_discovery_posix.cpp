#include "sim/udp_discovery.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

namespace orvpw::sim {

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint8_t kMagic[2] = {0x0E, 0x9E};
constexpr size_t kRecordSize = 31;
constexpr size_t kAnswerSize = 40;  // boards send more than the 31 bytes a host keeps
constexpr int kPollMs = 50;

bool ParseLoopback(const std::string& text, in_addr* address) {
    return ::inet_pton(AF_INET, text.c_str(), address) == 1 && (ntohl(address->s_addr) >> 24) == 127;
}

}  // namespace

DiscoveryBoard DiscoveryBoard::ForPrinter(const std::string& address, uint16_t tcp_port, uint8_t mac_last) {
    DiscoveryBoard board;
    in_addr parsed{};
    if (::inet_pton(AF_INET, address.c_str(), &parsed) == 1)
        std::memcpy(board.address.data(), &parsed.s_addr, 4);
    board.tcp_port = tcp_port;
    board.mac[5] = mac_last;
    return board;
}

std::vector<uint8_t> DiscoveryBoard::Record() const {
    std::vector<uint8_t> record(kRecordSize, 0);
    record[0] = kMagic[0];
    record[1] = kMagic[1];
    std::memcpy(record.data() + 2, "IMIN", 4);
    std::memcpy(record.data() + 6, mac.data(), 6);
    std::memcpy(record.data() + 12, address.data(), 4);
    std::memcpy(record.data() + 16, address_settings.data(), 8);
    record[24] = static_cast<uint8_t>(tcp_port >> 8);
    record[25] = static_cast<uint8_t>(tcp_port);
    std::memcpy(record.data() + 26, board_settings.data(), 5);
    return record;
}

struct DiscoveryAnswerer::Impl {
    explicit Impl(DiscoveryConfig configuration) : config(std::move(configuration)), boards(config.boards) {}

    const DiscoveryConfig config;
    mutable std::mutex lock;
    std::vector<DiscoveryBoard> boards;
    std::vector<std::vector<uint8_t>> extra_answers;
    std::vector<std::vector<uint8_t>> requests;
    std::string last_error;
    size_t searches = 0;
    size_t configurations = 0;
    Clock::time_point restart_until{};

    int socket = -1;
    uint16_t port = 0;
    std::atomic<bool> stop{false};
    std::thread thread;

    void Run();
    void Answer(const uint8_t* data, size_t size, const sockaddr_in& from);
    void SendTo(const std::vector<uint8_t>& datagram, const sockaddr_in& to) {
        ::sendto(socket, datagram.data(), datagram.size(), MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
};

void DiscoveryAnswerer::Impl::Answer(const uint8_t* data, size_t size, const sockaddr_in& from) {
    std::vector<std::vector<uint8_t>> answers;
    {
        std::lock_guard<std::mutex> guard(lock);
        requests.emplace_back(data, data + size);
        if (size < 6 || data[0] != kMagic[0] || data[1] != kMagic[1]) return;
        if (std::memcmp(data + 2, "FIND", 4) == 0) {
            ++searches;
            if (Clock::now() < restart_until) return;
            for (const DiscoveryBoard& board : boards) {
                std::vector<uint8_t> answer = board.Record();
                answer.resize(kAnswerSize, 0);
                answers.push_back(std::move(answer));
            }
            answers.insert(answers.end(), extra_answers.begin(), extra_answers.end());
        } else if (std::memcmp(data + 2, "SETT", 4) == 0 && size >= 6 + (kRecordSize - 6)) {
            ++configurations;
            if (!config.answer_configuration || Clock::now() < restart_until) return;
            const uint8_t* edited = data + 6;  // record bytes 6..30
            for (DiscoveryBoard& board : boards) {
                if (std::memcmp(board.mac.data(), edited, 6) != 0) continue;
                std::memcpy(board.address.data(), edited + 6, 4);
                std::memcpy(board.address_settings.data(), edited + 10, 8);
                board.tcp_port = static_cast<uint16_t>((edited[18] << 8) | edited[19]);
                std::memcpy(board.board_settings.data(), edited + 20, 5);
                std::vector<uint8_t> answer = {kMagic[0], kMagic[1], 'S', 'E', 'T', 'C'};
                answer.insert(answer.end(), edited, edited + (kRecordSize - 6));
                answers.push_back(std::move(answer));
                restart_until = Clock::now() + std::chrono::milliseconds(config.restart_ms);
                break;
            }
        }
    }
    for (const auto& answer : answers) SendTo(answer, from);
}

void DiscoveryAnswerer::Impl::Run() {
    uint8_t buffer[2048];
    while (!stop) {
        pollfd waiting{socket, POLLIN, 0};
        int ready = ::poll(&waiting, 1, kPollMs);
        if (ready <= 0) continue;
        sockaddr_in from{};
        socklen_t from_length = sizeof from;
        ssize_t n = ::recvfrom(socket, buffer, sizeof buffer, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                               &from_length);
        if (n < 0) continue;
        Answer(buffer, static_cast<size_t>(n), from);
    }
}

DiscoveryAnswerer::DiscoveryAnswerer(DiscoveryConfig config) : impl_(std::make_unique<Impl>(std::move(config))) {}

DiscoveryAnswerer::~DiscoveryAnswerer() { Stop(); }

bool DiscoveryAnswerer::Start() {
    if (impl_->thread.joinable()) return true;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(impl_->config.port);
    auto fail = [&](const std::string& what) {
        std::lock_guard<std::mutex> guard(impl_->lock);
        impl_->last_error = what + ": " + std::strerror(errno);
        if (impl_->socket >= 0) ::close(impl_->socket);
        impl_->socket = -1;
        return false;
    };
    if (!ParseLoopback(impl_->config.address, &local.sin_addr)) {
        errno = EINVAL;
        return fail("address " + impl_->config.address + " is not a loopback address");
    }
    impl_->socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (impl_->socket < 0) return fail("socket");
    int on = 1;
    ::setsockopt(impl_->socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(impl_->socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return fail("bind");
    sockaddr_in bound{};
    socklen_t bound_length = sizeof bound;
    ::getsockname(impl_->socket, reinterpret_cast<sockaddr*>(&bound), &bound_length);
    impl_->port = ntohs(bound.sin_port);
    impl_->stop = false;
    impl_->thread = std::thread([impl = impl_.get()] { impl->Run(); });
    return true;
}

void DiscoveryAnswerer::Stop() {
    impl_->stop = true;
    if (impl_->thread.joinable()) impl_->thread.join();
    if (impl_->socket >= 0) ::close(impl_->socket);
    impl_->socket = -1;
}

uint16_t DiscoveryAnswerer::Port() const { return impl_->port; }

std::string DiscoveryAnswerer::LastError() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return impl_->last_error;
}

void DiscoveryAnswerer::SetBoards(std::vector<DiscoveryBoard> boards) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    impl_->boards = std::move(boards);
}

std::vector<DiscoveryBoard> DiscoveryAnswerer::Boards() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return impl_->boards;
}

void DiscoveryAnswerer::AddExtraAnswer(std::vector<uint8_t> datagram) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    impl_->extra_answers.push_back(std::move(datagram));
}

std::vector<std::vector<uint8_t>> DiscoveryAnswerer::Requests() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return impl_->requests;
}

size_t DiscoveryAnswerer::Searches() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return impl_->searches;
}

size_t DiscoveryAnswerer::Configurations() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return impl_->configurations;
}

bool DiscoveryAnswerer::Restarting() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return Clock::now() < impl_->restart_until;
}

}  // namespace orvpw::sim
