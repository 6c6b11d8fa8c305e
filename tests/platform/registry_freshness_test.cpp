// Reads reuse earlier results while the key's folder and the value's file are
// unchanged. These tests make a read keep its result and then change the value
// in every way there is, each time reading again at once (well within one
// tick of the file system's clock), and expect the change.
#include "platform/registry.h"

#include "child_process.h"
#include "kept_results.h"
#include "test_env.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kKey = "SOFTWARE\\qelt_key_yoyaku";
const std::string kMissing = "<missing>";

// Stores text (with its terminator) under subkey, creating the key.
bool put(const char* name, const std::string& text, const char* subkey = kKey)
{
    reg::KeyHandle key = nullptr;
    bool ok =
        reg::create_key(reg::Hive::LocalMachine, subkey, &key) == reg::Status::Ok &&
        reg::set_value(key, name, reg::REG_SZ, text.c_str(), static_cast<uint32_t>(text.size() + 1)) == reg::Status::Ok;
    reg::close_key(key);
    return ok;
}

// The value read in one step (as the log facility reads), or kMissing.
std::string read(const char* name, const char* subkey = kKey)
{
    char data[64] = {};
    uint32_t size = sizeof data - 1;
    if (reg::read_value(reg::Hive::LocalMachine, subkey, name, nullptr, data, &size) != reg::Status::Ok)
        return kMissing;
    return std::string(data, size);
}

std::string sz(const std::string& text)
{
    return text + '\0';
}

// A value file in the store's own format, written by other means.
std::string valueFile(const std::string& text)
{
    return std::string("KREG\x01\0\0\0", 8) + static_cast<char>(text.size() + 1) + std::string(3, '\0') + sz(text);
}

class RegistryFreshnessTest : public TempDirTest
{
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        ASSERT_EQ(reg::create_key(reg::Hive::LocalMachine, kKey, &m_key), reg::Status::Ok);
    }
    void TearDown() override
    {
        reg::close_key(m_key);
        TempDirTest::TearDown();
    }

    fs::path valuePath(const char* name) const
    {
        return registryRoot() / "HKEY_LOCAL_MACHINE/SOFTWARE/qelt_key_yoyaku" / (std::string("=") + name);
    }

    // The value read through the key held open since the start.
    std::string query(const char* name) const
    {
        char data[64] = {};
        uint32_t size = sizeof data - 1;
        if (reg::query_value(m_key, name, nullptr, data, &size) != reg::Status::Ok)
            return kMissing;
        return std::string(data, size);
    }

    reg::KeyHandle m_key = nullptr;
};

} // namespace

TEST_F(RegistryFreshnessTest, OneStepReadAnswersAsOpenQueryAndClose)
{
    EXPECT_EQ(read("v", "SOFTWARE\\missing"), kMissing);
    EXPECT_FALSE(fs::exists(registryRoot() / "HKEY_LOCAL_MACHINE/SOFTWARE/missing"));
    ASSERT_EQ(reg::set_value(m_key, "Log_Type", reg::REG_BINARY, "1\0\xFF", 3), reg::Status::Ok);
    settle();
    for (int pass = 0; pass < 2; ++pass) { // the first keeps the results, the second reuses them
        char data[8] = {};
        uint32_t type = 0;
        uint32_t size = sizeof data;
        ASSERT_EQ(reg::read_value(reg::Hive::LocalMachine, "software\\QELT_KEY_YOYAKU", "log_type", &type, data, &size),
                  reg::Status::Ok);
        EXPECT_EQ(type, reg::REG_BINARY);
        EXPECT_EQ(std::string(data, size), std::string("1\0\xFF", 3));
        size = 2;
        EXPECT_EQ(reg::read_value(reg::Hive::LocalMachine, kKey, "LOG_TYPE", nullptr, data, &size),
                  reg::Status::MoreData);
        EXPECT_EQ(size, 3u);
        EXPECT_EQ(read("log_name"), kMissing);
    }
}

TEST_F(RegistryFreshnessTest, WritesAndDeletesShowAtOnce)
{
    settle();
    EXPECT_EQ(read("log_type"), kMissing);
    EXPECT_EQ(query("log_type"), kMissing);
    for (int i = 0; i < 50; ++i) {
        std::string text = std::to_string(i);
        ASSERT_TRUE(put("log_type", text));
        EXPECT_EQ(read("log_type"), sz(text));
        EXPECT_EQ(query("log_type"), sz(text));
        if (i % 3 == 0) {
            ASSERT_EQ(reg::delete_value(m_key, "log_type"), reg::Status::Ok);
            EXPECT_EQ(read("log_type"), kMissing);
            EXPECT_EQ(query("log_type"), kMissing);
        }
    }

    // set_value waits for the disk, which mostly carries the next change into
    // a later tick; renaming a finished file in as it does, without the wait,
    // lands several changes within one tick of the file system's clock.
    const fs::path ready = dir() / "ready";
    settle();
    for (int i = 0; i < 200; ++i) {
        testenv::write_file(ready, valueFile(std::to_string(i)));
        reg::delete_value(m_key, "log_type");
        ASSERT_EQ(read("log_type"), kMissing) << i;
        fs::rename(ready, valuePath("log_type"));
        ASSERT_EQ(read("log_type"), sz(std::to_string(i))) << i;
    }
}

TEST_F(RegistryFreshnessTest, AValueInAnotherCaseIsFoundAndTheExactOneWins)
{
    settle();
    EXPECT_EQ(read("log_type"), kMissing);
    ASSERT_TRUE(put("LOG_TYPE", "upper"));
    EXPECT_EQ(read("log_type"), sz("upper"));

    settle();
    EXPECT_EQ(read("log_type"), sz("upper"));
    // A file of exactly the name asked for now takes precedence.
    testenv::write_file(valuePath("log_type"), valueFile("exact"));
    EXPECT_EQ(read("log_type"), sz("exact"));
    EXPECT_EQ(read("LOG_TYPE"), sz("upper"));

    // Under a third spelling, whichever the folder scan meets first; removing
    // that file leaves the other.
    settle();
    const std::string first = read("Log_Type");
    ASSERT_TRUE(first == sz("exact") || first == sz("upper")) << first;
    EXPECT_EQ(read("Log_Type"), first);
    fs::remove(valuePath(first == sz("exact") ? "log_type" : "LOG_TYPE"));
    EXPECT_EQ(read("Log_Type"), first == sz("exact") ? sz("upper") : sz("exact"));
}

TEST_F(RegistryFreshnessTest, AFileRewrittenInPlaceIsSeen)
{
    ASSERT_TRUE(put("log_name", "C:\\a"));
    settle();
    EXPECT_EQ(read("log_name"), sz("C:\\a"));
    testenv::write_file(valuePath("log_name"), valueFile("C:\\b")); // same size, same inode
    EXPECT_EQ(read("log_name"), sz("C:\\b"));

    testenv::write_file(valuePath("log_name"), "KREG broken");
    EXPECT_EQ(read("log_name"), kMissing);
    settle();
    EXPECT_EQ(read("log_name"), kMissing);
    testenv::write_file(valuePath("log_name"), valueFile("C:\\c"));
    EXPECT_EQ(read("log_name"), sz("C:\\c"));
}

TEST_F(RegistryFreshnessTest, ChangesByAnotherProcessAreSeen)
{
    settle();
    EXPECT_EQ(read("log_type"), kMissing);
    for (int i = 0; i < 5; ++i) {
        std::string text = "child " + std::to_string(i);
        inChild([&] { return put("log_type", text); });
        EXPECT_EQ(read("log_type"), sz(text));
        if (i == 2)
            settle();
    }
    inChild([this] { return reg::delete_value(m_key, "log_type") == reg::Status::Ok; });
    EXPECT_EQ(read("log_type"), kMissing);
}

TEST_F(RegistryFreshnessTest, AReplacedKeyIsSeen)
{
    ASSERT_TRUE(put("log_type", "1"));
    settle();
    EXPECT_EQ(read("log_type"), sz("1"));
    ASSERT_EQ(reg::delete_key_tree(reg::Hive::LocalMachine, kKey), reg::Status::Ok);
    EXPECT_EQ(read("log_type"), kMissing);
    ASSERT_TRUE(put("log_type", "2"));
    EXPECT_EQ(read("log_type"), sz("2"));
}

// A missing key is kept while the deepest folder of its path is unchanged:
// creating the key below it, also below a level spelled in another case, or
// under another registry root, must show.
TEST_F(RegistryFreshnessTest, AMissingKeyIsSeenOnceCreated)
{
    ASSERT_TRUE(put("x", "", "SOFTWARE\\TOOLS"));
    const char* cases[][3] = {
        {"SOFTWARE\\Vendor\\Product", "software\\VENDOR\\product", nullptr},
        {"SOFTWARE\\Tools\\Tool", "SOFTWARE\\TOOLS\\Tool", nullptr},
        {kKey, kKey, "later/registry"},
    };
    for (const auto& [asked, created, root] : cases) {
        if (root)
            setenv("KESTREL_REGISTRY", (dir() / root).c_str(), 1);
        settle();
        EXPECT_EQ(read("v", asked), kMissing) << asked;
        EXPECT_EQ(read("v", asked), kMissing) << asked;
        ASSERT_TRUE(put("v", asked, created));
        EXPECT_EQ(read("v", asked), sz(asked)) << asked;
    }
    EXPECT_FALSE(fs::exists(dir() / "later/registry/HKEY_LOCAL_MACHINE/SOFTWARE/Vendor"));
}

TEST_F(RegistryFreshnessTest, ReadersOnOtherThreadsNeverGoBack)
{
    ASSERT_TRUE(put("n", "0"));
    settle();
    constexpr int kLast = 300;
    std::atomic<bool> written{false};
    std::vector<std::thread> readers;
    std::vector<std::string> faults(4);
    for (auto& fault : faults)
        readers.emplace_back([&fault, &written] {
            int seen = 0;
            for (bool last = false; !last;) {
                last = written; // one more read after the last write
                std::string text = read("n");
                int n = std::atoi(text.c_str());
                if (text == kMissing || n < seen) {
                    fault = "read " + text + " after " + std::to_string(seen);
                    return;
                }
                seen = n;
            }
            if (seen != kLast)
                fault = "last read " + std::to_string(seen);
        });
    for (int i = 1; i <= kLast; ++i)
        EXPECT_TRUE(put("n", std::to_string(i)));
    written = true;
    for (auto& reader : readers)
        reader.join();
    EXPECT_EQ(faults, std::vector<std::string>(4));
}

// A child made by fork shares its parent's change queue: what the child reads
// must not take from the parent the news of the child's own change.
TEST_F(RegistryFreshnessTest, AForkedChildReadingDoesNotHideItsChangeFromTheParent)
{
    ASSERT_TRUE(put("log_type", "parent"));
    settle();
    EXPECT_EQ(read("log_type"), sz("parent"));
    EXPECT_EQ(read("log_type"), sz("parent"));
    for (int i = 0; i < 3; ++i) {
        const std::string text = "child " + std::to_string(i);
        inChild([&] { return read("log_type") != kMissing && put("log_type", text) && read("log_type") == sz(text); });
        EXPECT_EQ(read("log_type"), sz(text)) << i;
    }
}

// Kept right after a change, without letting it age: a key folder that
// appears later, and a value file replaced by a rename from elsewhere.
TEST_F(RegistryFreshnessTest, ChangesRightAfterAReadAreSeen)
{
    const char* later = "SOFTWARE\\Later";
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(read("v", later), kMissing) << i;
        ASSERT_EQ(read("v", later), kMissing) << i;
        ASSERT_TRUE(put("v", "here", later));
        ASSERT_EQ(read("v", later), sz("here")) << i;
        ASSERT_EQ(read("v", later), sz("here")) << i;
        ASSERT_EQ(reg::delete_key_tree(reg::Hive::LocalMachine, later), reg::Status::Ok);
    }
    const fs::path ready = dir() / "ready";
    for (int i = 0; i < 20; ++i) {
        testenv::write_file(ready, valueFile(std::to_string(i)));
        fs::rename(ready, valuePath("log_name"));
        ASSERT_EQ(read("log_name"), sz(std::to_string(i))) << i;
        ASSERT_EQ(read("log_name"), sz(std::to_string(i))) << i;
    }
}
