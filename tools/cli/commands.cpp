// The subcommands of orvpw: one table row per command, each a few calls of public exports.
#include <cstdint>
#include <cstdio>
#include <string>

#include "orvpw.h"
#include "tools/cli/cli.h"

namespace orvcli {
namespace {

constexpr uint32_t kUsbPrinters = 0x1100000;   // FTDI and device-interface printers
constexpr uint32_t kNetworkPrinters = 0x8000000;
constexpr uint32_t kSerialNumberText = 3;
constexpr int kNoDevice = 0x3931;             // form "91": status 1002, nothing found

int LastStatusForm() {
    char st0 = 0, st1 = 0;
    Get_Status(&st0, &st1);
    return (static_cast<unsigned char>(st0) << 8) | static_cast<unsigned char>(st1);
}

// Lists one bus: serial numbers (or addresses) of the printers ListDevices finds there.
int ListBus(const char* bus, uint32_t flags, Result& result, int* found) {
    uint32_t count = 0;
    if (ListDevices(&count, nullptr, flags) != 0) return LastStatusForm() == kNoDevice ? 0 : -1;
    for (uint32_t index = 0; index < count; ++index) {
        uint32_t which = index;
        char name[ORVPW_DEVICE_TEXT_SIZE] = {};
        if (ListDevices(&which, name, flags | kSerialNumberText) != 0) continue;
        result.Add("printer" + std::to_string((*found)++), std::string(bus) + " " + name);
    }
    return 0;
}

int RunList(Context& context, const std::vector<long long>&, Result& result) {
    int found = 0;
    if (context.simulated) {
        result.Add("printer" + std::to_string(found++), "network " + context.simAddress + " (simulated)");
    } else {
        if (ListBus("usb", kUsbPrinters, result, &found) != 0) return -1;
        context.Progress("Searching the network...");
        if (ListBus("network", kNetworkPrinters, result, &found) != 0) return -1;
    }
    result.Add("count", found);
    return 0;
}

int RunInfo(Context&, const std::vector<long long>&, Result& result) {
    char version[ORVPW_VERSION_TEXT_SIZE] = {};
    int type = 0, model = 0, generation = 0;
    if (Get_PrinterInfoEx(version, &type, &model) != 0) return -1;
    GetKdclType(&generation);
    result.Add("firmware", version);
    result.Add("type", type);
    result.Add("model", model);
    result.Add("command_set", generation ? "newer" : "older");
    return 0;
}

int RunStatus(Context&, const std::vector<long long>&, Result& result) {
    char st0 = 0, st1 = 0;
    Get_StatusEx(&st0, &st1);
    const int form = (static_cast<unsigned char>(st0) << 8) | static_cast<unsigned char>(st1);
    char code[8];
    std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(form));
    char text[ORVPW_STATUS_MESSAGE_SIZE] = {};
    Get_StatusMessage(form, 0, text);
    result.Add("status", code);
    result.Add("message", text);
    Get_StatusMessage(form, 1, text);
    result.Add("detail", text);
    // A printer that reports an error is a failed status check for scripts.
    return form == 0x3030 ? 0 : -1;
}

// A card movement with progress lines around the wait.
Command CardCommand(const char* word, const char* help, const char* doing, int (*move)()) {
    Command command;
    command.words = {"card", word};
    command.help = help;
    command.run = [doing, move](Context& context, const std::vector<long long>&, Result& result) {
        context.Progress(doing);
        const int outcome = move();
        result.Add("card", outcome == 0 ? "done" : "failed");
        return outcome;
    };
    return command;
}

int RunRibbon(Context&, const std::vector<long long>&, Result& result) {
    int code = 0, count = 0;
    if (GetRibbonInfoEx(0, &code, &count) != 0) return -1;
    result.Add("ribbon_code", code > 0 ? std::string(1, static_cast<char>(code)) : std::string("unknown"));
    result.Add("remaining", count);
    return 0;
}

int RunParamGet(Context&, const std::vector<long long>& args, Result& result) {
    int value = 0;
    if (GetParametersEx(static_cast<int>(args[0]), &value) != 0) return -1;
    result.Add("item", args[0]);
    result.Add("value", value);
    return 0;
}

int RunParamSet(Context&, const std::vector<long long>& args, Result& result) {
    if (SetParametersEx(static_cast<int>(args[0]), static_cast<int>(args[1])) != 0) return -1;
    result.Add("item", args[0]);
    result.Add("value", args[1]);
    return 0;
}

}  // namespace

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {{"list"}, {}, "list the printers found on USB and the network", false, RunList},
        {{"info"}, {}, "firmware version, printer type and model, command set", true, RunInfo},
        {{"status"}, {}, "the printer's status code and its message", true, RunStatus},
        CardCommand("insert", "feed a card from the hopper", "Inserting a card...",
                    [] { return Card_Insert(); }),
        CardCommand("eject", "eject the card", "Ejecting the card...", [] { return Card_Eject(0); }),
        CardCommand("flip", "turn the card over", "Turning the card over...", [] { return Card_Flip(); }),
        CardCommand("reject", "send the card to the reject exit", "Rejecting the card...",
                    [] { return Card_Reject(0); }),
        {{"ribbon"}, {}, "ribbon code and remaining prints", true, RunRibbon},
        {{"param", "get"}, {"ITEM"}, "read configuration item ITEM", true, RunParamGet},
        {{"param", "set"}, {"ITEM", "VALUE"}, "write VALUE to configuration item ITEM", true, RunParamSet},
    };
    return commands;
}

}  // namespace orvcli
