#include "sim/command_parser.h"

#include <cstring>
#include <string_view>

namespace orvpw::sim {

namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kCr = 0x0D;
constexpr size_t kNewerHeaderSize = 9;  // ESC, class, mnemonic, 4 length bytes
// A decimal field longer than this is not a number the host would send; the header ends.
constexpr size_t kMaxDecimalDigits = 11;

}  // namespace

// An older command that carries raw data after its text. `fields` is what follows the
// leading text before the data: "%d" a decimal number, "%c" exactly one byte, anything else
// a literal byte. `length_field` is the 1-based number of the "%d" that gives the data length,
// 0 when the text does not say.
struct OlderDataCommand {
    std::string_view lead;
    std::string_view fields;
    int length_field;
};

namespace {

constexpr OlderDataCommand kOlderDataCommands[] = {
    {"+MAC ", "", 0},
    {"&RFTAG ", "", 0},
    {"SN ", "", 0},
    {"+LCD1 ", "%d %d ", 0},
    {"+LCDW ", "%c %c ", 0},
    {"+LCDw ", "%c %c ", 0},
    {"&KW ", "%d %d ", 2},
    {"&KWE ", "%d %d ", 2},
    {"&KWEE ", "%d %d ", 2},
    {"&KWee ", "%d %d ", 2},
    {"&B ", "%d ", 0},
    {"&IC ", "", 0},
    {"&SAM ", "", 0},
    {"&PSAM ", "", 0},
    {"&psam ", "", 0},
    {"&RF ", "", 0},
    {"&RF2 ", "", 0},
    {"GS ", "%d %d %d %d %d %d ", 0},
    {"GT ", "%d %d %d %d %d %d %d ", 0},
    {"GH ", "%d %d %d %d %d %d %d ", 0},
    {"GN ", "%d %d %d %d %d %d %d ", 7},
    {"GU ", "%d %d %d %d ", 0},
    {"vZ", "", 0},
    {"EZ", "", 0},
    {"Z", "", 0},
    {"BAR ", "", 0},
    {"DS ", "%d %c%c%c%c %d %d ", 0},
    {"%P ", "%c ", 0},
    {"%W ", "%c %d ", 0},
    {"m ", "%d", 0},
};

bool IsDigit(uint8_t byte) { return byte >= '0' && byte <= '9'; }

}  // namespace

std::string Command::Name() const {
    if (form == CommandForm::newer) {
        std::string name(1, class_char);
        name += mnemonic;
        return name;
    }
    return text;
}

CommandParser::CommandParser(CommandForm form, size_t max_command_bytes)
    : form_(form), max_command_bytes_(max_command_bytes < 16 ? 16 : max_command_bytes) {}

void CommandParser::Reset() {
    state_ = State::idle;
    buffer_.clear();
    noise_.clear();
    newer_length_ = 0;
    data_command_ = nullptr;
    header_done_ = false;
    data_start_ = 0;
    has_declared_length_ = false;
    declared_length_ = 0;
}

void CommandParser::Feed(const uint8_t* data, size_t size, std::vector<Command>& out) {
    if (data == nullptr) return;
    for (size_t i = 0; i < size; ++i) FeedByte(data[i], out);
}

bool CommandParser::AwaitingQuiet() const {
    if (!noise_.empty()) return true;
    return state_ == State::older_data && !buffer_.empty() && buffer_.back() == kCr;
}

void CommandParser::Flush(std::vector<Command>& out) {
    if (state_ == State::older_data && !buffer_.empty() && buffer_.back() == kCr) {
        if (!header_done_) {
            header_done_ = true;
            data_start_ = buffer_.size() - 1;
        }
        FinishOlder(buffer_.size() - 1, out);
    }
    EmitNoise(out);
}

void CommandParser::EmitNoise(std::vector<Command>& out) {
    if (noise_.empty()) return;
    Command noise;
    noise.form = form_;
    noise.raw = std::move(noise_);
    noise.malformed = true;
    noise.problem = "bytes outside a command";
    out.push_back(std::move(noise));
    noise_.clear();
}

void CommandParser::EmitMalformed(std::vector<Command>& out, const char* problem) {
    Command broken;
    broken.form = form_;
    broken.raw = std::move(buffer_);
    broken.malformed = true;
    broken.problem = problem;
    out.push_back(std::move(broken));
    buffer_.clear();
    state_ = State::idle;
    data_command_ = nullptr;
}

void CommandParser::StartCommand(std::vector<Command>& out) {
    EmitNoise(out);
    buffer_.clear();
    buffer_.push_back(kEsc);
    newer_length_ = 0;
    data_command_ = nullptr;
    header_done_ = false;
    data_start_ = 0;
    has_declared_length_ = false;
    declared_length_ = 0;
    state_ = form_ == CommandForm::newer ? State::newer_frame : State::older_text;
}

void CommandParser::FeedByte(uint8_t byte, std::vector<Command>& out) {
    switch (state_) {
    case State::idle:
        if (byte == kEsc) {
            StartCommand(out);
        } else {
            noise_.push_back(byte);
            if (noise_.size() >= max_command_bytes_) EmitNoise(out);
        }
        return;

    case State::newer_frame:
        buffer_.push_back(byte);
        if (buffer_.size() == kNewerHeaderSize) {
            newer_length_ = (uint32_t{buffer_[5]} << 24) | (uint32_t{buffer_[6]} << 16) |
                            (uint32_t{buffer_[7]} << 8) | uint32_t{buffer_[8]};
            if (newer_length_ > max_command_bytes_ - kNewerHeaderSize - 1) {
                EmitMalformed(out, "parameter length above the printer's limit");
                return;
            }
        }
        if (buffer_.size() > kNewerHeaderSize && buffer_.size() == kNewerHeaderSize + newer_length_ + 1) {
            if (byte == kCr) {
                FinishNewer(out);
            } else {
                // The frame is broken; the byte that should have been CR may start the next one.
                buffer_.pop_back();
                EmitMalformed(out, "no CR after the parameters");
                FeedByte(byte, out);
            }
        }
        return;

    case State::older_text:
        if (byte == kEsc) {
            EmitMalformed(out, "ESC before the CR of the previous command");
            StartCommand(out);
            return;
        }
        buffer_.push_back(byte);
        if (byte == kCr) {
            FinishOlder(buffer_.size() - 1, out);
            return;
        }
        if (buffer_.size() >= max_command_bytes_) {
            EmitMalformed(out, "command text above the printer's limit");
            return;
        }
        ClassifyOlderText();
        return;

    case State::older_data: {
        const bool previous_was_cr = buffer_.back() == kCr;
        const size_t previous_index = buffer_.size() - 1;
        if (byte == kEsc && previous_was_cr && header_done_ && previous_index >= data_start_ &&
            (!has_declared_length_ || previous_index > data_start_ + declared_length_)) {
            // The host waits for an answer after each command, so CR ESC is a command boundary.
            FinishOlder(previous_index, out);
            StartCommand(out);
            return;
        }
        buffer_.push_back(byte);
        if (!header_done_) {
            ParseOlderDataHeader();
            if (!header_done_) {
                if (buffer_.size() >= max_command_bytes_) EmitMalformed(out, "command text above the printer's limit");
                return;
            }
        }
        const size_t index = buffer_.size() - 1;
        if (byte == kCr && has_declared_length_ && index == data_start_ + declared_length_) {
            FinishOlder(index, out);
            return;
        }
        if (buffer_.size() >= max_command_bytes_) EmitMalformed(out, "command data above the printer's limit");
        return;
    }
    }
}

void CommandParser::ClassifyOlderText() {
    const size_t text_length = buffer_.size() - 1;
    for (const OlderDataCommand& candidate : kOlderDataCommands) {
        if (candidate.lead.size() != text_length) continue;
        if (std::memcmp(buffer_.data() + 1, candidate.lead.data(), text_length) != 0) continue;
        data_command_ = &candidate;
        header_done_ = false;
        state_ = State::older_data;
        ParseOlderDataHeader();
        return;
    }
}

void CommandParser::ParseOlderDataHeader() {
    // Re-walks the fields from the start each time a byte arrives; the header is short.
    size_t position = 1 + data_command_->lead.size();
    const std::string_view fields = data_command_->fields;
    int decimal_number = 0;
    size_t field = 0;
    while (field < fields.size()) {
        if (position >= buffer_.size()) return;  // need more bytes
        if (fields[field] == '%' && field + 1 < fields.size() && fields[field + 1] == 'd') {
            ++decimal_number;
            size_t digits_start = position;
            if (buffer_[position] == '-') ++position;
            uint64_t value = 0;
            while (position < buffer_.size() && IsDigit(buffer_[position]) &&
                   position - digits_start < kMaxDecimalDigits) {
                value = value * 10 + (buffer_[position] - '0');
                ++position;
            }
            if (position == buffer_.size() && position - digits_start < kMaxDecimalDigits) return;
            if (decimal_number == data_command_->length_field && buffer_[digits_start] != '-' &&
                position > digits_start && value < max_command_bytes_) {
                has_declared_length_ = true;
                declared_length_ = static_cast<size_t>(value);
            }
            field += 2;
        } else if (fields[field] == '%' && field + 1 < fields.size() && fields[field + 1] == 'c') {
            ++position;
            field += 2;
        } else if (static_cast<uint8_t>(fields[field]) == buffer_[position]) {
            ++position;
            ++field;
        } else {
            break;  // the host did not follow the template; take the rest as data
        }
    }
    header_done_ = true;
    data_start_ = position;
}

void CommandParser::FinishNewer(std::vector<Command>& out) {
    Command command;
    command.form = CommandForm::newer;
    command.class_char = static_cast<char>(buffer_[1]);
    command.mnemonic.assign(buffer_.begin() + 2, buffer_.begin() + 5);
    command.params.assign(buffer_.begin() + kNewerHeaderSize, buffer_.end() - 1);
    command.raw = std::move(buffer_);
    out.push_back(std::move(command));
    buffer_.clear();
    state_ = State::idle;
}

void CommandParser::FinishOlder(size_t cr_index, std::vector<Command>& out) {
    Command command;
    command.form = CommandForm::older;
    size_t text_end = cr_index;
    if (state_ == State::older_data && header_done_ && data_start_ <= cr_index) text_end = data_start_;
    command.text.assign(buffer_.begin() + 1, buffer_.begin() + static_cast<std::ptrdiff_t>(text_end));
    command.params.assign(buffer_.begin() + static_cast<std::ptrdiff_t>(text_end),
                          buffer_.begin() + static_cast<std::ptrdiff_t>(cr_index));
    buffer_.resize(cr_index + 1);
    command.raw = std::move(buffer_);
    out.push_back(std::move(command));
    buffer_.clear();
    state_ = State::idle;
    data_command_ = nullptr;
}

}  // namespace orvpw::sim
