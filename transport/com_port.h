// CKDComPort: a printer on a serial line (port type 2), 115200 baud 8N1 by default.
//
// Names: "COMn" (also "\\.\COMn") maps to the device path of key "COMn" in section "COM" of
// the settings file, default /dev/ttyS<n-1>; a name beginning with "/dev/" is the path.
//
// Operations used by the transport dispatch:
//   Open          opens the line exclusively, sets it up and starts the read thread;
//                 0 or 1003 (not present, in use, set-up failed). Does not block.
//   Close         stops and joins the read thread, then releases the line; within ~50 ms.
//   Write         writes in chunks of 2048 bytes, each waiting up to 5 s for the line;
//                 0, 1003 (not open) or 5 (a chunk went out short).
//   Read          takes the bytes the read thread has received, waiting up to the time-out
//                 for the first ones; 0, also with 0 bytes after the time-out.
//   ClearRxQueue  drops what is queued in the line and in the ring; 0.
//   ListDevices   the serial part of the device listing: probes COM1..COM99.
// Every line is logged at level 2 and begins with "[COM]".
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

class CKDComPort {
public:
    static constexpr uint32_t kRingSize = 4192;     // holds at most kRingSize - 1 bytes
    static constexpr uint32_t kReadLimit = 4160;    // the read thread stops taking bytes here
    static constexpr size_t kWriteChunk = 2048;
    static constexpr int kMaxListed = 10;

    CKDComPort();
    ~CKDComPort();
    CKDComPort(const CKDComPort&) = delete;
    CKDComPort& operator=(const CKDComPort&) = delete;

    void SetDeviceName(const char* name);
    int Open();
    int Close();
    bool IsOpen() const { return m_Open.load(); }
    int Write(const uint8_t* data, int length, int* written);
    int Read(uint8_t* buffer, int capacity, int timeoutMs, int* received);
    int ClearRxQueue();
    int ListDevices(uint32_t* countOrIndex, char* output, size_t outputSize, uint32_t flags);
    void SetRetryTimes(int times);

    const std::string& PortName() const { return m_PortName; }
    // The device path the port name stands for.
    std::string DevicePath(const std::string& name) const;
    uint32_t BytesHeld() const;

    std::string m_Description = "CARD PRINTER";
    std::string m_SettingsPath;  // settings file with section "COM"
    int m_LocationId = 0;        // 256 + port number after an open
    int m_PortNumber = 1;
    int m_BaudRate = 115200;
    int m_DataBits = 8;
    int m_Parity = 0;    // 0 none, 1 even
    int m_StopBits = 0;  // 0 one, 1 one and a half, 2 two
    std::atomic<uint32_t> m_DroppedBytes{0};  // ring overflows since the open

private:
    void ReadThread();
    static int PortNumberForName(const std::string& name);

    std::string m_PortName = "\\\\.\\COM1";
    int m_Handle = -1;
    std::atomic<bool> m_Open{false};
    std::thread m_Thread;
    int m_RetryTimes = 3;
    std::vector<int> m_Listed;  // COM numbers of the last count query

    // The ring: the read thread alone advances the write index, the caller's thread alone
    // the read index; each publishes its index after the bytes are in place.
    uint8_t m_Ring[kRingSize] = {};
    std::atomic<uint32_t> m_RingWrite{0};
    std::atomic<uint32_t> m_RingRead{0};
};

// Serial line calls (com_port_posix.cpp). Results below 0 are errors.
namespace serialline {
// Opens the device exclusively, non-blocking, without becoming its controlling terminal.
int Open(const std::string& path, int* error);
// Raw mode with the given baud rate, data bits (5..8), parity (0 none, 1 even) and stop
// bits (0 one, 2 two; one and a half is taken as two).
bool Configure(int handle, int baudRate, int dataBits, int parity, int stopBits);
void Close(int handle);
void FlushInput(int handle);
void FlushBoth(int handle);
// Waits up to timeoutMs for input: 1 ready, 0 nothing, -1 the device is gone.
int WaitReadable(int handle, int timeoutMs);
// Bytes queued for reading (0 when unknown).
int QueuedBytes(int handle);
// Reads what is there: bytes (> 0), 0 nothing, -1 the device is gone or failed.
int ReadSome(int handle, uint8_t* buffer, size_t capacity);
// Writes all bytes, waiting up to timeoutMs for the line; returns the bytes written.
size_t WriteAll(int handle, const uint8_t* data, size_t length, int timeoutMs);
}  // namespace serialline
