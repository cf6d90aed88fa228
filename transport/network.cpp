#include "transport/network.h"

#include <cstdio>

#include "core/status_codes.h"
#include "diag/log.h"
#include "platform/clock.h"

namespace {

constexpr uint32_t kSendGiveUpMs = 10000;
constexpr uint32_t kSendRetryMs = 10;
constexpr size_t kOlderBoardChunk = 8760;

std::string AddressText(const uint8_t address[4]) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", address[0], address[1], address[2],
                  address[3]);
    return text;
}

// Parses "a.b.c.d"; parts of 256 or more become 0. False when it is not four numbers.
bool ParseAddress(const std::string& text, uint8_t address[4]) {
    int part = 0;
    long value = -1;
    for (size_t i = 0; i <= text.size(); ++i) {
        char c = i < text.size() ? text[i] : '.';
        if (c >= '0' && c <= '9') {
            value = (value < 0 ? 0 : value) * 10 + (c - '0');
            if (value > 100000) value = 100000;
        } else if (c == '.' && value >= 0 && part < 4) {
            address[part++] = static_cast<uint8_t>(value >= 256 ? 0 : value);
            value = -1;
        } else {
            return false;
        }
    }
    return part == 4;
}

}  // namespace

CKDNetwork::CKDNetwork() = default;

CKDNetwork::~CKDNetwork() {
    if (m_Socket >= 0) netsock::CloseSocket(m_Socket);
}

void CKDNetwork::SetDeviceName(const std::string& name) {
    m_DeviceName = name;
    KD_Log2("[NET] SetDeviceName = [%s]", name.c_str());
}

void CKDNetwork::SetRetryTimes(int times) {
    if (times != m_RetryTimes) KD_Log2("[NET] SetRetryTimes = [%d => %d]", m_RetryTimes, times);
    m_RetryTimes = times;
}

int CKDNetwork::FindBoard(const uint8_t address[4]) const {
    for (int i = 0; i < m_BoardCount; ++i) {
        const Board& board = m_Boards[static_cast<size_t>(i)];
        if (board.address[0] == address[0] && board.address[1] == address[1] &&
            board.address[2] == address[2] && board.address[3] == address[3])
            return i;
    }
    return -1;
}

int CKDNetwork::AddBoard(const uint8_t address[4], uint16_t tcpPort) {
    int index = FindBoard(address);
    if (index >= 0) return index;
    if (m_BoardCount >= kMaxBoards) return -1;
    Board& board = m_Boards[static_cast<size_t>(m_BoardCount)];
    for (int i = 0; i < 4; ++i) board.address[i] = address[i];
    board.port = tcpPort;
    return m_BoardCount++;
}

int CKDNetwork::Open() {
    KD_Log2("[NET] Open - %s : %d", m_DeviceName.c_str(), m_TcpPort);
    Close();
    if (m_DeviceName.empty()) return ERR_DEV_NOT_OPENED;
    uint8_t address[4];
    int index = ParseAddress(m_DeviceName, address) ? FindBoard(address) : -1;
    // Boards are learned by discovery or named by an open; an unknown board is not
    // searched for here.
    if (index < 0) return ERR_DEV_NOT_FOUND;
    m_TcpPort = m_Boards[static_cast<size_t>(index)].port;
    KD_Log2("[NET] m_nDeviceCount(%d) i(%d) m_LocalPort - %d", m_BoardCount, index, m_TcpPort);
    if (m_TcpPort < 1) m_TcpPort = kNewerBoardPort;

    int error = 0;
    int socket = netsock::ConnectTcp(AddressText(address), static_cast<uint16_t>(m_TcpPort), &error);
    if (socket < 0) {
        KD_Log1("[NET] %s with error: %d = %s", "connect failed", error, netsock::ErrorText(error));
        return ERR_DEV_NOT_OPENED;
    }
    m_Socket = socket;
    KD_Log2("[NET] SetLocId = [%d => %d]", m_LocationId, 256);
    m_LocationId = 256;
    if (m_TcpPort == kNewerBoardPort) {
        KD_Log3("[NET](SetKDCLType(1)) Open - %s : %d", m_DeviceName.c_str(), m_TcpPort);
        m_NewerBoard = 1;
    }
    return 0;
}

void CKDNetwork::Close() {
    if (m_Socket < 0) return;
    KD_Log2("[NET] Close - %s : %d, m_Socket = %d", m_DeviceName.c_str(), m_TcpPort, m_Socket);
    netsock::CloseSocket(m_Socket);
    m_Socket = -1;
}

int CKDNetwork::Write(const uint8_t* data, int length, int* written) {
    *written = 0;
    m_LastError = 0;
    if (m_Socket < 0 && Open() != 0) return ERR_DEV_INVALID_HANDLE;
    const bool newer = m_NewerBoard != 0;
    size_t sent = 0;
    const size_t total = static_cast<size_t>(length);
    uint32_t lastProgress = plat::TickCount();
    while (sent < total) {
        size_t chunk = total - sent;
        if (!newer && chunk > kOlderBoardChunk) chunk = kOlderBoardChunk;
        if (newer) KD_Log3("[NET] NewORV send");
        int error = 0;
        int result = netsock::SendSome(m_Socket, data + sent, chunk, &error);
        if (result >= 0) {
            sent += static_cast<size_t>(result);
            if (newer) KD_Log2("[NET] nRemain %d iResult %d ", static_cast<int>(total - sent), result);
            if (!newer) lastProgress = plat::TickCount();
            if (!newer && sent < total) plat::SleepMs(kSendRetryMs);
            continue;
        }
        if (result != netsock::kWouldBlock) {
            m_LastError = error ? error : -1;
            KD_Log1("[NET] send Write - %d of %d, iStatus = %d (Err:%d)", static_cast<int>(sent),
                    length, result, error);
            break;
        }
        if (plat::TickCount() - lastProgress >= kSendGiveUpMs) {
            KD_Log1("[NET] send Write Timeout");
            m_LastError = error ? error : -1;
            break;
        }
        plat::SleepMs(kSendRetryMs);
    }
    *written = static_cast<int>(sent);
    if (m_LastError == 0) {
        KD_Log3("[NET] Write - %d of %d, iStatus = %d (Err:%d)", *written, length, 0, 0);
        return 0;
    }
    KD_Log1("[NET] Write - %d of %d, iStatus = %d (Err:%d)", *written, length, -1, m_LastError);
    Close();
    return ERR_DEV_IO_ERROR;
}

int CKDNetwork::Read(uint8_t* buffer, int capacity, int timeoutMs, int* received) {
    *received = 0;
    m_LastError = 0;
    if (m_Socket < 0 && Open() != 0) return ERR_DEV_INVALID_HANDLE;
    int error = 0;
    int result = netsock::ReceiveSome(m_Socket, buffer, static_cast<size_t>(capacity),
                                      timeoutMs < 0 ? 0 : timeoutMs, &error);
    if (result > 0) {
        *received = result;
        KD_Log3("[NET] recv Read - Bytes received: %d - %02Xh ..", result, buffer[0]);
        return 0;
    }
    if (result == netsock::kWouldBlock) return 0;  // nothing within the time-out
    if (result == netsock::kClosed) {
        KD_Log2("[NET] Connection closed");
        m_LastError = 10054;  // the peer reset the connection
    } else {
        KD_Log2("[NET] recv failed");
        m_LastError = error ? error : -1;
    }
    Close();
    KD_Log1("[NET] Read - %d of %d, iStatus = %d (Err:%d)", 0, capacity, result, m_LastError);
    return ERR_DEV_IO_ERROR;
}
