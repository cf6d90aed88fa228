// Taking the last answer, asking the printer for its status and clearing its error.
//
// Every reading operation takes the data of its answer through KD_GetResponse after a
// successful exchange:
//
//     int status = ctrl.KD_Exchange(id, 0, timeoutUs, 1);      // flag 1: a data block may follow
//     if (status != 0) return status;
//     uint8_t answer[64];
//     int length = 0;
//     status = KD_GetResponse(ctrl, answer, sizeof answer, &length);
//     if (status != 0) return status;
//     if (length < 3) return ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);   // never read past
#pragma once
#include <cstdint>

class CKDCtrl;

// Status code of a newer-form answer's status word: 0006h and 1000h, 1001h, 1002h, 1004h,
// 1005h, 1008h give 0; 0015h gives 9 (NACK); 80xxh gives the printer's error number xx;
// any other nonzero word gives 99. 0 gives 0.
int KD_ConvertStatusWord(uint16_t word);

// Copies the data of the last answer into out (at most outSize bytes; out may be null when
// outSize is 0) and sets *outLength (may be null) to the number of bytes copied: a longer
// answer is cut at outSize, so give a buffer as large as the longest answer you accept.
// The status, also stored as the last status:
//  - newer form on a port that carries status words (types 16, 32, 64, 128): the
//    conversion of a nonzero status word;
//  - older form: an empty answer sets the purge flag and gives 5;
//  - otherwise 0.
int KD_GetResponse(CKDCtrl& ctrl, uint8_t* out, int outSize, int* outLength);

// The status request (command 18): the printer's current status code. Status word 1001h
// ("working") gives 3. Logs "Status Code = %04Xh, m_nLastStatusCd = %d".
int KD_Get_Status(CKDCtrl& ctrl);

// Clears the printer's error (command 2) on firmware 1.07 and later (or an unknown
// version). Firmware that cannot clear: the last nonzero status stands, else 20.
int KD_DeviceErrorClear(CKDCtrl& ctrl);

// False once the printer answered the clear command as unknown (20) or not at all (4);
// true again after a clear it accepted.
bool KD_ErrorClearSupported();
