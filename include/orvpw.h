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

/* ---- Port selection and listing -------------------------------------------------- */

/* Device listing. dwFlags: transport bits 1000000h FTDI printers, 2000000h serial ports,
   4000000h FTDI scanners, 8000000h/800000h network boards, 100000h USB printer-class
   device interfaces, 200000h PC/SC, 400000h USB scanners (no transport bit or bit 31 set:
   USB printers); low four bits 0 = count into *pArg1, else *pArg1 is an index and pArg2
   (ORVPW_DEVICE_TEXT_SIZE bytes) receives 1 its name (serial port "\\.\COMn", network
   "a.b.c.d"), 2 its description, 3 its serial number, 4 its location ID (4 bytes).
   Network counts search by UDP discovery (settings of section "NETWORK" of ORVPW.INI,
   see README) and block for at least 2 s. On this platform the FTDI and device-interface
   buses list as empty: count 0, status 1002. No device: -1, status 1002. */
ORVPW_API int ListDevices(uint32_t* pArg1, char* pArg2, uint32_t dwFlags);
/* Selects nPortType (port types as SetConnectPort; a change closes the open port) and
   counts its devices into *pCount. */
ORVPW_API int GetConnectedDevices(int nPortType, uint32_t* pCount);
/* Name (pSerial) and description (pDescription) of device dwIndex of nPortType, each
   ORVPW_DEVICE_TEXT_SIZE bytes; both are cleared first. */
ORVPW_API int GetDeviceInformation(int nPortType, uint32_t dwIndex, char* pDescription, char* pSerial);
/* Interface path (ORVPW_DEVICE_PATH_SIZE bytes) of the USB device-interface printer whose
   serial number starts with pSerial; selects port type 16. An empty pSerial matches
   nothing. No match: -1, status 1002, empty path. */
ORVPW_API int GetDevicePath(const char* pSerial, char* pPath);
/* Board record (ORVPW_BOARD_RECORD_SIZE bytes) of network board *pCount into pBoard (may be
   NULL); *pCount receives the number of boards. Index 0 searches (up to 10 s); a higher
   index below the count is answered from the last search. Beyond the count: -1, 1002. */
ORVPW_API int GetNetworkBoard(int* pCount, uint8_t* pBoard);
/* Sends an edited board record (from GetNetworkBoard) to the board, which restarts; waits up
   to 40 s for it to answer again and re-opens an open network connection. A record whose
   MAC does not start 02h 5Bh C7h: -1, status 21, nothing sent. Not confirmed: 20 (1002 when
   no board was ever found). */
ORVPW_API int SetNetworkBoard(uint8_t* pBoard);
/* Stores the description that steers the USB search and selects the port type ("CARD
   PRINTER" or "LUMORA KD-5000": 1, "CARD SCANNER A" or "LUMORA SCANNER A": 4, "Smart Card
   Reader" or "USB Smart Card Reader": 32; case does not matter; others keep it). The plain
   name is exported only as this alias; C++ callers may use SetDescription below. */
ORVPW_API int LUM_SetDescription(char* pDescription);

/* ---- Status and messages --------------------------------------------------------- */

/* Status codes share one space: 0 success; 3..98 printer and library conditions (4 no
   answer, 5 bad answer, 20 command not valid or firmware too old, 21 parameter not valid);
   100..115 laminator; 121..176 contact-card reader and memory cards; 180..243 further
   printer conditions; 1000..1040 transport (1003 port not open). The two-character form
   (st0, st1) and its numeric form st0 * 256 + st1 are what printers report, e.g. "1","2"
   (3132h) for 12, card jammed. */

/* The last status as two characters; touches no printer. Either pointer may be NULL.
   Returns 0. */
ORVPW_API int Get_Status(char* st0, char* st1);
/* Asks the printer for its status (or, while another thread is exchanging with it, takes
   the last status) and returns it as two characters. Returns 0; a failure to reach the
   printer is the status itself (e.g. 1003). */
ORVPW_API int Get_StatusEx(char* st0, char* st1);
/* As Get_StatusEx, as the numeric form st0 * 256 + st1 (FFFFh: a code without a form). */
ORVPW_API int GetStatusCode(int* pStatus);
/* Clears the printer's error. -1 with status 20 when the printer cannot clear. */
ORVPW_API int DeviceErrorClear(void);
/* Message language (low 16 bits): 0409h English, 0412h Korean; the default follows the
   locale (LC_ALL, LC_MESSAGES, LANG). */
ORVPW_API int Set_LanguageID(int nLangID);
/* The text of a status into pMessage (ORVPW_STATUS_MESSAGE_SIZE bytes, UTF-8, always
   terminated). nStatus > 0: a numeric two-character form (e.g. 3132h); 0: the last status.
   nType: 0 short text, 1 long text, 2 long text (33 reads "No Changer Module Option"),
   3 English short text, 4 as 3 with the reading of 2. A file "orvmsg%04X.msg" (language
   ID) in the current folder, section [STATUS], key = code in decimal, value = short text
   "||" long text, overrides the built-in texts; orvmsg0409.msg is the fallback. Returns 0. */
ORVPW_API int Get_StatusMessage(int nStatus, int nType, char* pMessage);

/* ---- Card movement --------------------------------------------------------------- */

/* Option values of these exports are passed to the printer unchanged; in the newer command
   set a value that travels as one byte must lie in 0..255 (else -1, status 21). Out
   pointers must not be NULL (status 21) and are zeroed first. */

/* Feeds a card from the hopper into the printer (up to 22 s). */
ORVPW_API int Card_Insert(void);
/* Feeds a card with an insert option (firmware 1.37 and later), else a plain insert. */
ORVPW_API int Card_InsertEx(int nOption);
/* Ejects the card (up to 32 s); cmd is only logged. */
ORVPW_API int Card_Eject(int cmd);
/* Ejects the card with an eject option (8: the top exit, firmware 1.41 and later). */
ORVPW_API int Card_EjectEx(int nOption);
/* Turns the card over in the flipper (firmware below 1.08: ejects it). */
ORVPW_API int Card_Flip(void);
/* Sends the card to the reject exit (newer command set only, else status 20). */
ORVPW_API int Card_Reject(int nOption);
/* Takes a card from the external input slot (older command set, firmware 1.14 and later). */
ORVPW_API int ExtCardInput(void);
/* Hopper state number into *pFeeder. */
ORVPW_API int CheckFeeder(int* pFeeder);
/* Card-path sensor number into *pSensor (newer command set only). */
ORVPW_API int PathSenser(int* pSensor);
/* Card input direction (configuration item 23). */
ORVPW_API int SetCardInputDirection(int nDir);
/* Card input option (item 31; older command set: firmware 1.16 and later). */
ORVPW_API int SetCardInputOption(int nMode);
/* Card ready position (older command set, firmware 1.20 and later). */
ORVPW_API int SetCardReadyPosition(int nType);
/* Card eject and insert times (firmware 1.24 and later); an eject time of 0 may mean the
   printer has no eject timer. */
ORVPW_API int GetCardControlTime(int* pEjectTime, int* pInsertTime);
/* Sets the card eject and insert times (older set: eject 0..60, insert 2..20; newer set:
   insert 0..255); out of range: -1, status 21, nothing sent. */
ORVPW_API int SetCardControlTime(int nEjectTime, int nInsertTime);
/* Runs hopper motor B (newer command set). */
ORVPW_API int HopperMotorBEx(int nType);
/* Flipper soft lock: *pLock 1 locked, 0 unlocked (newer command set). */
ORVPW_API int GetFlipperSoftLock(int* pLock);
/* Locks the flipper when nLock is 1, unlocks it otherwise (newer command set). */
ORVPW_API int SetFlipperSoftLock(int nLock);
/* Hopper type (newer command set). */
ORVPW_API int SetHopperType(int nType);
ORVPW_API int GetHopperType(int* pType);

/* ---- Ribbons --------------------------------------------------------------------- */

/* Ribbon state byte into *pRibbon (firmware 1.16 and later); "ribbon near end" succeeds. */
ORVPW_API int CheckRibbon(int* pRibbon);
/* As CheckRibbon, plus the RF-tag ribbon code into *pRfTagRibbon. */
ORVPW_API int CheckRibbonEx(int* pRibbon, int* pRfTagRibbon);
/* Remaining prints of the ribbon (newer command set, firmware 1.20 and later). */
ORVPW_API int CheckRibbonCount(int* pCount);
/* Synchronises the ribbon to a panel start (firmware 1.20 and later). */
ORVPW_API int SetRibbonSync(void);
/* As SetRibbonSync with a sync value (carried by the newer command set only, 0..255). */
ORVPW_API int SetRibbonSyncEx(int nSync);
/* Ribbon sync option (configuration item 33). */
ORVPW_API int SetRibbonSyncOption(int nType);
/* Ribbon sensor value (firmware 1.17 and later). */
ORVPW_API int GetRibbonSensor(int* pSensor);
ORVPW_API int GetRibbonSensorEx(int* pSensor1, int* pSensor2);
/* Ribbon information text (older command set, firmware 1.24 and later) into pInfo
   (ORVPW_RIBBON_INFO_SIZE bytes, terminated; longer answers are cut); length into *pLen. */
ORVPW_API int GetRibbonInfo(int nType, char* pInfo, int* pLen);
/* Ribbon code character ('1' YMCKO, '3' half-panel YMCKO, ...; 0 unknown) and remaining
   count (firmware 1.24 and later). A bad answer gives status 41. */
ORVPW_API int GetRibbonInfoEx(int nType, int* pCode, int* pCount);
/* Ribbon type of the print path (0 and 2 YMCKO, 5 YMC, 128 half panel, 1 and 7 mono with
   overlay, 4, 6, 8, 11, 12, 14, 15 mono, 9 logo). For 128: nHalfStart 0..50 mm and
   nHalfWidth 35, else status 21. */
ORVPW_API int SetRibbonType(int nRibbonType, int nHalfStart, int nHalfWidth);
/* Ribbon type with a first parameter p1 (newer command set); type 3 means 128. */
ORVPW_API int SetRibbonTypeEx(int p1, int nRibbonType);
/* Calibrates the ribbon sensor (up to 30 s). */
ORVPW_API int SetRibbonSensor(void);
/* Ribbon sensor ADC value (the newer command set does not carry the value). */
ORVPW_API int SetRibbonSensorADC(int nValue);
/* Ribbon sensor ADC value (older command set). */
ORVPW_API int GetRibbonSensorADC(int* pValue);
/* Ribbon type number recorded in the RF tag (newer command set). */
ORVPW_API int GetRFTagRibbonType(int* pType);
ORVPW_API int SetRFTagRibbonType(int nType);
/* RF tag: valid-check byte into *pValid and (newer command set) ORVPW_RF_TAG_SIZE (9) data
   bytes into pTag. */
ORVPW_API int GetRfTag(int* pValid, unsigned char* pTag);
/* Writes the 8 tag bytes of pTag; newer command set: nCode must be a write code (else
   status 20). */
ORVPW_API int SetRfTag(int nCode, const unsigned char* pTag);
/* Ribbon maker (0 DPS, 1 DNP, 2 ITW); selects the colour profiles. */
ORVPW_API int N_GetRibbonMaker(int* pMaker);
ORVPW_API int N_SetRibbonMaker(int nMaker);

/* ---- Parameters and adjustments -------------------------------------------------- */

/* Configuration item as decimal text into pValue (ORVPW_PARAMETER_TEXT_SIZE bytes,
   terminated; longer answers are cut), its length into *pLen. */
ORVPW_API int GetParameters(int nItem, char* pValue, int* pLen);
/* Configuration item as an integer; items the firmware or generation lacks: status 20. */
ORVPW_API int GetParametersEx(int nItem, int* pValue);
ORVPW_API int SetParametersEx(int nItem, int nValue);
ORVPW_API int SetTPHResistance(int nResistance);
/* Intensity of colour 0..5 (else status 21). */
ORVPW_API int AdjustIntensity(int nColor, int nIntensity);
ORVPW_API int OffsetXaxisPrintStartPosition(int nXstart, int nXend);
ORVPW_API int OffsetYaxisPrintStartPosition(int nYstart);
/* Print position fine adjustment (older command set). */
ORVPW_API int PrintPintAdjust(int nOffset);
ORVPW_API int SetMonoPrintMode(int nMode);
ORVPW_API int GetMonoTagOption(int* pValue);
ORVPW_API int SetMonoTagOption(int nValue);
/* Print counter (firmware 1.17 and later). */
ORVPW_API int GetPrintCount(int* pCount);
ORVPW_API int SetPrintCount(int nCount);
/* Card counters 0..6 (newer command set; 5 and 6 from firmware 4.20, else 0). */
ORVPW_API int GetPrintCardCountEx(int* c0, int* c1, int* c2, int* c3, int* c4, int* c5, int* c6);
/* One card counter, nIndex 0..6 (else status 21). */
ORVPW_API int GetPrintCardCount(int nIndex, int* pValue);
ORVPW_API int SetPrintCardCount(int nIndex, int nValue);
ORVPW_API int SetLCDContrast(int nValue);
ORVPW_API int GetLCDContrast(int* pValue);
/* Digital potentiometers (newer command set). */
ORVPW_API int GetDigitalPotentiometer(int nType, int* pValue);
ORVPW_API int SetDigitalPotentiometer(int nType, int nValue);
ORVPW_API int GetSensorPos(int* pPos);
ORVPW_API int SetSensorPos(int nPos);
/* Ribbon motor duty (firmware 1.22 and later). */
ORVPW_API int GetRibbonMotorDuty(int* pValue);
ORVPW_API int SetRibbonMotorDuty(int nValue);
/* Print-image adjustments kept in the library (no printer traffic, status untouched):
   0, or -1 for a value out of range. */
ORVPW_API int SetRGB(unsigned nR, unsigned nG, unsigned nB);           /* each 1..100 */
ORVPW_API int SetAdjustBC(unsigned nBrightness, unsigned nContrast);   /* each 1..100 */
ORVPW_API int SetSharpening(unsigned nValue);                          /* 0..10 */
ORVPW_API int SetDiffusion(unsigned nEnable);                          /* 0 or 1 */

/* ---- Printer information, maintenance and network -------------------------------- */

/* Option and type words (newer command set). */
ORVPW_API int GetOptionInformation(int* pOption, int* pType);
/* Writes the option and type words (each 0..FFFFh). */
ORVPW_API int SetOptionInformation(int nOption, int nType);
/* System-information record of type nType into pData (ORVPW_SYSTEM_INFO_SIZE bytes; a
   longer record gives status 70), its length into *pLen (0 when the printer answers
   another type). Newer command set. */
ORVPW_API int GetSystemInformation(int nType, int* pLen, unsigned char* pData);
/* Writes nSize (0..8192) bytes of pData as the record of type nType. */
ORVPW_API int SetSystemInformation(int nType, int nSize, const unsigned char* pData);
/* Model and OEM numbers (firmware 1.24 and later). */
ORVPW_API int GetModelNation(int* pModelType, int* pOemType);
/* Runs a cleaning cycle (firmware 1.20 and later; up to 40 s). */
ORVPW_API int CleaningMode(void);
/* Runs a self test (firmware 1.20 and later; up to 40 s). */
ORVPW_API int SelfTestMode(int nMode);
/* Initialises EEPROM values (newer command set). */
ORVPW_API int SetEEPRomInit(int nType, int nValue);
/* Configuration save, load and power-control board (newer command set; the older one
   succeeds without sending anything). */
ORVPW_API int N_SaveConfigurationData(int nOption);
ORVPW_API int N_LoadConfigurationData(int nOption);
ORVPW_API int N_SetPowerControlBoard(int nOption);
/* Network address of type nType from pAddress (ORVPW_IP_ADDRESS_SIZE bytes); type 3 (DHCP)
   uses the first byte and sets bytes 1..3 of pAddress to 0. */
ORVPW_API int N_SetIPAddress(int nType, unsigned char* pAddress);
/* Network address of type nType into pAddress (ORVPW_IP_ADDRESS_SIZE bytes). */
ORVPW_API int N_GetIPAddress(int nType, unsigned char* pAddress);
/* nType 1 or 2: switches rewrite setting nType on (nValue 1) or off; other nType: query,
   *pResult bit 0 / bit 1 set when setting 1 / 2 is on. */
ORVPW_API int ConfigureRewriteMode(int nType, int nValue, int* pResult);
/* Print-speed mode for the print path (2 = drift mode); sends nothing. */
ORVPW_API int N_PrintSpeed(int nType);

/* ---- Image objects ----------------------------------------------------------------- */
/* The library's own image container as an opaque handle. Pictures are device-independent
   bitmaps: rows bottom-up (row 0 is the last line), each padded to 4 bytes, 24-bit pixels
   in B, G, R order. Return codes: -1 success, -2 operation failed, -3 null image, -4
   unknown file type. File types, from the text after the last dot, compared exactly in
   lower case: "bmp" 1, "gif" 2, "jpg"/"jpeg" 3, "png" 4, "tif"/"tiff" 6 (2 and 4 fill gaps of
   the older numbering); "JPG" is not loadable. Decoded pictures are capped at 16384 dots a
   side and 50 million pixels; larger ones fail to load (-2). */

/* A new empty image object, or NULL. */
ORVPW_API void* KD_Image_Init(void);
/* Deletes the image object: -1, or -2 for NULL. */
ORVPW_API int KD_Image_Clear(void* pImage);
/* Loads a file by its extension: -4 unknown type, -3 null image, -2 decode failed, -1. */
ORVPW_API int KD_Image_Load(void* pImage, const char* pFileName);
/* Saves as BMP: -1, -2 (write failed or NULL name), -3. */
ORVPW_API int KD_Image_SaveBmp(void* pImage, const char* pFileName);
/* No device contexts on this platform: -3 for a null image, else -2 (nothing drawn). */
ORVPW_API int KD_Image_Draw(void* pImage, void* hDC);
/* Reduces to nBpp 8 (gray), 4 (16 grays) or 1 (threshold 128): -1, -2, -3. */
ORVPW_API int KD_Image_DecreaseBpp(void* pImage, int nBpp);
/* Colour of pixel (x, y), y counted from the bottom row, into *pColor as 0x00RRGGBB (the
   B, G, R, 0 bytes of a palette entry read little-endian); outside the picture 0.
   -1, -2 (NULL pColor), -3. */
ORVPW_API int KD_Image_GetPixelColor(void* pImage, int x, int y, uint32_t* pColor);
/* Height, width and padded row size in bytes; -3 for a null image. */
ORVPW_API int KD_Image_GetHeight(void* pImage);
ORVPW_API int KD_Image_GetWidth(void* pImage);
ORVPW_API int KD_Image_GetEffWidth(void* pImage);
/* The first pixel row (the bottom line): height x effective width bytes; NULL for a null
   or empty image. nUnused is ignored. */
ORVPW_API uint8_t* KD_Image_GetBits(void* pImage, int nUnused);

/* ---- Tone and colour adjustment ------------------------------------------------------ */

/* Colour-adjust type (1 or more also switches colour management and the ribbon gamma on).
   Returns 0. */
ORVPW_API int SetColorAdjust(int nType);
/* Colour-adjust parameters, each argument a 16-bit value: A = formula << 8 | white ratio,
   B = line count method << 8 | threshold, C = spread lines << 12 | step << 8 | ratio,
   D = line zoom ratio (low byte). Returns 0. */
ORVPW_API int SetColorAdjustEx(int nType, int nA, int nB, int nC, int nD);
/* Line compensation of an application plane in place: pData holds nImgHgt lines of
   nImgWid bytes (the first picture line last), each side 1..4096 (else status 21).
   nColorIndex -1 counts as 3 (no compensation); with bits F0h set the print data of a PC
   plane would be made: not available in this build (-1, status 20). */
ORVPW_API int MakePrintImageEx(unsigned char* pData, int nImgWid, int nImgHgt, int nColorIndex);
/* As MakePrintImageEx with colour index 0. */
ORVPW_API int MakePrintImage(unsigned char* pData, int nImgWid, int nImgHgt);
/* File to file (saved as BMP). Rectangles are 4 ints: left, top, right, bottom. iMode3 0:
   nearest-pixel resample to pDstRect's size (0 keeps a side); 1: crop to pSrcRect (right or
   bottom 0 = the edge); 2: scale by pDstRect's width and height as percentages, 10..400
   (else status 21); other modes save nothing and succeed. iMode1 and iMode2 are only
   logged. Load or save failure: status 71. */
ORVPW_API int Image_Adjust(const char* pSrc, const int* pSrcRect, const char* pDst,
                           const int* pDstRect, int iMode1, int iMode2, int iMode3);

/* ---- LUM_ twins ------------------------------------------------------------------ */

ORVPW_API int LUM_SetLogPathFile(const char* pLogFile);
ORVPW_API int LUM_SetLogPathFileMonth(const char* pLogPath, const char* pLogFile, int nMonth);
ORVPW_API int LUM_SetConnectPort(int PortType);
ORVPW_API int LUM_SetOpenType(int OpenType);
ORVPW_API int LUM_OpenDevice(char* pName, int iPortNum);
ORVPW_API int LUM_OpenDeviceEx(char* pName, uint32_t dwFlags);
ORVPW_API int LUM_CloseDevice(int iDeviceType);
ORVPW_API int LUM_Get_PrinterInfo(char* pResult);
ORVPW_API int LUM_ListDevices(uint32_t* pArg1, char* pArg2, uint32_t dwFlags);
ORVPW_API int LUM_ResetDevice(void);
ORVPW_API int LUM_Card_Insert(void);
ORVPW_API int LUM_Card_Eject(int cmd);
ORVPW_API int LUM_Card_Flip(void);
ORVPW_API int LUM_CheckFeeder(int* pFeeder);
ORVPW_API int LUM_SetCardInputDirection(int nDir);
ORVPW_API int LUM_SetCardInputOption(int nMode);
ORVPW_API int LUM_SetCardReadyPosition(int nType);
ORVPW_API int LUM_CheckRibbon(int* pRibbon);
ORVPW_API int LUM_GetRibbonInfo(int nType, char* pInfo, int* pLen);
ORVPW_API int LUM_GetRibbonSensor(int* pSensor);
ORVPW_API int LUM_SetRibbonSync(void);
ORVPW_API int LUM_SetRibbonSyncOption(int nType);
ORVPW_API int LUM_SetRibbonType(int nRibbonType, int nHalfStart, int nHalfWidth);
ORVPW_API int LUM_GetParameters(int nItem, char* pValue, int* pLen);
ORVPW_API int LUM_AdjustIntensity(int nColor, int nIntensity);
ORVPW_API int LUM_OffsetXaxisPrintStartPosition(int nXstart, int nXend);
ORVPW_API int LUM_OffsetYaxisPrintStartPosition(int nYstart);
ORVPW_API int LUM_PrintPintAdjust(int nOffset);
ORVPW_API int LUM_SetMonoPrintMode(int nMode);
ORVPW_API int LUM_SetTPHResistance(int nResistance);
ORVPW_API int LUM_Get_Status(char* st0, char* st1);
ORVPW_API int LUM_Get_StatusEx(char* st0, char* st1);
ORVPW_API int LUM_DeviceErrorClear(void);
ORVPW_API int LUM_Set_LanguageID(int nLangID);
ORVPW_API int LUM_Get_StatusMessage(int nStatus, int nType, char* pMessage);
ORVPW_API int LUM_Image_Adjust(const char* pSrc, const int* pSrcRect, const char* pDst,
                               const int* pDstRect, int iMode1, int iMode2, int iMode3);

#ifdef __cplusplus
}
#endif

/* Size of the version text buffers of Get_PrinterInfo and Get_PrinterInfoEx. */
#define ORVPW_VERSION_TEXT_SIZE 64
/* Caller buffer sizes of the printer control exports. */
#define ORVPW_RIBBON_INFO_SIZE 256    /* GetRibbonInfo text */
#define ORVPW_PARAMETER_TEXT_SIZE 64  /* GetParameters text */
#define ORVPW_RF_TAG_SIZE 9           /* GetRfTag data */
#define ORVPW_SYSTEM_INFO_SIZE 256    /* GetSystemInformation record */
#define ORVPW_IP_ADDRESS_SIZE 4       /* N_SetIPAddress / N_GetIPAddress */

/* Listing texts (ListDevices pArg2, GetDeviceInformation), device paths, board records. */
#define ORVPW_DEVICE_TEXT_SIZE 64
#define ORVPW_DEVICE_PATH_SIZE 260
#define ORVPW_BOARD_RECORD_SIZE 31

#ifdef __cplusplus
/* As LUM_SetDescription, exported under its decorated C++ name only: GCC and Clang spell
   it "_Z14SetDescriptionPc" (an int function taking one char*). */
ORVPW_API int SetDescription(char* pDescription);
/* Exported under its decorated C++ name only ("_Z25Card_MoveFlipperToPrinterv", a
   function without arguments returning int): a C program looks that name up with dlsym.
   Moves the card from the flipper back to the print position (older command set; the
   newer one gives status 20). */
ORVPW_API int Card_MoveFlipperToPrinter();
#endif
/* Size of the message buffer of Get_StatusMessage: texts are cut to 511 bytes at a UTF-8
   character boundary and terminated. */
#define ORVPW_STATUS_MESSAGE_SIZE 512

#endif /* ORVPW_H */
