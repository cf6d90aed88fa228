// Demo: starts the simulated printer on loopback, opens it through the library's public
// exports, shows what it reports, inserts a card, and prints the library's log.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include <unistd.h>

#include "orvpw.h"
#include "sim/sim_printer.h"

int main(int argc, char** argv) {
    std::string address = argc > 1 ? argv[1] : "127.0.0.2";

    orvpw::sim::SimConfig config;
    config.address = address;
    config.port = 9200;
    orvpw::sim::SimPrinter printer(config);
    if (!printer.Start()) {
        std::fprintf(stderr, "orvpw-demo: cannot start the simulated printer: %s\n",
                     printer.LastError().c_str());
        return 1;
    }
    std::printf("Simulated printer listening on %s:%u\n", printer.Address().c_str(),
                static_cast<unsigned>(printer.Port()));

    const std::filesystem::path logFile =
        std::filesystem::temp_directory_path() / ("orvpw-demo-" + std::to_string(::getpid()) + ".log");
    SetLogPathFile(logFile.c_str());

    int result = OpenDevice(address.data(), 0);
    std::printf("OpenDevice(\"%s\", 0) = %d\n", address.c_str(), result);
    if (result != 0) return 1;

    char version[ORVPW_VERSION_TEXT_SIZE] = {};
    int type = 0;
    int model = 0;
    result = Get_PrinterInfoEx(version, &type, &model);
    std::printf("Get_PrinterInfoEx = %d: version %s, type %d, model %d\n", result, version, type,
                model);

    result = Card_Insert();
    std::printf("Card_Insert = %d (card in printer: %s)\n", result,
                printer.State().card_inserted ? "yes" : "no");
    CloseDevice(0);
    SetLogPathFile(nullptr);

    std::printf("\n--- library log (%s) ---\n", logFile.c_str());
    std::ifstream log(logFile);
    std::cout << log.rdbuf();
    std::filesystem::remove(logFile);
    return result == 0 ? 0 : 1;
}
