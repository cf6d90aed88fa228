// Ribbon exports against the simulated printer in both generations.
#include <cstring>

#include "api/control_common.h"
#include "control_fixture.h"

namespace controltest {
namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST_F(ControlTest, RibbonCheckAndCountTable) {
    int ribbon = -1;
    int tag = -1;
    int count = -1;
    auto nearEnd = [](PrinterState& s) { s.ribbon_remaining = 5; };
    const std::vector<Case> cases = {
        {"check", Newer, 407, [&] { return CheckRibbon(&ribbon); }, {"!CRS"}, 0, [&] { EXPECT_EQ(ribbon, '1'); }},
        {"check", Older, 215, [&] { return LUM_CheckRibbon(&ribbon); }, {"CR"}, 0, [&] { EXPECT_EQ(ribbon, '1'); }},
        {"check below 1.16", Older, 115, [&] { return CheckRibbon(&ribbon); }, {}, 20, [&] { EXPECT_EQ(ribbon, 0); }},
        {"near end is no failure", Newer, 407, [&] { return CheckRibbon(&ribbon); }, {"!CRS"}, 0,
         [&] { EXPECT_EQ(ribbon, '1'); }, nearEnd},
        {"near end is no failure", Older, 215, [&] { return CheckRibbon(&ribbon); }, {"CR"}, 0,
         [&] { EXPECT_EQ(ribbon, 0); }, nearEnd},
        {"check with tag ribbon", Newer, 407, [&] { return CheckRibbonEx(&ribbon, &tag); }, {"!CRS"}, 0,
         [&] { EXPECT_EQ(ribbon, '1'); EXPECT_EQ(tag, '2'); }, [](PrinterState& s) { s.rf_tag_ribbon_type = 2; }},
        {"check with tag ribbon", Older, 215, [&] { return CheckRibbonEx(&ribbon, &tag); }, {"CR", "RTI 0"}, 0,
         [&] { EXPECT_EQ(ribbon, '1'); EXPECT_EQ(tag, '1'); }},
        {"short answer", Newer, 407, [&] { return CheckRibbonEx(&ribbon, &tag); }, {"!CRS"}, 5, {}, {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("CRS").Data({0x31})); }},
        {"count", Newer, 407, [&] { return CheckRibbonCount(&count); }, {"!CRC"}, 0, [&] { EXPECT_EQ(count, 250); }},
        {"count below 1.20", Newer, 119, [&] { return CheckRibbonCount(&count); }, {}, 20},
        {"count has no older form", Older, 215, [&] { return CheckRibbonCount(&count); }, {}, 20},
        {"count from a one-byte answer", Newer, 407, [&] { return CheckRibbonCount(&count); }, {"!CRC"}, 5,
         [&] { EXPECT_EQ(count, 0); }, {}, [](SimPrinter& sim) { sim.Script(ScriptedAction::On("CRC").Data({1})); }},
    };
    RunTable(cases);
}

TEST_F(ControlTest, RibbonSyncAndSensorTable) {
    int a = -1;
    int b = -1;
    const std::vector<Case> cases = {
        {"sync", Newer, 407, [] { return SetRibbonSync(); }, {"!RRS 00"}, 0, [this] { EXPECT_EQ(State().ribbon_syncs, 1); }},
        {"sync", Older, 215, [] { return LUM_SetRibbonSync(); }, {"SYNC"}, 0},
        {"sync below 1.20", Older, 119, [] { return SetRibbonSync(); }, {}, 20},
        {"sync with value", Newer, 407, [] { return SetRibbonSyncEx(3); }, {"!RRS 03"}, 0,
         [this] { EXPECT_EQ(State().last_sync_value, 3); }},
        {"older sync carries no value", Older, 215, [] { return SetRibbonSyncEx(3); }, {"SYNC"}, 0},
        {"sync option", Newer, 407, [] { return SetRibbonSyncOption(1); }, {"!SCV 21 00 00 00 01"}, 0},
        {"sync option", Older, 120, [] { return LUM_SetRibbonSyncOption(1); }, {"+RS 1"}, 0},
        {"sync option below 1.20", Older, 119, [] { return SetRibbonSyncOption(1); }, {}, 20},
        {"sensor", Newer, 407, [&] { return GetRibbonSensor(&a); }, {"!GRS"}, 0, [&] { EXPECT_EQ(a, 512); }},
        {"sensor falls back to the second value", Newer, 407, [&] { return LUM_GetRibbonSensor(&a); }, {"!GRS"}, 0,
         [&] { EXPECT_EQ(a, 640); }, [](PrinterState& s) { s.ribbon_sensor[0] = 0; }},
        {"both sensors", Newer, 407, [&] { return GetRibbonSensorEx(&a, &b); }, {"!GRS"}, 0,
         [&] { EXPECT_EQ(a, 512); EXPECT_EQ(b, 640); }},
        {"sensor as text", Older, 215, [&] { return GetRibbonSensorEx(&a, &b); }, {"&RIB"}, 0,
         [&] { EXPECT_EQ(a, 512); EXPECT_EQ(b, 0); }},
        {"sensor below 1.17", Older, 116, [&] { return GetRibbonSensor(&a); }, {}, 20},
        {"short sensor answer", Newer, 407, [&] { return GetRibbonSensorEx(&a, &b); }, {"!GRS"}, 5,
         [&] { EXPECT_EQ(a, 0); EXPECT_EQ(b, 0); }, {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("GRS").Data({0, 1})); }},
        {"calibrate", Newer, 407, [] { return SetRibbonSensor(); }, {"!SRS"}, 0},
        {"calibrate", Older, 136, [] { return SetRibbonSensor(); }, {"SRS"}, 0},
        {"calibrate below 1.36", Older, 135, [] { return SetRibbonSensor(); }, {}, 20},
        {"ADC write carries no value", Newer, 407, [] { return SetRibbonSensorADC(100); }, {"!SRS"}, 0},
        {"ADC write", Older, 215, [] { return SetRibbonSensorADC(100); }, {"!V 40", "SRC 100"}, 0,
         [this] { EXPECT_EQ(State().ribbon_sensor_adc, 100); }},
        {"ADC write on old firmware with item 40", Older, 130, [] { return SetRibbonSensorADC(100); },
         {"!V 40", "SRC 100"}, 0},
        {"ADC write on old firmware without item 40", Older, 130, [] { return SetRibbonSensorADC(100); },
         {"!V 40"}, 20, {}, [](PrinterState& s) { s.items[40] = 10; }},
        {"ADC read", Older, 215, [&] { return GetRibbonSensorADC(&a); }, {"!V 40", "SGR"}, 0, [&] { EXPECT_EQ(a, 120); }},
        {"ADC read has no newer form", Newer, 407, [&] { return GetRibbonSensorADC(&a); }, {}, 20},
    };
    RunTable(cases);
}

TEST_F(ControlTest, RibbonInformationTable) {
    int code = -1;
    int count = -1;
    char info[ORVPW_RIBBON_INFO_SIZE];
    int length = -1;
    auto infoEx = [&] { return GetRibbonInfoEx(0, &code, &count); };
    auto codeCount = [&](int c, int n) {
        return [&, c, n] {
            EXPECT_EQ(code, c);
            EXPECT_EQ(count, n);
        };
    };
    const std::string longText(300, 'x');
    const std::vector<Case> cases = {
        {"info", Newer, 407, infoEx, {"!GCV 18", "!GOI", "!CRC"}, 0, codeCount('1', 250)},
        {"type 11 is ';'", Newer, 407, infoEx, {"!GCV 18", "!GOI", "!CRC"}, 0, codeCount(';', 250),
         [](PrinterState& s) { s.items[24] = 11; }},
        {"type 128 is '3'", Newer, 407, infoEx, {"!GCV 18", "!GOI", "!CRC"}, 0, codeCount('3', 250),
         [](PrinterState& s) { s.items[24] = 128; }},
        {"unknown type", Newer, 407, infoEx, {"!GCV 18", "!GOI", "!CRC"}, 0, codeCount(0, 250),
         [](PrinterState& s) { s.items[24] = 9; }},
        {"no count without the tag option", Newer, 407, infoEx, {"!GCV 18", "!GOI"}, 0, codeCount('1', 0),
         [](PrinterState& s) { s.option_word = 0; }},
        {"failed count is ignored", Newer, 407, infoEx, {"!GCV 18", "!GOI", "!CRC"}, 0, codeCount('1', 0), {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("CRC").StatusWord(0x8026)); }},
        {"bad answer is the tag module's time-out", Newer, 407, infoEx, {"!GCV 18"}, 41, codeCount(0, 0), {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("GCV").Data({24})); }},
        {"info", Older, 215, infoEx, {"RTI 0"}, 0, codeCount('1', 250)},
        {"code outside the accepted characters", Older, 215, infoEx, {"RTI 0"}, 0, codeCount(0, 12), {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("RTI").DataText("Z 12")); }},
        {"empty older answer", Older, 215, infoEx, {"RTI 0"}, 41, codeCount(0, 0), {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("RTI").RawAnswer(Bytes({0x06}))); }},
        {"info below 1.24", Older, 123, infoEx, {}, 20},
        {"text", Older, 215, [&] { return LUM_GetRibbonInfo(1, info, &length); }, {"RTI 1"}, 0,
         [&] { EXPECT_STREQ(info, "1 250"); EXPECT_EQ(length, 5); }},
        {"long text is cut to the buffer", Older, 215, [&] { return GetRibbonInfo(1, info, &length); }, {"RTI 1"}, 0,
         [&] { EXPECT_EQ(length, ORVPW_RIBBON_INFO_SIZE - 1); EXPECT_EQ(std::strlen(info), size_t(length)); }, {},
         [longText](SimPrinter& sim) { sim.Script(ScriptedAction::On("RTI").DataText(longText)); }},
        {"text has no newer form", Newer, 407, [&] { return GetRibbonInfo(1, info, &length); }, {}, 20},
        {"null text buffer", Older, 215, [&] { return GetRibbonInfo(1, nullptr, &length); }, {}, 21},
    };
    RunTable(cases);
}

TEST_F(ControlTest, RibbonTypeTable) {
    auto window = [](int start0, int start1, int length0, int length1) {
        return [=] {
            const auto& state = kdapi::KD_ControlState();
            EXPECT_EQ(state.halfStart[0], start0);
            EXPECT_EQ(state.halfStart[1], start1);
            EXPECT_EQ(state.halfLength[0], length0);
            EXPECT_EQ(state.halfLength[1], length1);
        };
    };
    auto type = [](int expected) { return [=] { EXPECT_EQ(kdapi::KD_ControlState().ribbonType, expected); }; };
    const std::vector<Case> cases = {
        {"half panel", Newer, 407, [] { return SetRibbonType(128, 10, 35); }, {"!SRT 00 80"}, 0,
         window(118, 118, 400, 400)},
        {"half panel", Older, 215, [] { return LUM_SetRibbonType(128, 50, 35); }, {"+RIB \\x80"}, 0,
         window(590, 590, 400, 400)},
        {"half start above 50", Newer, 407, [] { return SetRibbonType(128, 60, 35); }, {}, 21},
        {"half width other than 35", Newer, 407, [] { return SetRibbonType(128, 10, 30); }, {}, 21},
        {"full panel", Older, 215, [] { return SetRibbonType(0, 10, 30); }, {"+RIB 0"}, 0, window(0, 0, 400, 1013)},
        {"3 means 128", Newer, 407, [] { return SetRibbonTypeEx(0, 3); }, {"!SRT 00 80"}, 0, type(128)},
        {"3 means 128", Older, 215, [] { return SetRibbonTypeEx(0, 3); }, {"+RIB \\x80"}, 0,
         [this] { EXPECT_EQ(State().items.at(24), 128); }},
        {"8 travels as 4", Older, 215, [] { return SetRibbonTypeEx(0, 8); }, {"+RIB 4"}, 0, type(8)},
        {"p1 travels in the newer form", Newer, 407, [] { return SetRibbonTypeEx(2, 1); }, {"!SRT 02 01"}, 0,
         [this] { EXPECT_EQ(State().last_ribbon_type_p1, 2); }},
        {"type 6 from 2.27", Newer, 227, [] { return SetRibbonTypeEx(0, 6); }, {"!SRT 00 06"}, 0},
        {"type 6 below 2.27", Newer, 226, [] { return SetRibbonTypeEx(0, 6); }, {}, 20},
        {"type 14 below 2.34", Newer, 233, [] { return SetRibbonTypeEx(0, 14); }, {}, 20},
        {"type 12 below 1.50", Older, 149, [] { return SetRibbonTypeEx(0, 12); }, {}, 20},
        {"unknown older type", Older, 215, [] { return SetRibbonTypeEx(0, 9); }, {}, 21},
        {"refused type keeps the old one", Newer, 407, [] { return SetRibbonTypeEx(0, 5); }, {"!SRT 00 05"}, 21,
         type(0), {}, [](SimPrinter& sim) { sim.Script(ScriptedAction::On("SRT").StatusWord(0x8015)); }},
    };
    for (const Case& c : cases) {
        kdapi::KD_ControlState().ribbonType = 0;
        RunTable({c});
    }
}

TEST_F(ControlTest, RfTagAndMakerTable) {
    int valid = -1;
    unsigned char tag[ORVPW_RF_TAG_SIZE];
    int value = -1;
    const unsigned char written[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t check = 0x5C ^ 0x93;
    for (unsigned char b : written) check ^= b;
    check ^= 0x2A;
    char checkHex[4];
    std::snprintf(checkHex, sizeof checkHex, "%02X", check);
    const std::vector<Case> cases = {
        {"read", Newer, 407, [&] { return GetRfTag(&valid, tag); }, {"!ARR"}, 0, [&] {
             EXPECT_EQ(valid, 1);
             EXPECT_EQ(tag[0], 0x10);
             EXPECT_EQ(tag[8], 0x90);
         }},
        {"read valid byte only", Older, 118, [&] { return GetRfTag(&valid, tag); }, {"&RFtag"}, 0, [&] {
             EXPECT_EQ(valid, 1);
             EXPECT_EQ(tag[0], 0);
         }},
        {"read below 1.18", Older, 117, [&] { return GetRfTag(&valid, tag); }, {}, 20},
        {"short read", Newer, 407, [&] { return GetRfTag(&valid, tag); }, {"!ARR"}, 5, [&] { EXPECT_EQ(valid, 0); }, {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("ARR").Data({1, 2, 3})); }},
        {"write", Newer, 407, [&] { return SetRfTag(0x5C93, written); },
         {std::string("!ASR 5C 93 01 02 03 04 05 06 07 08 ") + checkHex}, 0,
         [this] { EXPECT_EQ(State().rf_tag[7], 8); }},
        {"write code not valid", Newer, 407, [&] { return SetRfTag(0x1234, written); }, {}, 20},
        {"write", Older, 118, [&] { return SetRfTag(0, written); },
         {"&RFTAG \\x01\\x02\\x03\\x04\\x05\\x06\\x07\\x08"}, 0},
        {"write below 1.18", Older, 117, [&] { return SetRfTag(0, written); }, {}, 20},
        {"tag ribbon type", Newer, 407, [&] { return GetRFTagRibbonType(&value); }, {"!GRR"}, 0,
         [&] { EXPECT_EQ(value, 4); }, [](PrinterState& s) { s.rf_tag_ribbon_type = 4; }},
        {"set tag ribbon type", Newer, 407, [] { return SetRFTagRibbonType(5); }, {"!SRR 05"}, 0},
        {"tag ribbon type has no older form", Older, 215, [&] { return GetRFTagRibbonType(&value); }, {}, 20},
        {"maker", Newer, 407, [&] { return N_GetRibbonMaker(&value); }, {"!LRM"}, 0, [&] {
             EXPECT_EQ(value, 2);
             EXPECT_EQ(KDCtrl().m_RibbonMaker, 2);
             EXPECT_TRUE(EndsWith(kdapi::KD_ControlState().printerProfile, "/vesta_ITWo_160405.ICM"));
         }, [](PrinterState& s) { s.ribbon_maker = 2; }},
        {"set maker selects profiles even when refused", Newer, 320, [] { return N_SetRibbonMaker(1); },
         {"!SRM 01"}, 21, [] {
             EXPECT_TRUE(EndsWith(kdapi::KD_ControlState().printerProfile, "/ORV_DNP_140701.icm"));
             EXPECT_TRUE(EndsWith(kdapi::KD_ControlState().monitorProfile, "/ORVMNTR01.ICC"));
         }, {}, [](SimPrinter& sim) { sim.Script(ScriptedAction::On("SRM").StatusWord(0x8015)); }},
        {"set maker", Older, 215, [] { return N_SetRibbonMaker(0); }, {"+RMS 0"}, 0,
         [this] { EXPECT_EQ(State().ribbon_maker, 0); }},
    };
    RunTable(cases);
}

}  // namespace
}  // namespace controltest
