#include "diag/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "diag/log.h"
#include "diag/log_record.h"
#include "platform/module.h"
#include "platform/profile_file.h"

namespace fs = std::filesystem;

namespace {

plat::LocalTime FakeNow() { return {2026, 4, 15, 9, 8, 7, 6}; }

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

// All lines of a scrambled log file, decoded.
std::string Unscramble(const std::string& raw) {
    std::string text;
    size_t pos = 0;
    while (pos < raw.size()) {
        std::string line;
        const size_t used = KD_UnscrambleRecord(raw.data() + pos, raw.size() - pos, line);
        if (used == 0) break;
        text += line;
        pos += used;
    }
    return text;
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::temp_directory_path() / (std::string("orvpw_settings_") + info->name() +
                                               "_" + std::to_string(std::random_device{}()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        saved_ = KD_GetLogState();
        KD_SetLogState(KD_LogState{});
        KD_LogSetClock(&FakeNow);
    }
    void TearDown() override {
        KD_SetLogState(saved_);
        KD_LogSetClock(nullptr);
        fs::remove_all(folder_);
    }

    void WriteIni(const std::string& contents) {
        std::ofstream(folder_ / "ORVPW.INI", std::ios::binary) << contents;
    }
    KD_LoadedSettings Load() {
        KD_SettingsLoadOptions options;
        options.libraryFolder = folder_.string();
        options.libraryFileName = "libORVPW.so";
        return KD_LoadSettings(options);
    }

    fs::path folder_;
    KD_LogState saved_;
};

TEST_F(SettingsTest, WithoutAFileEverythingHasItsDefaultAndNothingIsCreated) {
    const KD_LoadedSettings s = Load();
    EXPECT_EQ(s.settingsPath, (folder_ / "ORVPW.INI").string());
    EXPECT_EQ(s.log, 0);
    EXPECT_EQ(s.logRaw, 0);
    EXPECT_EQ(s.logImage, 0);
    EXPECT_EQ(s.colorAdjustType, 1);
    EXPECT_EQ(s.retryTimes, 3);
    EXPECT_EQ(s.ribbonPass, 1);
    EXPECT_EQ(s.ribbonMaker, 0);
    EXPECT_EQ(plat::ProfileGetInt(s.settingsPath, "ORVPW", "UseGT", 0), 0);

    const KD_LogState log = KD_GetLogState();
    EXPECT_EQ(log.level, 0);
    EXPECT_EQ(log.naming, LOG_NAMING_NONE);
    EXPECT_EQ(log.commandDumpLimit, 0);
    EXPECT_EQ(log.answerDumpLimit, 0);
    EXPECT_EQ(log.scramble, 0);
    EXPECT_EQ(log.rawTx, 0);
    EXPECT_EQ(log.txDumpFile, "ORVPWTX.DMP");
    EXPECT_TRUE(fs::is_empty(folder_));
}

TEST_F(SettingsTest, LogKeyGivesLevelAndDumpLimits) {
    struct Case {
        const char* ini;
        int level, commandLimit, answerLimit, scramble;
    };
    const Case cases[] = {
        {"LOG=7\n", 1, 16, 16, 1},
        {"LOG=3\nDUMP_CMD=4\n", 3, 16, 16, 1},
        {"LOG=0\nDUMP_CMD=4\nDUMP_RSP=9\n", 0, 4, 9, 0},
        {"LOG=2\nDUMP_RSP=100\n", 2, 16, 100, 1},
        {"LOG=4\n", 4, 16, 16, 1},
        {"LOG=-1\n", 1, 16, 16, 1},
        {"LOG=junk\n", 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        KD_SetLogState(KD_LogState{});
        WriteIni(std::string("[ORVPW]\n") + c.ini);
        Load();
        const KD_LogState log = KD_GetLogState();
        EXPECT_EQ(log.level, c.level) << c.ini;
        EXPECT_EQ(log.commandDumpLimit, c.commandLimit) << c.ini;
        EXPECT_EQ(log.answerDumpLimit, c.answerLimit) << c.ini;
        EXPECT_EQ(log.scramble, c.scramble) << c.ini;
        EXPECT_EQ(log.naming, c.level ? LOG_NAMING_MONTHLY : LOG_NAMING_NONE) << c.ini;
    }
}

TEST_F(SettingsTest, SwitchesBecomeOneAndRetryTimesStaysInRange) {
    struct Case {
        const char* retry;
        int expected;
    };
    const Case cases[] = {{"4", 4}, {"0", 1}, {"-3", 1}, {"9", 5}, {nullptr, 2}};
    for (const Case& c : cases) {
        WriteIni(std::string("[ORVPW]\nLOG_COMM_TX=5\nLOG_COMM_RX=0\nLOG_RAW=9\nLOG_IMAGE=-2\n"
                             "AdjustColor=3\nRibbonPass=2\nRibbonMaker=1\n") +
                 (c.retry ? std::string("RetryTimes=") + c.retry + "\n" : ""));
        const KD_LoadedSettings s = KD_ReadLoadSettings((folder_ / "ORVPW.INI").string(), 2, 0);
        EXPECT_EQ(s.retryTimes, c.expected) << (c.retry ? c.retry : "(absent)");
        EXPECT_EQ(s.commTx, 1);
        EXPECT_EQ(s.commRx, 0);
        EXPECT_EQ(s.logRaw, 1);
        EXPECT_EQ(s.logImage, 1);
        EXPECT_EQ(s.colorAdjustType, 3);
        EXPECT_EQ(s.ribbonPass, 2);
        EXPECT_EQ(s.ribbonMaker, 1);
    }
}

TEST_F(SettingsTest, RawDumpFilesLieInTheDumpFolderOnlyWhenTheLogIsOn) {
    WriteIni("[ORVPW]\nLOG_COMM_TX=1\nLOG_COMM_RX=1\n");
    Load();
    EXPECT_TRUE(KD_LogRawTxOn());
    EXPECT_TRUE(KD_LogRawRxOn());
    EXPECT_EQ(KD_GetLogState().txDumpFile, "ORVPWTX.DMP");
    EXPECT_FALSE(fs::exists(folder_ / "ORVPW"));

    WriteIni("[ORVPW]\nLOG=1\nLOG_COMM_TX=1\n");
    Load();
    EXPECT_TRUE(fs::is_directory(folder_ / "ORVPW" / "DMP"));
    EXPECT_EQ(KD_GetLogState().txDumpFile, (folder_ / "ORVPW/DMP/ORVPWTX.DMP").string());
    EXPECT_EQ(KD_GetLogState().rxDumpFile, (folder_ / "ORVPW/DMP/ORVPWRX.DMP").string());
    EXPECT_FALSE(KD_LogRawRxOn());
    KD_LogRawTx("\x01\x02", 2);
    EXPECT_EQ(ReadFile(folder_ / "ORVPW/DMP/ORVPWTX.DMP"), std::string("\x01\x02", 2));
}

TEST_F(SettingsTest, LoadWritesItsLinesToTheMonthlyScrambledLogAndCleansOldMonths) {
    fs::create_directories(folder_ / "ORVPW/LOG/202602");
    std::ofstream(folder_ / "ORVPW/LOG/202602/ORVPW_03.log") << "old";
    fs::create_directories(folder_ / "ORVPW/LOG/202601");
    WriteIni("[ORVPW]\nLOG=2\nAdjustColor=2\nRetryTimes=4\nRibbonPass=3\nLOG_RAW=1\n");
    Load();

    EXPECT_FALSE(fs::exists(folder_ / "ORVPW/LOG/202602"));
    EXPECT_TRUE(fs::exists(folder_ / "ORVPW/LOG/202601"));
    const std::string raw = ReadFile(folder_ / "ORVPW/LOG/202604/ORVPW_15.log");
    EXPECT_EQ(raw.find("CKDCtrl"), std::string::npos);  // scrambled on disk
    const std::string text = Unscramble(raw);
    const std::string stamp = "[2026-04-15]-[09:08:07.006]";
    const std::string expectedLines[] = {
        " :    DeleteLogFile - nMonth = 2\r\n",
        " : [S]CKDCtrl::CKDCtrl - libORVPW.so ------------------------------------------------\r\n",
        " :    DLL [" + folder_.string() + "/libORVPW.so] v",
        " :    INI [" + (folder_ / "ORVPW.INI").string() + "]\r\n",
        " :    LOG [" + (folder_ / "ORVPW/LOG").string() + "/ORVPW]\r\n",
        " : CARD_SIDE 524\r\n",
        " : VARNISHCONF 456\r\n",
        " : BLACKCONF 36\r\n",
        " :    m_bLogRaw = 1\r\n",
        " :    m_bLogImage = 0\r\n",
        " :    m_CA_Type     = 2\r\n",
        " :    m_RetryTimes     = 4\r\n",
        " :    m_RibbonPass     = 3\r\n",
    };
    size_t pos = 0;
    for (const std::string& line : expectedLines) {
        const size_t found = text.find(stamp + line, pos);
        ASSERT_NE(found, std::string::npos) << "missing in order: " << line << "\n" << text;
        pos = found;
    }
}

TEST_F(SettingsTest, LoadWithLogOffNamesNoLog) {
    WriteIni("[ORVPW]\nLOG=0\n");
    Load();
    KD_SetLogPathFile((folder_ / "after.log").string().c_str());
    // Nothing of the load reached any file: the only log is the one opened afterwards.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 2);
}

TEST_F(SettingsTest, SmcItemsParseFourFieldsOrIntensity) {
    WriteIni("[SMC]\nNAME=100,200,Arial,24\nSHORT=1,2,Font\nIntensity=7x\n"
             "BARCODE= 5 , 6 ,3 of 9 Barcode, 30,extra\nEMPTY=\n");
    const std::string path = (folder_ / "ORVPW.INI").string();
    KD_SmcItem item;
    ASSERT_TRUE(KD_ReadSmcItem(path, "NAME", item));
    EXPECT_EQ(item.x, 100);
    EXPECT_EQ(item.y, 200);
    EXPECT_EQ(item.font, "Arial");
    EXPECT_EQ(item.size, 75);  // 24 points at 300 dpi on a 96-dpi basis

    ASSERT_TRUE(KD_ReadSmcItem(path, "barcode", item));
    EXPECT_EQ(item.x, 5);
    EXPECT_EQ(item.y, 6);
    EXPECT_EQ(item.font, "3 of 9 Barcode");
    EXPECT_EQ(item.size, 93);

    ASSERT_TRUE(KD_ReadSmcItem(path, "INTENSITY", item));
    EXPECT_EQ(item.intensity, 7);

    EXPECT_FALSE(KD_ReadSmcItem(path, "SHORT", item));
    EXPECT_FALSE(KD_ReadSmcItem(path, "EMPTY", item));
    EXPECT_FALSE(KD_ReadSmcItem(path, "BIRTH", item));
    EXPECT_FALSE(KD_ReadSmcItem((folder_ / "none.ini").string(), "NAME", item));
}

TEST_F(SettingsTest, SpoolerSettingsAreCopiedOncePerSettingsFile) {
    KD_SetLogPathFile((folder_ / "t.log").string().c_str());
    WriteIni("[ORVUSBSP]\nAlwaysTop=0\nShowWhilePrint=1\n");
    const std::string settings = (folder_ / "ORVPW.INI").string();
    const std::string copy = (folder_ / "copy.ini").string();
    KD_CopySpoolerSettings(settings, copy);
    EXPECT_EQ(plat::ProfileGetString(copy, "ORVUSBSP", "HideAfterPrint", "?"), "1");
    EXPECT_EQ(plat::ProfileGetString(copy, "ORVUSBSP", "AlwaysTop", "?"), "0");
    EXPECT_EQ(plat::ProfileGetString(copy, "ORVUSBSP", "ShowWhilePrint", "?"), "1");
    EXPECT_EQ(plat::ProfileGetString(settings, "ORVUSBSP", "Flag", "?"), "1");
    EXPECT_EQ(plat::ProfileGetString(settings, "ORVUSBSP", "AlwaysTop", "?"), "0");

    plat::ProfileWriteString(settings, "ORVUSBSP", "AlwaysTop", "1");
    KD_CopySpoolerSettings(settings, copy);
    EXPECT_EQ(plat::ProfileGetString(copy, "ORVUSBSP", "AlwaysTop", "?"), "0");

    const std::string log = ReadFile(folder_ / "t.log");
    EXPECT_NE(log.find(" :    [ORVUSBSP] HideAfterPrint=1\r\n"), std::string::npos);
    EXPECT_NE(log.find(" :    [ORVUSBSP] Flag=1 (smc)\r\n"), std::string::npos);
    EXPECT_NE(log.find(" :    ORVPW.INI file (not upgrade)\r\n"), std::string::npos);
}

TEST_F(SettingsTest, FlagAlreadySetCopiesNothing) {
    WriteIni("[ORVUSBSP]\nFlag=1\n");
    const std::string copy = (folder_ / "copy.ini").string();
    KD_CopySpoolerSettings((folder_ / "ORVPW.INI").string(), copy);
    EXPECT_FALSE(fs::exists(copy));
}

TEST_F(SettingsTest, FilePathsLieBesideTheLibraryAndInTheTempFolder) {
    EXPECT_EQ(KD_LibrarySettingsPath(), plat::LibraryFolder() + "/ORVPW.INI");
    EXPECT_EQ(KD_ToneFilePath(), plat::TempFolder() + "/orvprt.ini");
    EXPECT_EQ(KD_SpoolerSettingsCopyPath(), plat::TempFolder() + "/ORVPW.INI");
}

}  // namespace
