// Status codes and messages: the two-character form and its way back, the text tables and
// message files, and the status exports against the simulated printer in both generations.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/controller.h"
#include "core/status_form.h"
#include "core/status_messages.h"
#include "core/status_request.h"
#include "diag/log.h"
#include "orvpw.h"
#include "sim/sim_printer.h"
#include "support/sim_controller.h"
#include "support/test_support.h"

using orvpw::sim::ScriptedAction;
using orvpw::sim::SimConfig;
using orvpw::sim::SimPrinter;

namespace {

std::string Message(int numericForm, int type) {
    char text[ORVPW_STATUS_MESSAGE_SIZE];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(Get_StatusMessage(numericForm, type, text), 0);
    return text;
}

std::string TextOf(int code, int type) { return KDMessage().Text(code, type); }

bool IsUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t extra = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : 9;
        if (extra == 9 || i + extra >= text.size()) return false;
        for (size_t k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += extra + 1;
    }
    return true;
}

// Runs the test body with the current folder set to a fresh temp folder.
class InTempFolder {
public:
    InTempFolder() : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder_.Path());
    }
    ~InTempFolder() { std::filesystem::current_path(previous_); }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(folder_.File(name), std::ios::binary) << text;
    }

private:
    testsupport::TempFolder folder_;
    std::filesystem::path previous_;
};

}  // namespace

// ---- Two-character form -------------------------------------------------------------------

TEST(StatusForm, KnownForms) {
    struct Case {
        int code;
        int numeric;
    };
    const Case cases[] = {
        {0, 0x3030},    {3, 0x3033},    {12, 0x3132},   {57, 0x3537},   {60, 0x3630},
        {68, 0x3630},   {71, 0x3730},   {78, 0x3738},   {84, 0x3B04},   {88, 0x3B80},
        {97, 0x3C61},   {125, 0x3A05},  {131, 0x3A1D},  {148, 0x3AFB},  {176, 0x3A40},
        {191, 0x3B3F},  {201, 0x3C39},  {208, 0x3F38},  {210, 0x3CD2},  {243, 0x3C43},
        {1000, 0x9430}, {1003, 0x3932}, {1005, 0x393F}, {1018, 0x393F}, {1040, 0x393C},
        {1, 0xFFFF},    {58, 0xFFFF},   {80, 0xFFFF},   {144, 0xFFFF},  {4000, 0xFFFF},
        {-1, 0xFFFF},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KD_StatusToChars(c.code).Numeric(), c.numeric) << "code " << c.code;
}

// Every code with a form reads back as itself, or, where codes share a form, as a code with
// the same texts; and every such code has its own entry in the built-in table.
TEST(StatusForm, EveryFormReadsBackToTheSameMessage) {
    int withForm = 0;
    for (int code = -5; code <= 1100; ++code) {
        const int numeric = KD_StatusToChars(code).Numeric();
        if (numeric == KD_FORM_UNKNOWN) continue;
        ++withForm;
        const int back = KD_StatusFromNumeric(numeric);
        const bool grouped = (code >= 60 && code <= 68) || code == 70 || code == 71 ||
                             (code >= 1006 && code <= 1018 && code != 1017);
        if (!grouped) {
            EXPECT_EQ(back, code) << "code " << code;
        }
        for (int type = KD_MSG_SHORT; type <= KD_MSG_ENGLISH_SHORT; ++type) {
            if (code >= 60 && code <= 68) continue;  // the group "60" reads as code 69
            EXPECT_EQ(TextOf(back, type), TextOf(code, type)) << "code " << code << " type " << type;
        }
        EXPECT_NE(TextOf(code, KD_MSG_SHORT), "Unknown Error") << "code " << code;
    }
    EXPECT_GT(withForm, 150);
    EXPECT_EQ(KD_StatusFromNumeric(0x3630), 13872);
    EXPECT_EQ(KD_StatusFromNumeric(0x3730), 14128);
    EXPECT_EQ(KD_StatusFromNumeric(0xFFFF), 99);
    EXPECT_EQ(KD_StatusFromNumeric(0x3A01), 121);
    EXPECT_EQ(KD_StatusFromNumeric(0x393F), 1005);
}

// ---- Texts ----------------------------------------------------------------------------------

TEST(StatusTexts, TableIsOrderedCompleteAndFitsTheCallerBuffer) {
    std::set<int> codes;
    int previous = -1;
    for (const KD_MessageText& entry : KD_BuiltInMessages()) {
        EXPECT_GT(entry.code, previous) << "out of order at " << entry.code;
        previous = entry.code;
        codes.insert(entry.code);
        for (const char* text : {entry.englishShort, entry.englishLong, entry.koreanShort, entry.koreanLong}) {
            if (text == nullptr) continue;
            const std::string value = text;
            EXPECT_FALSE(value.empty()) << entry.code;
            EXPECT_LT(value.size(), size_t{ORVPW_STATUS_MESSAGE_SIZE}) << entry.code;
            EXPECT_TRUE(IsUtf8(value)) << entry.code;
        }
        ASSERT_NE(entry.englishShort, nullptr);
        ASSERT_NE(entry.koreanShort, nullptr);
        // Korean texts are Korean: each has Hangul (lead bytes EAh..EDh) unless it is a bare term.
        const std::string korean = entry.koreanShort;
        const bool term = korean == "NACK";
        EXPECT_TRUE(term || korean.find_first_of("\xEA\xEB\xEC\xED") != std::string::npos) << entry.code;
        EXPECT_EQ(entry.englishLong == nullptr, entry.koreanLong == nullptr) << entry.code;
    }
    for (int code = 100; code <= 115; ++code) EXPECT_EQ(codes.count(code), 1u) << code;
    for (int code = 1001; code <= 1019; ++code) EXPECT_EQ(codes.count(code), 1u) << code;
}

TEST(StatusTexts, EnglishAndKoreanByType) {
    struct Case {
        int language;
        int numeric;
        int type;
        const char* text;
    };
    const Case cases[] = {
        {KD_LANG_ENGLISH, 0x3132, 0, "Card jammed"},
        {KD_LANG_ENGLISH, 0x3132, 1, "Remove the jammed card inside the printer."},
        {KD_LANG_ENGLISH, 0x3932, 0, "[Device] Device not opened"},
        {KD_LANG_ENGLISH, 0x3932, 1, "[Device] The program cannot open the device."},
        {KD_LANG_ENGLISH, 0x3333, 0, "Card Eject Error"},
        {KD_LANG_ENGLISH, 0x3333, 2, "No Changer Module Option"},
        {KD_LANG_ENGLISH, 0x3333, 4, "No Changer Module Option"},
        {KD_LANG_ENGLISH, 0x3630, 0, "[MS] Track or Data Error"},
        {KD_LANG_ENGLISH, 0x3730, 1, "error occurred during image processing"},
        {KD_LANG_ENGLISH, 0xFFFF, 0, "Unknown Error"},
        {KD_LANG_ENGLISH, 0xFFFF, 1, "The unknown error happened."},
        {KD_LANG_ENGLISH, 0x3030, 0, "Success"},
        {KD_LANG_ENGLISH, 0x9430, 0, "[Device] OK"},
        {KD_LANG_KOREAN, 0x3132, 0, "카드 걸림"},
        {KD_LANG_KOREAN, 0x3132, 1, "프린터 안에 걸린 카드를 제거하십시오."},
        {KD_LANG_KOREAN, 0x3132, 3, "Card jammed"},
        {KD_LANG_KOREAN, 0x3932, 0, "[장치] 장치가 열리지 않음"},
        {KD_LANG_KOREAN, 0x3333, 2, "체인저 모듈 옵션 없음"},
        {KD_LANG_KOREAN, 0x3333, 4, "No Changer Module Option"},
        {KD_LANG_KOREAN, 0xFFFF, 0, "알 수 없는 오류"},
        {KD_LANG_KOREAN, 0x3533, 0, "[체인저] 회전 실패"},
    };
    InTempFolder noFiles;
    for (const Case& c : cases) {
        ASSERT_EQ(Set_LanguageID(c.language), 0);
        EXPECT_EQ(Message(c.numeric, c.type), c.text)
            << std::hex << "language " << c.language << " form " << c.numeric << " type " << c.type;
    }
    Set_LanguageID(KD_LANG_ENGLISH);
}

TEST(StatusTexts, LastStatusIsUsedWhenNoFormIsGiven) {
    InTempFolder noFiles;
    testsupport::TempFolder logs;
    KD_SetLogPathFile(logs.File("status.log").c_str());
    Set_LanguageID(KD_LANG_ENGLISH);
    KDCtrl().SetStatus(1003);
    EXPECT_EQ(Message(0, 0), "[Device] Device not opened");
    KDCtrl().SetStatus(80);  // a code without a form still has its text
    EXPECT_EQ(Message(0, 1), "Dual Print Not supported.");
    EXPECT_EQ(Message(0x3932, 1), "[Device] The program cannot open the device.");
    KD_SetLogPathFile(nullptr);
    const std::string log = testsupport::ReadFile(logs.File("status.log"));
    EXPECT_NE(log.find("[.]Get_StatusMessage - OK : KD_GetLastStatusCd = [1003], [3932] = "
                       "[[Device] Device not opened]"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("KD_GetLastStatusCd = [1003], [3932] = [[Device] The program cannot open"),
              std::string::npos);
    EXPECT_EQ(Get_StatusMessage(0x3132, 0, nullptr), 0);
}

TEST(StatusTexts, MessageFileOverridesTheBuiltInTable) {
    InTempFolder folder;
    folder.Write("orvmsg0409.msg",
                 "[STATUS]\n12=Jam||Please remove the card\n4=No answer\n");
    folder.Write("orvmsg0412.msg", "[STATUS]\n12=걸림||카드를 빼 주십시오\n" +
                                       ("36=" + std::string(150, 'a') + "가나다라마바사") + "\n");
    Set_LanguageID(KD_LANG_ENGLISH);
    EXPECT_EQ(Message(0x3132, 0), "Jam");
    EXPECT_EQ(Message(0x3132, 1), "Please remove the card");
    EXPECT_EQ(Message(0x3034, 0), "No answer");
    EXPECT_EQ(Message(0x3034, 1), "No answer");                 // one text serves as both
    EXPECT_EQ(Message(0x3035, 0), "Response Data Frame Error");  // not in the file

    Set_LanguageID(KD_LANG_KOREAN);
    EXPECT_EQ(Message(0x3132, 0), "걸림");
    EXPECT_EQ(Message(0x3132, 1), "카드를 빼 주십시오");
    EXPECT_EQ(Message(0x3034, 0), "No answer");    // missing in Korean: the English file
    EXPECT_EQ(Message(0x3035, 0), "응답 데이터 형식 오류");

    Set_LanguageID(0x0407);  // no file and no built-in texts: English
    EXPECT_EQ(Message(0x3132, 0), "Jam");
    EXPECT_EQ(Message(0x3035, 1), "Response data frame is invalid.");
    Set_LanguageID(KD_LANG_ENGLISH);
}

TEST(StatusTexts, LongFileValuesAreCutWithoutSplittingACharacter) {
    InTempFolder folder;
    // 300 ASCII bytes then Hangul (3 bytes each): the 307-byte limit falls inside a character.
    const std::string value = std::string(300, 'a') + "가나다라";
    folder.Write("orvmsg0409.msg", "[STATUS]\n21=" + value + "\n");
    Set_LanguageID(KD_LANG_ENGLISH);
    const std::string text = Message(0x3231, 0);
    EXPECT_EQ(text, std::string(300, 'a') + "가나");
    EXPECT_TRUE(IsUtf8(text));
}

// ---- Exports against the simulated printer ---------------------------------------------------

namespace {

class StatusExportTest : public ::testing::Test {
protected:
    void Connect(bool newer) {
        sim_ = testsupport::StartSim(newer);
        ASSERT_TRUE(sim_->Running());
        testsupport::LogEverythingTo(logFile_);
        testsupport::PointControllerAt(*sim_);
        KDCtrl().m_bFwVersion = 407;
    }
    void TearDown() override {
        KDCtrl().KD_PrinterClose();
        if (sim_) sim_->Stop();
        KD_SetLogPathFile(nullptr);
    }
    void RaiseError(int number) {
        sim_->UpdateState([number](auto& state) { state.error_number = number; });
    }
    std::vector<std::string> Commands() const {
        std::vector<std::string> names;
        for (const auto& frame : sim_->ReceivedFrames()) names.push_back(frame.command);
        return names;
    }
    std::string Log() const { return testsupport::ReadFile(logFile_); }

    testsupport::TempFolder folder_;
    std::string logFile_ = folder_.File("status.log");
    std::unique_ptr<SimPrinter> sim_;
};

}  // namespace

TEST_F(StatusExportTest, PrinterErrorInBothGenerations) {
    for (bool newer : {true, false}) {
        SCOPED_TRACE(newer ? "newer" : "older");
        Connect(newer);
        RaiseError(12);
        char st0 = 0, st1 = 0;
        ASSERT_EQ(Get_StatusEx(&st0, &st1), 0);
        EXPECT_EQ(st0, '1');
        EXPECT_EQ(st1, '2');
        int code = 0;
        ASSERT_EQ(GetStatusCode(&code), 0);
        EXPECT_EQ(code, 0x3132);
        EXPECT_EQ(KDCtrl().LastStatus(), 12);
        st0 = st1 = 0;
        ASSERT_EQ(Get_Status(&st0, &st1), 0);
        EXPECT_EQ(std::string({st0, st1}), "12");
        InTempFolder noFiles;
        Set_LanguageID(KD_LANG_ENGLISH);
        EXPECT_EQ(Message(0, 0), "Card jammed");

        ASSERT_EQ(DeviceErrorClear(), 0);
        ASSERT_EQ(GetStatusCode(&code), 0);
        EXPECT_EQ(code, 0x3030);
        const std::vector<std::string> expected =
            newer ? std::vector<std::string>{"!CSS", "!CSS", "!RCE", "!CSS"}
                  : std::vector<std::string>{"S", "S", ".", "S"};
        EXPECT_EQ(Commands(), expected);
        EXPECT_NE(Log().find("[E]GetStatusCode - OK, KD_Get_Status : KD_GetLastStatusCd = [12]"),
                  std::string::npos);
        TearDown();
    }
}

TEST_F(StatusExportTest, WorkingStatusWordReadsAsWorking) {
    Connect(true);
    sim_->Script(ScriptedAction::On("CSS").StatusWord(0x1001));
    char st0 = 0, st1 = 0;
    ASSERT_EQ(Get_StatusEx(&st0, &st1), 0);
    EXPECT_EQ(std::string({st0, st1}), "03");
    EXPECT_EQ(KDCtrl().LastStatus(), 3);
    EXPECT_NE(Log().find("Status Code = 1001h, m_nLastStatusCd = 3"), std::string::npos);
}

TEST_F(StatusExportTest, OlderAnswerThatIsNotANumberIsABadAnswer) {
    Connect(false);
    sim_->Script(ScriptedAction::On("S").Exact().DataText("OK"));
    int code = 0;
    ASSERT_EQ(GetStatusCode(&code), 0);
    EXPECT_EQ(KDCtrl().LastStatus(), 5);
    EXPECT_EQ(code, 0x3035);
}

TEST_F(StatusExportTest, NoPrinterGivesPortNotOpen) {
    Connect(true);
    sim_->Stop();
    KDCtrl().m_OpenType = 0;
    KDCtrl().m_RetryTimes = 1;
    char st0 = 0, st1 = 0;
    ASSERT_EQ(Get_StatusEx(&st0, &st1), 0);
    EXPECT_EQ(KDCtrl().LastStatus(), 1003);
    EXPECT_EQ(std::string({st0, st1}), "92");
    EXPECT_NE(Log().find("[E]Get_StatusEx - OK, KD_ClearReadBuffer : KD_GetLastStatusCd = [1003]"),
              std::string::npos);
    KDCtrl().m_OpenType = 1;
    KDCtrl().m_RetryTimes = 3;
}

TEST_F(StatusExportTest, ClearingNeedsFirmware107) {
    Connect(true);
    KDCtrl().m_bFwVersion = 106;
    EXPECT_EQ(DeviceErrorClear(), -1);
    EXPECT_EQ(KDCtrl().LastStatus(), 20);
    EXPECT_FALSE(KD_ErrorClearSupported());
    EXPECT_TRUE(Commands().empty());

    KDCtrl().m_bFwVersion = 107;
    EXPECT_EQ(DeviceErrorClear(), 0);
    EXPECT_TRUE(KD_ErrorClearSupported());
    sim_->Script(ScriptedAction::On("RCE").StatusWord(0x8014));
    EXPECT_EQ(DeviceErrorClear(), -1);
    EXPECT_EQ(KDCtrl().LastStatus(), 20);
    EXPECT_FALSE(KD_ErrorClearSupported());
}

// While another thread waits for a slow answer, the status exports report the last status
// at once and leave the port alone.
TEST_F(StatusExportTest, StatusDuringAnotherThreadsExchangeReturnsAtOnce) {
    Connect(true);
    sim_->Script(ScriptedAction::On("RIP").Delay(1500));
    std::thread insert([] { Card_Insert(); });
    ASSERT_TRUE(sim_->WaitForReceived(1, std::chrono::milliseconds(3000)));
    ASSERT_TRUE(testsupport::WaitFor([] { return KDCtrl().BusyInOtherThread(); }, 1000));

    const int last = KDCtrl().LastStatus();  // what the inserting thread's frame left
    const auto start = std::chrono::steady_clock::now();
    int code = 0;
    ASSERT_EQ(GetStatusCode(&code), 0);
    char st0 = 0, st1 = 0;
    ASSERT_EQ(Get_StatusEx(&st0, &st1), 0);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const bool stillBusy = KDCtrl().BusyInOtherThread();
    insert.join();

    EXPECT_TRUE(stillBusy);
    EXPECT_LT(elapsed, std::chrono::milliseconds(500));
    EXPECT_EQ(code, KD_StatusToChars(last).Numeric());
    EXPECT_EQ(st0, static_cast<char>(KD_StatusToChars(last).st0));
    EXPECT_EQ(Commands(), std::vector<std::string>{"!RIP"});
    EXPECT_NE(Log().find("[E]GetStatusCode - OK, KD_GetPortStatus : KD_GetLastStatusCd = [" +
                         std::to_string(last) + "]"),
              std::string::npos);
    EXPECT_NE(Log().find("[E]Get_StatusEx - OK, KD_GetPortStatus"), std::string::npos);
}

TEST_F(StatusExportTest, ResponseIsCopiedWithinTheCallerBuffer) {
    Connect(true);
    sim_->Script(ScriptedAction::On("CSS").DataText("ABCDEFGH"));
    ASSERT_EQ(KDCtrl().KD_Exchange(18, 0, 500000, 1), 0);
    uint8_t buffer[6];
    std::memset(buffer, 0xEE, sizeof buffer);
    int length = -1;
    EXPECT_EQ(KD_GetResponse(KDCtrl(), buffer, 4, &length), 0);
    EXPECT_EQ(length, 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), "ABCD");
    EXPECT_EQ(buffer[4], 0xEE);
    EXPECT_EQ(KD_GetResponse(KDCtrl(), nullptr, 100, &length), 0);
    EXPECT_EQ(length, 0);

    // An answer refused with a status word becomes the printer's error.
    KDCtrl().m_RspStatusWord = 0x800C;
    EXPECT_EQ(KD_GetResponse(KDCtrl(), buffer, sizeof buffer, &length), 12);
    // Older form: an empty answer is a bad frame and asks for a purge.
    KDCtrl().m_NewKDCL = 0;
    KDCtrl().m_RspCount = 0;
    KDCtrl().m_PurgeNeeded = 0;
    EXPECT_EQ(KD_GetResponse(KDCtrl(), buffer, sizeof buffer, &length), 5);
    EXPECT_EQ(KDCtrl().m_PurgeNeeded, 1);
}
