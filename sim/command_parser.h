// The printer's side of the command stream: cuts the bytes a host sends into commands of
// one command-set generation. It never throws and never holds more than the configured
// maximum command size.
//
// Newer form: ESC, class character, 3-letter mnemonic, 4-byte big-endian parameter length n,
// n parameter bytes, CR. A frame whose byte after the parameters is not CR is reported as
// malformed and parsing resumes at that byte.
//
// Older form: ESC, text, CR. Most commands end at the first CR. Commands that carry raw data
// after their text (magnetic-stripe data, reader frames, print data, ...) are known by their
// leading text; for them a CR ends the command when
//   - it sits where a length given in the text says the data ends (print data "GN", user
//     memory "&KW..."), or
//   - the next byte is ESC (the host sends one command and waits for its answer), or
//   - it is the last byte received before a quiet period (the caller calls Flush()).
// A printer cannot do better: the older form has no length field.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvpw::sim {

enum class CommandForm { newer, older };

struct OlderDataCommand;

struct Command {
    CommandForm form = CommandForm::newer;
    // Newer form: class character ('!', '&', '+', '$') and the 3-character mnemonic.
    char class_char = 0;
    std::string mnemonic;
    // Older form: the text after ESC up to the data (for data commands) or up to CR.
    std::string text;
    // Newer form: the parameter bytes. Older form: the raw data after the text (may be empty).
    std::vector<uint8_t> params;
    // Every byte of the command as received, ESC and CR included.
    std::vector<uint8_t> raw;
    // True for bytes that did not form a command (stray bytes, a broken frame, an oversized
    // command); `problem` says why. Such entries get no answer.
    bool malformed = false;
    std::string problem;

    // "!GVT" for the newer form, the older text otherwise, for logs and script matching.
    std::string Name() const;
};

class CommandParser {
public:
    static constexpr size_t kDefaultMaxCommandBytes = 16u * 1024u * 1024u;

    explicit CommandParser(CommandForm form, size_t max_command_bytes = kDefaultMaxCommandBytes);

    // Parses more bytes; complete commands (and malformed stretches) are appended to `out`.
    void Feed(const uint8_t* data, size_t size, std::vector<Command>& out);
    // True when an older data command ended in CR, or stray bytes are held, and only a quiet
    // period can tell that nothing more belongs to them.
    bool AwaitingQuiet() const;
    // The quiet period has passed: finish what AwaitingQuiet() was waiting for.
    void Flush(std::vector<Command>& out);
    // Forget everything held (a new connection).
    void Reset();

    CommandForm form() const { return form_; }

private:
    enum class State { idle, newer_frame, older_text, older_data };

    void FeedByte(uint8_t byte, std::vector<Command>& out);
    void StartCommand(std::vector<Command>& out);
    void EmitNoise(std::vector<Command>& out);
    void EmitMalformed(std::vector<Command>& out, const char* problem);
    void FinishNewer(std::vector<Command>& out);
    void FinishOlder(size_t cr_index, std::vector<Command>& out);
    void ClassifyOlderText();
    void ParseOlderDataHeader();

    CommandForm form_;
    size_t max_command_bytes_;
    State state_ = State::idle;
    std::vector<uint8_t> buffer_;  // the command being received, from its ESC
    std::vector<uint8_t> noise_;   // stray bytes before the next ESC
    uint32_t newer_length_ = 0;    // parameter length of the newer frame being received

    // Older data command being received.
    const OlderDataCommand* data_command_ = nullptr;
    bool header_done_ = false;
    size_t data_start_ = 0;        // index in buffer_ of the first data byte
    bool has_declared_length_ = false;
    size_t declared_length_ = 0;
};

}  // namespace orvpw::sim
