// A bare TCP client for tests that talk to the simulator byte by byte (loopback only).
// Every call is bounded by its time-out. The OS calls live in raw_client_posix.cpp.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvpw::sim {

class RawClient {
public:
    RawClient() = default;
    ~RawClient();
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    // Connects to a 127.0.0.0/8 address. False when refused, not loopback, or timed out.
    bool Connect(const std::string& address, uint16_t port, int timeout_ms = 2000);
    bool Connected() const { return socket_ >= 0; }
    bool Send(const std::vector<uint8_t>& bytes);
    // Reads until `count` bytes arrived, the peer closed, or `timeout_ms` passed.
    std::vector<uint8_t> Receive(size_t count, int timeout_ms);
    // Reads until nothing arrives for `quiet_ms` (or `timeout_ms` in total passed).
    std::vector<uint8_t> ReceiveUntilQuiet(int quiet_ms, int timeout_ms);
    // True when the peer closes the connection within `timeout_ms` (bytes before are dropped).
    bool WaitClosed(int timeout_ms);
    // True once a read has seen the peer's close.
    bool PeerClosed() const { return peer_closed_; }
    void Close();

private:
    // One read of up to `room` bytes waiting at most `wait_ms`; -1 on close or error.
    long ReadSome(uint8_t* buffer, size_t room, int wait_ms);

    int socket_ = -1;
    bool peer_closed_ = false;
};

}  // namespace orvpw::sim
