// Serial line calls of the serial transport: termios on a tty device.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/clock.h"
#include "transport/com_port.h"

namespace serialline {

namespace {
bool SpeedFor(int baudRate, speed_t* speed) {
    switch (baudRate) {
    case 4800: *speed = B4800; return true;
    case 9600: *speed = B9600; return true;
    case 19200: *speed = B19200; return true;
    case 38400: *speed = B38400; return true;
    case 57600: *speed = B57600; return true;
    case 115200: *speed = B115200; return true;
    default: return false;  // 14400 and 56000 have no standard termios speed
    }
}
}  // namespace

int Open(const std::string& path, int* error) {
    *error = 0;
    int handle;
    do {
        handle = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (handle < 0 && errno == EINTR);
    if (handle < 0) {
        *error = errno;
        return -1;
    }
    if (!::isatty(handle) || ::ioctl(handle, TIOCEXCL) != 0) {
        *error = errno ? errno : ENOTTY;
        ::close(handle);
        return -1;
    }
    return handle;
}

bool Configure(int handle, int baudRate, int dataBits, int parity, int stopBits) {
    termios line{};
    if (::tcgetattr(handle, &line) != 0) return false;
    speed_t speed;
    if (!SpeedFor(baudRate, &speed)) return false;
    ::cfmakeraw(&line);
    ::cfsetispeed(&line, speed);
    ::cfsetospeed(&line, speed);
    line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    switch (dataBits) {
    case 5: line.c_cflag |= CS5; break;
    case 6: line.c_cflag |= CS6; break;
    case 7: line.c_cflag |= CS7; break;
    default: line.c_cflag |= CS8; break;
    }
    if (parity == 1) line.c_cflag |= PARENB;
    if (stopBits != 0) line.c_cflag |= CSTOPB;
    line.c_cflag |= CLOCAL | CREAD;
    line.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    // With VMIN 0 a non-blocking read of an empty line returns 0, which looks like a hang-up.
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    return ::tcsetattr(handle, TCSANOW, &line) == 0;
}

void Close(int handle) {
    ::ioctl(handle, TIOCNXCL);
    ::close(handle);
}

void FlushInput(int handle) { ::tcflush(handle, TCIFLUSH); }
void FlushBoth(int handle) { ::tcflush(handle, TCIOFLUSH); }

int WaitReadable(int handle, int timeoutMs) {
    pollfd waiting{handle, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&waiting, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) return -1;
    if (ready == 0) return 0;
    if (waiting.revents & (POLLHUP | POLLERR | POLLNVAL)) return -1;
    return (waiting.revents & POLLIN) ? 1 : 0;
}

int QueuedBytes(int handle) {
    int queued = 0;
    return ::ioctl(handle, FIONREAD, &queued) == 0 ? queued : 0;
}

int ReadSome(int handle, uint8_t* buffer, size_t capacity) {
    for (;;) {
        ssize_t n = ::read(handle, buffer, capacity);
        if (n > 0) return static_cast<int>(n);
        if (n == 0) return -1;  // hang-up: the device went away
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        return -1;
    }
}

size_t WriteAll(int handle, const uint8_t* data, size_t length, int timeoutMs) {
    size_t done = 0;
    const uint32_t start = plat::TickCount();
    while (done < length) {
        ssize_t n = ::write(handle, data + done, length - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
        const uint32_t waited = plat::TickCount() - start;
        if (waited >= static_cast<uint32_t>(timeoutMs)) break;
        pollfd waiting{handle, POLLOUT, 0};
        int ready = ::poll(&waiting, 1, static_cast<int>(static_cast<uint32_t>(timeoutMs) - waited));
        if (ready < 0 && errno != EINTR) break;
        if (ready > 0 && (waiting.revents & (POLLERR | POLLHUP | POLLNVAL))) break;
    }
    return done;
}

}  // namespace serialline
