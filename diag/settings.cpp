#include "diag/settings.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "diag/log.h"
#include "diag/version.h"
#include "platform/files.h"
#include "platform/module.h"
#include "platform/profile_file.h"

namespace {

const char kLibrarySection[] = "ORVPW";
const char kSmcSection[] = "SMC";
const char kSpoolerSection[] = "ORVUSBSP";
constexpr size_t kSmcValueBytes = 260;
constexpr size_t kSpoolerValueBytes = 8;
constexpr int kMinRetryTimes = 1;
constexpr int kMaxRetryTimes = 5;
constexpr int kMinDumpLimitWhenLogging = 16;

// Sizes of the controller's card-side, varnish and black configuration records, logged at
// load so a log shows which record layout the library was built with.
constexpr int kCardSideConfigSize = 524;
constexpr int kVarnishConfigSize = 456;
constexpr int kBlackConfigSize = 36;

int ReadInt(const std::string& path, const char* key, int defaultValue) {
    return plat::ProfileGetInt(path, kLibrarySection, key, defaultValue);
}

int LogLevelFor(int logSetting) {
    if (logSetting == 0) return 0;
    if (logSetting >= 2 && logSetting <= 4) return logSetting;
    return 1;
}

// Leading decimal integer of a text field (blanks, sign, digits), saturated to int.
int LeadingInt(const std::string& text) {
    size_t i = text.find_first_not_of(" \t");
    if (i == std::string::npos) return 0;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<int64_t>(value * 10 + (text[i] - '0'), int64_t{1} << 32);
    if (negative) value = -value;
    return static_cast<int>(std::clamp<int64_t>(value, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max()));
}

bool EqualsIgnoringCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return i == a.size() && b[i] == '\0';
}

}  // namespace

std::string KD_LibrarySettingsPath() { return plat::JoinPath(plat::LibraryFolder(), "ORVPW.INI"); }
std::string KD_ToneFilePath() { return plat::JoinPath(plat::TempFolder(), "orvprt.ini"); }
std::string KD_SpoolerSettingsCopyPath() { return plat::JoinPath(plat::TempFolder(), "ORVPW.INI"); }

KD_LoadedSettings KD_ReadLoadSettings(const std::string& settingsPath, int currentRetryTimes,
                                      int currentRibbonMaker) {
    KD_LoadedSettings s;
    s.settingsPath = settingsPath;
    s.log = ReadInt(settingsPath, "LOG", 0);
    s.dumpCommand = ReadInt(settingsPath, "DUMP_CMD", 0);
    s.dumpAnswer = ReadInt(settingsPath, "DUMP_RSP", 0);
    s.logRaw = ReadInt(settingsPath, "LOG_RAW", 0) != 0 ? 1 : 0;
    s.logImage = ReadInt(settingsPath, "LOG_IMAGE", 0) != 0 ? 1 : 0;
    s.commRx = ReadInt(settingsPath, "LOG_COMM_RX", 0) != 0 ? 1 : 0;
    s.commTx = ReadInt(settingsPath, "LOG_COMM_TX", 0) != 0 ? 1 : 0;
    s.colorAdjustType = ReadInt(settingsPath, "AdjustColor", 1);
    // Outside 1..5 the exchange would never send (0) or retry without end; keep it in range
    // as the run-time setter does.
    s.retryTimes = std::clamp(ReadInt(settingsPath, "RetryTimes", currentRetryTimes),
                              kMinRetryTimes, kMaxRetryTimes);
    s.ribbonPass = ReadInt(settingsPath, "RibbonPass", 1);
    s.ribbonMaker = ReadInt(settingsPath, "RibbonMaker", currentRibbonMaker);
    return s;
}

void KD_ApplyLogSettings(const KD_LoadedSettings& settings, const std::string& libraryFolder) {
    KD_LogState state = KD_GetLogState();
    state.keepMonths = 2;
    state.rawTx = settings.commTx;
    state.rawRx = settings.commRx;
    if (settings.log != 0) {
        state.level = LogLevelFor(settings.log);
        state.naming = LOG_NAMING_MONTHLY;
        state.commandDumpLimit = std::max(settings.dumpCommand, kMinDumpLimitWhenLogging);
        state.answerDumpLimit = std::max(settings.dumpAnswer, kMinDumpLimitWhenLogging);
        state.scramble = 1;
        const std::string dumpFolder = plat::JoinPath(libraryFolder, "ORVPW/DMP");
        plat::MakeDirectories(dumpFolder);
        state.txDumpFile = plat::JoinPath(dumpFolder, "ORVPWTX.DMP");
        state.rxDumpFile = plat::JoinPath(dumpFolder, "ORVPWRX.DMP");
        state.logPath = plat::JoinPath(libraryFolder, "ORVPW/LOG");
        state.logFile = "ORVPW";
    } else {
        state.level = 0;
        state.naming = LOG_NAMING_NONE;
        state.commandDumpLimit = settings.dumpCommand;
        state.answerDumpLimit = settings.dumpAnswer;
        state.scramble = 0;
        state.txDumpFile = "ORVPWTX.DMP";
        state.rxDumpFile = "ORVPWRX.DMP";
    }
    KD_SetLogState(state);
    if (settings.log != 0) KD_DeleteLogFile();
}

KD_LoadedSettings KD_LoadSettings(const KD_SettingsLoadOptions& options) {
    const std::string folder =
        options.libraryFolder.empty() ? plat::LibraryFolder() : options.libraryFolder;
    const std::string file =
        options.libraryFileName.empty() ? plat::LibraryFileName() : options.libraryFileName;
    const std::string settingsPath = plat::JoinPath(folder, "ORVPW.INI");

    KD_LoadedSettings s =
        KD_ReadLoadSettings(settingsPath, options.currentRetryTimes, options.currentRibbonMaker);
    KD_ApplyLogSettings(s, folder);

    KD_Log1("[S]CKDCtrl::CKDCtrl - %s ------------------------------------------------",
            file.c_str());
    KD_Log2("DLL [%s/%s] v%s", folder.c_str(), file.c_str(), KD_LibraryVersionString().c_str());
    KD_Log2("INI [%s]", settingsPath.c_str());
    if (s.log != 0) {
        const KD_LogState state = KD_GetLogState();
        KD_Log2("LOG [%s/%s]", state.logPath.c_str(), state.logFile.c_str());
    } else {
        KD_Log2("LOG [none]");
    }

    KD_Log1("CARD_SIDE %d", kCardSideConfigSize);
    KD_Log1("VARNISHCONF %d", kVarnishConfigSize);
    KD_Log1("BLACKCONF %d", kBlackConfigSize);

    KD_Log2("m_bLogRaw = %d", s.logRaw);
    KD_Log2("m_bLogImage = %d", s.logImage);

    KD_Log2("m_CA_Type     = %d", s.colorAdjustType);
    KD_Log2("m_RetryTimes     = %d", s.retryTimes);
    KD_Log2("m_RibbonPass     = %d", s.ribbonPass);
    return s;
}

bool KD_ReadSmcItem(const std::string& settingsPath, const std::string& key, KD_SmcItem& item) {
    item = KD_SmcItem{};
    const std::string value = plat::ProfileGetString(settingsPath, kSmcSection, key, "", kSmcValueBytes);
    if (value.empty()) return false;
    if (EqualsIgnoringCase(key, "INTENSITY")) {
        item.intensity = LeadingInt(value);
        return true;
    }
    const size_t first = value.find(',');
    const size_t second = first == std::string::npos ? first : value.find(',', first + 1);
    const size_t third = second == std::string::npos ? second : value.find(',', second + 1);
    if (third == std::string::npos) return false;
    item.x = LeadingInt(value.substr(0, first));
    item.y = LeadingInt(value.substr(first + 1, second - first - 1));
    item.font = value.substr(second + 1, third - second - 1);
    const int64_t points = LeadingInt(value.substr(third + 1));
    item.size = static_cast<int>(std::clamp<int64_t>(points * 300 / 96, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
    return true;
}

void KD_CopySpoolerSettings(const std::string& settingsPath, const std::string& copyPath) {
    const std::string flag =
        plat::ProfileGetString(settingsPath, kSpoolerSection, "Flag", "0", kSpoolerValueBytes);
    if (flag != "0") {
        KD_Log1("   ORVPW.INI file (not upgrade)");
        return;
    }
    static const struct {
        const char* key;
        const char* defaultValue;
    } kCopied[] = {{"HideAfterPrint", "1"}, {"AlwaysTop", "1"}, {"ShowWhilePrint", "0"}};
    for (const auto& entry : kCopied) {
        const std::string value = plat::ProfileGetString(settingsPath, kSpoolerSection, entry.key,
                                                         entry.defaultValue, kSpoolerValueBytes);
        plat::ProfileWriteString(copyPath, kSpoolerSection, entry.key, value);
        KD_Log1("   [%s] %s=%s", kSpoolerSection, entry.key, value.c_str());
    }
    plat::ProfileWriteString(settingsPath, kSpoolerSection, "Flag", "1");
    KD_Log1("   [%s] %s=%s (smc)", kSpoolerSection, "Flag", "1");
}
