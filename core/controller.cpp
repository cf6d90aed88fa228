#include "core/controller.h"

#include "api/control_common.h"
#include "core/command_set.h"
#include "core/format.h"
#include "diag/log.h"
#include "diag/settings.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/files.h"
#include "platform/module.h"

// ---------------------------------------------------------------------------------------
// Construction and the process-wide instance

CKDDevice::CKDDevice() {
    uint32_t now = NowTick();
    m_DevArrivalTime = now;
    m_DevRemoveTime = now;
}

CKDDevice::~CKDDevice() { CP_CloseDevice(); }

uint32_t CKDDevice::NowTick() { return plat::TickCount(); }

CKDCtrl::CKDCtrl() {
    KD_LoadedSettings settings = KD_LoadSettings();
    m_SettingsPath = settings.settingsPath;
    m_RetryTimes = settings.retryTimes;
    m_NetDevice.SetRetryTimes(settings.retryTimes);
    m_NetDevice.m_SettingsPath = m_SettingsPath;
    m_ComDevice.m_SettingsPath = m_SettingsPath;
    m_ComDevice.SetRetryTimes(settings.retryTimes);
    m_bLogRaw = settings.logRaw;
    m_PrintBuffers.m_RibbonPass = settings.ribbonPass;
    m_PrintBuffers.m_ColorAdjust.type = settings.colorAdjustType;
    m_PrintBuffers.m_bLogImage = settings.logImage;
    // Default colour profiles beside the library, then the configured ribbon maker (the
    // change does nothing while it equals the current one).
    kdapi::ControlState& control = kdapi::KD_ControlState();
    control.monitorProfile = plat::JoinPath(plat::LibraryFolder(), "ORVMNTR01.ICC");
    control.printerProfile = plat::JoinPath(plat::LibraryFolder(), "ORVPRTR01.ICM");
    kdapi::KD_ChangeRibbonMaker(*this, settings.ribbonMaker);
}

CKDCtrl::~CKDCtrl() {
    if (m_IdleTimerId) plat::EventLoopRemoveTimer(m_IdleTimerId);
    if (CP_IsOpen()) {
        int status = KD_PrinterClose();
        KD_Log2("KD_PrinterClose( ), iStatus = [%d]", status);
    }
    KD_Log1("[E]CKDCtrl::~CKDCtrl -------------------------------------------------------------------------");
}

CKDCtrl& KDCtrl() {
    static CKDCtrl controller;
    return controller;
}

namespace {
// Construct the controller when the library is loaded, as the settings and log expect.
[[maybe_unused]] const bool g_ControllerLoaded = (KDCtrl(), true);
}  // namespace

void CKDCtrl::SetNewKDCL(int value) {
    int previous = m_NewKDCL.exchange(value);
    if (previous != value) KD_Log2("SET m_NewKDCL = %d => %d", previous, value);
}

// ---------------------------------------------------------------------------------------
// Transport dispatch: a switch on the port type. Transports without an implementation on
// this platform yet report their port as not open.

int CKDDevice::CP_WriteDevice(const uint8_t* data, int length, int* written) {
    *written = 0;
    if (length < 3) return m_nLastStatusCd = ERR_KD_COMMAND_ERROR;
    m_BusyCode = KD_WRITING;
    m_Active = 1;
    TouchIo();
    KD_LogDump(data, length, DUMP_DLL_FW);
    int headerLength = length < 5 ? length : 5;
    for (int i = 0; i < 5; ++i) m_LastCommandHeader[i] = 0;
    for (int i = 1; i < headerLength; ++i) m_LastCommandHeader[i - 1] = data[i];
    KD_LogRawTx(data, static_cast<size_t>(length));
    int status;
    switch (m_PortType) {
    case KD_PORT_NET:
    case KD_PORT_NE2:
        if (m_NewKDCL && length > 1024) {
            KD_Log2("BigData 200ms ");
            KD_PumpMessages(200);
        }
        status = m_NetDevice.Write(data, length, written);
        break;
    case KD_PORT_COM:
        status = m_ComDevice.Write(data, length, written);
        break;
    default:
        status = ERR_DEV_NOT_OPENED;
        break;
    }
    m_Active = 0;
    TouchIo();
    return m_nLastStatusCd = status;
}

int CKDDevice::CP_ReadDevice(uint8_t* buffer, int timeoutUs, int* received) {
    *received = 0;
    m_BusyCode = KD_READING;
    m_Active = 1;
    TouchIo();
    int timeoutMs = timeoutUs / 1000;
    int status;
    switch (m_PortType) {
    case KD_PORT_NET:
    case KD_PORT_NE2:
        status = m_NetDevice.Read(buffer, kReadChunk, m_NewKDCL ? timeoutMs * 4 : timeoutMs,
                                  received);
        break;
    case KD_PORT_COM:
        status = m_ComDevice.Read(buffer, kReadChunk, timeoutMs, received);
        break;
    default:
        status = ERR_DEV_NOT_OPENED;
        break;
    }
    if (*received > 0) KD_LogRawRx(buffer, static_cast<size_t>(*received));
    m_Active = 0;
    TouchIo();
    return m_nLastStatusCd = status;
}

int CKDDevice::CP_PurgeDevice() {
    switch (m_PortType) {
    case KD_PORT_NET:
    case KD_PORT_NE2:
    case KD_PORT_US2:
    case KD_PORT_SCD:
    case KD_PORT_USC:
        return 0;  // nothing queued on these transports between exchanges
    case KD_PORT_COM:
        return m_ComDevice.ClearRxQueue();
    default:
        return CP_IsOpen() ? 0 : ERR_DEV_NOT_OPENED;
    }
}

int CKDDevice::CP_OpenDevice() {
    switch (m_PortType) {
    case KD_PORT_NET:
    case KD_PORT_NE2:
        return m_NetDevice.Open();
    case KD_PORT_COM:
        return m_ComDevice.Open();
    default:
        return ERR_DEV_NOT_OPENED;
    }
}

void CKDDevice::CP_CloseDevice() {
    switch (m_PortType) {
    case KD_PORT_NET:
    case KD_PORT_NE2:
        m_NetDevice.Close();
        break;
    case KD_PORT_COM:
        m_ComDevice.Close();
        break;
    default:
        break;
    }
}

bool CKDDevice::CP_IsOpen() {
    switch (m_PortType) {
    case KD_PORT_NET:
    case KD_PORT_NE2:
        return m_NetDevice.IsOpen();
    case KD_PORT_COM:
        return m_ComDevice.IsOpen();
    default:
        return false;
    }
}

uint32_t CKDDevice::CP_LocationId() {
    switch (m_PortType) {
    case KD_PORT_NET:
    case KD_PORT_NE2:
        return static_cast<uint32_t>(m_NetDevice.m_LocationId);
    case KD_PORT_COM:
        return static_cast<uint32_t>(m_ComDevice.m_LocationId);
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------------------
// Port state

int CKDCtrl::KD_CheckPortOpen() {
    return SetStatus(CP_IsOpen() ? 0 : ERR_DEV_NOT_OPENED);
}

int CKDCtrl::KD_PrinterClose() {
    m_PurgeNeeded = 0;
    m_Reopened = 1;
    if (CP_IsOpen()) CP_CloseDevice();
    return SetStatus(0);
}

int CKDCtrl::KD_FreeLibrary() {
    KD_PrinterClose();
    // FTDI port types also unload the driver library; nothing is loaded on this platform yet.
    TouchIo();
    return 0;
}

int CKDCtrl::KD_ClearReadBuffer(int force) {
    int status = KD_PortCheck(0);
    if (status != 0) return SetStatus(status);
    if (m_PurgeNeeded || force) {
        KD_Log2("KD_ClearReadBuffer");
        int purge = CP_PurgeDevice();
        KD_Log2("CP_PurgeDevice, iStatus = [%d]", purge);
        status = KD_ResolveStatus(purge, 0);
        m_PurgeNeeded = 0;
    }
    return SetStatus(status);
}

int CKDCtrl::KD_PortCheck(int force) {
    m_BusyCode = KD_IDLE;
    m_Active = 1;
    TouchIo();
    bool reopenAllowed = force != 0 || m_OpenType != 0;
    int status = CP_IsOpen() ? 0 : ERR_DEV_NOT_OPENED;
    if (status != 0 && reopenAllowed) {
        bool found = false;
        if (m_PortType == KD_PORT_ALL && !m_InPortSearch) {
            // The search lists printers and opens the first that answers; one level of
            // search only, so an open started from here never searches again.
            m_InPortSearch = true;
            found = KD_SearchAndOpen();
            m_InPortSearch = false;
        }
        if (!found) {
            int tries = m_RetryTimes;
            for (int i = 0; i < tries; ++i) {
                status = KD_PrinterOpen();
                if (status == 0) {
                    KD_Log2("KD_PortCheck - OK, KD_PrinterOpen : LastStatus = [%d], i = [%d]",
                            status, i);
                    break;
                }
                if (tries > 1) KD_PumpMessages(m_Waits.openRetryMs);
                KD_Log2("KD_PortCheck - NG, KD_PrinterOpen : LastStatus = [%d], i = [%d]",
                        status, i);
            }
        } else {
            status = 0;
        }
    }
    m_Active = 0;
    TouchIo();
    return SetStatus(status);
}

// ---------------------------------------------------------------------------------------
// Idle release: closes a port that has seen no I/O for a while.

void CKDCtrl::IdleReleaseTick() {
    if (m_Active || m_ImageJobs > 0) return;
    if (!CP_IsOpen()) return;
    if (NowTick() - m_LastIoTick <= m_Waits.idleReleaseMs) return;
    if (TryAcquirePrinter()) {
        KD_FreeLibrary();
        ReleasePrinter();
    }
}

// ---------------------------------------------------------------------------------------
// Cross-thread guard

bool CKDCtrl::TryAcquirePrinter() {
    const std::thread::id self = std::this_thread::get_id();
    if (m_PrinterOwner.load() == self) {
        ++m_PrinterDepth;
        return true;
    }
    std::thread::id none{};
    if (!m_PrinterOwner.compare_exchange_strong(none, self)) return false;
    m_PrinterDepth = 1;
    return true;
}

int CKDCtrl::AcquirePrinter() {
    const std::thread::id self = std::this_thread::get_id();
    if (m_PrinterOwner.load() == self) {
        ++m_PrinterDepth;
        return 0;
    }
    const uint32_t start = NowTick();
    for (;;) {
        std::thread::id none{};
        if (m_PrinterOwner.compare_exchange_strong(none, self)) {
            m_PrinterDepth = 1;
            return 0;
        }
        if (NowTick() - start > m_Waits.busyLimitMs) {
            KD_Log2("Other API in use ==> Failed");
            return SetStatus(ERR_KD_USB_TIME_OUT);
        }
        KD_PumpMessages(20);
    }
}

void CKDCtrl::ReleasePrinter() {
    if (m_PrinterOwner.load() != std::this_thread::get_id()) return;
    if (--m_PrinterDepth == 0) {
        m_BusyCode = KD_IDLE;
        m_PrinterOwner.store(std::thread::id{});
    }
}

bool CKDCtrl::BusyInOtherThread() const {
    std::thread::id owner = m_PrinterOwner.load();
    return owner != std::thread::id{} && owner != std::this_thread::get_id();
}
