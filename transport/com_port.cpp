#include "transport/com_port.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "core/status_codes.h"
#include "diag/log.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/profile_file.h"

namespace {

constexpr int kWriteWaitMs = 5000;      // stands for the overlapped write's completion wait
constexpr int kThreadWaitMs = 50;       // the read thread checks the open flag this often
constexpr uint32_t kPurgeDumpLimit = 100;
constexpr int kProbeLast = 99;
constexpr uint32_t kEmptyProbePauseMs = 100;

// Line settings by code (SetDeviceName always uses codes 7, 3, 0 and 0).
int BaudForCode(int code) {
    static const int rates[] = {4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200};
    return code >= 0 && code <= 7 ? rates[code] : 57600;
}
int DataBitsForCode(int code) { return code >= 0 && code <= 2 ? 5 + code : 8; }
int ParityForCode(int code) { return code == 1 ? 1 : 0; }
int StopBitsForCode(int code) { return code == 1 || code == 2 ? code : 0; }

// "COM<n>" anywhere in the name: n (0 when there is none).
int ComNumber(const std::string& name) {
    size_t at = name.find("COM");
    if (at == std::string::npos) return 0;
    int number = 0;
    size_t i = at + 3;
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9' && number < 100000; ++i)
        number = number * 10 + (name[i] - '0');
    return i > at + 3 ? number : 0;
}

void CopyText(char* output, size_t outputSize, const std::string& text) {
    if (output == nullptr || outputSize == 0) return;
    size_t n = std::min(text.size(), outputSize - 1);
    std::memcpy(output, text.data(), n);
    output[n] = '\0';
}

std::string ComName(int number) {
    char text[32];
    std::snprintf(text, sizeof text, "\\\\.\\COM%d", number);
    return text;
}

}  // namespace

CKDComPort::CKDComPort() = default;

CKDComPort::~CKDComPort() {
    if (m_Open || m_Thread.joinable() || m_Handle >= 0) Close();
}

// COM1..COM9 keep their digit; every other COM number is its own number, and a device path
// gets a number of its own from 1000 on, the same for the same path during the process.
int CKDComPort::PortNumberForName(const std::string& name) {
    if (int number = ComNumber(name); number > 0 && number < 1000) return number;
    static std::mutex lock;
    static std::map<std::string, int> numbers;
    std::lock_guard<std::mutex> guard(lock);
    auto found = numbers.find(name);
    if (found != numbers.end()) return found->second;
    const int number = 1000 + static_cast<int>(numbers.size());
    numbers.emplace(name, number);
    return number;
}

void CKDComPort::SetDeviceName(const char* name) {
    if (name != nullptr && *name != '\0') {
        m_PortName = name;
        m_PortNumber = PortNumberForName(m_PortName);
    } else {
        m_PortNumber = 1;
        m_PortName = ComName(1);
    }
    const int baudCode = 7, dataCode = 3, parityCode = 0, stopCode = 0;
    KD_Log2("[COM] SetDeviceName - %s (%d), %d, %d, %d, %d", m_PortName.c_str(), m_PortNumber,
            baudCode, dataCode, parityCode, stopCode);
    m_BaudRate = BaudForCode(baudCode);
    m_DataBits = DataBitsForCode(dataCode);
    m_Parity = ParityForCode(parityCode);
    m_StopBits = StopBitsForCode(stopCode);
}

void CKDComPort::SetRetryTimes(int times) {
    if (times != m_RetryTimes) KD_Log2("[COM] SetRetryTimes = [%d => %d]", m_RetryTimes, times);
    m_RetryTimes = times;
}

std::string CKDComPort::DevicePath(const std::string& name) const {
    if (name.compare(0, 5, "/dev/") == 0) return name;
    const int number = ComNumber(name);
    if (number < 1) return name;
    char key[32];
    char fallback[48];
    std::snprintf(key, sizeof key, "COM%d", number);
    std::snprintf(fallback, sizeof fallback, "/dev/ttyS%d", number - 1);
    return plat::ProfileGetString(m_SettingsPath, "COM", key, fallback, 260);
}

uint32_t CKDComPort::BytesHeld() const {
    const uint32_t write = m_RingWrite.load(std::memory_order_acquire);
    const uint32_t read = m_RingRead.load(std::memory_order_acquire);
    return (write + kRingSize - read) % kRingSize;
}

int CKDComPort::Open() {
    KD_Log2("[COM] Open - %s, %d, %d, %d, %d", m_PortName.c_str(), m_BaudRate, m_DataBits, m_Parity,
            m_StopBits);
    if (m_Open || m_Thread.joinable() || m_Handle >= 0) Close();
    const std::string path = DevicePath(m_PortName);
    int error = 0;
    int handle = serialline::Open(path, &error);
    if (handle < 0) {
        KD_Log2("[COM] Open - %s failed (%d: %s)", path.c_str(), error, std::strerror(error));
        return ERR_DEV_NOT_OPENED;
    }
    if (!serialline::Configure(handle, m_BaudRate, m_DataBits, m_Parity, m_StopBits)) {
        KD_Log2("[COM] Open - %s: line set-up failed", path.c_str());
        serialline::Close(handle);
        return ERR_DEV_NOT_OPENED;
    }
    serialline::FlushBoth(handle);
    m_RingRead.store(0, std::memory_order_release);
    m_RingWrite.store(0, std::memory_order_release);
    m_DroppedBytes = 0;
    m_Handle = handle;
    m_Open = true;
    try {
        m_Thread = std::thread([this] { ReadThread(); });
    } catch (...) {
        KD_Log2("[COM] Error while creating CKDComPort_ReadThread");
        Close();
        return ERR_DEV_NOT_OPENED;
    }
    const int location = 256 + m_PortNumber;
    if (location != m_LocationId) KD_Log2("[COM] SetLocId = [%d => %d]", m_LocationId, location);
    m_LocationId = location;
    return 0;
}

int CKDComPort::Close() {
    KD_Log2("[COM] Close - %s, %d, %d, %d, %d", m_PortName.c_str(), m_BaudRate, m_DataBits, m_Parity,
            m_StopBits);
    ClearRxQueue();
    m_Open = false;
    // The read thread leaves before the line it reads is released.
    if (m_Thread.joinable()) m_Thread.join();
    if (m_Handle >= 0) {
        serialline::FlushBoth(m_Handle);
        serialline::Close(m_Handle);
        m_Handle = -1;
    }
    return 0;
}

void CKDComPort::ReadThread() {
    KD_Log2("[COM] Read Thread - Enter");
    uint8_t chunk[kWriteChunk];
    while (m_Open) {
        const int ready = serialline::WaitReadable(m_Handle, kThreadWaitMs);
        if (ready < 0) {
            KD_Log2("[COM] Read Thread - device gone");
            break;
        }
        if (ready == 0) continue;
        bool gone = false;
        uint32_t dropped = 0;
        for (;;) {
            const uint32_t held = BytesHeld();
            if (held >= kReadLimit) {
                // The reader is behind; leave the bytes queued in the line until it catches up.
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                break;
            }
            const size_t want = std::min<size_t>(kReadLimit - held, sizeof chunk);
            const int got = serialline::ReadSome(m_Handle, chunk, want);
            if (got < 0) {
                gone = true;
                break;
            }
            if (got == 0) break;
            uint32_t write = m_RingWrite.load(std::memory_order_relaxed);
            for (int i = 0; i < got; ++i) {
                const uint32_t read = m_RingRead.load(std::memory_order_acquire);
                if ((write + kRingSize - read) % kRingSize >= kRingSize - 1) {
                    ++dropped;
                    continue;
                }
                m_Ring[write] = chunk[i];
                write = (write + 1) % kRingSize;
                m_RingWrite.store(write, std::memory_order_release);
            }
        }
        if (dropped > 0) {
            m_DroppedBytes += dropped;
            KD_Log2("[COM] Read Thread - ring full, %u bytes dropped", dropped);
        }
        if (gone) {
            KD_Log2("[COM] Read Thread - device gone");
            break;
        }
        std::this_thread::yield();
    }
    KD_Log2("[COM] Read Thread - Exit");
}

int CKDComPort::ClearRxQueue() {
    if (m_Open && m_Handle >= 0) serialline::FlushInput(m_Handle);
    const uint32_t held = BytesHeld();
    if (held > 0) {
        uint8_t taken[kPurgeDumpLimit];
        uint32_t read = m_RingRead.load(std::memory_order_relaxed);
        const uint32_t count = std::min(held, kPurgeDumpLimit);
        for (uint32_t i = 0; i < count; ++i) taken[i] = m_Ring[(read + i) % kRingSize];
        KD_Log2("[COM] ClearRxQueue, %d bytes", static_cast<int>(held));
        KD_LogDump(taken, static_cast<int>(count), DUMP_PLAIN);
        // Empty the ring by catching up with the writer: resetting both indexes to 0 would
        // race with a read thread that is storing a byte.
        m_RingRead.store(m_RingWrite.load(std::memory_order_acquire), std::memory_order_release);
    }
    return 0;
}

int CKDComPort::Write(const uint8_t* data, int length, int* written) {
    *written = 0;
    if (!m_Open || m_Handle < 0) return ERR_DEV_NOT_OPENED;
    int status = 0;
    size_t sent = 0;
    const size_t total = length > 0 ? static_cast<size_t>(length) : 0;
    while (sent < total) {
        const size_t chunk = std::min(total - sent, kWriteChunk);
        const size_t done = serialline::WriteAll(m_Handle, data + sent, chunk, kWriteWaitMs);
        sent += done;
        if (done != chunk) {
            status = ERR_KD_RESPONSE_FRAME;  // a chunk went out short
            break;
        }
    }
    *written = static_cast<int>(sent);
    KD_Log2("[COM] CP_WriteDevice - %d of %d, iStatus = %d", *written, length, status);
    return status;
}

int CKDComPort::Read(uint8_t* buffer, int capacity, int timeoutMs, int* received) {
    *received = 0;
    const uint32_t start = plat::TickCount();
    const uint32_t limit = timeoutMs > 0 ? static_cast<uint32_t>(timeoutMs) : 0;
    for (;;) {
        plat::SleepMs(1);
        const uint32_t held = BytesHeld();
        if (held > 0 && capacity > 0) {
            const uint32_t count = std::min(held, static_cast<uint32_t>(capacity));
            uint32_t read = m_RingRead.load(std::memory_order_relaxed);
            for (uint32_t i = 0; i < count; ++i) {
                buffer[i] = m_Ring[read];
                read = (read + 1) % kRingSize;
            }
            m_RingRead.store(read, std::memory_order_release);
            *received = static_cast<int>(count);
            break;
        }
        if (plat::TickCount() - start >= limit) break;
        plat::SleepMs(10);
    }
    KD_Log2("[COM] CP_ReadDevice - %d of %d, iStatus = %d", *received, capacity, 0);
    return 0;
}

int CKDComPort::ListDevices(uint32_t* countOrIndex, char* output, size_t outputSize, uint32_t flags) {
    const uint32_t query = flags & 0xF;
    if (query == 0) {
        m_Listed.clear();
        const int tries = std::max(m_RetryTimes, 1);
        for (int attempt = 0; attempt < tries; ++attempt) {
            for (int number = 1; number <= kProbeLast && static_cast<int>(m_Listed.size()) < kMaxListed;
                 ++number) {
                const std::string name = ComName(number);
                int error = 0;
                int handle = serialline::Open(DevicePath(name), &error);
                if (handle < 0) continue;
                serialline::Close(handle);
                m_Listed.push_back(number);
                KD_Log2("[LIST] %d = %s", number, name.c_str());
            }
            if (!m_Listed.empty()) break;
            KD_PumpMessages(kEmptyProbePauseMs);
        }
        const int count = static_cast<int>(m_Listed.size());
        int status = count > 0 ? 0 : ERR_DEV_NOT_FOUND;
        if (countOrIndex == nullptr)
            status = ERR_DEV_NO_LIST_ENTRY;
        else
            *countOrIndex = static_cast<uint32_t>(count);
        if (count == 0)
            KD_Log2("[COM] Count = %d, Status = %d, retry = %d", count, status, tries);
        for (int i = 0; i < count; ++i)
            KD_Log2("[COM] [%d] - %s", i, ComName(m_Listed[static_cast<size_t>(i)]).c_str());
        return status;
    }
    CopyText(output, outputSize, "");
    if (countOrIndex == nullptr) return ERR_DEV_NO_LIST_ENTRY;
    const int index = static_cast<int>(*countOrIndex);
    const int count = static_cast<int>(m_Listed.size());
    int status = count == 0 ? ERR_DEV_NO_LIST_ENTRY : (index >= 0 && index < count ? 0 : ERR_DEV_NOT_FOUND);
    if (query & 1) {
        const std::string name = status == 0 ? ComName(m_Listed[static_cast<size_t>(index)]) : std::string();
        CopyText(output, outputSize, name);
        KD_Log2("[COM] [%d] S/N=%s, Status = %d", index, name.c_str(), status);
        return status;
    }
    if (query & 2) {
        const std::string text = status == 0 ? m_Description : std::string();
        CopyText(output, outputSize, text);
        KD_Log2("[COM] [%d] DES=%s, Status = %d", index, text.c_str(), status);
        return status;
    }
    return ERR_DEV_NO_LIST_ENTRY;
}
