// The network board's side of UDP discovery and configuration, for tests and orvpw-sim.
// Bound to a loopback address only. A "FIND" request gets one "IMIN" answer per board (its
// 31-byte record, padded like a real board's longer answer) and then any extra datagrams a
// test queued; a "SETT" request whose MAC names a board takes the new record, answers "SETC"
// with the same bytes and "restarts": no answers to "FIND" for restart_ms.
//
//   orvpw::sim::DiscoveryConfig config;
//   config.address = "127.0.0.7";
//   config.port = 0;                                  // any free port; Port() reports it
//   config.boards.push_back(orvpw::sim::DiscoveryBoard::ForPrinter("127.0.0.7", 9200, 1));
//   orvpw::sim::DiscoveryAnswerer answerer(config);
//   answerer.Start();
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orvpw::sim {

struct DiscoveryBoard {
    std::array<uint8_t, 6> mac = {0x02, 0x5B, 0xC7, 0x00, 0x00, 0x01};
    std::array<uint8_t, 4> address = {127, 0, 0, 1};
    uint16_t tcp_port = 9200;
    std::array<uint8_t, 8> address_settings = {255, 255, 255, 0, 127, 0, 0, 1};  // record 16..23
    std::array<uint8_t, 5> board_settings = {0, 0, 0, 0, 0};                    // record 26..30

    // A board at a dotted loopback address with the given TCP port and MAC last byte.
    static DiscoveryBoard ForPrinter(const std::string& address, uint16_t tcp_port, uint8_t mac_last);
    // The 31-byte "IMIN" record.
    std::vector<uint8_t> Record() const;
};

struct DiscoveryConfig {
    std::string address = "127.0.0.1";  // must lie in 127.0.0.0/8
    uint16_t port = 5034;               // 0 = any free port
    std::vector<DiscoveryBoard> boards;
    uint32_t restart_ms = 3000;         // silence after a configuration
    bool answer_configuration = true;   // false: ignore "SETT"
};

class DiscoveryAnswerer {
public:
    explicit DiscoveryAnswerer(DiscoveryConfig config);
    ~DiscoveryAnswerer();  // Stop()
    DiscoveryAnswerer(const DiscoveryAnswerer&) = delete;
    DiscoveryAnswerer& operator=(const DiscoveryAnswerer&) = delete;

    // Binds on the calling thread (Port() is valid on return) and starts answering.
    bool Start();
    void Stop();
    uint16_t Port() const;
    std::string LastError() const;

    void SetBoards(std::vector<DiscoveryBoard> boards);
    std::vector<DiscoveryBoard> Boards() const;
    // Datagrams sent after the board answers to every "FIND" (short, foreign, duplicated, ...).
    void AddExtraAnswer(std::vector<uint8_t> datagram);
    // Every datagram received, in order.
    std::vector<std::vector<uint8_t>> Requests() const;
    size_t Searches() const;        // "FIND" requests received
    size_t Configurations() const;  // "SETT" requests received
    bool Restarting() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvpw::sim
