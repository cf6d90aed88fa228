// The call log: text lines in four classes, hex dumps with direction tags, raw dump files.
// Every writer returns at once when the log level is too low.
//
// Secrets (passwords, keys, PINs, track data written for a card holder) never reach a log:
//  - in a text line, pass KD_LogSecret(data, size) for a %s argument instead of the bytes;
//  - in place of a hex dump of secret bytes, call KD_LogDumpSecret (length only);
//  - around an exchange whose command or answer carries a secret, hold a
//    KD_LogSecretScope: while it lives on a thread, that thread's hex dumps show only their
//    length and its raw TX/RX dump appends are skipped.
//
// The log state is process-wide and may be read and changed from any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/clock.h"

#define ORVPW_PRINTF(fmt_index, first_arg) __attribute__((format(printf, fmt_index, first_arg)))

// Class 1: from level 1, separator " : " (the [S] and [E] lines of the exports).
void KD_Log1(const char* format, ...) ORVPW_PRINTF(1, 2);
// Class 1 indented: from level 1, separator " :    ".
void KD_Log1i(const char* format, ...) ORVPW_PRINTF(1, 2);
// Class 2 and 3: from level 2 / 3, separator " :    ".
void KD_Log2(const char* format, ...) ORVPW_PRINTF(1, 2);
void KD_Log3(const char* format, ...) ORVPW_PRINTF(1, 2);

// Hex dump types: the tag printed on each row.
enum KD_DumpType : int {
    DUMP_PLAIN = 0,     // no tag
    DUMP_DLL_FW = 1,    // "DLL->FW" bytes written to the printer
    DUMP_FW_DLL = 2,    // "FW->DLL" bytes read from the printer
    DUMP_AP_DLL = 3,    // "AP->DLL" data from the application
    DUMP_DLL_AP = 4,    // "DLL->AP" data returned to the application
    DUMP_RESPONSE = 5,  // "RESPONS" data part of a decoded answer
    DUMP_IC_CMD = 6,    // "IC CMD " contact-card command
    DUMP_RF_CMD = 7,    // "RF CMD " contactless command
    DUMP_PRINT = 8,     // "PRINT  " print data
    DUMP_RAW = 9,       // "RAWDATA"
};
// Writes nothing when the level is 0, size < 1, data is null or the type's limit is < 1.
// Shows min(size, limit, 1024) bytes; with a caption first the class-1 line
// "DUMP <caption> = <size> bytes". Types 0, 1 and 3 use the command limit, all others the
// answer limit.
void KD_LogDump(const void* data, int size, int type, const char* caption = nullptr);

// True when lines of this level are written (level 1..3).
bool KD_LogEnabled(int level);

// ---- Secrets -----------------------------------------------------------------------------

// The text to log in place of secret bytes: "<secret, N bytes>". The bytes are not read.
std::string KD_LogSecret(const void* data, size_t size);
// A hex dump of secret bytes: same conditions and caption line as KD_LogDump, then one row
// with the tag and "<secret, N bytes>" in place of the bytes.
void KD_LogDumpSecret(int size, int type, const char* caption = nullptr);

// While an object of this class lives, the thread's hex dumps are written as by
// KD_LogDumpSecret and its raw TX/RX appends are skipped. Scopes nest.
class KD_LogSecretScope {
public:
    KD_LogSecretScope();
    ~KD_LogSecretScope();
    KD_LogSecretScope(const KD_LogSecretScope&) = delete;
    KD_LogSecretScope& operator=(const KD_LogSecretScope&) = delete;
};
bool KD_LogInSecretScope();

// ---- Raw byte dumps ----------------------------------------------------------------------

// Whether every transport write / read is appended to the TX / RX dump file.
bool KD_LogRawTxOn();
bool KD_LogRawRxOn();
// Append the bytes to the TX / RX dump file when its switch is on (no size limit, no
// rollover, files 0600). Failures are silent.
void KD_LogRawTx(const void* data, size_t size);
void KD_LogRawRx(const void* data, size_t size);

// ---- Log state -----------------------------------------------------------------------------

// Field bounds of the log folder and file name (the caller-supplied paths of the redirect
// operations are refused beyond them) and of one formatted message.
constexpr size_t kLogPathMax = 263;
constexpr size_t kLogFileMax = 259;
constexpr size_t kLogMessageMax = 4095;
// A log file larger than this is rolled over to "<name>.000" .. "<name>.999" before the
// next write.
constexpr int64_t kLogRolloverSize = 2097151;
// Bytes shown of one hex dump at most, whatever the limits say.
constexpr int kLogDumpMaxBytes = 1024;

enum KD_LogNaming : int {
    LOG_NAMING_NONE = 0,
    LOG_NAMING_MONTHLY = 1,  // <folder>/YYYYMM/<stem>_DD.log
    LOG_NAMING_SINGLE = 2,   // <folder>/<file>
    LOG_NAMING_DAILY = 3,    // <folder>/<stem>_YYYYMMDD.log
};

struct KD_LogState {
    int level = 0;             // 0 off; 1 class 1 and dumps; 2 also class 2; 3+ also class 3
    int naming = LOG_NAMING_NONE;
    int scramble = 0;          // 1: every line and dump row is a scrambled record
    std::string logPath;       // m_pLogPath: folder of the log
    std::string logFile = "ORVPW_a.log";  // m_pLogFile: file name or stem
    int keepMonths = 2;        // months DeleteLogFile looks back
    int commandDumpLimit = 0;  // bytes shown of dumps of types 0, 1, 3
    int answerDumpLimit = 0;   // bytes shown of the other dumps
    int rawTx = 0;             // raw dump switches
    int rawRx = 0;
    std::string txDumpFile = "ORVPWTX.DMP";
    std::string rxDumpFile = "ORVPWRX.DMP";
};
KD_LogState KD_GetLogState();
void KD_SetLogState(const KD_LogState& state);

// The file the next line would go to, from the naming mode and today's date.
std::string KD_LogFilePath();

// Removes the logs of the one month that lies keep-months before the current month
// (naming modes 1 and 3; nothing in the others).
void KD_DeleteLogFile();

// Redirects the log to one file (path with '/' or '\' separators), or switches it off with
// null. Returns 0, or 21 when the folder or file name is empty or too long (nothing changes).
int KD_SetLogPathFile(const char* pLogFile);
// nMonth 1..12: daily files <pLogPath>/<pLogFile>_YYYYMMDD.log at level 2, keeping nMonth
// months; 0: log off; anything else: 21 and nothing changes. Also 21 for a null, empty or
// too long stem (or one holding a separator) or a too long folder.
int KD_SetLogPathFileMonth(const char* pLogPath, const char* pLogFile, int nMonth);

// Test hook: the local time used for time-stamps and file names (null: the real clock).
void KD_LogSetClock(plat::LocalTime (*now)());
