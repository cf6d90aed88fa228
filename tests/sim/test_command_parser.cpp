// The simulator's command stream parser, fed byte runs directly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/command_parser.h"

namespace orvpw::sim {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes B(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<Command> FeedInPieces(CommandParser& parser, const Bytes& bytes, size_t piece) {
    std::vector<Command> out;
    for (size_t at = 0; at < bytes.size(); at += piece)
        parser.Feed(bytes.data() + at, std::min(piece, bytes.size() - at), out);
    return out;
}

TEST(SimCommandParser, NewerFramesSurviveAnySegmentation) {
    // Parameters that contain ESC and CR must not confuse the framing.
    const Bytes stream = {0x1B, '&', 'M', 'S', 'T', 0, 0, 0, 4, 0x01, 0x1B, 0x0D, 0x43, 0x0D,
                          0x1B, '!', 'R', 'I', 'P', 0, 0, 0, 0, 0x0D};
    for (size_t piece = 1; piece <= stream.size(); ++piece) {
        CommandParser parser(CommandForm::newer);
        const auto commands = FeedInPieces(parser, stream, piece);
        ASSERT_EQ(commands.size(), 2u) << "piece " << piece;
        EXPECT_EQ(commands[0].Name(), "&MST");
        EXPECT_EQ(commands[0].params, (Bytes{0x01, 0x1B, 0x0D, 0x43}));
        EXPECT_EQ(commands[1].Name(), "!RIP");
        EXPECT_TRUE(commands[1].params.empty());
        EXPECT_FALSE(parser.AwaitingQuiet());
    }
}

TEST(SimCommandParser, NewerBrokenInputIsReportedAndParsingRecovers) {
    struct Case {
        const char* name;
        Bytes stream;
        std::vector<bool> malformed;  // per output entry
    };
    const Case cases[] = {
        {"no CR after the parameters",
         {0x1B, '!', 'C', 'S', 'S', 0, 0, 0, 0, 0x41, 0x1B, '!', 'C', 'S', 'S', 0, 0, 0, 0, 0x0D},
         {true, true, false}},
        {"length beyond the limit", {0x1B, '!', 'S', 'T', 'T', 0xFF, 0xFF, 0xFF, 0xFF, 0x1B, '!', 'C', 'S', 'S', 0, 0, 0, 0, 0x0D},
         {true, false}},
        {"stray bytes first", {0x0D, 0x0A, 0x1B, '!', 'C', 'S', 'S', 0, 0, 0, 0, 0x0D}, {true, false}},
    };
    for (const Case& c : cases) {
        CommandParser parser(CommandForm::newer, 1024);
        std::vector<Command> out;
        parser.Feed(c.stream.data(), c.stream.size(), out);
        parser.Flush(out);
        ASSERT_EQ(out.size(), c.malformed.size()) << c.name;
        for (size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i].malformed, c.malformed[i]) << c.name << " #" << i;
        EXPECT_EQ(out.back().Name(), "!CSS") << c.name;
    }
}

TEST(SimCommandParser, OlderTextCommandsEndAtTheFirstCr) {
    CommandParser parser(CommandForm::older);
    const Bytes stream = B("\x1BV\r\x1BMI 2\r\x1B+RIB \xC8\r");
    const auto commands = FeedInPieces(parser, stream, 1);
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0].text, "V");
    EXPECT_EQ(commands[1].text, "MI 2");
    EXPECT_EQ(commands[2].text, "+RIB \xC8");
    EXPECT_FALSE(parser.AwaitingQuiet());
}

TEST(SimCommandParser, OlderDataCommandsKeepCarriageReturnsInTheirData) {
    struct Case {
        const char* name;
        Bytes stream;
        bool needs_quiet;
        std::string text;
        Bytes data;
    };
    const Case cases[] = {
        // The length in the text says where the data ends: no quiet period needed.
        {"print data with length", B("\x1BGN 1 32 0 0 1 1 3 \r\x1B\r\r"), false, "GN 1 32 0 0 1 1 3 ", B("\r\x1B\r")},
        {"user memory with length", B("\x1B&KW 10 2 \r\r\r"), false, "&KW 10 2 ", B("\r\r")},
        // No length: the last CR before the quiet period ends it.
        {"stripe data", B("\x1B&B 1 AB\rCD\r"), true, "&B 1 ", B("AB\rCD")},
        {"reader frame", {0x1B, '&', 'I', 'C', ' ', 0x00, 0x0D, 0x02, 0x0D}, true, "&IC ", {0x00, 0x0D, 0x02}},
        {"no data at all", B("\x1B&B 1\r"), true, "&B 1", Bytes{}},
    };
    for (const Case& c : cases) {
        CommandParser parser(CommandForm::older);
        std::vector<Command> out = FeedInPieces(parser, c.stream, 3);
        EXPECT_EQ(parser.AwaitingQuiet(), c.needs_quiet) << c.name;
        parser.Flush(out);
        ASSERT_EQ(out.size(), 1u) << c.name;
        EXPECT_FALSE(out[0].malformed) << c.name;
        EXPECT_EQ(out[0].text, c.text) << c.name;
        EXPECT_EQ(out[0].params, c.data) << c.name;
        EXPECT_EQ(out[0].raw, c.stream) << c.name;
    }
}

TEST(SimCommandParser, OlderDataCommandEndsWhenTheNextCommandStarts) {
    CommandParser parser(CommandForm::older);
    const Bytes stream = B("\x1B+MAC 001122\r\x1BV\r");
    std::vector<Command> out;
    parser.Feed(stream.data(), stream.size(), out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].params, B("001122"));
    EXPECT_EQ(out[1].text, "V");
}

TEST(SimCommandParser, OlderOverlongTextIsDroppedWithinTheLimit) {
    CommandParser parser(CommandForm::older, 64);
    Bytes stream{0x1B};
    stream.insert(stream.end(), 200, 'A');
    stream.push_back(0x0D);
    const Bytes next = B("\x1BS\r");
    stream.insert(stream.end(), next.begin(), next.end());
    std::vector<Command> out;
    parser.Feed(stream.data(), stream.size(), out);
    parser.Flush(out);
    ASSERT_GE(out.size(), 2u);
    EXPECT_TRUE(out.front().malformed);
    for (const Command& command : out) EXPECT_LE(command.raw.size(), 64u);
    EXPECT_EQ(out.back().text, "S");
    EXPECT_FALSE(out.back().malformed);
}

}  // namespace
}  // namespace orvpw::sim
