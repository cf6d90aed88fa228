// Port selection and listing exports, and the network board settings.
#include <cstring>
#include <string>

#include "core/export_frame.h"
#include "core/format.h"
#include "core/lum_alias.h"
#include "diag/log.h"
#include "transport/discovery_packet.h"

namespace {

constexpr uint32_t kQueryBits = 0xFu;
constexpr uint32_t kTransportBits = 0x7FF00000u;

// The caller's text as far as a listing wrote it (kDeviceTextSize bytes at most).
std::string WrittenText(const char* text) {
    if (text == nullptr) return {};
    return std::string(text, strnlen(text, CKDCtrl::kDeviceTextSize));
}

}  // namespace

extern "C" ORVPW_API int ListDevices(uint32_t* pArg1, char* pArg2, uint32_t dwFlags) {
    bool wroteText = false;
    return KD_OpenFrame(
        "ListDevices",
        KD_Format("pArg1 = [%u], dwFlags = [%08Xh]", pArg1 ? *pArg1 : 0u, dwFlags), "KD_ListDevices",
        [&](CKDCtrl& ctrl) {
            KD_Log2("dwFlags = [%08Xh] (D)", dwFlags);
            uint32_t flags = dwFlags;
            if ((flags & 0x80000000u) != 0 || (flags & kTransportBits) == 0) flags |= 0x1000000u;
            if (flags & 0x1000000u) flags |= 0x100000u;
            if (flags & 0x4000000u) flags |= 0x400000u;
            KD_Log1("dwFlags ListDevice = [%08Xh] (E)", flags);
            const uint32_t query = flags & kQueryBits;
            if (query == 0 && pArg1 != nullptr) *pArg1 = 0;
            wroteText = pArg2 != nullptr && query >= 1 && query <= 3;
            return ctrl.KD_ListDevices(pArg1, pArg2, flags);
        },
        [&](CKDCtrl& ctrl) {
            return KD_Format(" : KD_GetLastStatusCd = [%d] , %s", ctrl.LastStatus(),
                             wroteText ? WrittenText(pArg2).c_str() : "");
        });
}
ORVPW_LUM_ALIAS(ListDevices);

extern "C" ORVPW_API int GetConnectedDevices(int nPortType, uint32_t* pCount) {
    return KD_OpenFrame("GetConnectedDevices", KD_Format("nPortType = [%d]", nPortType), nullptr,
                        [&](CKDCtrl& ctrl) {
                            if (pCount == nullptr) return ERR_KD_PARAMETER_ERROR;
                            return ctrl.KD_GetConnectedDevices(nPortType, pCount);
                        });
}

extern "C" ORVPW_API int GetDeviceInformation(int nPortType, uint32_t dwIndex, char* pDescription,
                                              char* pSerial) {
    return KD_OpenFrame(
        "GetDeviceInformation", KD_Format("nPortType = [%d], dwIndex = [%u]", nPortType, dwIndex),
        "KD_GetConnectedDevices", [&](CKDCtrl& ctrl) {
            if (pDescription) pDescription[0] = '\0';
            if (pSerial) pSerial[0] = '\0';
            if (pDescription == nullptr || pSerial == nullptr) return ERR_KD_PARAMETER_ERROR;
            const uint32_t flags = CKDCtrl::KD_ListFlagForPortType(nPortType);
            uint32_t index = dwIndex;
            ctrl.KD_ListDevices(&index, pSerial, flags + 1);
            index = dwIndex;
            return ctrl.KD_ListDevices(&index, pDescription, flags + 2);
        });
}

extern "C" ORVPW_API int GetDevicePath(const char* pSerial, char* pPath) {
    return KD_OpenFrame(
        "GetDevicePath", KD_Format("pSerial = [%s]", pSerial ? pSerial : "(null)"), nullptr,
        [&](CKDCtrl& ctrl) {
            if (pPath) pPath[0] = '\0';
            if (pSerial == nullptr || pPath == nullptr) return ERR_KD_PARAMETER_ERROR;
            if (ctrl.m_PortType != KD_PORT_US2) {
                ctrl.KD_PrinterClose();
                ctrl.m_PortType = KD_PORT_US2;
                KD_Log2("m_PortType = %d - KD_SetConnectPort", KD_PORT_US2);
            }
            uint32_t count = 0;
            ctrl.KD_ListDevices(&count, nullptr, 0x100000u);
            KD_Log2("nCount %d (D)", static_cast<int>(count));
            // An empty serial number names no device (it would otherwise match the first).
            for (uint32_t i = 0; i < count && pSerial[0] != '\0'; ++i) {
                char serial[CKDCtrl::kDeviceTextSize] = "";
                uint32_t index = i;
                if (ctrl.KD_ListDevices(&index, serial, 0x100001u) != 0) continue;
                if (std::strncmp(serial, pSerial, std::strlen(pSerial)) != 0) continue;
                KD_Log2("pSerial %s (D)", pSerial);
                KD_Log2("m_pDeviceName[i] %s (D)", serial);
                // The interface path comes with the device-interface transport.
                break;
            }
            return pPath[0] != '\0' ? 0 : ERR_DEV_NOT_FOUND;
        });
}

// Exported under its C++ name only (see orvpw.h), plus the plain LUM_ twin.
ORVPW_API int SetDescription(char* pDescription) {
    return KD_SettingFrame("SetDescription",
                           KD_Format("pDescription = [%s]", pDescription ? pDescription : ""), nullptr,
                           [&](CKDCtrl& ctrl) {
                               ctrl.AcquirePrinter();
                               int status = ctrl.KD_SetDescription(pDescription);
                               ctrl.ReleasePrinter();
                               return status;
                           });
}

extern "C" ORVPW_API int LUM_SetDescription(char* pDescription) { return SetDescription(pDescription); }

extern "C" ORVPW_API int GetNetworkBoard(int* pCount, uint8_t* pBoard) {
    return KD_OpenFrame("GetNetworkBoard", KD_Format("nIndex = [%d]", pCount ? *pCount : -1), nullptr,
                        [&](CKDCtrl& ctrl) {
                            if (pCount == nullptr) return ERR_KD_PARAMETER_ERROR;
                            int count = 0;
                            int status = ctrl.m_NetDevice.CP_GetNetConfig(
                                *pCount, &count, pBoard, ctrl.m_NetDevice.m_Waits.boardSearchSeconds);
                            KD_Log2("CP_GetNetConfig - iStatus = [%d]", status);
                            *pCount = count;
                            return status;
                        });
}

extern "C" ORVPW_API int SetNetworkBoard(uint8_t* pBoard) {
    return KD_OpenFrame("SetNetworkBoard", "", nullptr, [&](CKDCtrl& ctrl) {
        const bool opened = ctrl.m_NetDevice.IsOpen();
        KD_Log2("m_NetDevice - bOpened = [%d]", opened ? 0 : ERR_DEV_NOT_OPENED);
        // A record the board cannot take is refused before the connection is touched.
        if (pBoard == nullptr || !discovery::HasBoardMac(pBoard, CKDNetwork::kBoardRecordSize)) {
            int status = ctrl.m_NetDevice.CP_SetNetConfig(pBoard);
            KD_Log2("CP_SetNetConfig - iStatus = [%d]", status);
            return status;
        }
        if (opened) KD_Log2("KD_PrinterClose - iStatus = [%d]", ctrl.KD_PrinterClose());
        int status = ctrl.m_NetDevice.CP_SetNetConfig(pBoard);
        KD_Log2("CP_SetNetConfig - iStatus = [%d]", status);
        if (opened) {
            int reopened = ctrl.KD_PrinterOpen();
            KD_Log2("KD_PrinterOpen - iStatus = [%d]", reopened);
            if (status == 0) status = reopened;
        }
        return status;
    });
}
