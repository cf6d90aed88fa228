// The platform layer: file modes, copies, the event loop and the message pump.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <thread>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/files.h"
#include "support/test_support.h"

namespace {

int ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 0777) : -1;
}

TEST(PlatformFiles, CreatedFoldersAndFilesArePrivate) {
    testsupport::TempFolder folder;
    const std::string nested = folder.File("a/b/c");
    ASSERT_TRUE(plat::MakeDirectories(nested));
    EXPECT_TRUE(plat::MakeDirectories(nested));  // an existing folder counts as success
    EXPECT_EQ(ModeOf(folder.File("a")), 0700);
    EXPECT_EQ(ModeOf(nested), 0700);

    const std::string file = nested + "/log.txt";
    ASSERT_TRUE(plat::AppendToFile(file, "ab", 2));
    ASSERT_TRUE(plat::AppendToFile(file, "cd", 2));
    EXPECT_EQ(ModeOf(file), 0600);
    EXPECT_EQ(testsupport::ReadFile(file), "abcd");
    EXPECT_EQ(plat::FileSize(file), 4);
    EXPECT_EQ(plat::FileSize(file + ".missing"), -1);
}

TEST(PlatformFiles, CopyRefusesAnExistingDestination) {
    testsupport::TempFolder folder;
    const std::string from = folder.File("from");
    const std::string to = folder.File("to");
    ASSERT_TRUE(plat::AppendToFile(from, "data", 4));
    EXPECT_TRUE(plat::CopyFileNoOverwrite(from, to));
    EXPECT_FALSE(plat::CopyFileNoOverwrite(from, to));
    EXPECT_EQ(testsupport::ReadFile(to), "data");
    EXPECT_FALSE(plat::CopyFileNoOverwrite(folder.File("none"), folder.File("x")));
    EXPECT_FALSE(plat::FileExists(folder.File("x")));
}

TEST(PlatformFiles, AtomicWriteReplacesTheWholeFile) {
    testsupport::TempFolder folder;
    const std::string file = folder.File("settings.ini");
    ASSERT_TRUE(plat::WriteWholeFileAtomic(file, "first version, longer"));
    ASSERT_TRUE(plat::WriteWholeFileAtomic(file, "second"));
    std::string contents;
    ASSERT_TRUE(plat::ReadWholeFile(file, contents));
    EXPECT_EQ(contents, "second");
    EXPECT_EQ(plat::ListDirectory(folder.Path()).size(), 1u);  // no temporary file left
}

TEST(PlatformEventLoop, TimersAndPostedEventsRunOnTheOwnerWhileItPumps) {
    ASSERT_TRUE(plat::EventLoopClaim());
    std::atomic<int> ticks{0};
    std::atomic<int> posted{0};
    std::thread::id ranOn;
    int timer = plat::EventLoopAddTimer(20, [&] {
        ++ticks;
        ranOn = std::this_thread::get_id();
    });
    std::thread other([&] {
        EXPECT_FALSE(plat::EventLoopOwnedByCaller());
        plat::EventLoopPost([&] { ++posted; });
        KD_PumpMessages(100);  // another thread's wait runs nothing of the loop
    });
    other.join();
    EXPECT_EQ(ticks, 0);
    EXPECT_EQ(posted, 0);

    const uint32_t start = plat::TickCount();
    KD_PumpMessages(150);
    EXPECT_GE(plat::TickCount() - start, 150u);
    EXPECT_GE(ticks, 3);
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    plat::EventLoopRemoveTimer(timer);
    plat::EventLoopRelease();
}

}  // namespace
