#include "diag/log.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "diag/log_record.h"
#include "diag/version.h"
#include "platform/files.h"
#include "platform/module.h"

namespace {

const char kStarLine[] = "*---------*---------*---------*---------*---------*";
const char kSeparator[] = " : ";
const char kIndentedSeparator[] = " :    ";

std::mutex g_stateMutex;
// Built on first use and never destroyed: the controller sets the log up during static
// initialisation of another file and writes its last lines during static destruction.
KD_LogState& State() {  // guarded by g_stateMutex
    static KD_LogState* const state = new KD_LogState;
    return *state;
}
// Mirrors of the fields every writer checks first, readable without the lock.
std::atomic<int> g_level{0};
std::atomic<int> g_rawTx{0};
std::atomic<int> g_rawRx{0};
std::atomic<plat::LocalTime (*)()> g_clock{nullptr};

// One line at a time from building its file name to the append: keeps rollover of one
// writer from racing another writer's append, and guards the scramble key generator.
std::mutex g_writeMutex;

thread_local int t_secretDepth = 0;

std::mutex g_failureMutex;
std::string& LastFailedPath() {  // guarded by g_failureMutex
    static std::string* const path = new std::string;
    return *path;
}

plat::LocalTime LogNow() {
    auto now = g_clock.load();
    return now ? now() : plat::Now();
}

KD_LogState Snapshot() {
    std::lock_guard<std::mutex> lock(g_stateMutex);
    return State();
}

template <typename... Args>
std::string Printf(const char* format, Args... args) {
    char text[64];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

// The closest thing to the debugger output of the original opener is stderr; to keep a
// misconfigured log from flooding it, each failing path is reported once in a row.
void ReportOpenFailure(const std::string& path, int error) {
    std::lock_guard<std::mutex> lock(g_failureMutex);
    if (path == LastFailedPath()) return;
    LastFailedPath() = path;
    std::fprintf(stderr, "MyCreateFile - dwRet = %d, %s\r\n", error, path.c_str());
}

// The opener of every log and dump write: opens (creating 0600 when missing, inside 0700
// folders), appends the bytes in one write and closes. A read-only file is made writable
// once before giving up.
bool MyCreateFile(const std::string& path, const void* data, size_t size) {
    if (path.empty()) return false;
    errno = 0;
    if (plat::AppendToFile(path, data, size)) return true;
    int error = errno;
    if (plat::FileExists(path) && plat::MakeWritable(path) && plat::AppendToFile(path, data, size))
        return true;
    ReportOpenFailure(path, error);
    return false;
}

std::string FolderFor(const KD_LogState& state, const plat::LocalTime& now) {
    if (state.naming == LOG_NAMING_MONTHLY)
        return plat::JoinPath(state.logPath, Printf("%04d%02d", now.year, now.month));
    return state.logPath;
}

std::string FileNameFor(const KD_LogState& state, const plat::LocalTime& now) {
    switch (state.naming) {
        case LOG_NAMING_MONTHLY:
            return state.logFile + Printf("_%02d.log", now.day);
        case LOG_NAMING_DAILY:
            return state.logFile + Printf("_%04d%02d%02d.log", now.year, now.month, now.day);
        default:
            return state.logFile;
    }
}

// A log above the size limit moves to "<name without extension>.NNN" (the first free of
// 000..999). Only a '.' in the file name itself counts, never one in a folder name.
void RollOver(const std::string& path) {
    if (plat::FileSize(path) <= kLogRolloverSize) return;
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return;
    const std::string stem = path.substr(0, dot);
    for (int i = 0; i <= 999; ++i) {
        const std::string candidate = stem + Printf(".%03d", i);
        if (plat::FileExists(candidate)) continue;
        if (plat::CopyFileNoOverwrite(path, candidate)) plat::DeleteFile(path);
        return;
    }
}

// Writes one complete line or dump row (CR LF included) to the current log file.
void WriteRecord(const std::string& line, const plat::LocalTime& now) {
    const KD_LogState state = Snapshot();
    if (state.level < 1) return;
    const std::string folder = FolderFor(state, now);
    const std::string path = plat::JoinPath(folder, FileNameFor(state, now));
    std::lock_guard<std::mutex> lock(g_writeMutex);
    if (!folder.empty()) plat::MakeDirectories(folder);
    RollOver(path);
    if (state.scramble == 1) {
        const std::string record = KD_ScrambleRecord(line, KD_NextScrambleKey());
        MyCreateFile(path, record.data(), record.size());
    } else {
        MyCreateFile(path, line.data(), line.size());
    }
}

void WriteTextLine(int minLevel, const char* separator, const char* format, va_list args) {
    if (g_level.load() < minLevel || !format) return;
    char message[kLogMessageMax + 1];
    const int length = std::vsnprintf(message, sizeof message, format, args);
    if (length <= 0 || message[0] == '\0') return;
    const plat::LocalTime now = LogNow();
    char stamp[128];
    std::snprintf(stamp, sizeof stamp, "[%04d-%02d-%02d]-[%02d:%02d:%02d.%03d]", now.year,
                  now.month, now.day, now.hour, now.minute, now.second, now.millisecond);
    std::string line = stamp;
    line += separator;
    line += message;
    line += "\r\n";
    WriteRecord(line, now);
}

bool UsesCommandLimit(int type) {
    return type == DUMP_PLAIN || type == DUMP_DLL_FW || type == DUMP_AP_DLL;
}

// Bytes a dump of this type and size shows; 0 when nothing is to be written.
int DumpShownBytes(int size, int type) {
    if (g_level.load() < 1 || size < 1) return 0;
    int limit;
    {
        std::lock_guard<std::mutex> lock(g_stateMutex);
        limit = UsesCommandLimit(type) ? State().commandDumpLimit : State().answerDumpLimit;
    }
    if (limit < 1) return 0;
    return std::min({size, limit, kLogDumpMaxBytes});
}

std::string RowPrefix(int type, int offset, const plat::LocalTime& now) {
    static const char* const kTags[] = {nullptr,   "DLL->FW", "FW->DLL", "AP->DLL", "DLL->AP",
                                        "RESPONS", "IC CMD ", "RF CMD ", "PRINT  ", "RAWDATA"};
    char prefix[96];
    int used = std::snprintf(prefix, sizeof prefix, "[%02d:%02d:%02d] ", now.hour, now.minute,
                             now.second);
    used = std::clamp(used, 0, static_cast<int>(sizeof prefix) - 1);
    if (type >= 1 && type <= 9)
        std::snprintf(prefix + used, sizeof prefix - used, "%s %08Xh: ", kTags[type], offset);
    else
        std::snprintf(prefix + used, sizeof prefix - used, "        %08xh: ", offset);
    return prefix;
}

void WriteSecretDump(int size, int type, const char* caption) {
    if (DumpShownBytes(size, type) < 1) return;
    if (caption) KD_Log1("DUMP %s = %d bytes", caption, size);
    const plat::LocalTime now = LogNow();
    WriteRecord(RowPrefix(type, 0, now) + KD_LogSecret(nullptr, static_cast<size_t>(size)) + "\r\n",
                now);
}

void AppendRaw(const std::atomic<int>& enabled, std::string KD_LogState::*file, const void* data,
               size_t size) {
    if (enabled.load() == 0 || !data || size == 0 || t_secretDepth > 0) return;
    std::string path;
    {
        std::lock_guard<std::mutex> lock(g_stateMutex);
        path = State().*file;
    }
    MyCreateFile(path, data, size);
}

std::string WithSlashes(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

void LogVersionLine() {
    if (!KD_LogEnabled(1)) return;
    KD_Log1("   DLL VERSION %s [%s]", KD_LibraryVersionString().c_str(), plat::LibraryPath().c_str());
}

// The state both redirect operations set when they switch the log off.
void SwitchOff() {
    KD_LogState state = Snapshot();
    state.level = 0;
    state.commandDumpLimit = state.answerDumpLimit = 16;
    state.keepMonths = 2;
    state.naming = LOG_NAMING_MONTHLY;
    state.logPath = plat::JoinPath(plat::LibraryFolder(), "ORVPW/LOG");
    state.logFile = "ORVPW";
    KD_SetLogState(state);
}

}  // namespace

#define ORVPW_LOG_WRITER(name, level, separator)            \
    void name(const char* format, ...) {                    \
        if (g_level.load() < (level)) return;               \
        va_list args;                                       \
        va_start(args, format);                             \
        WriteTextLine((level), (separator), format, args);  \
        va_end(args);                                       \
    }
ORVPW_LOG_WRITER(KD_Log1, 1, kSeparator)
ORVPW_LOG_WRITER(KD_Log1i, 1, kIndentedSeparator)
ORVPW_LOG_WRITER(KD_Log2, 2, kIndentedSeparator)
ORVPW_LOG_WRITER(KD_Log3, 3, kIndentedSeparator)
#undef ORVPW_LOG_WRITER

bool KD_LogEnabled(int level) { return g_level.load() >= std::max(level, 1); }

void KD_LogDump(const void* data, int size, int type, const char* caption) {
    if (!data) return;
    if (t_secretDepth > 0) {
        WriteSecretDump(size, type, caption);
        return;
    }
    const int shown = DumpShownBytes(size, type);
    if (shown < 1) return;
    if (caption) KD_Log1("DUMP %s = %d bytes", caption, size);
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (int offset = 0; offset < shown; offset += 16) {
        const int count = std::min(16, shown - offset);
        const plat::LocalTime now = LogNow();
        std::string row = RowPrefix(type, offset, now);
        std::string text;
        for (int i = 0; i < 16; ++i) {
            if (i < count) {
                const unsigned char b = bytes[offset + i];
                row += Printf("%02X ", b);
                const char shownChar = static_cast<char>(b & 0x7F);
                text += shownChar < 0x20 ? ' ' : shownChar;
            } else {
                row += "   ";
            }
        }
        row += "; ";
        row += text;
        row += "\r\n";
        WriteRecord(row, now);
    }
}

std::string KD_LogSecret(const void* /*data*/, size_t size) {
    return "<secret, " + std::to_string(size) + " bytes>";
}

void KD_LogDumpSecret(int size, int type, const char* caption) { WriteSecretDump(size, type, caption); }

KD_LogSecretScope::KD_LogSecretScope() { ++t_secretDepth; }
KD_LogSecretScope::~KD_LogSecretScope() { --t_secretDepth; }
bool KD_LogInSecretScope() { return t_secretDepth > 0; }

bool KD_LogRawTxOn() { return g_rawTx.load() != 0; }
bool KD_LogRawRxOn() { return g_rawRx.load() != 0; }
void KD_LogRawTx(const void* data, size_t size) {
    AppendRaw(g_rawTx, &KD_LogState::txDumpFile, data, size);
}
void KD_LogRawRx(const void* data, size_t size) {
    AppendRaw(g_rawRx, &KD_LogState::rxDumpFile, data, size);
}

KD_LogState KD_GetLogState() { return Snapshot(); }

void KD_SetLogState(const KD_LogState& state) {
    std::lock_guard<std::mutex> lock(g_stateMutex);
    State() = state;
    g_level.store(state.level);
    g_rawTx.store(state.rawTx);
    g_rawRx.store(state.rawRx);
}

std::string KD_LogFilePath() {
    const KD_LogState state = Snapshot();
    const plat::LocalTime now = LogNow();
    return plat::JoinPath(FolderFor(state, now), FileNameFor(state, now));
}

void KD_LogSetClock(plat::LocalTime (*now)()) { g_clock.store(now); }

void KD_DeleteLogFile() {
    const KD_LogState state = Snapshot();
    if (state.naming != LOG_NAMING_MONTHLY && state.naming != LOG_NAMING_DAILY) return;
    KD_Log1i("DeleteLogFile - nMonth = %d", state.keepMonths);

    const plat::LocalTime now = LogNow();
    int year = now.year;
    int month = now.month - state.keepMonths;
    if (now.month <= state.keepMonths) {
        month = now.month + 12 - state.keepMonths;
        year -= 1;
    }

    std::string folder;
    std::string prefix;  // names starting with it are removed; empty: every name
    std::string pattern;
    if (state.naming == LOG_NAMING_DAILY) {
        folder = state.logPath;
        prefix = state.logFile + Printf("_%04d%02d", year, month);
        pattern = plat::JoinPath(folder, prefix + "*.*");
    } else {
        folder = plat::JoinPath(state.logPath, Printf("%04d%02d", year, month));
        pattern = plat::JoinPath(folder, "*");
    }
    const std::string listed = folder.empty() ? std::string(".") : folder;
    if (!plat::IsDirectory(listed)) {
        KD_Log1i("DeleteLogFile - %s NOT FOUND", listed.c_str());
        return;
    }
    KD_Log1i("DeleteLogFile - Path = %s", pattern.c_str());
    bool found = false;
    for (const std::string& name : plat::ListDirectory(listed)) {
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        found = true;
        const std::string path = plat::JoinPath(folder, name);
        KD_Log1i("DeleteLogFile - [FOUND] %s", path.c_str());
        plat::DeleteFile(path);
    }
    if (!found) KD_Log1i("DeleteLogFile - File Not Found");
    if (state.naming == LOG_NAMING_MONTHLY) plat::RemoveDirectory(folder);
}

int KD_SetLogPathFile(const char* pLogFile) {
    if (!pLogFile) {
        KD_Log2("%s", kStarLine);
        KD_Log2("SetLogPathFile - pLogFile = [(null)]");
        KD_Log2("SetLogPathFile - LOG : OFF");
        KD_Log2("%s", kStarLine);
        SwitchOff();
        LogVersionLine();
        return 0;
    }

    const std::string full = WithSlashes(pLogFile);
    const size_t slash = full.rfind('/');
    std::string folder;
    std::string file = full;
    if (slash != std::string::npos) {
        folder = slash == 0 ? std::string("/") : full.substr(0, slash);
        file = full.substr(slash + 1);
    }
    if (file.empty() || file.size() > kLogFileMax || folder.size() > kLogPathMax) {
        KD_Log2("SetLogPathFile - pLogFile not accepted (folder %zu, file %zu characters)",
                folder.size(), file.size());
        return 21;
    }
    if (!folder.empty()) plat::MakeDirectories(folder);

    // Written under the previous settings: they reach the old log only if it was on.
    KD_Log1("%s", kStarLine);
    KD_Log1("[S]KD_SetLogPathFile - pLogFile = [%s][%s]", folder.c_str(), file.c_str());
    KD_Log1("[E]KD_SetLogPathFile - LOG : ON");
    KD_Log1("%s", kStarLine);
    KD_Log1i("m_pLogPath = [%s]", folder.c_str());
    KD_Log1i("m_pLogFile = [%s]", file.c_str());

    KD_LogState state = Snapshot();
    state.level = 1;
    state.commandDumpLimit = state.answerDumpLimit = 16;
    state.keepMonths = 2;
    state.naming = LOG_NAMING_SINGLE;
    state.logPath = folder;
    state.logFile = file;
    KD_SetLogState(state);
    LogVersionLine();
    return 0;
}

int KD_SetLogPathFileMonth(const char* pLogPath, const char* pLogFile, int nMonth) {
    if (nMonth > 12 || nMonth < 0) {
        KD_Log2("Invalid Month = %d (0 ~ 12)", nMonth);
        return 21;
    }
    if (nMonth == 0) {
        KD_Log2("%s", kStarLine);
        KD_Log2("KD_SetLogPathFileMonth - pLogPath = [(null)]");
        KD_Log2("KD_SetLogPathFileMonth - LOG : OFF");
        KD_Log2("%s", kStarLine);
        SwitchOff();
        LogVersionLine();
        return 0;
    }

    const std::string folder = WithSlashes(pLogPath ? pLogPath : "");
    const std::string stem = pLogFile ? pLogFile : "";
    if (stem.empty() || stem.find_first_of("/\\") != std::string::npos ||
        stem.size() > kLogFileMax || folder.size() > kLogPathMax) {
        KD_Log2("KD_SetLogPathFileMonth - path not accepted (folder %zu, file %zu characters)",
                folder.size(), stem.size());
        return 21;
    }
    KD_Log2("%s", kStarLine);
    KD_Log2("KD_SetLogPathFileMonth - pLogPath = [%s/%s", folder.c_str(), stem.c_str());
    KD_Log2("KD_SetLogPathFileMonth - LOG : ON");
    KD_Log2("%s", kStarLine);

    KD_LogState state = Snapshot();
    state.level = 2;
    state.commandDumpLimit = state.answerDumpLimit = 16;
    state.keepMonths = nMonth;
    state.naming = LOG_NAMING_DAILY;
    state.logPath = folder;
    state.logFile = stem;
    KD_SetLogState(state);
    KD_DeleteLogFile();
    LogVersionLine();
    return 0;
}
