// Port selection and the device listing across transports: the flag word of KD_ListDevices,
// the description that selects a port type, and the search of KD_PortCheck.
//
// Transports not built on this platform yet (FTDI, USB device interfaces) list what an
// empty bus lists: no device, status 1002.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "core/controller.h"
#include "diag/log.h"

namespace {

constexpr uint32_t kListCountOnly = 0x80000000u;
constexpr uint32_t kListFtdiPrinter = 0x1000000u;
constexpr uint32_t kListSerial = 0x2000000u;
constexpr uint32_t kListFtdiScanner = 0x4000000u;
constexpr uint32_t kListNetwork = 0x8000000u;
constexpr uint32_t kListUsbPrinter = 0x100000u;
constexpr uint32_t kListPcsc = 0x200000u;
constexpr uint32_t kListUsbScanner = 0x400000u;
constexpr uint32_t kListNewerNetwork = 0x800000u;
constexpr uint32_t kQueryBits = 0xFu;

bool SameNoCase(const std::string& a, const char* b) {
    const size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

void ClearText(char* output, uint32_t flags) {
    if (output == nullptr) return;
    if ((flags & kQueryBits) == 4)
        std::memset(output, 0, 4);
    else
        output[0] = '\0';
}

// An empty bus: the FTDI and device-interface listings until those transports exist here.
int ListEmptyBus(uint32_t* countOrIndex, char* output, uint32_t flags) {
    if ((flags & kQueryBits) == 0) {
        if (countOrIndex) *countOrIndex = 0;
    } else {
        ClearText(output, flags);
    }
    return ERR_DEV_NOT_FOUND;
}

}  // namespace

uint32_t CKDCtrl::KD_ListFlagForPortType(int portType) {
    switch (portType) {
    case KD_PORT_COM: return kListSerial;
    case KD_PORT_SCN: return kListFtdiScanner;
    case KD_PORT_NET: return kListNetwork;
    case KD_PORT_US2: return kListUsbPrinter;
    case KD_PORT_SCD: return kListPcsc;
    case KD_PORT_USC: return kListUsbScanner;
    case KD_PORT_NE2: return kListNewerNetwork;
    default: return kListFtdiPrinter;  // 1, 15 and anything unknown
    }
}

int CKDCtrl::KD_ListDevices(uint32_t* countOrIndex, char* output, uint32_t flags) {
    KD_Log1("   KD_ListDevices - dwFlags = %Xh, m_PortType = %d", flags, m_PortType.load());
    KD_BeginMsgWindow();
    m_ComDevice.SetRetryTimes(m_RetryTimes);
    m_NetDevice.SetRetryTimes(m_RetryTimes);
    const uint32_t query = flags & kQueryBits;
    int status;

    if (flags & (kListFtdiPrinter | kListUsbPrinter)) {
        const int newerBefore = m_NewKDCL;
        KD_Log2("m_NewKDCL = %d , Get Type %d", newerBefore, newerBefore);
        KD_Log2(newerBefore ? "   newtype check  " : "  ListDevice ONLY_K_NEW  ");
        status = ERR_DEV_NOT_FOUND;
        if (flags & kListUsbPrinter) {
            KD_Log1("   KD_US2_LIST (common)");
            status = ListEmptyBus(countOrIndex, output, flags);
        }
        if (newerBefore && (flags & kListFtdiPrinter)) {
            KD_Log1("   KD_USB_LIST (common)");
            KD_Log2("[FTDI] SetDeviceType = [%d]", KD_PORT_USB);
            status = ListEmptyBus(countOrIndex, output, flags);
        } else if (!(flags & kListUsbPrinter)) {
            status = ListEmptyBus(countOrIndex, output, flags);
        }
        return SetStatus(status);
    }

    if (flags & kListFtdiScanner) {
        KD_Log2("[FTDI] SetDeviceType = [%d]", KD_PORT_SCN);
        status = ListEmptyBus(countOrIndex, output, flags);
    } else if (flags & kListSerial) {
        if (query != 0 && output != nullptr) output[0] = '\0';
        status = m_ComDevice.ListDevices(countOrIndex, output, kDeviceTextSize, flags);
    } else if (flags & (kListNetwork | kListNewerNetwork)) {
        if (query != 0 && output != nullptr) output[0] = '\0';
        status = m_NetDevice.ListDevices(countOrIndex, output, kDeviceTextSize, flags);
    } else if (flags & (kListUsbPrinter | kListUsbScanner | kListPcsc)) {
        if (flags & kListPcsc) KD_Log2("[USB] SetDeviceType = [%d]", m_PortType.load());
        status = ListEmptyBus(countOrIndex, output, flags);
        return SetStatus(status);
    } else {
        KD_Log2("[FTDI] SetDeviceType = [%d]", KD_PORT_USB);
        status = ListEmptyBus(countOrIndex, output, flags);
        return SetStatus(status);
    }
    if (m_NetDevice.m_NewerBoard) SetNewKDCL(1);
    (void)kListCountOnly;
    return SetStatus(status);
}

int CKDCtrl::KD_GetConnectedDevices(int portType, uint32_t* count) {
    if (count) *count = 0;
    const uint32_t flags = KD_ListFlagForPortType(portType);
    const bool known = portType == KD_PORT_USB || portType == 15 || portType == KD_PORT_COM ||
                       portType == KD_PORT_SCN || portType == KD_PORT_NET || portType == KD_PORT_US2 ||
                       portType == KD_PORT_SCD || portType == KD_PORT_USC || portType == KD_PORT_NE2;
    if (known && portType != m_PortType) {
        KD_PrinterClose();
        m_PortType = portType;
        KD_Log2("m_PortType = %d - KD_SetConnectPort", portType);
    }
    uint32_t found = 0;
    int status = KD_ListDevices(&found, nullptr, flags);
    if (count) *count = found;
    return SetStatus(status);
}

int CKDCtrl::KD_SetDescription(const char* description) {
    const std::string text = description ? description : "";
    m_Description = text;
    KD_Log2("[FTDI] SetDescription = [%s]", text.c_str());
    m_ComDevice.m_Description = text;
    KD_Log2("[COM] SetDescription = [%s]", text.c_str());
    m_NetDevice.m_Description = text;
    KD_Log2("[NET] SetDescription = [%s]", text.c_str());
    KD_Log2("[USB] SetDescription = [%s]", text.c_str());

    int portType = m_PortType;
    if (SameNoCase(text, "LUMORA SCANNER A") || SameNoCase(text, "CARD SCANNER A"))
        portType = KD_PORT_SCN;
    else if (SameNoCase(text, "LUMORA KD-5000") || SameNoCase(text, "CARD PRINTER"))
        portType = KD_PORT_USB;
    else if (SameNoCase(text, "Smart Card Reader") || SameNoCase(text, "USB Smart Card Reader"))
        portType = KD_PORT_SCD;
    if (portType != m_PortType) {
        KD_PrinterClose();
        KD_Log2("KD_SetDescription - [%s], m_PortType = [%d -> %d]", text.c_str(), m_PortType.load(),
                portType);
        m_PortType = portType;
    }
    if (portType == KD_PORT_USB || portType == KD_PORT_SCN) {
        KD_Log2("[FTDI] SetDeviceType = [%d]", portType);
        KD_Log2("[FTDI] SetDeviceName = [%s]", text.c_str());
    } else if (portType == KD_PORT_US2 || portType == KD_PORT_SCD || portType == KD_PORT_USC) {
        KD_Log2("[USB] SetDeviceType = [%d]", portType);
    }
    return SetStatus(0);
}

bool CKDCtrl::KD_SearchAndOpen() {
    char serial[kDeviceTextSize];
    uint32_t count = 0;
    KD_ListDevices(&count, nullptr, kListFtdiPrinter | kListUsbPrinter);
    KD_Log2("KD_PortCheck - KD_ListDevices : Get Count (USB)");
    for (uint32_t index = 0; index < count; ++index) {
        KD_Log2("KD_PortCheck - KD_ListDevices : Get S/N (USB)");
        uint32_t entry = index;
        serial[0] = '\0';
        KD_ListDevices(&entry, serial, kListFtdiPrinter | kListUsbPrinter | 3);
        KD_Log2("KD_PortCheck - dwIndex = %d, SN: %s", count, serial);
        if (KD_OpenDevice(serial, 1) == 0 && CP_IsOpen()) return true;
    }
    count = 0;
    KD_ListDevices(&count, nullptr, kListNetwork);
    KD_Log2("KD_PortCheck - KD_ListDevices : Get Count (NET)");
    for (uint32_t index = 0; index < count; ++index) {
        m_PortType = KD_PORT_NET;
        KD_Log2("KD_PortCheck - KD_ListDevices : Get S/N (NET)");
        uint32_t entry = index;
        serial[0] = '\0';
        KD_ListDevices(&entry, serial, kListNetwork | 1);
        KD_Log2("KD_PortCheck - dwIndex = %d, SN: %s (NET)", count, serial);
        if (KD_OpenDevice(serial, 1) == 0 && CP_IsOpen()) return true;
    }
    return false;
}
