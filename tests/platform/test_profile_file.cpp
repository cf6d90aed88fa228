#include "platform/profile_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class ProfileFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::temp_directory_path() /
                  (std::string("orvpw_profile_") + info->name() + "_" + std::to_string(std::random_device{}()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        path_ = (folder_ / "test.ini").string();
    }
    void TearDown() override { fs::remove_all(folder_); }

    void Write(const std::string& contents) {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out << contents;
    }
    std::string Read() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream buffer;
        buffer << in.rdbuf();
        return buffer.str();
    }

    fs::path folder_;
    std::string path_;
};

TEST_F(ProfileFileTest, IntegersParseLikeTheClassicProfileApi) {
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {"42", 42},           {"  42  ", 42},       {"-7", -7},
        {"+5", 5},            {"12abc", 12},        {"abc", 0},
        {"3.9", 3},           {"- 3", 0},           {"--3", 0},
        {"0x1F", 31},         {"0X10", 16},         {"0x", 0},
        {"0xZZ", 0},          {"\"17\"", 17},       {"'8'", 8},
        {"2147483647", INT_MAX}, {"2147483648", INT_MIN}, {"4294967297", 1},
        {"-2147483648", INT_MIN}, {"007", 7},
    };
    for (const Case& c : cases) {
        Write(std::string("[S]\nK=") + c.text + "\n");
        EXPECT_EQ(plat::ProfileGetInt(path_, "S", "K", -99), c.expected) << "value " << c.text;
    }
}

TEST_F(ProfileFileTest, MissingFileSectionKeyOrEmptyValueGiveTheDefault) {
    EXPECT_EQ(plat::ProfileGetInt(path_, "S", "K", 3), 3);
    EXPECT_EQ(plat::ProfileGetString(path_, "S", "K", "dflt"), "dflt");
    EXPECT_FALSE(fs::exists(path_));  // reading never creates the file

    Write("K=1\n[S]\nK=\nOther=5\n[T]\nK=9\n");
    EXPECT_EQ(plat::ProfileGetInt(path_, "S", "K", 3), 3);     // empty value
    EXPECT_EQ(plat::ProfileGetInt(path_, "S", "Nope", 4), 4);  // missing key
    EXPECT_EQ(plat::ProfileGetInt(path_, "U", "K", 6), 6);     // missing section
    EXPECT_EQ(plat::ProfileGetString(path_, "S", "K", "dflt"), "");  // present, empty
}

TEST_F(ProfileFileTest, NamesAreCaseInsensitiveAndBlanksAndQuotesAreTrimmed) {
    Write("; comment = 1\r\n"
          "[ Orvpw ]\r\n"
          "  Log  =   2   \r\n"
          "Name = \"  quoted text  \"\r\n"
          "Eq=a=b=c\r\n"
          "Bare\r\n"
          ";Hidden=1\r\n"
          "Half=\"open\r\n");
    EXPECT_EQ(plat::ProfileGetInt(path_, "ORVPW", "LOG", 0), 2);
    EXPECT_EQ(plat::ProfileGetInt(path_, "orvpw", "log", 0), 2);
    EXPECT_EQ(plat::ProfileGetString(path_, "ORVPW", "name", ""), "  quoted text  ");
    EXPECT_EQ(plat::ProfileGetString(path_, "ORVPW", "Eq", ""), "a=b=c");
    EXPECT_EQ(plat::ProfileGetString(path_, "ORVPW", "Bare", "x"), "");
    EXPECT_EQ(plat::ProfileGetString(path_, "ORVPW", ";Hidden", "x"), "x");
    EXPECT_EQ(plat::ProfileGetString(path_, "ORVPW", "Half", ""), "\"open");
}

TEST_F(ProfileFileTest, StringsAreCutAsACallerBufferWouldHoldThem) {
    Write("[S]\nK=abcdefghij\n");
    EXPECT_EQ(plat::ProfileGetString(path_, "S", "K", "", 5), "abcd");
    EXPECT_EQ(plat::ProfileGetString(path_, "S", "K", "", 1), "");
    EXPECT_EQ(plat::ProfileGetString(path_, "S", "K", "", 0), "");
    EXPECT_EQ(plat::ProfileGetString(path_, "S", "Missing", "0123456789", 4), "012");
}

TEST_F(ProfileFileTest, FirstMatchingEntryWins) {
    Write("[S]\nK=1\nK=2\n[s]\nK=3\nL=4\n");
    EXPECT_EQ(plat::ProfileGetInt(path_, "S", "K", 0), 1);
    EXPECT_EQ(plat::ProfileGetInt(path_, "S", "L", 0), 4);  // found in the repeated section
}

TEST_F(ProfileFileTest, EveryReadSeesTheFileAsItIsNow) {
    Write("[S]\nK=1\n");
    EXPECT_EQ(plat::ProfileGetInt(path_, "S", "K", 0), 1);
    Write("[S]\nK=2\n");
    EXPECT_EQ(plat::ProfileGetInt(path_, "S", "K", 0), 2);
    fs::remove(path_);
    EXPECT_EQ(plat::ProfileGetInt(path_, "S", "K", 0), 0);
}

TEST_F(ProfileFileTest, WritesChangeOnlyTheirKeyAndKeepEverythingElse) {
    Write("; header comment\n"
          "[First]\n"
          "Alpha = 1   \n"
          "; inner comment\n"
          "Beta=2\n"
          "\n"
          "[Second]\n"
          "Gamma=3\n");
    ASSERT_TRUE(plat::ProfileWriteString(path_, "first", "ALPHA", "10"));
    ASSERT_TRUE(plat::ProfileWriteString(path_, "First", "Delta", "4"));
    ASSERT_TRUE(plat::ProfileWriteString(path_, "Third", "Eps", "5"));
    EXPECT_EQ(Read(),
              "; header comment\n"
              "[First]\n"
              "Alpha=10\n"
              "; inner comment\n"
              "Beta=2\n"
              "Delta=4\n"
              "\n"
              "[Second]\n"
              "Gamma=3\n"
              "\n"
              "[Third]\n"
              "Eps=5\n");
    EXPECT_EQ(plat::ProfileGetInt(path_, "FIRST", "alpha", 0), 10);
}

TEST_F(ProfileFileTest, WritesKeepWindowsLineEndingsAndAddToALastLineWithoutBreak) {
    Write("[S]\r\nA=1\r\nB=2");
    ASSERT_TRUE(plat::ProfileWriteString(path_, "S", "A", "9"));
    ASSERT_TRUE(plat::ProfileWriteString(path_, "S", "C", "3"));
    EXPECT_EQ(Read(), "[S]\r\nA=9\r\nB=2\r\nC=3\r\n");
}

TEST_F(ProfileFileTest, WriteCreatesAMissingFileOwnerOnly) {
    ASSERT_TRUE(plat::ProfileWriteString(path_, "S", "K", "v"));
    EXPECT_EQ(Read(), "[S]\nK=v\n");
    const auto perms = fs::status(path_).permissions();
    EXPECT_EQ(perms & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);
}

TEST_F(ProfileFileTest, WritesRefuseNamesAndValuesThatWouldForgeOtherEntries) {
    Write("[S]\nK=1\n");
    ASSERT_TRUE(plat::ProfileWriteString(path_, "S", "K", "2\n[Evil]\nX=1"));
    EXPECT_EQ(Read(), "[S]\nK=2\n");
    EXPECT_FALSE(plat::ProfileWriteString(path_, "S]x", "K", "1"));
    EXPECT_FALSE(plat::ProfileWriteString(path_, "S", "K=J", "1"));
    EXPECT_FALSE(plat::ProfileWriteString(path_, "S", "", "1"));
    EXPECT_FALSE(plat::ProfileWriteString(path_, "", "K", "1"));
    EXPECT_FALSE(plat::ProfileWriteString(path_, "S", "A\nB", "1"));
    EXPECT_EQ(Read(), "[S]\nK=2\n");
}

TEST_F(ProfileFileTest, WriteIntoAFolderThatDoesNotExistFails) {
    EXPECT_FALSE(plat::ProfileWriteString((folder_ / "no" / "such.ini").string(), "S", "K", "v"));
}

}  // namespace
