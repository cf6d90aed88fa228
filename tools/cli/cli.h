// The orvpw command-line tool: shared types of the command table and the output writer.
// The tool uses only the public exports of the library (orvpw.h).
#pragma once
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace orvcli {

// Key/value results of one command, printed as "key: value" lines or as one JSON object.
struct Result {
    std::vector<std::pair<std::string, std::string>> text;    // quoted in JSON
    std::vector<std::pair<std::string, long long>> numbers;   // bare in JSON
    void Add(std::string key, std::string value) { text.emplace_back(std::move(key), std::move(value)); }
    void Add(std::string key, long long value) { numbers.emplace_back(std::move(key), value); }
};

struct Context {
    bool json = false;
    bool quiet = false;            // no progress lines
    bool simulated = false;        // an embedded simulated printer was started
    std::string simAddress;        // its address
    // Prints a progress line on stderr (not in JSON mode or with --quiet).
    void Progress(const std::string& line) const;
};

// One subcommand. `words` are the command words ("card", "insert"); `arguments` the names
// of the integer arguments that follow. `run` returns the export's result: 0 or -1.
struct Command {
    std::vector<std::string> words;
    std::vector<std::string> arguments;
    std::string help;
    bool needsPrinter = true;      // opens the printer first
    std::function<int(Context&, const std::vector<long long>& args, Result& result)> run;
};

const std::vector<Command>& Commands();

}  // namespace orvcli
