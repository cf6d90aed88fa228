#include "sim/pty_serial.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace orvpw::sim {

namespace {

constexpr int kPollMs = 20;

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    size_t done = 0;
    int stalls = 0;
    while (done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && ++stalls < 500) {
            pollfd waiting{fd, POLLOUT, 0};
            ::poll(&waiting, 1, 10);
            continue;
        }
        return false;
    }
    return true;
}

}  // namespace

struct PtySerialBridge::Impl {
    Impl(std::string address, uint16_t port) : printer_address(std::move(address)), printer_port(port) {}

    const std::string printer_address;
    const uint16_t printer_port;
    std::string slave_path;
    mutable std::mutex lock;
    std::string last_error;

    int master = -1;
    int slave_keeper = -1;  // keeps the slave side alive between the host's opens
    int printer = -1;
    std::atomic<bool> stop{false};
    std::atomic<bool> unplug{false};
    std::thread thread;

    bool ConnectPrinter() {
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(printer_port);
        if (::inet_pton(AF_INET, printer_address.c_str(), &peer.sin_addr) != 1) return false;
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
            ::close(fd);
            return false;
        }
        printer = fd;
        return true;
    }
    void DropPrinter() {
        if (printer >= 0) ::close(printer);
        printer = -1;
    }
    void ClosePty() {
        if (master >= 0) ::close(master);
        if (slave_keeper >= 0) ::close(slave_keeper);
        master = -1;
        slave_keeper = -1;
    }
    void Run();
};

void PtySerialBridge::Impl::Run() {
    uint8_t buffer[4096];
    while (!stop) {
        if (unplug.exchange(false)) {
            ClosePty();
            DropPrinter();
        }
        if (master < 0) {
            ::usleep(kPollMs * 1000);
            continue;
        }
        pollfd waiting[2] = {{master, POLLIN, 0}, {printer, POLLIN, 0}};
        const nfds_t count = printer >= 0 ? 2 : 1;
        int ready = ::poll(waiting, count, kPollMs);
        if (ready <= 0) continue;
        if (waiting[0].revents & POLLIN) {
            ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0) {
                if (printer < 0) ConnectPrinter();
                if (printer >= 0 && !WriteAll(printer, buffer, static_cast<size_t>(n))) DropPrinter();
            }
        } else if (waiting[0].revents & (POLLHUP | POLLERR)) {
            ::usleep(kPollMs * 1000);  // no slave open right now
        }
        if (count == 2 && (waiting[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            ssize_t n = ::recv(printer, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0)
                WriteAll(master, buffer, static_cast<size_t>(n));
            else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                DropPrinter();
        }
    }
    DropPrinter();
    ClosePty();
}

PtySerialBridge::PtySerialBridge(std::string printer_address, uint16_t printer_port)
    : impl_(std::make_unique<Impl>(std::move(printer_address), printer_port)) {}

PtySerialBridge::~PtySerialBridge() { Stop(); }

bool PtySerialBridge::Start() {
    if (impl_->thread.joinable()) return true;
    auto fail = [&](const char* what) {
        std::lock_guard<std::mutex> guard(impl_->lock);
        impl_->last_error = std::string(what) + ": " + std::strerror(errno);
        impl_->ClosePty();
        return false;
    };
    impl_->master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (impl_->master < 0) return fail("posix_openpt");
    if (::grantpt(impl_->master) != 0 || ::unlockpt(impl_->master) != 0) return fail("grantpt/unlockpt");
    char name[128];
    if (::ptsname_r(impl_->master, name, sizeof name) != 0) return fail("ptsname");
    impl_->slave_path = name;
    impl_->slave_keeper = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (impl_->slave_keeper < 0) return fail("open slave");
    termios line{};
    if (::tcgetattr(impl_->slave_keeper, &line) == 0) {
        ::cfmakeraw(&line);
        ::tcsetattr(impl_->slave_keeper, TCSANOW, &line);
    }
    ::fcntl(impl_->master, F_SETFL, ::fcntl(impl_->master, F_GETFL) | O_NONBLOCK);
    impl_->stop = false;
    impl_->thread = std::thread([impl = impl_.get()] { impl->Run(); });
    return true;
}

void PtySerialBridge::Stop() {
    impl_->stop = true;
    if (impl_->thread.joinable()) impl_->thread.join();
    impl_->ClosePty();
}

const std::string& PtySerialBridge::SlavePath() const { return impl_->slave_path; }

std::string PtySerialBridge::LastError() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return impl_->last_error;
}

void PtySerialBridge::Unplug() { impl_->unplug = true; }

}  // namespace orvpw::sim
