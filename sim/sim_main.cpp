// orvpw-sim: runs one simulated printer until SIGINT or SIGTERM.
#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "sim/sim_printer.h"

namespace {

volatile std::sig_atomic_t g_stop_requested = 0;

void OnSignal(int) { g_stop_requested = 1; }

void PrintUsage(std::FILE* to) {
    std::fprintf(to,
                 "usage: orvpw-sim [options]\n"
                 "  --address A     loopback IPv4 address to listen on (default 127.0.0.1)\n"
                 "  --port P        TCP port (default 9200; 0 = any free port)\n"
                 "  --newer         framed binary command set (default)\n"
                 "  --older         older text command set\n"
                 "  --fw V          firmware: 8 hex digits with --newer (default 00000407),\n"
                 "                  version text with --older (default V1.0.215)\n"
                 "  --serial S      serial number (default SIM0000001)\n"
                 "  --type N        printer type reported with the version (newer, default 1)\n"
                 "  --model N       printer model reported with the version (newer, default 2)\n"
                 "  --restart-ms N  connections refused after a restart command (default 3000)\n"
                 "  --pty           also serve the printer over a pty (prints its slave path)\n"
                 "  --discovery     answer UDP discovery and configuration as a network board\n"
                 "  --discovery-port P  UDP port of the discovery answers (default 5034; 0 = any)\n"
                 "  -v              print every frame: time, direction, command, length, hex\n"
                 "  --help          this text\n"
                 "Prints \"listening on ADDR:PORT\" when ready; runs until SIGINT or SIGTERM.\n");
}

bool ParseNumber(const char* text, unsigned long max, unsigned long& value, int base = 10) {
    if (text == nullptr || *text == '\0') return false;
    char* end = nullptr;
    value = std::strtoul(text, &end, base);
    return end != nullptr && *end == '\0' && value <= max;
}

bool ParseFirmwareHex(const std::string& text, std::array<uint8_t, 4>& firmware) {
    if (text.size() != 8) return false;
    for (size_t i = 0; i < 4; ++i) {
        unsigned long byte = 0;
        const std::string pair = text.substr(i * 2, 2);
        if (pair.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
        if (!ParseNumber(pair.c_str(), 0xFF, byte, 16)) return false;
        firmware[i] = static_cast<uint8_t>(byte);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    orvpw::sim::SimConfig config;
    std::string firmware_text;
    bool verbose = false;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        unsigned long number = 0;
        auto need_value = [&](const char* name) {
            if (value == nullptr) {
                std::fprintf(stderr, "orvpw-sim: %s needs a value\n", name);
                std::exit(2);
            }
            ++i;
        };
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return 0;
        } else if (arg == "--address") {
            need_value("--address");
            config.address = value;
        } else if (arg == "--port") {
            need_value("--port");
            if (!ParseNumber(value, 65535, number)) {
                std::fprintf(stderr, "orvpw-sim: bad port %s\n", value);
                return 2;
            }
            config.port = static_cast<uint16_t>(number);
        } else if (arg == "--newer") {
            config.newer = true;
        } else if (arg == "--older") {
            config.newer = false;
        } else if (arg == "--fw") {
            need_value("--fw");
            firmware_text = value;
        } else if (arg == "--serial") {
            need_value("--serial");
            config.initial_state.serial_number = value;
        } else if (arg == "--type" || arg == "--model") {
            need_value(arg.c_str());
            if (!ParseNumber(value, 0xFFFF, number)) {
                std::fprintf(stderr, "orvpw-sim: bad %s %s\n", arg.c_str(), value);
                return 2;
            }
            (arg == "--type" ? config.initial_state.printer_type : config.initial_state.printer_model) =
                static_cast<uint16_t>(number);
        } else if (arg == "--restart-ms") {
            need_value("--restart-ms");
            if (!ParseNumber(value, 600000, number)) {
                std::fprintf(stderr, "orvpw-sim: bad --restart-ms %s\n", value);
                return 2;
            }
            config.restart_refuse_ms = static_cast<uint32_t>(number);
        } else if (arg == "--pty") {
            config.serial_pty = true;
        } else if (arg == "--discovery") {
            config.discovery = true;
        } else if (arg == "--discovery-port") {
            need_value("--discovery-port");
            if (!ParseNumber(value, 65535, number)) {
                std::fprintf(stderr, "orvpw-sim: bad --discovery-port %s\n", value);
                return 2;
            }
            config.discovery_port = static_cast<uint16_t>(number);
        } else if (arg == "-v") {
            verbose = true;
        } else {
            std::fprintf(stderr, "orvpw-sim: unknown option %s\n", arg.c_str());
            PrintUsage(stderr);
            return 2;
        }
    }
    if (!firmware_text.empty()) {
        if (config.newer) {
            if (!ParseFirmwareHex(firmware_text, config.initial_state.firmware)) {
                std::fprintf(stderr, "orvpw-sim: --fw needs 8 hex digits with --newer, got %s\n", firmware_text.c_str());
                return 2;
            }
        } else {
            config.initial_state.older_version = firmware_text;
        }
    }

    orvpw::sim::SimPrinter printer(config);
    if (verbose) {
        printer.SetFrameObserver([](const orvpw::sim::Frame& frame) {
            std::printf("%s\n", frame.FormatLine().c_str());
            std::fflush(stdout);
        });
    }
    if (!printer.Start()) {
        std::fprintf(stderr, "orvpw-sim: %s\n", printer.LastError().c_str());
        return 1;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::printf("listening on %s:%u\n", printer.Address().c_str(), static_cast<unsigned>(printer.Port()));
    if (config.serial_pty) std::printf("pty on %s\n", printer.SerialPath().c_str());
    if (config.discovery)
        std::printf("discovery on %s:%u\n", printer.Address().c_str(), static_cast<unsigned>(printer.DiscoveryPort()));
    std::fflush(stdout);

    while (g_stop_requested == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    printer.Stop();
    return 0;
}
