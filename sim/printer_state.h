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

struct PrinterState {
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

    // Condition.
    int error_number = 0;  // 0 = no error; otherwise the printer's error number (1..255)
    bool card_inserted = false;

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

// Newer-form status word that refuses a command with a printer error number.
uint16_t ErrorStatusWord(int error_number);

// Runs one well-formed command against the state. Commands the model does not know give
// Reply::Unknown(); the caller decides how the printer answers those.
Reply ExecuteCommand(PrinterState& state, const Command& command);

// What a restart does to the state (called when the connection is dropped for it).
void ApplyRestart(PrinterState& state);

}  // namespace orvpw::sim
