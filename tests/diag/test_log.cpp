#include "diag/log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "diag/log_record.h"

namespace fs = std::filesystem;

namespace {

plat::LocalTime g_fakeNow;
plat::LocalTime FakeNow() { return g_fakeNow; }

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back(text.substr(pos));
            break;
        }
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

fs::perms OwnerOnlyBits(const fs::path& path) {
    return fs::status(path).permissions() & fs::perms::all;
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::temp_directory_path() / (std::string("orvpw_log_") + info->name() + "_" +
                                               std::to_string(std::random_device{}()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        saved_ = KD_GetLogState();
        KD_SetLogState(KD_LogState{});
        g_fakeNow = {2026, 4, 15, 10, 20, 30, 456};
        KD_LogSetClock(&FakeNow);
    }
    void TearDown() override {
        KD_SetLogState(saved_);
        KD_LogSetClock(nullptr);
        fs::remove_all(folder_);
    }

    // Plain single-file log in the test folder.
    void UseSingleFile(int level, int commandLimit = 16, int answerLimit = 16) {
        KD_LogState state;
        state.level = level;
        state.naming = LOG_NAMING_SINGLE;
        state.logPath = folder_.string();
        state.logFile = "t.log";
        state.commandDumpLimit = commandLimit;
        state.answerDumpLimit = answerLimit;
        KD_SetLogState(state);
    }
    std::string LogText() const { return ReadFile(folder_ / "t.log"); }
    std::vector<std::string> LogLines() const { return SplitLines(LogText()); }

    fs::path folder_;
    KD_LogState saved_;
};

TEST_F(LogTest, LevelZeroCreatesNoFile) {
    UseSingleFile(0);
    const unsigned char bytes[4] = {1, 2, 3, 4};
    KD_Log1("one");
    KD_Log1i("two");
    KD_Log2("three");
    KD_Log3("four");
    KD_LogDump(bytes, 4, DUMP_DLL_FW, "caption");
    KD_LogDumpSecret(4, DUMP_DLL_FW, "caption");
    KD_LogRawTx(bytes, 4);
    KD_LogRawRx(bytes, 4);
    EXPECT_TRUE(fs::is_empty(folder_));
    EXPECT_FALSE(KD_LogEnabled(1));
}

TEST_F(LogTest, LinesCarryTimeStampAndClassSeparatorUpToTheLevel) {
    UseSingleFile(2);
    KD_Log1("class %d", 1);
    KD_Log1i("indented");
    KD_Log2("class two");
    KD_Log3("class three");
    KD_Log1("%s", "");  // empty message: nothing
    EXPECT_EQ(LogText(),
              "[2026-04-15]-[10:20:30.456] : class 1\r\n"
              "[2026-04-15]-[10:20:30.456] :    indented\r\n"
              "[2026-04-15]-[10:20:30.456] :    class two\r\n");

    KD_LogSetClock(nullptr);  // the real clock
    KD_SetLogState([&] {
        KD_LogState s = KD_GetLogState();
        s.level = 3;
        return s;
    }());
    KD_Log3("now");
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(std::regex_match(
        lines[3], std::regex(R"(\[\d{4}-\d{2}-\d{2}\]-\[\d{2}:\d{2}:\d{2}\.\d{3}\] :    now)")))
        << lines[3];
}

TEST_F(LogTest, OverLongMessagesAreCutToTheFormattingBuffer) {
    UseSingleFile(1);
    KD_Log1("%s", std::string(10000, 'x').c_str());
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    const std::string prefix = "[2026-04-15]-[10:20:30.456] : ";
    EXPECT_EQ(lines[0], prefix + std::string(kLogMessageMax, 'x'));
}

TEST_F(LogTest, EachDumpTypeHasItsTag) {
    struct Case {
        int type;
        const char* tag;
    };
    const Case cases[] = {
        {0, "        "}, {1, "DLL->FW "}, {2, "FW->DLL "}, {3, "AP->DLL "},
        {4, "DLL->AP "}, {5, "RESPONS "}, {6, "IC CMD  "}, {7, "RF CMD  "},
        {8, "PRINT   "}, {9, "RAWDATA "}, {42, "        "}, {-1, "        "},
    };
    std::vector<unsigned char> bytes(176);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>('0' + i % 10);
    for (const Case& c : cases) {
        UseSingleFile(1, 1024, 1024);
        fs::remove(folder_ / "t.log");
        KD_LogDump(bytes.data(), static_cast<int>(bytes.size()), c.type);
        const std::vector<std::string> lines = LogLines();
        ASSERT_EQ(lines.size(), 11u) << "type " << c.type;
        EXPECT_EQ(lines[0].substr(0, 30), std::string("[10:20:30] ") + c.tag + "00000000h: ")
            << "type " << c.type;
        // The offset is lower-case hex only without a tag.
        const bool plain = std::string(c.tag) == "        ";
        EXPECT_EQ(lines[10].substr(11 + 8, 11), plain ? "000000a0h: " : "000000A0h: ")
            << "type " << c.type;
    }
}

TEST_F(LogTest, DumpsStopAtTheLimitAndPadTheLastRow) {
    std::vector<unsigned char> bytes(40);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(0x41 + i);

    UseSingleFile(1, 16, 16);
    KD_LogDump(bytes.data(), 40, DUMP_DLL_FW, "cmd");
    KD_LogDump(bytes.data(), 5, DUMP_FW_DLL);
    EXPECT_EQ(LogText(),
              "[2026-04-15]-[10:20:30.456] : DUMP cmd = 40 bytes\r\n"
              "[10:20:30] DLL->FW 00000000h: 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 "
              "; ABCDEFGHIJKLMNOP\r\n"
              "[10:20:30] FW->DLL 00000000h: 41 42 43 44 45 " +
                  std::string(11 * 3, ' ') + "; ABCDE\r\n");
}

TEST_F(LogTest, EachTypeUsesItsOwnLimitAndNothingIsWrittenBelowOne) {
    const unsigned char bytes[32] = {};
    UseSingleFile(1, 0, 32);  // command limit 0, answer limit 32
    for (int type : {DUMP_PLAIN, DUMP_DLL_FW, DUMP_AP_DLL}) KD_LogDump(bytes, 32, type, "none");
    EXPECT_FALSE(fs::exists(folder_ / "t.log"));
    KD_LogDump(bytes, 32, DUMP_FW_DLL, "answer");
    EXPECT_EQ(LogLines().size(), 3u);  // caption + 2 rows

    UseSingleFile(1, 32, 0);
    KD_LogDump(bytes, 32, DUMP_RESPONSE);
    KD_LogDump(bytes, 0, DUMP_DLL_FW);
    KD_LogDump(nullptr, 32, DUMP_DLL_FW);
    EXPECT_EQ(LogLines().size(), 3u);

    fs::remove(folder_ / "t.log");
    std::vector<unsigned char> big(5000);
    UseSingleFile(1, 100000, 100000);
    KD_LogDump(big.data(), static_cast<int>(big.size()), DUMP_PRINT);
    EXPECT_EQ(LogLines().size(), static_cast<size_t>(kLogDumpMaxBytes / 16));
}

TEST_F(LogTest, TextColumnClearsTheTopBitAndBlanksControlCharacters) {
    const unsigned char bytes[] = {0xC1, 0x0A, 0x41, 0x7E, 0x1F, 0x20, 0xA0, 0x9F};
    UseSingleFile(1);
    KD_LogDump(bytes, sizeof bytes, DUMP_PLAIN);
    EXPECT_EQ(LogLines().at(0), "[10:20:30]         00000000h: C1 0A 41 7E 1F 20 A0 9F " +
                                    std::string(8 * 3, ' ') + "; A A~    ");
}

TEST_F(LogTest, NamingModesPlaceTheFileByDate) {
    struct Case {
        int naming;
        const char* file;
        const char* expected;  // relative to the test folder
    };
    const Case cases[] = {
        {LOG_NAMING_MONTHLY, "ORVPW", "logs/202604/ORVPW_05.log"},
        {LOG_NAMING_SINGLE, "app.log", "logs/app.log"},
        {LOG_NAMING_DAILY, "prn", "logs/prn_20260405.log"},
    };
    g_fakeNow = {2026, 4, 5, 1, 2, 3, 4};
    for (const Case& c : cases) {
        KD_LogState state;
        state.level = 1;
        state.naming = c.naming;
        state.logPath = (folder_ / "logs").string();
        state.logFile = c.file;
        KD_SetLogState(state);
        EXPECT_EQ(KD_LogFilePath(), (folder_ / c.expected).string());
        KD_Log1("x");
        EXPECT_TRUE(fs::is_regular_file(folder_ / c.expected)) << c.expected;
    }
}

TEST_F(LogTest, LogFilesAreOwnerOnlyInOwnerOnlyFolders) {
    KD_LogState state;
    state.level = 1;
    state.naming = LOG_NAMING_MONTHLY;
    state.logPath = (folder_ / "a" / "b").string();
    state.logFile = "ORVPW";
    state.rawTx = 1;
    state.txDumpFile = (folder_ / "tx.dmp").string();
    KD_SetLogState(state);
    KD_Log1("x");
    const unsigned char byte = 1;
    KD_LogRawTx(&byte, 1);
    EXPECT_EQ(OwnerOnlyBits(folder_ / "a/b/202604/ORVPW_15.log"),
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(OwnerOnlyBits(folder_ / "tx.dmp"), fs::perms::owner_read | fs::perms::owner_write);
    for (const char* sub : {"a", "a/b", "a/b/202604"})
        EXPECT_EQ(OwnerOnlyBits(folder_ / sub), fs::perms::owner_all) << sub;
}

TEST_F(LogTest, ReadOnlyLogIsMadeWritable) {
    UseSingleFile(1);
    KD_Log1("first");
    fs::permissions(folder_ / "t.log", fs::perms::owner_read);
    KD_Log1("second");
    EXPECT_EQ(LogLines().size(), 2u);
}

TEST_F(LogTest, FullLogRollsOverToTheFirstFreeNumber) {
    KD_LogState state;
    state.level = 1;
    state.naming = LOG_NAMING_SINGLE;
    state.logPath = folder_.string();
    state.logFile = "app.log";
    KD_SetLogState(state);
    const fs::path log = folder_ / "app.log";
    const std::string full(static_cast<size_t>(kLogRolloverSize) + 1, 'z');

    std::ofstream(log, std::ios::binary) << std::string(static_cast<size_t>(kLogRolloverSize), 'z');
    KD_Log1("at the limit");  // not above it: appended
    EXPECT_FALSE(fs::exists(folder_ / "app.000"));

    std::ofstream(log, std::ios::binary | std::ios::trunc) << full;
    KD_Log1("after first");
    EXPECT_EQ(fs::file_size(folder_ / "app.000"), full.size());
    EXPECT_EQ(ReadFile(log), "[2026-04-15]-[10:20:30.456] : after first\r\n");

    std::ofstream(log, std::ios::binary | std::ios::trunc) << full;
    KD_Log1("after second");
    EXPECT_EQ(fs::file_size(folder_ / "app.001"), full.size());
    EXPECT_EQ(fs::file_size(folder_ / "app.000"), full.size());
    EXPECT_EQ(SplitLines(ReadFile(log)).size(), 1u);
}

TEST_F(LogTest, FullLogWithoutExtensionKeepsGrowing) {
    // The '.' of the folder name must not be taken for the file's extension.
    const fs::path dotted = folder_ / "dir.d";
    fs::create_directories(dotted);
    KD_LogState state;
    state.level = 1;
    state.naming = LOG_NAMING_SINGLE;
    state.logPath = dotted.string();
    state.logFile = "applog";
    KD_SetLogState(state);
    std::ofstream(dotted / "applog", std::ios::binary)
        << std::string(static_cast<size_t>(kLogRolloverSize) + 1, 'z');
    KD_Log1("line");
    EXPECT_GT(fs::file_size(dotted / "applog"), static_cast<uintmax_t>(kLogRolloverSize) + 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

TEST_F(LogTest, ScrambledRecordsRestoreTheLines) {
    UseSingleFile(1);
    KD_LogState state = KD_GetLogState();
    state.scramble = 1;
    KD_SetLogState(state);
    KD_Log1("abc");
    const unsigned char bytes[3] = {0xC1, 0x0A, 0x41};
    KD_LogDump(bytes, 3, DUMP_DLL_FW);

    const std::string raw = LogText();
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < raw.size()) {
        std::string line;
        const size_t used = KD_UnscrambleRecord(raw.data() + pos, raw.size() - pos, line);
        ASSERT_GT(used, 0u);
        lines.push_back(line);
        pos += used;
    }
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "[2026-04-15]-[10:20:30.456] : abc\r\n");
    EXPECT_EQ(lines[1], "[10:20:30] DLL->FW 00000000h: C1 0A 41 " + std::string(13 * 3, ' ') +
                            "; A A\r\n");
    EXPECT_EQ(raw.find("abc"), std::string::npos);
}

TEST_F(LogTest, ScrambledRecordLayout) {
    const KD_ScrambleKey key{{1, 2, 3, 4, 5, 6, 7}, 0x55, 0xAA};
    const std::string record = KD_ScrambleRecord("abc", key);
    ASSERT_EQ(record.size(), kScrambleHeaderSize + 3);
    auto at = [&](size_t i) { return static_cast<uint8_t>(record[i]); };
    EXPECT_EQ(at(0), 1);
    EXPECT_EQ(at(6), 7);
    EXPECT_EQ(at(7), (7 + 5) ^ 0);     // L3
    EXPECT_EQ(at(8), (6 + 4) ^ 3);     // L0
    EXPECT_EQ(at(9), (5 + 3) ^ 0);     // L2
    EXPECT_EQ(at(10), (4 + 2) ^ 0x55); // r1
    EXPECT_EQ(at(11), (3 + 1) ^ 0);    // L1
    EXPECT_EQ(at(12), (6 + 2) ^ 0xAA); // r2
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(at(13 + i) ^ static_cast<uint8_t>(key.k[i % 7] + i), static_cast<uint8_t>("abc"[i]));

    std::string line;
    EXPECT_EQ(KD_UnscrambleRecord(record.data(), record.size() - 1, line), 0u);  // cut short

    // Successive keys differ: later records are seeded from a rising counter.
    const KD_ScrambleKey first = KD_NextScrambleKey();
    const KD_ScrambleKey second = KD_NextScrambleKey();
    EXPECT_NE(std::string(first.k, first.k + 7), std::string(second.k, second.k + 7));
}

TEST_F(LogTest, SetLogPathFileCreatesTheFolderAndStartsWithTheVersionLine) {
    const fs::path target = folder_ / "logs" / "app.log";
    EXPECT_EQ(KD_SetLogPathFile(target.string().c_str()), 0);
    EXPECT_TRUE(fs::is_directory(folder_ / "logs"));
    const std::vector<std::string> lines = SplitLines(ReadFile(target));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(std::regex_match(
        lines[0], std::regex(R"(\[2026-04-15\]-\[10:20:30\.456\] :    DLL VERSION \d+\.\d+\.\d+\.\d+ \d+-\d+-\d+ \[.+\])")))
        << lines[0];

    const KD_LogState state = KD_GetLogState();
    EXPECT_EQ(state.level, 1);
    EXPECT_EQ(state.naming, LOG_NAMING_SINGLE);
    EXPECT_EQ(state.commandDumpLimit, 16);
    EXPECT_EQ(state.answerDumpLimit, 16);
    EXPECT_EQ(state.keepMonths, 2);
    EXPECT_EQ(state.logPath, (folder_ / "logs").string());
    EXPECT_EQ(state.logFile, "app.log");
}

TEST_F(LogTest, SetLogPathFileWhileOnWritesTheBannerToTheOldLog) {
    UseSingleFile(1);
    const fs::path target = folder_ / "new.log";
    ASSERT_EQ(KD_SetLogPathFile(target.string().c_str()), 0);
    const std::vector<std::string> old = SplitLines(LogText());
    ASSERT_EQ(old.size(), 6u);
    EXPECT_NE(old[0].find(" : *---------*---------*---------*---------*---------*"), std::string::npos);
    EXPECT_NE(old[1].find(" : [S]KD_SetLogPathFile - pLogFile = [" + folder_.string() + "][new.log]"),
              std::string::npos);
    EXPECT_NE(old[2].find(" : [E]KD_SetLogPathFile - LOG : ON"), std::string::npos);
    EXPECT_NE(old[4].find(" :    m_pLogPath = [" + folder_.string() + "]"), std::string::npos);
    EXPECT_NE(old[5].find(" :    m_pLogFile = [new.log]"), std::string::npos);
    EXPECT_EQ(SplitLines(ReadFile(target)).size(), 1u);
}

TEST_F(LogTest, SetLogPathFileAcceptsBackslashesAndRejectsOverlongOrEmptyNames) {
    const std::string windowsStyle = folder_.string() + "\\win\\app.log";
    EXPECT_EQ(KD_SetLogPathFile(windowsStyle.c_str()), 0);
    EXPECT_TRUE(fs::is_regular_file(folder_ / "win" / "app.log"));

    const KD_LogState before = KD_GetLogState();
    const std::string longFolder = "/" + std::string(kLogPathMax, 'd') + "/a.log";
    const std::string longFile = folder_.string() + "/" + std::string(kLogFileMax + 1, 'f');
    const std::string noFile = folder_.string() + "/";
    for (const std::string& bad : {longFolder, longFile, noFile}) {
        EXPECT_EQ(KD_SetLogPathFile(bad.c_str()), 21) << bad.size();
        EXPECT_EQ(KD_GetLogState().logPath, before.logPath);
        EXPECT_EQ(KD_GetLogState().logFile, before.logFile);
    }
}

TEST_F(LogTest, SetLogPathFileNullSwitchesOff) {
    UseSingleFile(3);
    KD_LogState withScramble = KD_GetLogState();
    withScramble.scramble = 1;
    KD_SetLogState(withScramble);
    EXPECT_EQ(KD_SetLogPathFile(nullptr), 0);
    const KD_LogState state = KD_GetLogState();
    EXPECT_EQ(state.level, 0);
    EXPECT_EQ(state.naming, LOG_NAMING_MONTHLY);
    EXPECT_EQ(state.logFile, "ORVPW");
    EXPECT_TRUE(state.logPath.size() >= 9 &&
                state.logPath.compare(state.logPath.size() - 9, 9, "ORVPW/LOG") == 0)
        << state.logPath;
    EXPECT_EQ(state.scramble, 1);  // only the settings change it
    EXPECT_EQ(state.commandDumpLimit, 16);
}

TEST_F(LogTest, SetLogPathFileMonthValidatesTheMonth) {
    UseSingleFile(2);
    const KD_LogState before = KD_GetLogState();
    for (int month : {13, -1, 100}) {
        EXPECT_EQ(KD_SetLogPathFileMonth(folder_.string().c_str(), "prn", month), 21);
        EXPECT_EQ(KD_GetLogState().naming, before.naming);
        EXPECT_EQ(KD_GetLogState().logFile, before.logFile);
    }
    EXPECT_NE(LogText().find("Invalid Month = 13 (0 ~ 12)"), std::string::npos);
    EXPECT_EQ(KD_SetLogPathFileMonth(folder_.string().c_str(), nullptr, 2), 21);
    EXPECT_EQ(KD_SetLogPathFileMonth(folder_.string().c_str(), "a/b", 2), 21);
    EXPECT_EQ(KD_SetLogPathFileMonth(std::string(kLogPathMax + 1, 'p').c_str(), "prn", 2), 21);

    EXPECT_EQ(KD_SetLogPathFileMonth(nullptr, nullptr, 0), 0);
    EXPECT_EQ(KD_GetLogState().level, 0);
    EXPECT_EQ(KD_GetLogState().naming, LOG_NAMING_MONTHLY);
    EXPECT_NE(LogText().find(":    KD_SetLogPathFileMonth - LOG : OFF"), std::string::npos);
}

TEST_F(LogTest, SetLogPathFileMonthUsesDailyFilesAndDeletesOnlyTheTargetMonth) {
    const fs::path logs = folder_ / "logs";
    fs::create_directories(logs);
    for (const char* name : {"prn_20260201.log", "prn_20260228.000", "prn_20260115.log",
                             "prn_20260301.log", "other_20260201.log", "prn_2026021.log"})
        std::ofstream(logs / name) << "old";

    ASSERT_EQ(KD_SetLogPathFileMonth(logs.string().c_str(), "prn", 2), 0);
    const KD_LogState state = KD_GetLogState();
    EXPECT_EQ(state.level, 2);
    EXPECT_EQ(state.naming, LOG_NAMING_DAILY);
    EXPECT_EQ(state.keepMonths, 2);

    EXPECT_FALSE(fs::exists(logs / "prn_20260201.log"));
    EXPECT_FALSE(fs::exists(logs / "prn_20260228.000"));
    EXPECT_FALSE(fs::exists(logs / "prn_2026021.log"));  // matches the month pattern too
    EXPECT_TRUE(fs::exists(logs / "prn_20260115.log"));
    EXPECT_TRUE(fs::exists(logs / "prn_20260301.log"));
    EXPECT_TRUE(fs::exists(logs / "other_20260201.log"));

    const std::string text = ReadFile(logs / "prn_20260415.log");
    EXPECT_NE(text.find(":    DeleteLogFile - nMonth = 2\r\n"), std::string::npos);
    EXPECT_NE(text.find(":    DeleteLogFile - Path = " + logs.string() + "/prn_202602*.*\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("DeleteLogFile - [FOUND] " + (logs / "prn_20260201.log").string()),
              std::string::npos);
    EXPECT_NE(text.find(" :    DLL VERSION "), std::string::npos);
}

TEST_F(LogTest, DeleteLogFileInMonthlyModeRemovesTheMonthFolderAcrossTheYear) {
    g_fakeNow = {2026, 1, 10, 0, 0, 0, 0};  // two months back is November of the year before
    const fs::path logs = folder_ / "LOG";
    for (const char* sub : {"202511", "202510", "202512"}) {
        fs::create_directories(logs / sub);
        std::ofstream(logs / sub / "ORVPW_01.log") << "old";
    }
    KD_LogState state;
    state.level = 1;
    state.naming = LOG_NAMING_MONTHLY;
    state.logPath = logs.string();
    state.logFile = "ORVPW";
    state.keepMonths = 2;
    KD_SetLogState(state);
    KD_DeleteLogFile();
    EXPECT_FALSE(fs::exists(logs / "202511"));
    EXPECT_TRUE(fs::exists(logs / "202510" / "ORVPW_01.log"));
    EXPECT_TRUE(fs::exists(logs / "202512" / "ORVPW_01.log"));

    KD_DeleteLogFile();  // the folder is gone now
    const std::string text = ReadFile(logs / "202601" / "ORVPW_10.log");
    EXPECT_NE(text.find("DeleteLogFile - " + (logs / "202511").string() + " NOT FOUND"),
              std::string::npos);
}

TEST_F(LogTest, DeleteLogFileDoesNothingForASingleFile) {
    UseSingleFile(1);
    KD_DeleteLogFile();
    EXPECT_FALSE(fs::exists(folder_ / "t.log"));
}

TEST_F(LogTest, RawDumpsAppendWhileTheirSwitchIsOn) {
    KD_LogState state;
    state.rawTx = 1;
    state.rawRx = 0;
    state.txDumpFile = (folder_ / "TX.DMP").string();
    state.rxDumpFile = (folder_ / "RX.DMP").string();
    KD_SetLogState(state);
    EXPECT_TRUE(KD_LogRawTxOn());
    EXPECT_FALSE(KD_LogRawRxOn());
    KD_LogRawTx("ab", 2);
    KD_LogRawTx("cd", 2);
    KD_LogRawRx("xy", 2);
    EXPECT_EQ(ReadFile(folder_ / "TX.DMP"), "abcd");
    EXPECT_FALSE(fs::exists(folder_ / "RX.DMP"));
}

TEST_F(LogTest, SecretsShowOnlyTheirLength) {
    EXPECT_EQ(KD_LogSecret("0123456789abcdef", 16), "<secret, 16 bytes>");

    UseSingleFile(1);
    KD_LogState state = KD_GetLogState();
    state.rawTx = 1;
    state.txDumpFile = (folder_ / "TX.DMP").string();
    KD_SetLogState(state);
    const char key[] = "TOPSECRETKEY";
    KD_LogDumpSecret(12, DUMP_DLL_FW, "key");
    {
        KD_LogSecretScope scope;
        EXPECT_TRUE(KD_LogInSecretScope());
        KD_LogDump(key, 12, DUMP_FW_DLL);
        KD_LogRawTx(key, 12);
    }
    EXPECT_FALSE(KD_LogInSecretScope());
    EXPECT_EQ(LogText(),
              "[2026-04-15]-[10:20:30.456] : DUMP key = 12 bytes\r\n"
              "[10:20:30] DLL->FW 00000000h: <secret, 12 bytes>\r\n"
              "[10:20:30] FW->DLL 00000000h: <secret, 12 bytes>\r\n");
    EXPECT_FALSE(fs::exists(folder_ / "TX.DMP"));
}

TEST_F(LogTest, ConcurrentWritersAndReconfigurationKeepLinesWhole) {
    UseSingleFile(3);
    const KD_LogState single = KD_GetLogState();
    std::vector<std::thread> writers;
    for (int t = 0; t < 3; ++t) {
        writers.emplace_back([t] {
            const unsigned char bytes[20] = {};
            for (int i = 0; i < 100; ++i) {
                KD_Log2("thread %d line %d", t, i);
                KD_LogDump(bytes, 20, DUMP_DLL_FW);
                KD_LogRawTx(bytes, 1);
            }
        });
    }
    for (int i = 0; i < 50; ++i) {
        KD_LogState state = single;
        state.rawTx = i % 2;
        state.txDumpFile = (folder_ / "TX.DMP").string();
        KD_SetLogState(state);
    }
    for (std::thread& w : writers) w.join();
    for (const std::string& line : LogLines())
        EXPECT_TRUE(line.rfind("[2026-04-15]-[10:20:30.456] :    thread ", 0) == 0 ||
                    line.rfind("[10:20:30] DLL->FW 000000", 0) == 0)
            << line;
    EXPECT_EQ(LogLines().size(), 3u * 100u * 2u);  // a line and a one-row dump each
}

}  // namespace
