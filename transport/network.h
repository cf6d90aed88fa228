// CKDNetwork: printers on the network, reached over TCP (port types 8 and 128).
//
// Operations used by the transport dispatch:
//   Open      connects to the board named by the device name; blocks until the
//             connection is made or refused. 0, 1002 (board unknown), 1003 (refused,
//             no name).
//   Write     sends every byte, retrying a stalled socket for up to 10 s. 0 or 1004;
//             the connection is closed after a send error.
//   Read      waits up to the time-out for the first bytes, returns what has arrived
//             (at most the buffer). 0 (also with 0 bytes after the time-out) or 1004
//             after a receive error or a closed connection, which also closes the port.
//   Close     never blocks.
// Discovery and configuration over UDP (the board answers a broadcast "FIND" with its record
// and takes a new record with "SETT"):
//   CP_NetCommand    one request and the answers within 1 s (200 ms for "SETT"); blocks.
//   CP_GetNetConfig  searches adapter by adapter for up to the given seconds; 0 or 1002.
//   CP_SetNetConfig  sends a record and waits up to 40 s for the restarted board; 0, 20,
//                    21 (bad record, nothing sent) or 1002.
//   ListDevices      the network part of the device listing; blocks for the search.
//   RelayErrorMessage  hands an error text to a listening client; blocks up to ~1 s per
//                    adapter.
// Destinations and local ports come from section "NETWORK" of the settings file, read at
// each send. The socket calls themselves live in network_posix.cpp, the installed-printer
// query in installed_printers_posix.cpp.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/command_base.h"

class CKDNetwork : public CKDCommand {
public:
    static constexpr int kMaxBoards = 10;
    static constexpr int kBoardRecordSize = 31;
    static constexpr uint16_t kNewerBoardPort = 9200;
    static constexpr int kMaxAdapters = 5;
    static constexpr int kSetPayloadSize = 29;  // "SETT" + record bytes 6..30
    enum NetCommandType : int { kSearch = 1, kConfigure = 2 };

    CKDNetwork();
    ~CKDNetwork() override;

    int Open();
    void Close();
    bool IsOpen() const { return m_Socket >= 0; }
    int Write(const uint8_t* data, int length, int* written);
    int Read(uint8_t* buffer, int capacity, int timeoutMs, int* received);

    // Board table: boards found by discovery or named by an open.
    int FindBoard(const uint8_t address[4]) const;  // index or -1
    int AddBoard(const uint8_t address[4], uint16_t tcpPort);  // index or -1 when full
    int BoardCount() const { return m_BoardCount; }
    void ForgetBoards() { m_BoardCount = 0; }

    void SetDeviceName(const std::string& name);
    const std::string& DeviceName() const { return m_DeviceName; }
    void SetRetryTimes(int times);
    int RetryTimes() const { return m_RetryTimes; }

    int m_NewerBoard = 0;        // 1 when the boards found or opened are of the newer kind
    int m_LocationId = 0;        // 256 while a connection is open
    int m_LastError = 0;         // last socket error, 0 = none
    int m_TcpPort = 0;           // port of the board to open; 9200 when below 1
    std::string m_Description = "CARD PRINTER";
    std::string m_SettingsPath;  // settings file with section "NETWORK"

    // UDP discovery and configuration.
    // 1 when a valid answer arrived, 0 when none did, -1 when nothing could be sent.
    int CP_NetCommand(int type, const uint8_t* payload, int length);
    int CP_GetNetConfig(int index, int* countOut, uint8_t* recordOut, int seconds);
    int CP_SetNetConfig(const uint8_t* record);
    // Network part of KD_ListDevices: count (low bits 0), address (bit 1), description
    // (bit 2). Output text of at most outputSize bytes.
    int ListDevices(uint32_t* countOrIndex, char* output, size_t outputSize, uint32_t flags);
    // Local IPv4 adapter addresses (at most kMaxAdapters, never "0.0.0.0" or loopback).
    int ReadAdapters();
    const std::vector<std::string>& Adapters() const { return m_Adapters; }
    // Boards of installed print queues that name a card printer; returns how many were added.
    int AddInstalledPrinters();
    // Sends an error text to the client that answers the relay's search; 0 when delivered,
    // 1002 when no client answered.
    int RelayErrorMessage(const std::string& text);
    // Record of board `index` (31 bytes) or null beyond the count.
    const uint8_t* BoardRecord(int index) const;
    uint16_t BoardPort(int index) const;
    std::string BoardAddressText(int index) const;

    // A print queue as the installed-printer fallback sees it.
    struct InstalledPrinter {
        std::string name;
        std::string makeAndModel;  // or driver name
        std::string deviceUri;     // "socket://192.168.0.20:9100", "IP_192.168.0.20", ...
    };
    using InstalledPrinterSource = std::function<std::vector<InstalledPrinter>()>;
    // The print-system query; tests put a fixed list here.
    InstalledPrinterSource m_InstalledPrinterSource;

    // Waits of discovery and configuration (milliseconds); tests shorten them.
    struct Waits {
        uint32_t searchAnswerMs = 1000;     // answers to "FIND"
        uint32_t configAnswerMs = 200;      // answer to "SETT"
        uint32_t nextAdapterMs = 100;       // between searches
        uint32_t restartLimitMs = 40000;    // the board's restart after "SETT"
        uint32_t restartSearchFromMs = 25000;
        uint32_t restartPassMs = 1000;
        uint32_t relayAnswerPollMs = 100;   // 10 polls for the relay client's answer
        int boardSearchSeconds = 10;        // the search of GetNetworkBoard
    } m_Waits;

    // Where a discovery or relay request goes, from section "NETWORK".
    struct Destination {
        std::string address;
        int port = 0;
        int localPort = 0;  // 0 = any free port
    };
    Destination DiscoveryDestination() const;
    Destination RelayDestination() const;

private:
    // Takes one datagram of a search or configuration; true when it counts as an answer.
    bool TakeAnswer(int type, const uint8_t* data, size_t size, const uint8_t* payload,
                    int length, bool* stop);
    void LogNetError(const char* what, int error) const;

    struct Board {
        uint8_t address[4];
        uint16_t port;
    };
    std::array<Board, kMaxBoards> m_Boards{};
    std::array<std::array<uint8_t, kBoardRecordSize>, kMaxBoards> m_Records{};
    int m_BoardCount = 0;
    int m_AdapterIndex = 0;
    std::vector<std::string> m_Adapters;
    int m_Socket = -1;
    int m_RetryTimes = 3;
    std::string m_DeviceName;
};

// Socket calls, one function per operation (network_posix.cpp). Results below 0 are
// errors; the error code is stored in *error (0 when none).
namespace netsock {
enum Result : int { kOk = 0, kWouldBlock = -1, kClosed = -2, kFailed = -3 };
int ConnectTcp(const std::string& address, uint16_t port, int* error);  // socket or -1
void CloseSocket(int socket);
// Sends what the socket takes now; returns bytes sent (>= 0) or a Result below 0.
int SendSome(int socket, const uint8_t* data, size_t length, int* error);
// Waits up to timeoutMs for data and receives what is there; bytes (> 0) or a Result
// (kWouldBlock after the time-out).
int ReceiveSome(int socket, uint8_t* buffer, size_t capacity, int timeoutMs, int* error);
const char* ErrorText(int error);

// UDP: a non-blocking socket bound to the address ("" = any) and port (0 = any), with
// broadcast allowed; -1 on failure with *error and *step ("socket", "setsockopt(SO_BROADCAST)",
// "bind").
int OpenUdp(const std::string& bindAddress, uint16_t port, int* error, const char** step);
// Sends one datagram; bytes sent or kFailed.
int SendTo(int socket, const uint8_t* data, size_t length, const std::string& address,
           uint16_t port, int* error);
// Takes one queued datagram without waiting: bytes (>= 0), kWouldBlock or kFailed.
int ReceiveFrom(int socket, uint8_t* buffer, size_t capacity, std::string* fromAddress,
                uint16_t* fromPort, int* error);
// IPv4 addresses of the local adapters that are up, loopback and 0.0.0.0 left out.
std::vector<std::string> AdapterAddresses();
}  // namespace netsock

// Print queues of the print system (installed_printers_posix.cpp).
std::vector<CKDNetwork::InstalledPrinter> KD_QueryInstalledPrinters();
