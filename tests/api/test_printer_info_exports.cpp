// Printer information, maintenance and network exports against the simulated printer.
#include <cstring>

#include "api/control_common.h"
#include "control_fixture.h"

namespace controltest {
namespace {

TEST_F(ControlTest, InformationTable) {
    int a = -1;
    int b = -1;
    unsigned char record[ORVPW_SYSTEM_INFO_SIZE];
    int length = -1;
    const unsigned char written[3] = {7, 8, 9};
    const std::vector<Case> cases = {
        {"option words", Newer, 407, [&] { return GetOptionInformation(&a, &b); }, {"!GOI"}, 0, [&] {
             EXPECT_EQ(a, 0x1234);
             EXPECT_EQ(b, 0x0056);
         }, [](PrinterState& s) { s.option_word = 0x1234; s.type_word = 0x0056; }},
        {"type word first on 4.00-4.04", Newer, 402, [&] { return GetOptionInformation(&a, &b); }, {"!GOI"}, 0, [&] {
             EXPECT_EQ(a, 0x1234);
             EXPECT_EQ(b, 0x0056);
         }, [](PrinterState& s) { s.option_word = 0x1234; s.type_word = 0x0056; }},
        {"short option answer", Newer, 407, [&] { return GetOptionInformation(&a, &b); }, {"!GOI"}, 5, {}, {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("GOI").Data({1, 2, 3})); }},
        {"option words have no older form", Older, 215, [&] { return GetOptionInformation(&a, &b); }, {}, 20},
        {"write option words", Newer, 402, [] { return SetOptionInformation(0x1234, 0x0056); },
         {"!AOI 00 56 12 34"}, 0, [this] { EXPECT_EQ(State().option_word, 0x1234); }},
        {"write option words", Newer, 320, [] { return SetOptionInformation(0x1234, 0x0056); },
         {"!AOI 12 34 00 56"}, 0},
        {"option word beyond 16 bits", Newer, 407, [] { return SetOptionInformation(0x10000, 0); }, {}, 21},
        {"system record", Newer, 407, [&] { return GetSystemInformation(2, &length, record); }, {"!GSI 02"}, 0, [&] {
             EXPECT_EQ(length, 3);
             EXPECT_EQ(record[2], 0xCC);
         }, [](PrinterState& s) { s.system_information[2] = {0xAA, 0xBB, 0xCC}; }},
        {"other type answered", Newer, 407, [&] { return GetSystemInformation(2, &length, record); }, {"!GSI 02"}, 0,
         [&] { EXPECT_EQ(length, 0); }, {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("GSI").Data({5, 1, 2})); }},
        {"record longer than the buffer", Newer, 407, [&] { return GetSystemInformation(2, &length, record); },
         {"!GSI 02"}, 70, [&] { EXPECT_EQ(length, 0); },
         [](PrinterState& s) { s.system_information[2] = std::vector<uint8_t>(ORVPW_SYSTEM_INFO_SIZE + 1, 1); }},
        {"write system record", Newer, 407, [&] { return SetSystemInformation(4, 3, written); }, {"!ASI 04 07 08 09"}, 0,
         [this] { EXPECT_EQ(State().system_information.at(4).size(), 3u); }},
        {"null record with a size", Newer, 407, [] { return SetSystemInformation(4, 3, nullptr); }, {}, 21},
        {"model and OEM", Newer, 407, [&] { return GetModelNation(&a, &b); }, {"!GSI 00"}, 0, [&] {
             EXPECT_EQ(a, 3);
             EXPECT_EQ(b, 4);
         }, [](PrinterState& s) { s.model_type = 3; s.oem_type = 4; }},
        {"model and OEM", Older, 215, [&] { return GetModelNation(&a, &b); }, {"GSI"}, 0, [&] {
             EXPECT_EQ(a, 3);
             EXPECT_EQ(b, 4);
         }, [](PrinterState& s) { s.model_type = 3; s.oem_type = 4; }},
        {"model below 1.24", Older, 123, [&] { return GetModelNation(&a, &b); }, {}, 20},
    };
    RunTable(cases);
}

TEST_F(ControlTest, MaintenanceTable) {
    int result = -1;
    const std::vector<Case> cases = {
        {"cleaning", Newer, 407, [] { return CleaningMode(); }, {"!RCL"}, 0, [this] { EXPECT_EQ(State().cleanings, 1); }},
        {"cleaning", Older, 120, [] { return CleaningMode(); }, {"CLEAN"}, 0},
        {"cleaning below 1.20", Older, 119, [] { return CleaningMode(); }, {}, 20},
        {"cleaning with the cover open", Newer, 407, [] { return CleaningMode(); }, {"!RCL"}, 10, {},
         [](PrinterState& s) { orvpw::sim::Raise(s, orvpw::sim::SimFault::cover_open); }},
        {"self test", Newer, 407, [] { return SelfTestMode(2); }, {"!RSP 02"}, 0},
        {"self test", Older, 215, [] { return SelfTestMode(2); }, {"A 2"}, 0,
         [this] { EXPECT_EQ(State().last_self_test, 2); }},
        {"EEPROM", Newer, 407, [] { return SetEEPRomInit(1, 2); }, {"!SEI 01 02"}, 0},
        {"EEPROM has no older form", Older, 215, [] { return SetEEPRomInit(1, 2); }, {}, 20},
        {"save configuration", Newer, 407, [] { return N_SaveConfigurationData(1); }, {"!SCF 01"}, 0},
        {"load configuration", Newer, 407, [] { return N_LoadConfigurationData(1); }, {"!LCF 01"}, 0},
        {"power control", Newer, 407, [] { return N_SetPowerControlBoard(3); }, {"!SCB 03"}, 0,
         [this] { EXPECT_EQ(State().power_control_board, 3); }},
        {"older save is a no-op", Older, 215, [] { return N_SaveConfigurationData(1); }, {}, 0,
         [this] { EXPECT_NE(Log().find("N_SaveConfigurationData - Not Support"), std::string::npos); }},
        {"older power control is a no-op", Older, 215, [] { return N_SetPowerControlBoard(1); }, {}, 0},
        {"rewrite on", Newer, 407, [&] { return ConfigureRewriteMode(2, 1, &result); }, {"!CRM 02 25"}, 0, [&] {
             EXPECT_EQ(result, 0);
             EXPECT_TRUE(State().rewrite[1]);
         }},
        {"rewrite off", Newer, 407, [&] { return ConfigureRewriteMode(1, 0, &result); }, {"!CRM 01 00"}, 0},
        {"rewrite query", Newer, 407, [&] { return ConfigureRewriteMode(0, 0, &result); }, {"!CRM 00 00"}, 0,
         [&] { EXPECT_EQ(result, 1); }, {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("CRM").Data({'%', 0})); }},
        {"short rewrite answer", Newer, 407, [&] { return ConfigureRewriteMode(0, 0, &result); }, {"!CRM 00 00"}, 5,
         [&] { EXPECT_EQ(result, 0); }, {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("CRM").Data({'%'})); }},
        {"rewrite has no older form", Older, 215, [&] { return ConfigureRewriteMode(0, 0, &result); }, {}, 20},
        {"print speed sends nothing", Newer, 407, [] { return N_PrintSpeed(2); }, {}, 0, [] {
             EXPECT_EQ(kdapi::KD_ControlState().printSpeedMode, 2);
             EXPECT_TRUE(kdapi::KD_ControlState().printSpeedFlag);
         }},
    };
    RunTable(cases);
}

TEST_F(ControlTest, NetworkAddressTable) {
    unsigned char address[ORVPW_IP_ADDRESS_SIZE] = {};
    const std::vector<Case> cases = {
        {"DHCP keeps the first byte", Newer, 407, [&] {
             const unsigned char given[4] = {1, 2, 3, 4};
             std::memcpy(address, given, 4);
             return N_SetIPAddress(3, address);
         }, {"!SIA 03 01 00 00 00"}, 0, [&] {
             const unsigned char left[4] = {1, 0, 0, 0};
             EXPECT_EQ(std::memcmp(address, left, 4), 0);
         }},
        {"address", Newer, 407, [&] {
             const unsigned char given[4] = {10, 0, 0, 7};
             std::memcpy(address, given, 4);
             return N_SetIPAddress(0, address);
         }, {"!SIA 00 0A 00 00 07"}, 0, [this] { EXPECT_EQ(State().addresses.at(0)[3], 7); }},
        {"read address", Newer, 407, [&] { return N_GetIPAddress(0, address); }, {"!GIA 00"}, 0,
         [&] { EXPECT_EQ(address[0], 192); EXPECT_EQ(address[3], 50); }},
        {"read DHCP", Newer, 407, [&] { return N_GetIPAddress(3, address); }, {"!GIA 03"}, 0,
         [&] { EXPECT_EQ(address[0], 1); EXPECT_EQ(address[1], 0); }},
        {"long answer never passes the buffer", Newer, 407, [&] { return N_GetIPAddress(0, address); }, {"!GIA 00"}, 0,
         [&] { EXPECT_EQ(address[3], 4); }, {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("GIA").Data(std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8})); }},
        {"older address is a no-op", Older, 215, [&] { return N_GetIPAddress(0, address); }, {}, 0},
        {"null address", Newer, 407, [] { return N_SetIPAddress(0, nullptr); }, {}, 21},
    };
    RunTable(cases);
}

}  // namespace
}  // namespace controltest
