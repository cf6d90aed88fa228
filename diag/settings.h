// The library's settings files: "ORVPW.INI" beside the library (read once at load for the
// keys below, at each use for the others), the port-monitor and tone file "orvprt.ini" and
// the spooler-program settings copy, both in the data folder's Temp/.
#pragma once
#include <string>

// <library folder>/ORVPW.INI. The controller keeps it for every later read.
std::string KD_LibrarySettingsPath();
// <Temp folder>/orvprt.ini
std::string KD_ToneFilePath();
// <Temp folder>/ORVPW.INI (read only by the separate spooler program)
std::string KD_SpoolerSettingsCopyPath();

// Values of the load sequence, section "ORVPW" of the library settings file.
struct KD_LoadedSettings {
    std::string settingsPath;  // library settings path (keep it)
    int log = 0;               // "LOG" as read
    int dumpCommand = 0;       // "DUMP_CMD" as read
    int dumpAnswer = 0;        // "DUMP_RSP" as read
    int logRaw = 0;            // m_bLogRaw (0/1) from "LOG_RAW"
    int logImage = 0;          // m_bLogImage (0/1) from "LOG_IMAGE"
    int commRx = 0;            // RX raw dump switch (0/1) from "LOG_COMM_RX"
    int commTx = 0;            // TX raw dump switch (0/1) from "LOG_COMM_TX"
    int colorAdjustType = 1;   // m_CA_Type from "AdjustColor"
    int retryTimes = 3;        // m_RetryTimes from "RetryTimes", kept within 1..5
    int ribbonPass = 1;        // m_RibbonPass from "RibbonPass"
    int ribbonMaker = 0;       // "RibbonMaker", for the ribbon-maker change
};

// Reads the load keys from the file (missing file, section or key: the defaults; the
// current retry count and ribbon maker are the defaults of their keys).
KD_LoadedSettings KD_ReadLoadSettings(const std::string& settingsPath, int currentRetryTimes = 3,
                                      int currentRibbonMaker = 0);

// The log part of the load: level, naming, keep-months, dump limits, scramble switch, log
// and dump folders under libraryFolder ("ORVPW/LOG", "ORVPW/DMP", the latter created),
// raw dump switches, and DeleteLogFile when the log is on.
void KD_ApplyLogSettings(const KD_LoadedSettings& settings, const std::string& libraryFolder);

struct KD_SettingsLoadOptions {
    std::string libraryFolder;    // empty: the folder of the loaded library
    std::string libraryFileName;  // empty: the file name of the loaded library
    int currentRetryTimes = 3;
    int currentRibbonMaker = 0;
};

// Settings load, steps up to the settings-dependent log lines: forms the settings path,
// reads the load keys, sets up the log, and writes the banner and value lines
// ("[S]CKDCtrl::CKDCtrl - ...", "DLL [...]", "INI [...]", "LOG [...]", "CARD_SIDE",
// "VARNISHCONF", "BLACKCONF", "m_bLogRaw", "m_bLogImage", "m_CA_Type", "m_RetryTimes",
// "m_RibbonPass"). The caller stores the returned values in the controller.
KD_LoadedSettings KD_LoadSettings(const KD_SettingsLoadOptions& options = {});

// One item of section "SMC": "INTENSITY" gives only `intensity`; any other key its position
// (x, y in dots), font face and size (points converted to dots, x 300 / 96).
struct KD_SmcItem {
    int intensity = 0;
    int x = 0;
    int y = 0;
    std::string font;
    int size = 0;
};
// False when the key is absent or (other than "INTENSITY") has fewer than four fields; the
// caller then applies its defaults.
bool KD_ReadSmcItem(const std::string& settingsPath, const std::string& key, KD_SmcItem& item);

// Copies the spooler program's display keys of section "ORVUSBSP" into the settings copy
// once per settings file (marks it with "Flag" = "1").
void KD_CopySpoolerSettings(const std::string& settingsPath, const std::string& copyPath);
