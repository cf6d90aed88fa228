/*
 * ORVPW: drives desktop direct-to-card printers.
 *
 * One printer controller per process; every printer export is synchronous and returns 0
 * on success and -1 on failure, leaving a status code in the controller (read it with the
 * status exports). Strings are 8-bit, UTF-8 in a UTF-8 locale. Caller buffers: where a
 * size is stated below, the library writes at most that many bytes (terminating zero
 * included).
 *
 * Each export with a LUM_ twin: LUM_<name> takes the same arguments and does the same.
 */
#ifndef ORVPW_H
#define ORVPW_H

#include <stdint.h>
#include <wchar.h>

#if defined(_WIN32)
#  if defined(ORVPW_BUILDING)
#    define ORVPW_API __declspec(dllexport)
#  else
#    define ORVPW_API __declspec(dllimport)
#  endif
#else
#  define ORVPW_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Log and settings ------------------------------------------------------------ */

/* Writes the log to one file (path with folder), or switches the log off (NULL). Returns 0. */
ORVPW_API int SetLogPathFile(const char* pLogFile);
/* Daily log files pLogPath/pLogFile_YYYYMMDD.log keeping nMonth months (1..12); 0 = off.
   nMonth outside 0..12: -1, status 21. */
ORVPW_API int SetLogPathFileMonth(const char* pLogPath, const char* pLogFile, int nMonth);
/* Reads the command-set generation: 0 older text form, 1 newer framed form. */
ORVPW_API int GetKdclType(int* nType);
/* Sets the command-set generation (no range check). */
ORVPW_API int SetKdclType(int nType);
/* Tries per exchange, clamped to 1..5. */
ORVPW_API int SetRetryTimes(int nTimes);
/* Selects the port type (0 search, 1 FTDI, 2 serial, 4 FTDI scanner, 8 network (older
   boards), 16 USB device interface, 32 PC/SC, 64 USB scanner, 128 network (newer boards));
   a change closes the open port. */
ORVPW_API int SetConnectPort(int PortType);
/* Nonzero (the default): a printer export may open the printer by itself. */
ORVPW_API int SetOpenType(int OpenType);

/* ---- Open, close and identify ---------------------------------------------------- */

/* Opens a printer by name: an IPv4 address ("127.0.0.2") for the network, "COMn" for a
   serial port, a serial number or device name for USB; empty = the first printer found.
   iPortNum is ignored. */
ORVPW_API int OpenDevice(char* pName, int iPortNum);
/* As OpenDevice, with port-type flags (1000000h FTDI, 2000000h serial, 4000000h scanner,
   8000000h network, 100000h USB device interface, 400000h USB scanner, 200000h PC/SC,
   800000h newer network). */
ORVPW_API int OpenDeviceEx(char* pName, uint32_t dwFlags);
/* Opens by port-monitor port name ("IP_a.b.c.d", "COMn", "USB...", "ORVUSB"); NULL = the
   port entry of the spooler settings. Sets the retry count to 1. */
ORVPW_API int OpenPortName(wchar_t* pPortName);
/* Closes the open printer; iDeviceType is ignored. */
ORVPW_API int CloseDevice(int iDeviceType);
/* Closes the port (and unloads the USB driver library); nType is ignored. */
ORVPW_API int KD5_FreeLibrary(int nType);
/* Firmware version text (8 hex digits, newer printers) into pResult: 64 bytes. */
ORVPW_API int Get_PrinterInfo(char* pResult);
/* Version text (64 bytes), printer type and model (either pointer may be NULL). */
ORVPW_API int Get_PrinterInfoEx(char* pVersion, int* pType, int* pModel);
/* Restarts the printer and opens it again (waits 10 to 25 s). */
ORVPW_API int ResetDevice(void);

/* ---- Card movement --------------------------------------------------------------- */

/* Feeds a card from the hopper into the printer (up to 22 s). */
ORVPW_API int Card_Insert(void);

/* ---- LUM_ twins ------------------------------------------------------------------ */

ORVPW_API int LUM_SetLogPathFile(const char* pLogFile);
ORVPW_API int LUM_SetLogPathFileMonth(const char* pLogPath, const char* pLogFile, int nMonth);
ORVPW_API int LUM_SetConnectPort(int PortType);
ORVPW_API int LUM_SetOpenType(int OpenType);
ORVPW_API int LUM_OpenDevice(char* pName, int iPortNum);
ORVPW_API int LUM_OpenDeviceEx(char* pName, uint32_t dwFlags);
ORVPW_API int LUM_CloseDevice(int iDeviceType);
ORVPW_API int LUM_Get_PrinterInfo(char* pResult);
ORVPW_API int LUM_ResetDevice(void);
ORVPW_API int LUM_Card_Insert(void);

#ifdef __cplusplus
}
#endif

/* Size of the version text buffers of Get_PrinterInfo and Get_PrinterInfoEx. */
#define ORVPW_VERSION_TEXT_SIZE 64

#endif /* ORVPW_H */
