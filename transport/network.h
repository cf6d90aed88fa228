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
// The socket calls themselves live in network_posix.cpp.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/command_base.h"

class CKDNetwork : public CKDCommand {
public:
    static constexpr int kMaxBoards = 10;
    static constexpr int kBoardRecordSize = 31;
    static constexpr uint16_t kNewerBoardPort = 9200;

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

private:
    struct Board {
        uint8_t address[4];
        uint16_t port;
    };
    std::array<Board, kMaxBoards> m_Boards{};
    int m_BoardCount = 0;
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
}  // namespace netsock
