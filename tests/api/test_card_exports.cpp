// Card movement and sensor exports against the simulated printer in both generations.
#include "api/control_common.h"
#include "control_fixture.h"

namespace controltest {
namespace {

using orvpw::sim::CardPlace;

void CardInside(PrinterState& state) {
    state.card_inserted = true;
    state.card_place = CardPlace::print;
}

TEST_F(ControlTest, CardMovementTable) {
    const std::vector<Case> cases = {
        {"insert", Newer, 407, [] { return Card_Insert(); }, {"!RIP"}, 0,
         [this] { EXPECT_TRUE(State().card_inserted); EXPECT_EQ(State().hopper_cards, 99); }},
        {"insert", Older, 215, [] { return Card_Insert(); }, {"MI"}, 0},
        {"LUM twin of insert", Newer, 407, [] { return LUM_Card_Insert(); }, {"!RIP"}, 0},
        {"eject ignores its argument", Newer, 407, [] { return Card_Eject(5); }, {"!REH"}, 0},
        {"eject", Newer, 407, [] { return Card_Eject(0); }, {"!REH"}, 0},
        {"eject", Older, 215, [] { return LUM_Card_Eject(0); }, {"MO"}, 0},
        // Insert with an option.
        {"insertEx writes item 42 above 2.32", Newer, 240, [] { return Card_InsertEx(2); },
         {"!SCV 2A 00 00 00 02", "!RIP"}, 0},
        {"insertEx plain insert up to 2.32", Newer, 200, [] { return Card_InsertEx(2); }, {"!RIP"}, 0},
        {"insertEx with option", Older, 140, [] { return Card_InsertEx(2); }, {"MI 2"}, 0,
         [this] { EXPECT_EQ(State().last_insert_option, 2); }},
        {"insertEx falls back when the option is refused", Older, 140,
         [] { return Card_InsertEx(2); }, {"MI 2", "MI"}, 0, {}, {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("MI 2").Exact().Nak(20)); }},
        {"insertEx up to 1.36 is a plain insert", Older, 136, [] { return Card_InsertEx(2); }, {"MI"}, 0},
        {"insertEx stops on a refused item 42", Newer, 240, [] { return Card_InsertEx(2); },
         {"!SCV 2A 00 00 00 02"}, 21, {}, {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("SCV").StatusWord(0x8015)); }},
        // Eject with an option.
        {"ejectEx 4 on 2.40", Newer, 240, [] { return Card_EjectEx(4); },
         {"!SCV 2C 00 00 00 06", "!SCV 27 00 00 00 03", "!REH 04"}, 0},
        {"ejectEx 3 on 3.20 is the box eject", Newer, 320, [] { return Card_EjectEx(3); }, {"!EBC 34"}, 0,
         [this] { EXPECT_EQ(State().last_eject_box, '4'); }},
        {"ejectEx 2 on 4.07 clears the eject mode", Newer, 407, [] { return Card_EjectEx(2); },
         {"!SCV 2C 00 00 00 00", "!SCV 27 00 00 00 02", "!REH 02"}, 0,
         [this] { EXPECT_EQ(State().last_eject_option, 2); }},
        {"ejectEx 8 is the top exit", Older, 150, [] { return Card_EjectEx(8); }, {"!TE"}, 0,
         [this] { EXPECT_TRUE(State().ejected_top); }},
        {"ejectEx 8 has no newer form", Newer, 407, [] { return Card_EjectEx(8); }, {}, 20},
        {"ejectEx up to 1.32 is a plain eject", Older, 132, [] { return Card_EjectEx(2); }, {"MO"}, 0},
        {"ejectEx", Older, 140, [] { return Card_EjectEx(2); }, {"MOX 2"}, 0},
        {"ejectEx refused option falls back", Older, 140, [] { return Card_EjectEx(2); },
         {"MOX 2", "MO"}, 0, {}, {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("MOX").Nak(21)); }},
        {"ejectEx option beyond a byte", Newer, 407, [] { return Card_EjectEx(300); }, {}, 21},
        // Flip, flipper, reject, external input.
        {"flip", Newer, 407, [] { return Card_Flip(); }, {"!RTC"}, 0,
         [this] { EXPECT_TRUE(State().card_flipped); }, CardInside},
        {"flip", Older, 215, [] { return LUM_Card_Flip(); }, {"!T"}, 0, {}, CardInside},
        {"flip below 1.08 ejects", Older, 107, [] { return Card_Flip(); }, {"MO"}, 0, {}, CardInside},
        {"flip clears a changer error and retries", Newer, 407, [] { return Card_Flip(); },
         {"!RTC", "!RCE", "!RTC"}, 0, {}, CardInside,
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("RTC").StatusWord(0x8032)); }},
        {"flipper to printer", Older, 215, [] { return Card_MoveFlipperToPrinter(); }, {"!MFP"}, 0,
         [this] { EXPECT_EQ(State().card_place, CardPlace::print); },
         [](PrinterState& s) { s.card_inserted = true; s.card_place = CardPlace::flipper; }},
        {"flipper to printer has no newer form", Newer, 407, [] { return Card_MoveFlipperToPrinter(); },
         {}, 20},
        {"reject", Newer, 407, [] { return Card_Reject(1); }, {"!RCR 01"}, 0,
         [this] { EXPECT_EQ(State().rejects, 1); }, CardInside},
        {"reject has no older form", Older, 215, [] { return Card_Reject(1); }, {}, 20},
        {"reject option beyond a byte", Newer, 407, [] { return Card_Reject(256); }, {}, 21},
        {"external input", Older, 114, [] { return ExtCardInput(); }, {"MIE"}, 0,
         [this] { EXPECT_EQ(State().external_inserts, 1); }},
        {"external input below 1.14", Older, 113, [] { return ExtCardInput(); }, {}, 20},
        {"external input has no newer form", Newer, 407, [] { return ExtCardInput(); }, {}, 20},
    };
    RunTable(cases);
}

TEST_F(ControlTest, CardSettingsTable) {
    int lock = -1;
    int hopperType = -1;
    const std::vector<Case> cases = {
        {"input direction", Newer, 407, [] { return SetCardInputDirection(2); }, {"!SCV 17 00 00 00 02"}, 0,
         [this] { EXPECT_EQ(State().items.at(23), 2); }},
        {"input direction", Older, 215, [] { return LUM_SetCardInputDirection(2); }, {"+ID 2"}, 0},
        {"input option", Newer, 407, [] { return SetCardInputOption(1); }, {"!SCV 1F 00 00 00 01"}, 0},
        {"input option", Older, 116, [] { return LUM_SetCardInputOption(1); }, {"!I 1"}, 0},
        {"input option below 1.16", Older, 115, [] { return SetCardInputOption(1); }, {}, 20},
        {"ready position", Older, 120, [] { return LUM_SetCardReadyPosition(1); }, {"+CRP 1"}, 0},
        {"ready position below 1.20", Older, 119, [] { return SetCardReadyPosition(1); }, {}, 20},
        {"ready position has no newer form", Newer, 407, [] { return SetCardReadyPosition(1); }, {}, 20},
        {"hopper motor B", Newer, 407, [] { return HopperMotorBEx(3); }, {"!HMB 03"}, 0,
         [this] { EXPECT_EQ(State().last_hopper_motor, 3); }},
        {"hopper motor B has no older form", Older, 215, [] { return HopperMotorBEx(3); }, {}, 20},
        {"soft lock on", Newer, 407, [] { return SetFlipperSoftLock(1); }, {"!SSL A5"}, 0},
        {"any other value unlocks", Newer, 407, [] { return SetFlipperSoftLock(2); }, {"!SSL FF"}, 0},
        {"read locked", Newer, 407, [&] { return GetFlipperSoftLock(&lock); }, {"!GSL"}, 0,
         [&] { EXPECT_EQ(lock, 1); }, [](PrinterState& s) { s.flipper_lock = 0xA5; }},
        {"read unlocked", Newer, 407, [&] { return GetFlipperSoftLock(&lock); }, {"!GSL"}, 0,
         [&] { EXPECT_EQ(lock, 0); }},
        {"hopper type", Newer, 407, [] { return SetHopperType(2); }, {"!SHT 02"}, 0},
        {"read hopper type", Newer, 407, [&] { return GetHopperType(&hopperType); }, {"!GHT"}, 0,
         [&] { EXPECT_EQ(hopperType, 7); }, [](PrinterState& s) { s.hopper_type = 7; }},
        {"hopper type has no older form", Older, 215, [&] { return GetHopperType(&hopperType); }, {}, 20,
         [&] { EXPECT_EQ(hopperType, 0); }},
        {"null out pointer", Newer, 407, [] { return GetHopperType(nullptr); }, {}, 21},
    };
    RunTable(cases);
}

TEST_F(ControlTest, SensorTable) {
    int value = -1;
    const std::vector<Case> cases = {
        {"hopper ready", Newer, 407, [&] { return CheckFeeder(&value); }, {"!CFS"}, 0,
         [&] { EXPECT_EQ(value, 0); }},
        {"hopper empty", Newer, 407, [&] { return CheckFeeder(&value); }, {"!CFS"}, 0,
         [&] { EXPECT_EQ(value, 2); }, [](PrinterState& s) { s.hopper_cards = 0; }},
        {"hopper as text", Older, 215, [&] { return LUM_CheckFeeder(&value); }, {"CF"}, 0,
         [&] { EXPECT_EQ(value, 9); }, CardInside},
        {"short hopper answer", Newer, 407, [&] { return CheckFeeder(&value); }, {"!CFS"}, 5,
         [&] { EXPECT_EQ(value, 0); }, {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("CFS").Data({})); }},
        {"empty older answer", Older, 215, [&] { return CheckFeeder(&value); }, {"CF"}, 5,
         [&] { EXPECT_EQ(value, 0); }, {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("CF").RawAnswer(Bytes({0x06}))); }},
        {"path sensor", Newer, 407, [&] { return PathSenser(&value); }, {"!PSS"}, 0,
         [&] { EXPECT_EQ(value, 1); }, CardInside},
        {"path sensor has no older form", Older, 215, [&] { return PathSenser(&value); }, {}, 20},
    };
    RunTable(cases);
}

TEST_F(ControlTest, CardControlTimeTable) {
    int eject = -1;
    int insert = -1;
    auto read = [&] { return GetCardControlTime(&eject, &insert); };
    auto times = [&](int e, int i) {
        return [&, e, i] {
            EXPECT_EQ(eject, e);
            EXPECT_EQ(insert, i);
        };
    };
    const std::vector<Case> cases = {
        {"read both", Newer, 320, read, {"!GCV 23", "!GOI", "!GCV 28"}, 0, times(15, 10)},
        {"no eject timer below 4.00", Newer, 320, read, {"!GCV 23", "!GOI"}, 0, times(0, 10),
         [](PrinterState& s) { s.option_word = 0x0080; }},
        {"no eject timer from 4.00", Newer, 407, read, {"!GCV 23", "!GOI"}, 0, times(0, 10),
         [](PrinterState& s) { s.type_word = 0x0002; }},
        {"eject time refused counts as none", Newer, 320, read, {"!GCV 23", "!GOI", "!GCV 28"}, 0,
         times(0, 10), {},
         [](SimPrinter& sim) {
             sim.Script(ScriptedAction::On("GCV"));  // the insert time as usual
             sim.Script(ScriptedAction::On("GCV").StatusWord(0x8015));
         }},
        {"short item answer", Newer, 320, read, {"!GCV 23"}, 5, times(0, 0), {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("GCV").Data({35})); }},
        {"read as text", Older, 215, read, {"MR"}, 0, times(15, 10)},
        {"eject time alone", Older, 215, read, {"MR"}, 0, times(7, 0), {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("MR").DataText("7")); }},
        {"read below 1.24", Older, 123, read, {}, 20, times(0, 0)},
        {"write both", Newer, 320, [] { return SetCardControlTime(12, 8); },
         {"!SCV 23 00 00 00 50", "!GOI", "!SCV 28 00 00 00 78"}, 0,
         [this] { EXPECT_EQ(State().items.at(40), 120); }},
        {"write without eject timer", Newer, 407, [] { return SetCardControlTime(12, 8); },
         {"!SCV 23 00 00 00 50", "!GOI"}, 0, {}, [](PrinterState& s) { s.type_word = 0x0001; }},
        {"write", Older, 215, [] { return SetCardControlTime(12, 8); }, {"MW 12 8"}, 0},
        {"write eject alone when both are refused", Older, 215, [] { return SetCardControlTime(12, 8); },
         {"MW 12 8", "MW 12"}, 0, {}, {},
         [](SimPrinter& sim) { sim.Script(ScriptedAction::On("MW 12 8").Exact().Nak(20)); }},
        {"eject time above 60", Older, 215, [] { return SetCardControlTime(61, 10); }, {}, 21},
        {"insert time below 2", Older, 215, [] { return SetCardControlTime(10, 1); }, {}, 21},
        {"negative eject time", Older, 215, [] { return SetCardControlTime(-1, 10); }, {}, 21},
        {"write below 1.24", Older, 123, [] { return SetCardControlTime(10, 10); }, {}, 20},
        {"insert time above 255", Newer, 407, [] { return SetCardControlTime(10, 256); }, {}, 21},
    };
    RunTable(cases);
}

// The print path's card feed: hopper states 2, 3 and 4 feed no card and must stop the print.
TEST_F(ControlTest, FeedForPrintStopsWhenNoCardCanCome) {
    struct Row {
        int hopper;
        bool startInsert;
        std::vector<std::string> sent;
        int status;
    };
    const std::vector<Row> rows = {
        {0, false, {"!CFS", "!RIP"}, 0},
        {2, false, {"!CFS"}, 34},
        {3, false, {"!CFS"}, 34},
        {4, true, {"!CFS"}, 34},
        {9, false, {"!CFS", "!REH", "!RIP"}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.hopper);
        Connect(Newer, 407);
        sim_->Script(ScriptedAction::On("CFS").Data({static_cast<uint8_t>(row.hopper)}));
        EXPECT_EQ(KD_FeedCardForPrint(KDCtrl(), true, row.startInsert), row.status);
        EXPECT_EQ(Sent(), row.sent);
        Disconnect();
    }
    Connect(Older, 215);
    EXPECT_EQ(KD_FeedCardForPrint(KDCtrl(), false, true), 0);
    EXPECT_EQ(Sent(), std::vector<std::string>{"MIE"});
}

// Error states raised on the printer come back as the statuses of the card exports.
TEST_F(ControlTest, RaisedErrorStatesTable) {
    using orvpw::sim::SimFault;
    struct Row {
        const char* name;
        Generation generation;
        SimFault fault;
        std::function<int()> call;
        int status;
    };
    const std::vector<Row> rows = {
        {"jam stops an insert", Newer, SimFault::card_jam, [] { return Card_Insert(); }, 12},
        {"jam stops an eject", Older, SimFault::card_jam, [] { return Card_Eject(0); }, 12},
        {"empty hopper", Newer, SimFault::no_card, [] { return Card_Insert(); }, 34},
        {"empty hopper", Older, SimFault::no_card, [] { return Card_Insert(); }, 34},
        {"cover open", Newer, SimFault::cover_open, [] { return Card_Flip(); }, 10},
        {"cover open", Older, SimFault::cover_open, [] { return Card_Insert(); }, 10},
        {"no ribbon", Newer, SimFault::no_ribbon, [] { int r; return CheckRibbon(&r); }, 36},
        {"no ribbon", Older, SimFault::no_ribbon, [] { int r; return CheckRibbon(&r); }, 36},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.name) + (row.generation == Newer ? " [newer]" : " [older]"));
        Connect(row.generation, row.generation == Newer ? 407 : 215,
                [&row](PrinterState& s) { orvpw::sim::Raise(s, row.fault); });
        EXPECT_EQ(row.call(), -1);
        EXPECT_EQ(Status(), row.status);
        Disconnect();
    }
}

// A jam planned for the next motion stays until the error is cleared.
TEST_F(ControlTest, JamStaysUntilCleared) {
    Connect(Newer, 407, [](PrinterState& s) { s.jam_on_next_motion = true; });
    EXPECT_EQ(Card_Insert(), -1);
    EXPECT_EQ(Status(), 12);
    EXPECT_EQ(Card_Insert(), -1);
    EXPECT_EQ(Status(), 12);
    sim_->UpdateState([](PrinterState& s) { s.error_number = 0; });
    EXPECT_EQ(Card_Insert(), 0);
    EXPECT_EQ(State().inserts, 1);
}

}  // namespace
}  // namespace controltest
