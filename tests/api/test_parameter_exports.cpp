// Parameter and adjustment exports against the simulated printer in both generations.
#include "api/control_common.h"
#include "control_fixture.h"

namespace controltest {
namespace {

TEST_F(ControlTest, ConfigurationItemTable) {
    int value = -1;
    char text[ORVPW_PARAMETER_TEXT_SIZE];
    int length = -1;
    auto is = [&](int expected) { return [&, expected] { EXPECT_EQ(value, expected); }; };
    const std::vector<Case> cases = {
        {"mirrored Y start", Newer, 405, [&] { return GetParametersEx(27, &value); }, {"!GCV 1B"}, 0, [&] {
             EXPECT_EQ(value, 20);
             EXPECT_EQ(kdapi::KD_ControlState().offsetY, 20);
         }, [](PrinterState& s) { s.items[27] = 12; }},
        {"mirrored Y start write", Newer, 405, [] { return SetParametersEx(27, 20); }, {"!SCV 1B 00 00 00 0C"}, 0,
         [] { EXPECT_EQ(kdapi::KD_ControlState().offsetY, 20); }},
        {"exchanged X items", Newer, 405, [&] { return GetParametersEx(25, &value); }, {"!GCV 1A"}, 0, is(12)},
        {"exchanged X items write", Newer, 405, [] { return SetParametersEx(25, 7); }, {"!SCV 1A 00 00 00 07"}, 0},
        {"X item", Newer, 410, [&] { return GetParametersEx(25, &value); }, {"!GCV 19"}, 0, is(11)},
        {"4-byte value", Newer, 407, [&] { return GetParametersEx(32, &value); }, {"!GCV 20"}, 0, is(70000),
         [](PrinterState& s) { s.items[32] = 70000; }},
        {"other item answered", Newer, 407, [&] { return GetParametersEx(23, &value); }, {"!GCV 17"}, 0, is(0), {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("GCV").Data({99, 5})); }},
        {"item byte without value", Newer, 407, [&] { return GetParametersEx(23, &value); }, {"!GCV 17"}, 5, is(0), {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("GCV").Data({23})); }},
        {"items up to 9", Newer, 407, [&] { return GetParametersEx(5, &value); }, {}, 20},
        {"text read has no such limit", Newer, 407, [&] { return GetParameters(5, text, &length); }, {"!GCV 05"}, 21},
        {"mono mode below 1.11", Older, 110, [&] { return GetParametersEx(30, &value); }, {}, 20},
        {"mono mode", Older, 111, [&] { return GetParametersEx(30, &value); }, {"!V 30"}, 0, is(0)},
        {"older-only item", Newer, 407, [&] { return GetParametersEx(37, &value); }, {}, 20},
        {"older-only item", Older, 131, [&] { return GetParametersEx(37, &value); }, {"!V 37"}, 0},
        {"newer-only item", Older, 215, [&] { return GetParametersEx(35, &value); }, {}, 20},
        {"track position below 4.17", Newer, 416, [&] { return GetParametersEx(52, &value); }, {}, 20,
         [this] { EXPECT_NE(Log().find("MS Track position set does not support (p1 = 52) Under F/W ver 417"),
                            std::string::npos); }},
        {"track position", Newer, 417, [&] { return GetParametersEx(52, &value); }, {"!GCV 34"}, 0},
        {"text", Newer, 407, [&] { return LUM_GetParameters(10, text, &length); }, {"!GCV 0A"}, 0, [&] {
             EXPECT_STREQ(text, "30");
             EXPECT_EQ(length, 2);
         }},
        {"text", Older, 215, [&] { return GetParameters(10, text, &length); }, {"!V 10"}, 0, [&] {
             EXPECT_STREQ(text, "30");
             EXPECT_EQ(length, 2);
         }},
        {"X end reads the start first", Older, 215, [] { return SetParametersEx(26, 5); }, {"!V 25", "+O 11 5"}, 0},
        {"X start reads the end first", Older, 215, [] { return SetParametersEx(25, 7); }, {"!V 26", "+O 7 12"}, 0},
        {"colour value", Older, 215, [] { return SetParametersEx(12, 9); }, {"+$C 1 9"}, 0},
        {"colour 5 intensity", Older, 215, [] { return SetParametersEx(19, 4); }, {"+C 4"}, 0},
        {"no older write", Older, 215, [] { return SetParametersEx(47, 1); }, {}, 20,
         [this] { EXPECT_NE(Log().find("Set Parameters : Not Support"), std::string::npos); }},
        {"newer-only write", Older, 215, [] { return SetParametersEx(35, 1); }, {}, 20},
        {"older-only write", Newer, 407, [] { return SetParametersEx(37, 1); }, {}, 20},
        {"ribbon maker below 1.42", Older, 141, [] { return SetParametersEx(38, 2); }, {}, 20},
        {"ribbon maker", Older, 142, [] { return SetParametersEx(38, 2); }, {"+RMS 2"}, 0,
         [] { EXPECT_EQ(KDCtrl().m_RibbonMaker, 2); }},
        {"out of the printer's range", Newer, 407, [] { return SetParametersEx(38, 9); }, {"!SCV 26 00 00 00 09"}, 21},
    };
    RunTable(cases);
}

TEST_F(ControlTest, AdjustmentTable) {
    const std::vector<Case> cases = {
        {"head resistance", Newer, 407, [] { return SetTPHResistance(40); }, {"!SCV 0A 00 00 00 28"}, 0},
        {"head resistance", Older, 215, [] { return LUM_SetTPHResistance(40); }, {"!R 40"}, 0},
        {"colour 4 is item 20", Newer, 407, [] { return AdjustIntensity(4, 7); }, {"!SCV 14 00 00 00 07"}, 0},
        {"colour 5 is item 19", Newer, 407, [] { return AdjustIntensity(5, 7); }, {"!SCV 13 00 00 00 07"}, 0},
        {"colour 2", Newer, 407, [] { return LUM_AdjustIntensity(2, 7); }, {"!SCV 11 00 00 00 07"}, 0},
        {"colour 4", Older, 215, [] { return AdjustIntensity(4, 7); }, {"+CV 7"}, 0},
        {"colour 5", Older, 215, [] { return AdjustIntensity(5, 7); }, {"+C 7"}, 0},
        {"colour 2", Older, 215, [] { return AdjustIntensity(2, 7); }, {"+$L 2 7"}, 0},
        {"colour 6", Older, 215, [] { return AdjustIntensity(6, 7); }, {}, 21},
        {"colour 6", Newer, 407, [] { return AdjustIntensity(6, 7); }, {}, 21},
        {"X offsets", Newer, 410, [] { return OffsetXaxisPrintStartPosition(3, 4); },
         {"!SCV 19 00 00 00 03", "!SCV 1A 00 00 00 04"}, 0},
        {"mirrored X offsets", Newer, 405, [] { return LUM_OffsetXaxisPrintStartPosition(3, 4); },
         {"!SCV 19 00 00 00 1B", "!SCV 1A 00 00 00 10"}, 0},
        {"X offsets", Older, 215, [] { return OffsetXaxisPrintStartPosition(3, 4); }, {"+O 3 4"}, 0},
        {"mirrored Y offset", Newer, 405, [] { return OffsetYaxisPrintStartPosition(10); }, {"!SCV 1B 00 00 00 16"}, 0,
         [] { EXPECT_EQ(kdapi::KD_ControlState().offsetY, 10); }},
        {"Y offset", Older, 215, [] { return LUM_OffsetYaxisPrintStartPosition(9); }, {"+OY 9"}, 0,
         [] { EXPECT_EQ(kdapi::KD_ControlState().offsetY, 9); }},
        {"fine adjust", Older, 215, [] { return LUM_PrintPintAdjust(3); }, {"+OS 3"}, 0},
        {"fine adjust has no newer form", Newer, 407, [] { return PrintPintAdjust(3); }, {}, 20},
        {"mono mode", Newer, 407, [] { return SetMonoPrintMode(1); }, {"!SCV 1E 00 00 00 01"}, 0},
        {"mono mode", Older, 111, [] { return LUM_SetMonoPrintMode(1); }, {"+CD 1"}, 0},
        {"mono mode below 1.11", Older, 110, [] { return SetMonoPrintMode(1); }, {}, 20},
        {"mono tag option", Newer, 407, [] { return SetMonoTagOption(1); }, {"!SCV 2F 00 00 00 01"}, 0},
        {"mono tag option has no older write", Older, 215, [] { return SetMonoTagOption(1); }, {}, 20},
        {"LCD contrast", Newer, 407, [] { return SetLCDContrast(30); }, {"!SDP 00 1E"}, 0,
         [this] { EXPECT_EQ(State().potentiometers[0], 30); }},
        {"LCD contrast", Older, 215, [] { return SetLCDContrast(30); }, {"!V 40", "SLC 30"}, 0},
        {"LCD contrast on old firmware without item 40", Older, 130, [] { return SetLCDContrast(30); }, {"!V 40"}, 20,
         {}, [](PrinterState& s) { s.items[40] = 10; }},
        {"potentiometer", Newer, 407, [] { return SetDigitalPotentiometer(1, 9); }, {"!SDP 01 09"}, 0},
        {"potentiometer has no older form", Older, 215, [] { return SetDigitalPotentiometer(1, 9); }, {}, 20},
        {"sensor position", Newer, 407, [] { return SetSensorPos(4); }, {"!SSC 04"}, 0},
        {"sensor position", Older, 215, [] { return SetSensorPos(4); }, {"+MRS 4"}, 0},
        {"motor duty", Newer, 407, [] { return SetRibbonMotorDuty(60); }, {"!SDV 3C"}, 0},
        {"motor duty", Older, 215, [] { return SetRibbonMotorDuty(60); }, {"+RMD 60"}, 0},
        {"motor duty below 1.22", Older, 121, [] { return SetRibbonMotorDuty(60); }, {}, 20},
    };
    RunTable(cases);
}

TEST_F(ControlTest, ReadAdjustmentTable) {
    int value = -1;
    auto is = [&](int expected) { return [&, expected] { EXPECT_EQ(value, expected); }; };
    const std::vector<Case> cases = {
        {"mono tag option", Newer, 407, [&] { return GetMonoTagOption(&value); }, {"!GCV 2F"}, 0, is(3),
         [](PrinterState& s) { s.items[47] = 3; }},
        {"LCD contrast", Newer, 407, [&] { return GetLCDContrast(&value); }, {"!GDP 00"}, 0, is(40)},
        {"LCD contrast", Older, 215, [&] { return GetLCDContrast(&value); }, {"!V 40", "SGL"}, 0, is(40)},
        {"potentiometer", Newer, 407, [&] { return GetDigitalPotentiometer(2, &value); }, {"!GDP 02"}, 0, is(60)},
        {"short potentiometer answer", Newer, 407, [&] { return GetDigitalPotentiometer(2, &value); }, {"!GDP 02"}, 5,
         is(0), {}, [](SimPrinter& sim) { sim.Script(ScriptedAction::On("GDP").Data({})); }},
        {"sensor position", Newer, 407, [&] { return GetSensorPos(&value); }, {"!GSC"}, 0, is(3)},
        {"sensor position", Older, 215, [&] { return GetSensorPos(&value); }, {"!V 42"}, 0, is(3)},
        {"motor duty", Newer, 407, [&] { return GetRibbonMotorDuty(&value); }, {"!GDV 00"}, 0, is(55)},
        {"motor duty", Older, 215, [&] { return GetRibbonMotorDuty(&value); }, {"!RMD"}, 0, is(55)},
        {"motor duty below 1.22", Older, 121, [&] { return GetRibbonMotorDuty(&value); }, {}, 20, is(0)},
        {"print count", Newer, 407, [&] { return GetPrintCount(&value); }, {"!GPC"}, 0, is(70000),
         [](PrinterState& s) { s.items[32] = 70000; }},
        {"print count", Older, 215, [&] { return GetPrintCount(&value); }, {"!V 32"}, 0, is(123),
         [](PrinterState& s) { s.items[32] = 123; }},
        {"print count below 1.17", Older, 116, [&] { return GetPrintCount(&value); }, {}, 20},
        {"set print count", Newer, 407, [] { return SetPrintCount(70000); }, {"!SPC 00 01 11 70"}, 0},
        {"set print count", Older, 215, [] { return SetPrintCount(70000); }, {"!SPC 70000"}, 0},
        {"set print count below 1.17", Older, 116, [] { return SetPrintCount(1); }, {}, 20},
        {"null out pointer", Newer, 407, [] { return GetSensorPos(nullptr); }, {}, 21},
    };
    RunTable(cases);
}

TEST_F(ControlTest, CardCounterTable) {
    int c[7];
    int value = -1;
    auto all = [&] { return GetPrintCardCountEx(&c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6]); };
    const std::vector<uint8_t> block24 = Bytes({0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 1, 0, 0, 5,
                                                 0, 0, 0, 6, 0, 7});
    const std::vector<Case> cases = {
        {"below 4.20 counters 5 and 6 stay 0", Newer, 410, all, {"!GCC"}, 0, [&] {
             EXPECT_EQ(c[0], 1);
             EXPECT_EQ(c[3], 256);
             EXPECT_EQ(c[4], 5);
             EXPECT_EQ(c[5], 0);
             EXPECT_EQ(c[6], 0);
         }, {}, [block24](SimPrinter& sim) { sim.Script(ScriptedAction::On("GCC").Data(block24)); }},
        {"all counters from 4.20", Newer, 420, all, {"!GCC"}, 0, [&] {
             EXPECT_EQ(c[0], 1000);
             EXPECT_EQ(c[5], 6);
             EXPECT_EQ(c[6], 7);
         }},
        {"short block from 4.20", Newer, 420, all, {"!GCC"}, 5, [&] { EXPECT_EQ(c[0], 0); }, {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("GCC").Data(std::vector<uint8_t>(18, 1))); }},
        {"no older form", Older, 215, all, {}, 20},
        {"one counter", Newer, 407, [&] { return GetPrintCardCount(4, &value); }, {"!GCC"}, 0,
         [&] { EXPECT_EQ(value, 5); }},
        {"counter 6", Newer, 420, [&] { return GetPrintCardCount(6, &value); }, {"!GCC"}, 0,
         [&] { EXPECT_EQ(value, 7); }},
        {"index 7", Newer, 420, [&] { return GetPrintCardCount(7, &value); }, {}, 21},
        {"set counter", Newer, 407, [] { return SetPrintCardCount(2, 300); }, {"!SCC 02 00 00 01 2C"}, 0,
         [this] { EXPECT_EQ(State().card_counters[2], 300u); }},
        {"set has no older form", Older, 215, [] { return SetPrintCardCount(2, 300); }, {}, 20},
    };
    RunTable(cases);
}

TEST(LibraryAdjustments, StoredOnlyWhenInRange) {
    auto& state = kdapi::KD_ControlState();
    EXPECT_EQ(state.red, 50u);
    EXPECT_EQ(SetRGB(10, 20, 30), 0);
    EXPECT_EQ(SetRGB(0, 20, 30), -1);
    EXPECT_EQ(SetRGB(10, 20, 101), -1);
    EXPECT_EQ(state.red, 10u);
    EXPECT_EQ(state.blue, 30u);
    EXPECT_EQ(SetAdjustBC(100, 0), -1);
    EXPECT_FALSE(state.brightnessContrastSet);
    EXPECT_EQ(SetAdjustBC(60, 40), 0);
    EXPECT_TRUE(state.brightnessContrastSet);
    EXPECT_EQ(SetSharpening(11), -1);
    EXPECT_EQ(SetSharpening(10), 0);
    EXPECT_EQ(state.sharpening, 10u);
    EXPECT_EQ(SetDiffusion(2), -1);
    EXPECT_FALSE(state.diffusionSet);
    EXPECT_EQ(SetDiffusion(1), 0);
    EXPECT_EQ(state.diffusion, 1u);
}

}  // namespace
}  // namespace controltest
