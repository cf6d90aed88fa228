#include "transport/network.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/status_codes.h"
#include "diag/log.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/profile_file.h"
#include "transport/discovery_packet.h"

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
    if (!ParseAddress(m_DeviceName, address)) return ERR_DEV_NOT_FOUND;
    if (m_BoardCount == 0) {
        int found = 0;
        CP_GetNetConfig(0, &found, nullptr, std::max(m_RetryTimes, 2));
        KD_Log2("[NET] CP_GetConnectedDevices - m_nDeviceCount = %d", found);
    }
    int index = FindBoard(address);
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

// ---------------------------------------------------------------------------------------
// Discovery and configuration

namespace {

constexpr int kMaxDatagramsPerRequest = 100;
constexpr int kRelayAnswerPolls = 10;
constexpr size_t kRelayTextLimit = 1400;  // keeps the message in one datagram

// A safety switch for test machines: with ORVPW_LOOPBACK_ONLY set (and not "0"), discovery,
// configuration and the relay send only to 127.0.0.0/8 and refuse anything else.
bool SendAllowed(const std::string& address) {
    const char* only = std::getenv("ORVPW_LOOPBACK_ONLY");
    if (only == nullptr || *only == '\0' || std::strcmp(only, "0") == 0) return true;
    return discovery::IsLoopbackAddress(address);
}

bool ContainsNoCase(const std::string& text, const char* part) {
    std::string a = text;
    std::string b = part;
    for (char& c : a) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : b) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return a.find(b) != std::string::npos;
}

// The dotted address a queue's device names: "IP_a.b.c.d", "scheme://a.b.c.d[:port]/..." or
// "a.b.c.d"; empty when there is none.
std::string AddressOfQueue(const std::string& uri) {
    std::string rest = uri;
    if (size_t at = rest.find("IP_"); at != std::string::npos) {
        rest = rest.substr(at + 3);
    } else if (size_t scheme = rest.find("://"); scheme != std::string::npos) {
        rest = rest.substr(scheme + 3);
        if (size_t user = rest.find('@'); user != std::string::npos) rest = rest.substr(user + 1);
    }
    size_t end = 0;
    while (end < rest.size() && (std::isdigit(static_cast<unsigned char>(rest[end])) || rest[end] == '.'))
        ++end;
    rest = rest.substr(0, end);
    int dots = static_cast<int>(std::count(rest.begin(), rest.end(), '.'));
    return dots == 3 ? rest : std::string();
}

// The adapter's 4 address bytes, the text and 00h.
std::vector<uint8_t> RelayPacket(const uint8_t address[4], const std::string& text) {
    std::vector<uint8_t> packet(4 + text.size() + 1, 0x00);
    std::memcpy(packet.data(), address, 4);
    std::memcpy(packet.data() + 4, text.data(), text.size());
    return packet;
}

void CopyText(char* output, size_t outputSize, const std::string& text) {
    if (output == nullptr || outputSize == 0) return;
    size_t n = std::min(text.size(), outputSize - 1);
    std::memcpy(output, text.data(), n);
    output[n] = '\0';
}

}  // namespace

void CKDNetwork::LogNetError(const char* what, int error) const {
    KD_Log1("[NET] %s with error: %d = %s", what, error, netsock::ErrorText(error));
}

CKDNetwork::Destination CKDNetwork::DiscoveryDestination() const {
    Destination destination;
    destination.address = plat::ProfileGetString(m_SettingsPath, "NETWORK", "DiscoveryAddress",
                                                 "255.255.255.255", 64);
    destination.port = plat::ProfileGetInt(m_SettingsPath, "NETWORK", "DiscoveryPort", 5034);
    destination.localPort = plat::ProfileGetInt(m_SettingsPath, "NETWORK", "DiscoveryLocalPort", 3742);
    return destination;
}

CKDNetwork::Destination CKDNetwork::RelayDestination() const {
    Destination destination;
    destination.address = plat::ProfileGetString(m_SettingsPath, "NETWORK", "RelayAddress",
                                                 "255.255.255.255", 64);
    destination.port = plat::ProfileGetInt(m_SettingsPath, "NETWORK", "RelayPort", 15034);
    destination.localPort = plat::ProfileGetInt(m_SettingsPath, "NETWORK", "RelayLocalPort", 25034);
    return destination;
}

const uint8_t* CKDNetwork::BoardRecord(int index) const {
    if (index < 0 || index >= m_BoardCount) return nullptr;
    return m_Records[static_cast<size_t>(index)].data();
}

uint16_t CKDNetwork::BoardPort(int index) const {
    if (index < 0 || index >= m_BoardCount) return 0;
    return m_Boards[static_cast<size_t>(index)].port;
}

std::string CKDNetwork::BoardAddressText(int index) const {
    if (index < 0 || index >= m_BoardCount) return {};
    return AddressText(m_Boards[static_cast<size_t>(index)].address);
}

int CKDNetwork::ReadAdapters() {
    m_Adapters = netsock::AdapterAddresses();
    if (m_Adapters.size() > static_cast<size_t>(kMaxAdapters)) m_Adapters.resize(kMaxAdapters);
    KD_Log2("[NET] %s", std::string(90, '-').c_str());
    for (size_t i = 0; i < m_Adapters.size(); ++i)
        KD_Log2("szIpAddr %s (%d)(%d)", m_Adapters[i].c_str(), static_cast<int>(i),
                static_cast<int>(m_Adapters.size()));
    KD_Log2("[NET] %s", std::string(90, '-').c_str());
    return static_cast<int>(m_Adapters.size());
}

bool CKDNetwork::TakeAnswer(int type, const uint8_t* data, size_t size, const uint8_t* payload,
                            int length, bool* stop) {
    const discovery::Answer answer = discovery::ParseAnswer(data, size);
    if (answer.kind == discovery::AnswerKind::board && type == kSearch) {
        if (m_BoardCount >= kMaxBoards) {
            *stop = true;
            return false;
        }
        // A board that answers twice (two adapters, a repeated datagram) is one board.
        for (int i = 0; i < m_BoardCount; ++i) {
            if (std::memcmp(m_Records[static_cast<size_t>(i)].data() + discovery::kMacOffset,
                            answer.record.data() + discovery::kMacOffset, 6) == 0) {
                KD_Log2("[NET] IMIN again from board %d", i);
                return true;
            }
        }
        const size_t slot = static_cast<size_t>(m_BoardCount);
        m_Records[slot] = answer.record;
        for (int i = 0; i < 4; ++i) m_Boards[slot].address[i] = answer.address[i];
        m_Boards[slot].port = answer.tcpPort;
        // Only the newer boards on their fixed port are counted.
        if (answer.tcpPort == kNewerBoardPort) {
            ++m_BoardCount;
            m_NewerBoard = 1;
            m_TcpPort = kNewerBoardPort;
            KD_Log2("[NET 2] IMIN");
        }
        if (m_BoardCount >= kMaxBoards) *stop = true;
        return true;
    }
    if (answer.kind == discovery::AnswerKind::configured && type == kConfigure) {
        if (!discovery::ConfirmsConfiguration(data, size, payload,
                                              length > 0 ? static_cast<size_t>(length) : 0))
            return false;
        *stop = true;
        return true;
    }
    return false;
}

int CKDNetwork::CP_NetCommand(int type, const uint8_t* payload, int length) {
    const Destination destination = DiscoveryDestination();
    KD_Log2("[NET] CP_NetCommand - iType = %d, UDP Port = %d, %d", type, destination.port,
            destination.localPort);
    if (type == kSearch) m_BoardCount = 0;
    if (!SendAllowed(destination.address) || destination.port < 1 || destination.port > 65535 ||
        destination.localPort < 0 || destination.localPort > 65535) {
        KD_Log1("[NET] CP_NetCommand - destination %s:%d refused", destination.address.c_str(),
                destination.port);
        return -1;
    }
    // A loopback destination is reached through the loopback interface, whatever adapter.
    std::string adapter;
    if (discovery::IsLoopbackAddress(destination.address))
        adapter = "127.0.0.1";
    else if (m_AdapterIndex >= 0 && static_cast<size_t>(m_AdapterIndex) < m_Adapters.size())
        adapter = m_Adapters[static_cast<size_t>(m_AdapterIndex)];
    KD_Log2("[NET] [Network Card] szIpAddr[%d] = %s", m_AdapterIndex, adapter.c_str());
    if (adapter.empty()) KD_Log2("[NET] INADDR_ANY (%d)", m_AdapterIndex);

    int error = 0;
    const char* step = "";
    int socket = netsock::OpenUdp(adapter, static_cast<uint16_t>(destination.localPort), &error, &step);
    if (socket < 0) {
        LogNetError((std::string(step) + " failed").c_str(), error);
        return 0;
    }
    const std::vector<uint8_t> packet = discovery::BuildRequest(payload, length);
    int sent = netsock::SendTo(socket, packet.data(), packet.size(), destination.address,
                               static_cast<uint16_t>(destination.port), &error);
    if (sent < 0) {
        LogNetError("sendto failed", error);
        netsock::CloseSocket(socket);
        return 0;
    }
    KD_Log2("[NET] Search - sendto : %d bytes, Recv IP = %s, Port = %d", sent,
            destination.address.c_str(), destination.port);
    KD_LogDump(packet.data(), static_cast<int>(packet.size()), DUMP_DLL_FW);

    KD_PumpMessages(type == kConfigure ? m_Waits.configAnswerMs : m_Waits.searchAnswerMs);

    int result = 0;
    bool stop = false;
    uint8_t datagram[discovery::kMaxDatagram];
    for (int i = 0; i < kMaxDatagramsPerRequest && !stop; ++i) {
        std::string from;
        uint16_t fromPort = 0;
        int received = netsock::ReceiveFrom(socket, datagram, sizeof datagram, &from, &fromPort, &error);
        if (received == netsock::kWouldBlock || received == 0) {
            if (i == 0 && received == netsock::kWouldBlock) KD_Log2("[NET] Search - no answer");
            break;
        }
        if (received < 0) {
            if (i == 0) LogNetError("recvfrom failed", error);
            break;
        }
        KD_Log2("[NET] Search - recvfrom : %d bytes, Send IP = %s, Port = %d", received,
                from.c_str(), fromPort);
        KD_LogDump(datagram, received, DUMP_FW_DLL);
        if (TakeAnswer(type, datagram, static_cast<size_t>(received), payload, length, &stop))
            result = 1;
    }
    netsock::CloseSocket(socket);
    return result;
}

int CKDNetwork::CP_GetNetConfig(int index, int* countOut, uint8_t* recordOut, int seconds) {
    KD_Log2("[NET] CP_GetNetConfig - index = [%d], dwTimeout = [%d]", index, seconds);
    if (countOut) *countOut = 0;
    if (index < 0) return ERR_KD_PARAMETER_ERROR;
    if (m_BoardCount > 0) {
        if (index >= m_BoardCount) return ERR_DEV_NOT_FOUND;
        if (index >= 1) {
            if (countOut) *countOut = m_BoardCount;
            if (recordOut) std::memcpy(recordOut, BoardRecord(index), kBoardRecordSize);
            return 0;
        }
    }
    ReadAdapters();
    const uint32_t start = plat::TickCount();
    const uint32_t limitMs = static_cast<uint32_t>(seconds > 0 ? seconds : 0) * 1000u;
    const size_t adapterSlots = m_Adapters.empty() ? 1 : m_Adapters.size();
    m_AdapterIndex = 0;
    int last = 0;
    for (;;) {
        last = CP_NetCommand(kSearch, reinterpret_cast<const uint8_t*>("FIND"), 4);
        if (last != 0) break;  // found, or nothing can be sent at all
        if (plat::TickCount() - start >= limitMs) break;
        KD_PumpMessages(m_Waits.nextAdapterMs);
        m_AdapterIndex = static_cast<int>((static_cast<size_t>(m_AdapterIndex) + 1) % adapterSlots);
        if (plat::TickCount() - start >= limitMs) break;
    }
    if (countOut) *countOut = m_BoardCount;
    if (recordOut && index < m_BoardCount) std::memcpy(recordOut, BoardRecord(index), kBoardRecordSize);
    return last == 1 ? 0 : ERR_DEV_NOT_FOUND;
}

int CKDNetwork::CP_SetNetConfig(const uint8_t* record) {
    KD_Log2("[NET] CP_SetNetConfig - bOpened = [%d]", IsOpen() ? 1 : 0);
    if (record == nullptr) return ERR_KD_PARAMETER_ERROR;
    if (!discovery::HasBoardMac(record, kBoardRecordSize)) {
        KD_Log1("[NET] CP_SetNetConfig - MAC ADDRESS ERROR");
        return ERR_KD_PARAMETER_ERROR;
    }
    const std::array<uint8_t, kSetPayloadSize> payload = discovery::BuildConfigurationPayload(record);
    if (CP_NetCommand(kConfigure, payload.data(), kSetPayloadSize) == 1) {
        // The board restarts with its new settings; it answers a search again when it is back.
        const uint32_t start = plat::TickCount();
        for (;;) {
            const uint32_t elapsed = plat::TickCount() - start;
            if (elapsed >= m_Waits.restartLimitMs) break;
            KD_Log2("[NET] Restarting... %d / %d ms", static_cast<int>(elapsed),
                    static_cast<int>(m_Waits.restartLimitMs));
            if (elapsed >= m_Waits.restartSearchFromMs &&
                CP_NetCommand(kSearch, reinterpret_cast<const uint8_t*>("FIND"), 4) == 1)
                return 0;
            KD_PumpMessages(m_Waits.restartPassMs);
        }
        return ERR_KD_COMMAND_ERROR;
    }
    return m_BoardCount > 0 ? ERR_KD_COMMAND_ERROR : ERR_DEV_NOT_FOUND;
}

int CKDNetwork::ListDevices(uint32_t* countOrIndex, char* output, size_t outputSize, uint32_t flags) {
    const uint32_t query = flags & 0xF;
    if (query == 0) {
        const int seconds = std::max(m_RetryTimes, 2);
        int count = 0;
        int status = CP_GetNetConfig(0, &count, nullptr, seconds);
        if (count == 0) status = ERR_DEV_NOT_FOUND;
        for (int i = 0; i < count; ++i) {
            KD_Log2("[NET] [%d] - %s, Local Port = [%d]", i, BoardAddressText(i).c_str(), BoardPort(i));
            if (BoardPort(i) == kNewerBoardPort) {
                KD_Log2("[NET 2] NewORV");
                m_NewerBoard = 1;
            }
        }
        if (count == 0) {
            KD_Log2("[NET] Count = %d, Status = %d, retry = %d", count, status, seconds);
            int added = AddInstalledPrinters();
            KD_Log2("[NET] f = %d", added);
            count = m_BoardCount;
            status = count > 0 ? 0 : ERR_DEV_NOT_FOUND;
            KD_Log2("[NET] Count = %d, Status = %d, retry = %d, %d", count, status, seconds, added);
        }
        if (countOrIndex) *countOrIndex = static_cast<uint32_t>(count);
        return status;
    }
    if (countOrIndex == nullptr) return ERR_DEV_NO_LIST_ENTRY;
    const int index = static_cast<int>(*countOrIndex);
    const bool listed = index >= 0 && index < m_BoardCount;
    const int status = listed ? 0 : ERR_DEV_NOT_FOUND;
    if (query & 1) {
        const std::string address = listed ? BoardAddressText(index) : std::string();
        KD_Log2("[NET] [%d] IP = %s, Loacl Port = %d, Status = %d", index, address.c_str(),
                listed ? BoardPort(index) : 0, status);
        if (listed && BoardPort(index) == kNewerBoardPort) {
            KD_Log2("[NET 2] serial NewORV");
            m_NewerBoard = 1;
        }
        CopyText(output, outputSize, address);
        return status;
    }
    if (query & 2) {
        KD_Log2("[NET] [%d] DES=%s, Status = %d", index, listed ? m_Description.c_str() : "", status);
        CopyText(output, outputSize, listed ? m_Description : std::string());
        return status;
    }
    return ERR_DEV_NO_LIST_ENTRY;
}

int CKDNetwork::AddInstalledPrinters() {
    std::vector<InstalledPrinter> printers =
        m_InstalledPrinterSource ? m_InstalledPrinterSource() : KD_QueryInstalledPrinters();
    int added = 0;
    for (const InstalledPrinter& printer : printers) {
        if (!ContainsNoCase(printer.makeAndModel, "Card Printer")) continue;
        const std::string text = AddressOfQueue(printer.deviceUri);
        uint8_t address[4];
        if (text.empty() || !ParseAddress(text, address)) continue;
        KD_Log2("[NET] installed printer %s - %s", printer.name.c_str(), text.c_str());
        if (FindBoard(address) >= 0) continue;
        if (AddBoard(address, kNewerBoardPort) >= 0) ++added;
    }
    if (added > 0) m_NewerBoard = 1;
    return added;
}

int CKDNetwork::RelayErrorMessage(const std::string& text) {
    const Destination destination = RelayDestination();
    if (!SendAllowed(destination.address) || destination.port < 1 || destination.port > 65535 ||
        destination.localPort < 0 || destination.localPort > 65535) {
        KD_Log1("[Error] SendData Code : %d (destination %s refused)", -1, destination.address.c_str());
        return ERR_DEV_NOT_FOUND;
    }
    KD_Log2("[Step 1] WSAStartup");
    std::vector<std::string> adapters;
    if (discovery::IsLoopbackAddress(destination.address)) {
        adapters.push_back("127.0.0.1");
    } else {
        ReadAdapters();
        adapters = m_Adapters;
    }
    KD_Log2("[Step 2] GetAdaptersInfo [p : %p] [p1 : %p]", static_cast<const void*>(&adapters),
            adapters.empty() ? nullptr : static_cast<const void*>(adapters.data()));
    const std::string message = text.size() > kRelayTextLimit ? text.substr(0, kRelayTextLimit) : text;
    for (const std::string& adapter : adapters) {
        KD_Log2("[Step 3] Server IP : %s", adapter.c_str());
        uint8_t address[4];
        if (adapter == "0.0.0.0" || !ParseAddress(adapter, address)) continue;
        int error = 0;
        const char* step = "";
        KD_Log2("[Step 4] Create Socket for UDP");
        int socket = netsock::OpenUdp(adapter, static_cast<uint16_t>(destination.localPort), &error, &step);
        if (socket < 0) {
            if (std::strcmp(step, "bind") == 0)
                KD_Log1("[Error] Bind Code : %d", error);
            else if (std::strcmp(step, "socket") == 0)
                KD_Log1("[Error] CreateSocket Code : %d", error);
            else
                KD_Log1("[Error] SocketOpt Code : %d", error);
            continue;
        }
        KD_Log2("[Step 5] Change Broad Case");
        KD_Log2("[Step 6] Bind Socket");
        const std::vector<uint8_t> search = RelayPacket(address, "SEARCH_CLIENT");
        if (netsock::SendTo(socket, search.data(), search.size(), destination.address,
                            static_cast<uint16_t>(destination.port), &error) < 0) {
            KD_Log1("[Error] SendData Code : %d", error);
            netsock::CloseSocket(socket);
            continue;
        }
        for (int poll = 0; poll < kRelayAnswerPolls; ++poll) {
            KD_PumpMessages(m_Waits.relayAnswerPollMs);
            uint8_t answer[discovery::kMaxDatagram];
            std::string from;
            uint16_t fromPort = 0;
            int received = netsock::ReceiveFrom(socket, answer, sizeof answer - 1, &from, &fromPort, &error);
            if (received < 11 || std::memcmp(answer, "CLIENT_RECV", 11) != 0) continue;
            answer[received] = 0;
            KD_Log2("Receive Data : %s",
                    std::string(reinterpret_cast<const char*>(answer),
                                strnlen(reinterpret_cast<const char*>(answer), static_cast<size_t>(received)))
                        .c_str());
            const std::vector<uint8_t> packet = RelayPacket(address, "ERROR_" + message);
            if (netsock::SendTo(socket, packet.data(), packet.size(), destination.address,
                                static_cast<uint16_t>(destination.port), &error) < 0) {
                KD_Log1("[Error] Message SendData Code : %d", error);
                netsock::CloseSocket(socket);
                return ERR_DEV_IO_ERROR;
            }
            KD_Log2("Send ErrorMsg : %s", message.c_str());
            netsock::CloseSocket(socket);
            return 0;
        }
        netsock::CloseSocket(socket);
        KD_Log2("[Step 9] GetAdaptersInfo p->Next [p1 : %p]", static_cast<const void*>(&adapter));
    }
    return ERR_DEV_NOT_FOUND;
}
