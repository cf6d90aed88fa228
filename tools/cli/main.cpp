// orvpw: a command-line front end to the card printer library, over its public exports.
//
//   orvpw [options] COMMAND [ARGS] [COMMAND [ARGS] ...]
//
// Commands run in order on one open printer and stop at the first failure. Exit status:
// 0 success, 1 a command failed (status and message on stderr), 2 a bad command line.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "orvpw.h"
#include "sim/sim_printer.h"
#include "tools/cli/cli.h"

namespace orvcli {
namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr const char* kDefaultSimAddress = "127.0.0.2";
constexpr uint16_t kSimPort = 9200;

struct Options {
    bool help = false;
    bool json = false;
    bool quiet = false;
    bool sim = false;
    std::string simAddress = kDefaultSimAddress;
    std::string device;
    bool deviceGiven = false;
    std::string language;
    std::string logFile;
};

struct Invocation {
    const Command* command;
    std::vector<long long> arguments;
};

void PrintUsage(FILE* out) {
    std::fprintf(out,
                 "Usage: orvpw [options] COMMAND [ARGS] [COMMAND [ARGS] ...]\n"
                 "\n"
                 "Drives a card printer. Commands run in order on one open printer.\n"
                 "\n"
                 "Commands:\n");
    for (const Command& command : Commands()) {
        std::string words;
        for (const std::string& word : command.words) words += (words.empty() ? "" : " ") + word;
        for (const std::string& argument : command.arguments) words += " " + argument;
        std::fprintf(out, "  %-22s %s\n", words.c_str(), command.help.c_str());
    }
    std::fprintf(out,
                 "\n"
                 "Options:\n"
                 "  --sim[=ADDRESS]        start a simulated printer on ADDRESS:9200 (loopback,\n"
                 "                         default %s) and use it\n"
                 "  --device NAME          printer to open: IP address, COMn or serial number\n"
                 "                         (default: the first printer found)\n"
                 "  --json                 print results as JSON\n"
                 "  --lang en|ko|HEX       language of status messages (default: the locale)\n"
                 "  --log FILE             write the library's log to FILE\n"
                 "  -q, --quiet            no progress lines\n"
                 "  -h, --help             show this help\n"
                 "\n"
                 "Exit status: 0 success, 1 a command failed, 2 a bad command line.\n"
                 "Example: orvpw --sim info status card insert card flip card eject\n",
                 kDefaultSimAddress);
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "orvpw: %s\n", message.c_str());
    PrintUsage(stderr);
    return kExitUsage;
}

bool ParseInteger(const std::string& text, long long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(text.c_str(), &end, 0);
    if (*end != '\0' || errno != 0 || parsed < INT32_MIN || parsed > INT32_MAX) return false;
    *value = parsed;
    return true;
}

// Matches the longest command whose words start at args[index].
const Command* FindCommand(const std::vector<std::string>& args, size_t index) {
    const Command* best = nullptr;
    for (const Command& command : Commands()) {
        if (index + command.words.size() > args.size()) continue;
        bool match = true;
        for (size_t k = 0; k < command.words.size() && match; ++k)
            match = args[index + k] == command.words[k];
        if (match && (!best || command.words.size() > best->words.size())) best = &command;
    }
    return best;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string CommandName(const Command& command) {
    std::string name;
    for (const std::string& word : command.words) name += (name.empty() ? "" : " ") + word;
    return name;
}

// The last status as its numeric form and message.
void LastStatus(std::string* form, std::string* message) {
    char st0 = 0, st1 = 0;
    Get_Status(&st0, &st1);
    char code[8];
    std::snprintf(code, sizeof code, "%02X%02X", static_cast<unsigned char>(st0),
                  static_cast<unsigned char>(st1));
    *form = code;
    char text[ORVPW_STATUS_MESSAGE_SIZE] = {};
    Get_StatusMessage(0, 0, text);
    *message = text;
}

std::string JsonObject(const std::string& name, const Result& result, bool ok) {
    std::string line = "{\"command\": " + JsonString(name) + ", \"ok\": " + (ok ? "true" : "false");
    for (const auto& [key, value] : result.text) line += ", " + JsonString(key) + ": " + JsonString(value);
    for (const auto& [key, value] : result.numbers)
        line += ", " + JsonString(key) + ": " + std::to_string(value);
    return line + "}";
}

void PrintText(const std::string& name, const Result& result, bool several) {
    if (several) std::printf("[%s]\n", name.c_str());
    for (const auto& [key, value] : result.text) std::printf("%s: %s\n", key.c_str(), value.c_str());
    for (const auto& [key, value] : result.numbers) std::printf("%s: %lld\n", key.c_str(), value);
}

// Reports a failure on stderr and adds the status to the result.
void Fail(const std::string& what, Result* result) {
    std::string form, message;
    LastStatus(&form, &message);
    std::fprintf(stderr, "orvpw: %s failed: status %sh: %s\n", what.c_str(), form.c_str(), message.c_str());
    result->Add("status", form);
    result->Add("message", message);
}

int SetLanguage(const std::string& language) {
    long long id = 0;
    if (language == "en") id = 0x0409;
    else if (language == "ko") id = 0x0412;
    else if (!ParseInteger("0x" + language, &id)) return -1;
    Set_LanguageID(static_cast<int>(id));
    return 0;
}

int Run(int argc, char** argv) {
    Options options;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name, std::string* out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            (void)name;
            return true;
        };
        if (arg == "-h" || arg == "--help") options.help = true;
        else if (arg == "--json") options.json = true;
        else if (arg == "-q" || arg == "--quiet") options.quiet = true;
        else if (arg == "--sim") options.sim = true;
        else if (arg.rfind("--sim=", 0) == 0) {
            options.sim = true;
            options.simAddress = arg.substr(6);
        } else if (arg == "--device") {
            if (!value("--device", &options.device)) return UsageError("--device needs a printer name");
            options.deviceGiven = true;
        } else if (arg == "--lang") {
            if (!value("--lang", &options.language)) return UsageError("--lang needs a language");
        } else if (arg == "--log") {
            if (!value("--log", &options.logFile)) return UsageError("--log needs a file name");
        } else if (arg.size() > 1 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9')) {
            return UsageError("unknown option '" + arg + "'");
        } else {
            words.push_back(arg);
        }
    }
    if (options.help) {
        PrintUsage(stdout);
        return 0;
    }
    if (words.empty()) return UsageError("no command given");

    std::vector<Invocation> invocations;
    for (size_t index = 0; index < words.size();) {
        const Command* command = FindCommand(words, index);
        if (!command) return UsageError("unknown command '" + words[index] + "'");
        index += command->words.size();
        Invocation invocation{command, {}};
        for (const std::string& name : command->arguments) {
            long long number = 0;
            if (index >= words.size())
                return UsageError("'" + CommandName(*command) + "' needs " + name);
            if (!ParseInteger(words[index], &number))
                return UsageError("'" + CommandName(*command) + "': " + name + " must be an integer, not '" +
                                  words[index] + "'");
            invocation.arguments.push_back(number);
            ++index;
        }
        invocations.push_back(std::move(invocation));
    }

    Context context;
    context.json = options.json;
    context.quiet = options.quiet;
    if (!options.logFile.empty()) SetLogPathFile(options.logFile.c_str());
    if (!options.language.empty() && SetLanguage(options.language) != 0)
        return UsageError("unknown language '" + options.language + "'");

    std::unique_ptr<orvpw::sim::SimPrinter> simulated;
    if (options.sim) {
        orvpw::sim::SimConfig config;
        config.address = options.simAddress;
        config.port = kSimPort;
        simulated = std::make_unique<orvpw::sim::SimPrinter>(config);
        if (!simulated->Start()) {
            std::fprintf(stderr, "orvpw: cannot start the simulated printer: %s\n",
                         simulated->LastError().c_str());
            return kExitFailure;
        }
        context.simulated = true;
        context.simAddress = options.simAddress;
        if (!options.deviceGiven) options.device = options.simAddress;
    }

    bool opened = false;
    int exitCode = 0;
    const bool several = invocations.size() > 1;
    size_t printed = 0;
    auto emit = [&](const std::string& name, const Result& result, bool ok) {
        if (!context.json) {
            PrintText(name, result, several);
        } else {
            if (several) std::fputs(printed == 0 ? "[\n" : ",\n", stdout);
            std::fputs(JsonObject(name, result, ok).c_str(), stdout);
            if (!several) std::fputs("\n", stdout);
        }
        ++printed;
    };
    for (const Invocation& invocation : invocations) {
        if (invocation.command->needsPrinter && !opened) {
            context.Progress("Opening " + (options.device.empty() ? std::string("the first printer found")
                                                                  : options.device) + "...");
            if (OpenDevice(options.device.data(), 0) != 0) {
                Result result;
                Fail("open", &result);
                if (context.json) emit("open", result, false);
                exitCode = kExitFailure;
                break;
            }
            opened = true;
        }
        Result result;
        const bool ok = invocation.command->run(context, invocation.arguments, result) == 0;
        if (!ok) {
            Fail(CommandName(*invocation.command), &result);
            exitCode = kExitFailure;
        }
        emit(CommandName(*invocation.command), result, ok);
        if (!ok) break;
    }
    if (context.json && several && printed > 0) std::fputs("\n]\n", stdout);
    if (opened) CloseDevice(0);
    if (simulated) simulated->Stop();
    std::fflush(stdout);
    return exitCode;
}

}  // namespace

void Context::Progress(const std::string& line) const {
    if (json || quiet) return;
    std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace orvcli

int main(int argc, char** argv) { return orvcli::Run(argc, argv); }
