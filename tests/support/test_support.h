// Helpers shared by the tests: a loopback address per test, temporary folders, log capture.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>
#include <algorithm>
#include <thread>
#include <chrono>

namespace testsupport {

// An address in 127.0.0.0/8 derived from the running test's name, so tests that run in
// parallel processes do not share a listening port. Never 127.0.0.1.
inline std::string LoopbackForThisTest() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "x";
    uint32_t hash = 2166136261u;
    for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
    int b = static_cast<int>((hash >> 8) % 250) + 1;
    int c = static_cast<int>(hash % 250) + 2;
    return "127." + std::to_string(b) + "." + std::to_string(hash >> 24 & 0x7F) + "." +
           std::to_string(c);
}

// A fresh folder under the system temp folder, removed at destruction.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvpw-test-XXXXXX").string();
        char* made = ::mkdtemp(pattern.data());
        path_ = made ? made : pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// All files of a folder, concatenated in name order.
inline std::string ReadFolder(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file()) names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    std::string text;
    for (const auto& name : names) text += ReadFile(name);
    return text;
}

// Waits up to `ms` for the condition, polling every 5 ms.
inline bool WaitFor(const std::function<bool()>& condition, int ms) {
    for (int waited = 0; waited <= ms; waited += 5) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

}  // namespace testsupport
