// The one printer controller of the process. It owns the open transport, the
// command-set generation, the retry count, the last command, the last answer and the
// last status code. Exports reach it through KDCtrl().
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "core/command_base.h"
#include "core/status_codes.h"
#include "print/heat_table.h"
#include "print/print_buffers.h"
#include "transport/com_port.h"
#include "transport/network.h"

// Port types (m_PortType).
enum KD_PortType : int {
    KD_PORT_ALL = 0,   // search
    KD_PORT_USB = 1,   // FTDI printer
    KD_PORT_COM = 2,   // serial line
    KD_PORT_SCN = 4,   // FTDI scanner
    KD_PORT_NET = 8,   // network, older boards
    KD_PORT_US2 = 16,  // USB printer-class device interface
    KD_PORT_SCD = 32,  // PC/SC device name
    KD_PORT_USC = 64,  // USB scanner device interface
    KD_PORT_NE2 = 128, // network, newer boards
};

// Port types whose newer-form answers carry a status word that becomes the status.
inline bool KD_PortCarriesStatusWord(int portType) {
    return portType == KD_PORT_US2 || portType == KD_PORT_SCD || portType == KD_PORT_USC ||
           portType == KD_PORT_NE2;
}

// Busy code values: what the controller is doing.
enum KD_BusyCode : int { KD_IDLE = 0, KD_READING = 1, KD_WRITING = 2, KD_EXCHANGING = 3 };

// Transports and I/O bookkeeping.
class CKDDevice : public CKDCommand {
public:
    static constexpr int kResponseBufferSize = 8300;
    static constexpr int kReadChunk = 1024;

    CKDDevice();
    ~CKDDevice() override;

    std::atomic<int> m_NewKDCL{0};
    int m_LastCommandId = 0;
    std::atomic<int> m_RetryTimes{3};
    std::atomic<int> m_PortType{KD_PORT_ALL};
    std::atomic<int> m_bFwVersion{-1};
    std::atomic<int> m_Reopened{0};
    std::atomic<int> m_PurgeNeeded{0};
    std::atomic<int> m_nLastStatusCd{0};
    uint16_t m_RspStatusWord = 0;
    uint32_t m_RspDataLength = 0;
    uint8_t m_LastCommandHeader[5] = {};
    uint8_t m_RspHeader[11] = {};
    int m_RspCount = 0;
    uint8_t m_RspData[kResponseBufferSize] = {};

    CKDNetwork m_NetDevice;
    CKDComPort m_ComDevice;

    std::string m_Description = "CARD PRINTER";
    std::atomic<uint32_t> m_DevArrivalTime{0};
    std::atomic<uint32_t> m_DevRemoveTime{0};

    // Optional caller buffer for one long answer, with its size.
    uint8_t* g_pRxBuffer = nullptr;
    int g_nRxBufferSize = 0;
    int m_RxFilled = 0;
    int g_nRspSize = 0;

    std::atomic<int> m_BusyCode{KD_IDLE};
    std::atomic<int> m_Active{0};
    std::atomic<uint32_t> m_LastIoTick{0};
    std::atomic<int> m_OpenType{1};
    int m_ExpectedAnswers = 0;
    uint32_t m_LocationId = 0;         // of the open port
    uint32_t m_RememberedLocationId = 0;

    // Transport dispatch by m_PortType.
    int CP_WriteDevice(const uint8_t* data, int length, int* written);
    int CP_ReadDevice(uint8_t* buffer, int timeoutUs, int* received);
    int CP_PurgeDevice();
    int CP_OpenDevice();
    void CP_CloseDevice();
    bool CP_IsOpen();
    uint32_t CP_LocationId();

    void TouchIo() { m_LastIoTick = NowTick(); }
    static uint32_t NowTick();
};

class CKDCtrl : public CKDDevice {
public:
    CKDCtrl();
    ~CKDCtrl() override;

    int SetStatus(int status) {
        m_nLastStatusCd = status;
        return status;
    }
    int LastStatus() const { return m_nLastStatusCd; }
    void SetNewKDCL(int value);

    // Port state (export frame helpers).
    int KD_PortCheck(int force);
    int KD_ClearReadBuffer(int force);
    int KD_CheckPortOpen();
    int KD_PrinterClose();
    int KD_PrinterOpen();
    int KD_FreeLibrary();
    void IdleReleaseTick();  // the one-second idle timer
    // Claims the event loop for the calling thread and starts the idle timer (once).
    void KD_BeginMsgWindow();

    // Exchange engine.
    int KD_PortWriteRead(const uint8_t* command, int length, int answerType, int timeoutUs,
                         int flag);
    int KD_PortWriteRead_RCP(const uint8_t* command, int length, int timeoutUs);
    int KD_ReadResponse(int answerType, int timeoutUs, int flag, int longAnswer);
    int KD_ResolveStatus(int status, int flag);

    // Builds command `id` in the printer's generation and exchanges it.
    int KD_Exchange(int id, int answerType, int timeoutUs, int flag, int p1 = 0, int p2 = 0,
                    int p3 = 0, int p4 = 0, int p5 = 0, const uint8_t* data = nullptr,
                    int dataLength = 0);
    // Builds command `id` in the printer's generation into `out`; returns its length.
    int KD_MakeCommand(int id, uint8_t* out, int outSize, int p1 = 0, int p2 = 0, int p3 = 0,
                       int p4 = 0, int p5 = 0, const uint8_t* data = nullptr,
                       int dataLength = 0);

    // Open and identify.
    int KD_OpenDevice(const char* name, uint32_t flags);
    int KD_OpenPortName(const wchar_t* portName);

    // Port selection and listing (transport/port_select.cpp).
    // Size of the text a listing query writes (terminating zero included).
    static constexpr size_t kDeviceTextSize = 64;
    // Count (low four flag bits 0) into *countOrIndex, or the text of entry *countOrIndex
    // into `output` (kDeviceTextSize bytes; 4 bytes for a location ID).
    int KD_ListDevices(uint32_t* countOrIndex, char* output, uint32_t flags);
    // Selects nPortType (closing another port) and counts its devices.
    int KD_GetConnectedDevices(int portType, uint32_t* count);
    int KD_SetDescription(const char* description);
    // Listing flag of a port type (FTDI printers for unknown types).
    static uint32_t KD_ListFlagForPortType(int portType);
    // The search of KD_PortCheck with port type 0: USB printers, then network boards; true
    // when one of them was opened.
    bool KD_SearchAndOpen();
    int KD_GetPrinterInfo(std::string* version, int* type, int* model);
    int KD_GetFwVersion();
    int KD_GetModelType(int* modelType, int* oemType);
    int KD_ResetDevice();
    void KD_Identify();
    int KD_GetRibbonMaker();

    // Cross-thread guard of exchanges: one thread drives the printer at a time; nested
    // exchanges on that thread go on. Waits in 20-ms pumping steps, 4 after 30 s.
    int AcquirePrinter();
    bool TryAcquirePrinter();
    void ReleasePrinter();
    bool BusyInOtherThread() const;

    std::atomic<int> m_bFirstOpen{1};
    std::atomic<int> m_ImageJobs{0};
    int m_RibbonMaker = 0;
    int m_bLogRaw = 0;        // keep raw job and page files
    int m_ToneSetNumber = 0;          // section of the tone file in use
    heat::HeatTableState m_HeatTable;  // rows last installed
    CKDPrintBuffers m_PrintBuffers;    // the five print canvases and their state words
    int m_ModelType = 0;
    int m_OemType = 0;
    std::string m_SerialNumber;
    std::string m_SettingsPath;

    // Tunable waits (milliseconds); tests shorten them.
    struct Waits {
        uint32_t busyLimitMs = 30000;
        uint32_t transportRetryMs = 2100;
        uint32_t resendPauseMs = 2000;
        uint32_t openRetryMs = 500;
        uint32_t recoveryPauseMs = 3000;
        uint32_t idleReleaseMs = 30000;
        uint32_t restartMs = 10000;
        uint32_t olderRestartMs = 25000;
        int statusRequestNewerUs = 3000000;   // status request after a time-out
        int statusRequestOlderUs = 15000000;
    } m_Waits;

private:
    int ResendSequence(int timeoutUs);

    std::atomic<std::thread::id> m_PrinterOwner{};
    int m_PrinterDepth = 0;  // touched by the owner thread only
    int m_IdleTimerId = 0;
    bool m_InPortSearch = false;
};

// The controller, constructed when the library is loaded.
CKDCtrl& KDCtrl();

// Fixed model codes reported for older-form printers (model type 0 and nonzero).
constexpr int kOlderModelCode = 0x0100;
constexpr int kOlderModelCodeWithType = 0x0101;
