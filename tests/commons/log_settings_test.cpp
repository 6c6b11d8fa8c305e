// The log settings apply from the very next record, also when they change
// right after a call that read them, and also when another process changes
// them.
#include "commons_test_env.h"

#include "../platform/child_process.h"
#include "../platform/kept_results.h"

#include <atomic>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace {

using LogSettingsTest = CommonsTest;
using Lines = std::vector<std::string>;

std::string line(int number, const char* level, const char* message)
{
    return CommonsTest::record("t.cpp", number, level, message);
}

} // namespace

TEST_F(LogSettingsTest, LogTypeWrittenOrRemovedJustBeforeACallApplies)
{
    ASSERT_EQ(sub_regwrite("log_name", logPath().c_str()), 0);
    settle();
    logputd(0, "t.cpp", 1, "off\n");
    ASSERT_EQ(sub_regwrite("log_type", "1"), 0);
    logputd(0, "t.cpp", 2, "errors only\n");
    logputd(1, "t.cpp", 3, "normal under 1\n");
    ASSERT_EQ(sub_regwrite("log_type", "2"), 0);
    logputd(1, "t.cpp", 4, "normal under 2\n");
    ASSERT_EQ(sub_regremove("log_type"), 0);
    logputd(0, "t.cpp", 5, "removed\n");

    ASSERT_EQ(sub_regwrite("log_type", "2"), 0);
    settle();
    logput(1, "t.cpp", 6, "kept\n");
    ASSERT_EQ(sub_regwrite("log_type", "0"), 0);
    logput(0, "t.cpp", 7, "zero\n");
    ASSERT_EQ(sub_regwrite("log_type", "1"), 0);
    logput(1, "t.cpp", 8, "normal under 1\n");
    logput(0, "t.cpp", 9, "error under 1\n");

    EXPECT_EQ(records(), (Lines{line(2, "ERROR", "errors only"), line(4, "NORML", "normal under 2"),
                                line(6, "NORML", "kept"), line(9, "ERROR", "error under 1")}));
}

TEST_F(LogSettingsTest, NewLogNameTakesTheNextRecord)
{
    enableLog("2", "a.txt");
    settle();
    logput(1, "t.cpp", 1, "one\n");
    ASSERT_EQ(sub_regwrite("log_name", logPath("b.txt").c_str()), 0);
    logput(1, "t.cpp", 2, "two\n");
    ASSERT_EQ(sub_regwrite("log_name", logPath("a.txt").c_str()), 0);
    vb_logput(1, "t.cpp", 3, "three");
    ASSERT_EQ(sub_regremove("log_name"), 0);
    logput(0, "t.cpp", 4, "nowhere\n");

    EXPECT_EQ(records("a.txt"), (Lines{line(1, "NORML", "one"), line(3, "NORML", "three")}));
    EXPECT_EQ(records("b.txt"), Lines{line(2, "NORML", "two")});
    EXPECT_EQ(std::distance(fs::directory_iterator(dir()), {}), 4); // home, registry, a, b
}

TEST_F(LogSettingsTest, SettingsChangedByAnotherProcessApplyToTheNextRecord)
{
    ASSERT_EQ(sub_regwrite("log_name", logPath().c_str()), 0);
    settle();
    logput(1, "t.cpp", 1, "off\n");
    inChild([] { return sub_regwrite("log_type", "2") == 0; });
    logput(1, "t.cpp", 2, "on\n");
    inChild([this] { return sub_regwrite("log_name", logPath("other.txt").c_str()) == 0; });
    logput(1, "t.cpp", 3, "other\n");
    settle();
    logput(1, "t.cpp", 4, "other again\n");
    inChild([] { return sub_regremove("log_type") == 0; });
    logput(0, "t.cpp", 5, "off again\n");

    EXPECT_EQ(records(), Lines{line(2, "NORML", "on")});
    EXPECT_EQ(records("other.txt"), (Lines{line(3, "NORML", "other"), line(4, "NORML", "other again")}));
}

TEST_F(LogSettingsTest, SuffixSetOnAnotherThreadNeverMixesFileNames)
{
    enableLog("3", "trace");
    const std::string longSuffix(200, 'a');
    std::atomic<bool> done{false};
    std::thread setter([&] {
        for (int i = 0; !done; ++i)
            log_name(i % 2 ? "b" : longSuffix.c_str());
    });
    for (int i = 0; i < 2000; ++i)
        logput(1, "t.cpp", 1, "x\n");
    done = true;
    setter.join();

    const std::string pid = std::to_string(getpid());
    for (const auto& entry : fs::directory_iterator(dir())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "home" || name == "registry" || name == "trace." + longSuffix + "." + pid + ".txt" ||
                    name == "trace.b." + pid + ".txt" || name == "trace." + pid + ".txt")
            << name;
    }
}
