// Opening a printer and learning who it is: port type selection from the name and flags,
// the transport open, the once-per-process identify sequence, version/type/model, restart.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/controller.h"
#include "core/heat_on_open.h"
#include "diag/log.h"
#include "diag/settings.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/profile_file.h"

namespace {

constexpr int kRestart = 1;          // !RRP / "R"
constexpr int kClearError = 2;       // !RCE / "."
constexpr int kVersion = 17;         // !GVT / "V"
constexpr int kStatusRequest = 18;   // !CSS / "S"
constexpr int kRibbonMakerCmd = 46;  // !LRM
constexpr int kModelType = 54;       // !GSI / "GSI"
constexpr int kSerialNumber = 64;    // !GPS
constexpr int kSetDate = 264;        // !ICD

int DeviceTypeFromFlags(uint32_t flags) {
    static const struct { uint32_t bit; int type; } order[] = {
        {0x1000000, KD_PORT_USB}, {0x2000000, KD_PORT_COM}, {0x4000000, KD_PORT_SCN},
        {0x8000000, KD_PORT_NET}, {0x100000, KD_PORT_US2},  {0x400000, KD_PORT_USC},
        {0x200000, KD_PORT_SCD},  {0x800000, KD_PORT_NE2},
    };
    for (const auto& entry : order)
        if (flags & entry.bit) return entry.type;
    return 0;
}

// Parses a dotted IPv4 address; parts of 256 or more become 0.
bool ParseDotted(const char* name, uint8_t address[4]) {
    int part = 0;
    long value = -1;
    for (const char* p = name;; ++p) {
        char c = *p;
        if (c >= '0' && c <= '9') {
            value = (value < 0 ? 0 : value) * 10 + (c - '0');
            if (value > 100000) value = 100000;
        } else if ((c == '.' || c == '\0') && value >= 0 && part < 4) {
            address[part++] = static_cast<uint8_t>(value >= 256 ? 0 : value);
            value = -1;
            if (c == '\0') break;
        } else {
            return false;
        }
    }
    return part == 4;
}

}  // namespace

int CKDCtrl::KD_OpenDevice(const char* name, uint32_t flags) {
    const std::string deviceName = name ? name : "";
    m_bFwVersion = -1;
    m_Reopened = 0;
    if (CP_IsOpen())
        KD_PrinterClose();
    else
        m_PurgeNeeded = 0;
    KD_Log2("dwFlags = [%08Xh] (D)", flags);
    KD_BeginMsgWindow();

    int deviceType = DeviceTypeFromFlags(flags);
    if (flags == 0 || deviceType == 0) {
        const char* n = deviceName.c_str();
        const size_t length = deviceName.size();
        const int networkType = m_PortType == KD_PORT_NE2 ? KD_PORT_NE2 : KD_PORT_NET;
        if (length == 0)
            deviceType = KD_PORT_USB;
        else if (deviceName.rfind("/dev/tty", 0) == 0 || deviceName.rfind("/dev/pts/", 0) == 0)
            deviceType = KD_PORT_COM;  // a serial device named by its path
        else if (std::strstr(n, "COM"))
            deviceType = KD_PORT_COM;
        else if (std::strstr(n, "USBPRINT"))
            deviceType = KD_PORT_US2;
        else if (std::strstr(n, "USBSCAN"))
            deviceType = KD_PORT_USC;
        else if (std::strstr(n, "SCANNER"))
            deviceType = KD_PORT_SCN;
        else if ((length > 1 && n[1] == '.') || (length > 2 && n[2] == '.'))
            deviceType = networkType;
        else if (length > 3 && n[3] == '.')
            deviceType = networkType;
        else
            deviceType = KD_PORT_USB;
    }
    if (m_PortType == KD_PORT_NET && deviceType == KD_PORT_NE2) m_PortType = KD_PORT_NE2;
    KD_Log1("m_PortType = [%d], iDeviceType = [%d]", m_PortType.load(), deviceType);
    if (m_PortType == KD_PORT_US2) {
        KD_Log1("Go NewORV open");
        deviceType = KD_PORT_US2;
    }

    int portType;
    if (m_PortType != 0 || deviceType != 0) {
        if (m_PortType != 0) deviceType = m_PortType;
    }
    if (deviceType == 0 || deviceType == KD_PORT_US2) {
        // No device-interface printers can be listed on this platform yet.
        portType = KD_PORT_USB;
    } else {
        portType = deviceType;
    }
    m_PortType = portType;
    KD_Log1("m_PortType = [%d] - KD_OpenDevice", portType);
    if (m_PortType == 0) {
        m_PortType = KD_PORT_USB;
        KD_Log1("m_PortType = [%d] - KD_OpenDevice (2nd)", m_PortType.load());
    }

    switch (m_PortType) {
    case KD_PORT_USB:
        m_PortType = KD_PORT_ALL;
        KD_Log1("[ONLY_K_NEW]");
        break;
    case KD_PORT_NET:
    case KD_PORT_NE2: {
        KD_Log1("[OPEN] IP (%s)", deviceName.c_str());
        uint8_t address[4] = {0, 0, 0, 0};
        ParseDotted(deviceName.c_str(), address);
        KD_Log3("%d.%d.%d.%d (%d)", address[0], address[1], address[2], address[3],
                static_cast<int>(deviceName.size()));
        if (m_NetDevice.FindBoard(address) < 0) {
            m_NetDevice.AddBoard(address, CKDNetwork::kNewerBoardPort);
            m_NetDevice.m_NewerBoard = 1;
            KD_Log3("netStatus %d (%d)", m_NetDevice.m_NewerBoard, m_NetDevice.BoardCount());
        }
        if (m_NetDevice.m_NewerBoard) m_PortType = KD_PORT_NE2;
        KD_Log2("[NET] SetDeviceType = [%d]", m_PortType.load());
        char text[16];
        std::snprintf(text, sizeof text, "%d.%d.%d.%d", address[0], address[1], address[2],
                      address[3]);
        m_NetDevice.SetDeviceName(text);
        break;
    }
    case KD_PORT_COM:
        m_ComDevice.SetDeviceName(deviceName.c_str());
        break;
    default:
        break;
    }

    const int portNow = m_PortType;
    SetNewKDCL(portNow == KD_PORT_US2 || portNow == KD_PORT_USC || portNow == KD_PORT_NE2 ? 1 : 0);

    KD_Log1("KD_OpenDevice - KD_PortCheck");
    int status = KD_PortCheck(1);
    if (status == 0) {
        KD_Log1("KD_OpenDevice - KD_GetPrinterInfo");
        if (m_bFirstOpen) {
            KD_Identify();
        } else if (m_bFwVersion < 0) {
            // The identify ran in an earlier open: read the version again so that the
            // firmware gates see the printer that is open now.
            KD_GetPrinterInfo(nullptr, nullptr, nullptr);
        }
        if (m_NewKDCL) {
            KD_Log1("NO KD5X_DATA");
            KD_SendHeatTableOnOpen(*this);
            if (m_bFwVersion > 225) {
                KD_GetRibbonMaker();
            }
        }
        const int fw = m_bFwVersion;
        if (m_NewKDCL && ((fw >= 320 && fw <= 398) || (fw >= 420 && fw <= 499))) {
            plat::LocalTime now = plat::Now();
            uint8_t date[4] = {static_cast<uint8_t>(now.year >> 8), static_cast<uint8_t>(now.year),
                               static_cast<uint8_t>(now.month), static_cast<uint8_t>(now.day)};
            KD_Exchange(kSetDate, kSetDate, 3000000, 0, 0, 0, 0, 0, 0, date, 4);
        }
    }
    return SetStatus(status);
}

int CKDCtrl::KD_PrinterOpen() {
    m_BusyCode = KD_IDLE;
    m_Active = 0;
    TouchIo();
    if (CP_IsOpen()) CP_CloseDevice();
    int status;
    switch (m_PortType) {
    case KD_PORT_NET:
    case KD_PORT_NE2:
    case KD_PORT_COM:
        status = CP_OpenDevice();
        break;
    default:
        status = ERR_DEV_NOT_OPENED;
        break;
    }
    m_LocationId = CP_LocationId();
    if (status != 0) {
        if (m_LocationId == 0 && m_PortType != KD_PORT_ALL &&
            (m_PortType == KD_PORT_NET || m_PortType == KD_PORT_NE2 || m_PortType == KD_PORT_COM)) {
            KD_Log1("[OPEN] LocID is 0 (failed) - KD_PrinterOpen");
            CP_CloseDevice();
            status = ERR_DEV_NOT_FOUND;
        }
        m_Reopened = 1;
        return SetStatus(status);
    }
    if (m_LocationId != m_RememberedLocationId) {
        KD_Log1("[OPEN] Clear SCardMgr class");
        m_RememberedLocationId = 0;
    }
    KD_Log1("KD_PrinterOpen - KD_GetPrinterInfo");
    KD_Identify();
    m_Reopened = 1;
    return SetStatus(0);
}

void CKDCtrl::KD_Identify() {
    KD_Log1("   m_bFirstOpen %d", m_bFirstOpen.load());
    if (!m_bFirstOpen) return;
    m_bFirstOpen = 0;
    KD_Log1("   ========================================");

    std::string serial;
    int status = 0;
    if (m_NewKDCL) {
        status = KD_Exchange(kSerialNumber, 0, 3000000, 1);
        if (status == 0) serial.assign(reinterpret_cast<const char*>(m_RspData),
                                       strnlen(reinterpret_cast<const char*>(m_RspData),
                                               static_cast<size_t>(m_RspCount)));
    } else {
        switch (m_PortType) {
        case KD_PORT_NET:
        case KD_PORT_NE2:
            serial = m_NetDevice.DeviceName();
            break;
        case KD_PORT_COM:
            serial = m_ComDevice.PortName();
            break;
        default:
            break;
        }
    }
    std::string version;
    if (status == 0) {
        KD_Log1("   GET_STATUS check ");
        status = KD_Exchange(kStatusRequest, 0, 5000000, 1);
        if (status != 0) {
            status = KD_Exchange(kClearError, 0, 3000000, 0);
            if (status == ERR_KD_COMMAND_ERROR || status == ERR_KD_USB_TIME_OUT) status = 0;
        }
    }
    if (status == 0) KD_GetPrinterInfo(&version, nullptr, nullptr);
    m_SerialNumber = serial;

    KD_Log1("   ----------------------------------------");
    if (serial.empty() || version.empty()) {
        m_bFirstOpen = 1;
        KD_Log1("   S/N = [%s], FW VER = [%s], m_bFwVersion = [%d] (ERROR)", serial.c_str(),
                version.c_str(), m_bFwVersion.load());
    } else {
        KD_Log1("   S/N = [%s], FW VER = [%s], m_bFwVersion = [%d]", serial.c_str(),
                version.c_str(), m_bFwVersion.load());
    }
    KD_Log1("   ========================================");
    if (m_bFwVersion > 225) KD_GetRibbonMaker();
}

int CKDCtrl::KD_GetRibbonMaker() {
    int status = KD_Exchange(kRibbonMakerCmd, 0, 3000000, 1);
    if (status == 0 && m_RspCount > 0) m_RibbonMaker = m_RspData[0];
    KD_Log1("RibbonMaker      = [%d]", m_RibbonMaker);
    return status;
}

int CKDCtrl::KD_GetPrinterInfo(std::string* version, int* type, int* model) {
    if (version) version->clear();
    if (type) *type = 0;
    if (model) *model = 0;
    const bool newer = m_NewKDCL != 0;
    int status = KD_Exchange(kVersion, 0, newer ? 6000000 : 3000000, 1);
    if (status != 0) return status;
    if (m_RspCount <= 0) return 0;

    std::string text;
    if (newer) {
        if (m_RspCount < 4) return SetStatus(ERR_KD_RESPONSE_FRAME);
        char hex[9];
        std::snprintf(hex, sizeof hex, "%02X%02X%02X%02X", m_RspData[0], m_RspData[1],
                      m_RspData[2], m_RspData[3]);
        text = hex;
        m_bFwVersion = std::atoi(text.c_str() + 5);
        const int count = m_RspCount;
        const uint8_t* data = m_RspData;
        if (type && count >= 6) *type = (data[4] << 8) | data[5];
        if (model && count >= 8) *model = (data[6] << 8) | data[7];
        KD_Log2("Get Version = %s, m_bFwVersion = %d", text.c_str(), m_bFwVersion.load());
    } else {
        text.assign(reinterpret_cast<const char*>(m_RspData),
                    strnlen(reinterpret_cast<const char*>(m_RspData), static_cast<size_t>(m_RspCount)));
        const std::string tail = text.size() > 3 ? text.substr(text.size() - 3) : text;
        m_bFwVersion = std::atoi(tail.c_str());
        KD_Log2("Get Version = %s, m_bFwVersion = %d", text.c_str(), m_bFwVersion.load());
        if (type || model) {
            int modelType = 0;
            int oemType = 0;
            KD_GetModelType(&modelType, &oemType);
            if (model) *model = modelType != 0 ? kOlderModelCodeWithType : kOlderModelCode;
        }
    }
    if (type) KD_Log2("Get Type    = %04Xh", *type);
    if (model) KD_Log2("Get Model   = %04Xh", *model);
    if (version) *version = text;
    return SetStatus(0);
}

int CKDCtrl::KD_GetFwVersion() {
    // The inner read asks for the version only, so it cannot come back here.
    if (m_bFwVersion < 100) KD_GetPrinterInfo(nullptr, nullptr, nullptr);
    return m_bFwVersion;
}

int CKDCtrl::KD_GetModelType(int* modelType, int* oemType) {
    if (KD_GetFwVersion() <= 123) {
        int last = LastStatus();
        return SetStatus(last != 0 ? last : ERR_KD_COMMAND_ERROR);
    }
    int status = KD_Exchange(kModelType, 0, 3000000, 1);
    if (status != 0) return status;
    if (m_RspCount > 0) {
        if (m_NewKDCL) {
            if (m_RspCount < 3) return SetStatus(ERR_KD_RESPONSE_FRAME);
            m_ModelType = m_RspData[1];
            m_OemType = m_RspData[2];
        } else {
            if (m_RspCount < 3) return SetStatus(ERR_KD_RESPONSE_FRAME);
            m_ModelType = m_RspData[0] - '0';
            m_OemType = m_RspData[2] - '0';
        }
        if (modelType) *modelType = m_ModelType;
        if (oemType) *oemType = m_OemType;
    }
    KD_Log2("pModelType = [%d]", m_ModelType);
    KD_Log2("pOemType = [%d]", m_OemType);
    return SetStatus(0);
}

int CKDCtrl::KD_ResetDevice() {
    const int fw = KD_GetFwVersion();
    uint8_t command[64];
    int length = KD_MakeCommand(kRestart, command, sizeof command);
    if (m_NewKDCL) {
        int written = 0;
        CP_WriteDevice(command, length, &written);
        m_BusyCode = KD_IDLE;
        m_Active = 0;
        KD_Log1("NEW ORV : Restarting... (10 sec)");
        KD_PrinterClose();
        KD_PumpMessages(m_Waits.restartMs);
        if (fw > 398) KD_PumpMessages(m_Waits.restartMs);
        KD_PortCheck(1);
    } else {
        KD_PortWriteRead(command, length, 0, 30000000, 0);
        if (m_PortType == KD_PORT_NET || m_PortType == KD_PORT_NE2) {
            KD_PrinterClose();
            KD_PumpMessages(m_Waits.olderRestartMs);
            KD_PortCheck(1);
        } else if (m_PortType == KD_PORT_COM) {
            KD_PumpMessages(m_Waits.olderRestartMs);
        }
    }
    return LastStatus();
}

int CKDCtrl::KD_OpenPortName(const wchar_t* portName) {
    std::string name;
    if (portName) {
        for (const wchar_t* p = portName; *p && name.size() < 260; ++p)
            name.push_back(*p < 0x80 ? static_cast<char>(*p) : '?');
    } else {
        name = plat::ProfileGetString(KD_ToneFilePath(), "ORVPJLMON", "CreatePortEntry", "ORVUSB", 65);
    }
    int portType;
    std::string address;
    if (size_t at = name.find("IP_"); at != std::string::npos) {
        portType = KD_PORT_NET;
        for (size_t i = at + 3; i < name.size() && (std::isdigit(static_cast<unsigned char>(name[i])) || name[i] == '.'); ++i)
            address.push_back(name[i]);
        KD_Log2("KD_PORT_NET or KD_PORT_NE2");
    } else if (name.find("ORVUSB") != std::string::npos) {
        portType = KD_PORT_ALL;
        KD_Log2("KD_PORT_ALL - %s", name.c_str());
    } else if (name.find("USB") != std::string::npos) {
        portType = KD_PORT_US2;
        KD_Log2("KD_PORT_US2");
    } else if (name.find("COM") != std::string::npos) {
        portType = KD_PORT_COM;
        KD_Log2("KD_PORT_COM");
    } else if (name.size() < 7) {
        portType = KD_PORT_ALL;
    } else if (name[1] == '.' || name[2] == '.' || name[3] == '.') {
        portType = KD_PORT_NET;
        address = name;
        KD_Log2("KD_PORT_NET or KD_PORT_NE2");
    } else {
        portType = KD_PORT_ALL;
    }
    m_PortType = portType;
    KD_Log2("m_pPortName = %s, m_PortType = %d", name.c_str(), portType);
    int status;
    if (portType == KD_PORT_NET || portType == KD_PORT_NE2) {
        uint32_t boards = 0;
        KD_GetConnectedDevices(KD_PORT_NET, &boards);
        status = boards == 0 ? ERR_DEV_NOT_FOUND : KD_OpenDevice(address.c_str(), 1);
    } else {
        status = KD_OpenDevice("", 0);
    }
    KD_Log2("m_PortType = %d, iStatus = %d", m_PortType.load(), status);
    return SetStatus(status);
}

void CKDCtrl::KD_BeginMsgWindow() {
    if (m_IdleTimerId != 0 || !plat::EventLoopClaim()) return;
    m_IdleTimerId = plat::EventLoopAddTimer(1000, [this] { IdleReleaseTick(); });
}
