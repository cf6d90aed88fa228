// What the simulated printer knows about itself, and how it executes the commands it knows.
// The state is plain data; SimPrinter guards it with its lock. Later work adds fields and
// handlers here (hopper, ribbon counts, configuration items, panel display, ...).
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/command_parser.h"

namespace orvpw::sim {

struct CalendarDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

// Where the card is.
enum class CardPlace { none, print, flipper };

// Printer error numbers a test raises on the simulated printer.
inline constexpr int kSimErrorCoverOpen = 10;
inline constexpr int kSimErrorCardJam = 12;
inline constexpr int kSimErrorNoCard = 34;
inline constexpr int kSimErrorRibbonNearEnd = 35;
inline constexpr int kSimErrorNoRibbon = 36;

struct PrinterState {
    PrinterState();

    // Identity.
    std::string serial_number = "SIM0000001";
    std::array<uint8_t, 4> firmware = {0x00, 0x00, 0x04, 0x07};  // newer form: "00000407"
    uint16_t printer_type = 1;                                   // newer form only
    uint16_t printer_model = 2;                                  // newer form only
    std::string older_version = "V1.0.215";                      // older form version text
    uint8_t model_type = 1;
    uint8_t oem_type = 0;
    // System information records by type byte (command 54 answers type + record). Type 0 is
    // built from model_type and oem_type unless a record for it is set here.
    std::map<uint8_t, std::vector<uint8_t>> system_information;
    uint8_t ribbon_maker = 1;

    // Condition. The error a command sees is the cover's (10) while it is open, else
    // error_number; Raise() sets the usual ones.
    int error_number = 0;  // 0 = no error; otherwise the printer's error number (1..255)
    bool card_inserted = false;  // a card is in the printer (print position or flipper)
    bool cover_open = false;     // print-head cover: every motion and the status report 10

    // Card path and hopper.
    CardPlace card_place = CardPlace::none;
    bool card_flipped = false;        // the card's back side faces the head
    int hopper_cards = 100;           // an insert from an empty hopper fails with 34
    bool jam_on_next_motion = false;  // the next card motion jams (error 12 stays)
    uint8_t hopper_type = 0;
    int hopper_motor_runs = 0;
    int last_hopper_motor = -1;
    uint8_t flipper_lock = 0xFF;      // A5h locked, FFh unlocked
    int inserts = 0, ejects = 0, flips = 0, rejects = 0, external_inserts = 0;
    int last_insert_option = -1;      // "MI n"
    int last_eject_option = -1;       // "MOX n" / !REH n
    int last_eject_box = -1;          // !EBC character
    int last_reject_option = -1;
    bool ejected_top = false;         // "!TE"

    // Ribbon.
    bool ribbon_loaded = true;        // without a ribbon, ribbon commands fail with 36
    int ribbon_remaining = 250;       // prints left (RF tag)
    int ribbon_near_end_at = 10;      // at or below: the ribbon check reports 35
    uint8_t rf_tag_valid = 1;
    std::array<uint8_t, 9> rf_tag = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80, 0x90};
    uint8_t rf_tag_ribbon_type = 0;
    uint16_t ribbon_sensor[2] = {512, 640};
    int ribbon_sensor_adc = 120;
    int ribbon_syncs = 0;
    int last_sync_value = -1;
    int sensor_calibrations = 0;
    int last_ribbon_type_p1 = -1;     // first parameter of the newer ribbon-type write

    // Configuration items (value as the printer holds it; items 35 and 40 in tenths).
    // Newer-form writes outside an item's range and unknown items are refused with 21.
    std::map<int, int32_t> items;
    std::map<int, int32_t> saved_items;  // configuration save / load
    int sensor_position = 3;
    uint8_t potentiometers[4] = {40, 50, 60, 70};  // type 0 = LCD contrast
    int motor_duty = 55;
    uint32_t card_counters[7] = {1000, 200, 30, 4, 5, 6, 7};

    // Information, maintenance, network.
    uint16_t option_word = 0x0100;  // bit 8: the RF tag counts prints; bit 7 (FW < 400): no eject timer
    uint16_t type_word = 0x0000;    // bits 0-1 (FW 400 and later): no eject timer
    int cleanings = 0, self_tests = 0, last_self_test = -1;
    int eeprom_inits = 0, last_eeprom[2] = {-1, -1};
    int configuration_saves = 0, configuration_loads = 0;
    int power_control_board = -1;
    std::map<uint8_t, std::array<uint8_t, 4>> addresses;  // type 3: DHCP (first byte)
    bool rewrite[2] = {false, false};

    // What the host sent.
    std::vector<uint8_t> heat_table;  // parameters of the last command 153
    bool heat_table_received = false;
    CalendarDate date;                // from the last command 264
    bool date_received = false;

    uint32_t restart_count = 0;
};

// The outcome of one command, before it is put into the wire form of the generation.
struct Reply {
    enum class Kind {
        answer,   // status word / ACK or NAK below
        unknown,  // the printer does not know the command
        silent,   // the printer sends nothing (the newer-form restart)
    };
    Kind kind = Kind::answer;
    uint16_t status_word = 0;  // newer form: 0000h done, 80xxh refused with error xx
    int nak_number = 0;        // older form: nonzero = NAK with this number
    bool with_block = false;   // older form: ACK followed by a data block
    std::vector<uint8_t> data;
    bool restart = false;      // after answering, drop the connection and refuse new ones

    static Reply Done() { return Reply{}; }
    static Reply WithData(std::vector<uint8_t> data);
    static Reply Refused(int error_number);
    static Reply Unknown();
};

// The printer's firmware number as the host reads it (4.07 -> 407): newer form from the
// firmware bytes, older form from the last three characters of the version text.
int FirmwareNumber(const PrinterState& state, bool newer);
// Sets the firmware version (e.g. 136 for 1.36) in both the newer bytes and older text.
void SetFirmwareNumber(PrinterState& state, int number);

// Error states a test raises: the printer then refuses what they block and reports them.
enum class SimFault { card_jam, no_card, no_ribbon, cover_open };
void Raise(PrinterState& state, SimFault fault);

// Newer-form status word that refuses a command with a printer error number.
uint16_t ErrorStatusWord(int error_number);

// Runs one well-formed command against the state. Commands the model does not know give
// Reply::Unknown(); the caller decides how the printer answers those.
Reply ExecuteCommand(PrinterState& state, const Command& command);

// What a restart does to the state (called when the connection is dropped for it).
void ApplyRestart(PrinterState& state);

}  // namespace orvpw::sim
