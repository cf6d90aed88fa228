// The simulator's socket side: one listening IPv4 socket on a loopback address, at most one
// client (a new connection replaces the old one) and a wake-up channel so another thread can
// interrupt a wait. Used only from the simulator's server thread, except Wake().
// The OS calls live in tcp_endpoint_posix.cpp.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvpw::sim {

class TcpEndpoint {
public:
    TcpEndpoint();
    ~TcpEndpoint();
    TcpEndpoint(const TcpEndpoint&) = delete;
    TcpEndpoint& operator=(const TcpEndpoint&) = delete;

    // Binds and listens on `address` (dotted IPv4 within 127.0.0.0/8) and `port` (0 = any
    // free port). Returns false with a reason in `error`.
    bool Listen(const std::string& address, uint16_t port, std::string& error);
    // The port actually bound (valid after a successful Listen).
    uint16_t BoundPort() const { return bound_port_; }
    bool Listening() const { return listener_ >= 0; }
    // Closes the listening socket: connection attempts are refused until Relisten().
    void CloseListener();
    // Listens again on the same address and port.
    bool Relisten(std::string& error);

    bool HasClient() const { return client_ >= 0; }
    void DropClient();

    enum class WaitResult { timeout, connected, data, client_closed, woken };
    // Waits at most `timeout_ms` for a new connection (accepted, replacing the client), bytes
    // from the client (appended to `received`), the client's close, or Wake().
    WaitResult Wait(int timeout_ms, std::vector<uint8_t>& received);
    // Writes all bytes to the client, giving up after about two seconds of back-pressure.
    // Returns false when the client is gone or stuck (the client is then dropped) or when
    // Wake() interrupted a blocked write.
    bool Send(const uint8_t* data, size_t size);
    // Sleeps up to `ms`; returns true when Wake() cut it short.
    bool Sleep(int ms);
    // Interrupts Wait() or Sleep() on the server thread. Safe from any thread.
    void Wake();

private:
    void DrainWake();

    int listener_ = -1;
    int client_ = -1;
    int wake_read_ = -1;
    int wake_write_ = -1;
    std::string address_;
    uint16_t bound_port_ = 0;
};

}  // namespace orvpw::sim
