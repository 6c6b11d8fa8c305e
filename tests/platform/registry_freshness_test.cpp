// Reads reuse earlier results while the key's folder and the value's file are
// unchanged. These tests make a read keep its result and then change the value
// in every way there is, each time reading again at once (well within one
// tick of the file system's clock), and expect the change.
#include "platform/registry.h"

#include "test_env.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kKey = "SOFTWARE\\qelt_key_yoyaku";

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

    fs::path keyFolder() const { return registryRoot() / "HKEY_LOCAL_MACHINE/SOFTWARE/qelt_key_yoyaku"; }

    void set(const char* name, const std::string& text)
    {
        ASSERT_EQ(reg::set_value(m_key, name, reg::REG_SZ, text.c_str(), static_cast<uint32_t>(text.size() + 1)),
                  reg::Status::Ok);
    }

    // The text read in one step (as the log facility does), "<missing>" when
    // it cannot be read.
    static std::string read(const char* name) { return readIn(kKey, name); }
    static std::string readIn(const char* subkey, const char* name)
    {
        char data[64] = {};
        uint32_t size = sizeof data - 1;
        if (reg::read_value(reg::Hive::LocalMachine, subkey, name, nullptr, data, &size) != reg::Status::Ok)
            return "<missing>";
        return std::string(data, size);
    }

    static void create(const char* subkey, const char* name, const char* text)
    {
        reg::KeyHandle key = nullptr;
        ASSERT_EQ(reg::create_key(reg::Hive::LocalMachine, subkey, &key), reg::Status::Ok);
        ASSERT_EQ(reg::set_value(key, name, reg::REG_SZ, text, static_cast<uint32_t>(std::strlen(text) + 1)),
                  reg::Status::Ok);
        reg::close_key(key);
    }

    // The same through an open key.
    std::string query(const char* name) const
    {
        char data[64] = {};
        uint32_t size = sizeof data - 1;
        if (reg::query_value(m_key, name, nullptr, data, &size) != reg::Status::Ok)
            return "<missing>";
        return std::string(data, size);
    }

    // Results are kept only once the last change lies well behind the file
    // system's coarse clock; wait that long, then read so that the result is
    // kept and the next read would reuse it.
    static void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(250)); }

    static std::string sz(const std::string& text) { return text + '\0'; }

    // A value file in the store's own format, written by other means.
    static std::string valueFile(const std::string& text)
    {
        std::string data = sz(text);
        std::string file("KREG\x01\0\0\0", 8);
        file += static_cast<char>(data.size());
        file += std::string(3, '\0');
        return file + data;
    }

    reg::KeyHandle m_key = nullptr;
};

// Rewrites an existing file in place (same inode), as `cp` over it would.
void rewriteInPlace(const fs::path& path, const std::string& bytes)
{
    int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
}

// Runs body in a child process and waits for it.
template <typename Body> void inChild(Body body)
{
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        body();
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace

TEST_F(RegistryFreshnessTest, OneStepReadAnswersAsOpenQueryAndClose)
{
    reg::KeyHandle key = nullptr;
    char data[8] = {};
    uint32_t size = sizeof data;
    EXPECT_EQ(reg::read_value(reg::Hive::LocalMachine, "SOFTWARE\\missing", "v", nullptr, data, &size),
              reg::Status::NotFound);
    EXPECT_FALSE(fs::exists(registryRoot() / "HKEY_LOCAL_MACHINE/SOFTWARE/missing"));
    EXPECT_EQ(reg::open_key(reg::Hive::LocalMachine, "SOFTWARE\\missing", &key), reg::Status::NotFound);

    const unsigned char bytes[] = {0x31, 0x00, 0xFF};
    ASSERT_EQ(reg::set_value(m_key, "Log_Type", reg::REG_BINARY, bytes, sizeof bytes), reg::Status::Ok);
    settle();
    for (int pass = 0; pass < 2; ++pass) { // the first keeps the results, the second reuses them
        uint32_t type = 0;
        size = sizeof data;
        ASSERT_EQ(reg::read_value(reg::Hive::LocalMachine, "software\\QELT_KEY_YOYAKU", "log_type", &type, data, &size),
                  reg::Status::Ok);
        EXPECT_EQ(type, reg::REG_BINARY);
        EXPECT_EQ(std::string(data, size), std::string("1\0\xFF", 3));
        size = 2;
        EXPECT_EQ(reg::read_value(reg::Hive::LocalMachine, kKey, "LOG_TYPE", nullptr, data, &size),
                  reg::Status::MoreData);
        EXPECT_EQ(size, 3u);
        size = sizeof data;
        EXPECT_EQ(reg::read_value(reg::Hive::LocalMachine, kKey, "log_name", nullptr, data, &size),
                  reg::Status::NotFound);
    }
}

TEST_F(RegistryFreshnessTest, WritesAndDeletesShowAtOnce)
{
    settle();
    EXPECT_EQ(read("log_type"), "<missing>");
    EXPECT_EQ(query("log_type"), "<missing>");
    for (int i = 0; i < 50; ++i) {
        std::string text = std::to_string(i);
        set("log_type", text);
        EXPECT_EQ(read("log_type"), sz(text));
        EXPECT_EQ(query("log_type"), sz(text));
        if (i % 3 == 0) {
            ASSERT_EQ(reg::delete_value(m_key, "log_type"), reg::Status::Ok);
            EXPECT_EQ(read("log_type"), "<missing>");
            EXPECT_EQ(query("log_type"), "<missing>");
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
        ASSERT_EQ(read("log_type"), "<missing>") << i;
        fs::rename(ready, keyFolder() / "=log_type");
        ASSERT_EQ(read("log_type"), sz(std::to_string(i))) << i;
    }
}

TEST_F(RegistryFreshnessTest, AValueInAnotherCaseIsFoundAndTheExactOneWins)
{
    settle();
    EXPECT_EQ(read("log_type"), "<missing>");
    set("LOG_TYPE", "upper");
    EXPECT_EQ(read("log_type"), sz("upper"));

    settle();
    EXPECT_EQ(read("log_type"), sz("upper"));
    // A file of exactly the name asked for now takes precedence.
    testenv::write_file(keyFolder() / "=log_type", valueFile("exact"));
    EXPECT_EQ(read("log_type"), sz("exact"));
    EXPECT_EQ(read("LOG_TYPE"), sz("upper"));

    // Under a third spelling, whichever the folder scan meets first; removing
    // that file leaves the other.
    settle();
    const std::string first = read("Log_Type");
    ASSERT_TRUE(first == sz("exact") || first == sz("upper")) << first;
    EXPECT_EQ(read("Log_Type"), first);
    fs::remove(keyFolder() / (first == sz("exact") ? "=log_type" : "=LOG_TYPE"));
    EXPECT_EQ(read("Log_Type"), first == sz("exact") ? sz("upper") : sz("exact"));
}

TEST_F(RegistryFreshnessTest, AFileChangedInPlaceIsSeen)
{
    set("log_name", "C:\\a");
    settle();
    EXPECT_EQ(read("log_name"), sz("C:\\a"));
    rewriteInPlace(keyFolder() / "=log_name", valueFile("C:\\b")); // same size, same inode
    EXPECT_EQ(read("log_name"), sz("C:\\b"));

    rewriteInPlace(keyFolder() / "=log_name", "KREG broken");
    EXPECT_EQ(read("log_name"), "<missing>");
    settle();
    EXPECT_EQ(read("log_name"), "<missing>");
    rewriteInPlace(keyFolder() / "=log_name", valueFile("C:\\c"));
    EXPECT_EQ(read("log_name"), sz("C:\\c"));
}

TEST_F(RegistryFreshnessTest, ChangesByAnotherProcessAreSeen)
{
    settle();
    EXPECT_EQ(read("log_type"), "<missing>");
    for (int i = 0; i < 5; ++i) {
        std::string text = "child " + std::to_string(i);
        inChild([&] {
            reg::KeyHandle key = nullptr;
            if (reg::create_key(reg::Hive::LocalMachine, kKey, &key) != reg::Status::Ok ||
                reg::set_value(key, "log_type", reg::REG_SZ, text.c_str(), static_cast<uint32_t>(text.size() + 1)) !=
                    reg::Status::Ok)
                _exit(1);
        });
        EXPECT_EQ(read("log_type"), sz(text));
        if (i == 2)
            settle();
    }
    inChild([] {
        reg::KeyHandle key = nullptr;
        if (reg::open_key(reg::Hive::LocalMachine, kKey, &key) != reg::Status::Ok ||
            reg::delete_value(key, "log_type") != reg::Status::Ok)
            _exit(1);
    });
    EXPECT_EQ(read("log_type"), "<missing>");
}

TEST_F(RegistryFreshnessTest, AReplacedKeyIsSeen)
{
    set("log_type", "1");
    settle();
    EXPECT_EQ(read("log_type"), sz("1"));
    ASSERT_EQ(reg::delete_key_tree(reg::Hive::LocalMachine, kKey), reg::Status::Ok);
    EXPECT_EQ(read("log_type"), "<missing>");
    reg::KeyHandle key = nullptr;
    ASSERT_EQ(reg::create_key(reg::Hive::LocalMachine, kKey, &key), reg::Status::Ok);
    ASSERT_EQ(reg::set_value(key, "log_type", reg::REG_SZ, "2", 2), reg::Status::Ok);
    reg::close_key(key);
    EXPECT_EQ(read("log_type"), sz("2"));
}

TEST_F(RegistryFreshnessTest, AMissingKeyIsSeenOnceCreated)
{
    const char* product = "SOFTWARE\\Vendor\\Product";
    settle();
    EXPECT_EQ(readIn(product, "v"), "<missing>");
    EXPECT_EQ(readIn(product, "v"), "<missing>");
    create("software\\VENDOR\\product", "v", "1");
    EXPECT_EQ(readIn(product, "v"), sz("1"));

    // A level that exists in another case leads on to the key created below it.
    const char* tool = "SOFTWARE\\Tools\\Tool";
    reg::KeyHandle key = nullptr;
    ASSERT_EQ(reg::create_key(reg::Hive::LocalMachine, "SOFTWARE\\TOOLS", &key), reg::Status::Ok);
    reg::close_key(key);
    settle();
    EXPECT_EQ(readIn(tool, "v"), "<missing>");
    EXPECT_EQ(readIn(tool, "v"), "<missing>");
    create("SOFTWARE\\TOOLS\\Tool", "v", "2");
    EXPECT_EQ(readIn(tool, "v"), sz("2"));

    // Another registry root, one that does not exist yet.
    setenv("KESTREL_REGISTRY", (dir() / "later/registry").c_str(), 1);
    settle();
    EXPECT_EQ(read("log_type"), "<missing>");
    EXPECT_EQ(read("log_type"), "<missing>");
    create(kKey, "log_type", "3");
    EXPECT_EQ(read("log_type"), sz("3"));
    EXPECT_FALSE(fs::exists(dir() / "later/registry/HKEY_LOCAL_MACHINE/SOFTWARE/Vendor"));
}

TEST_F(RegistryFreshnessTest, ReadersOnOtherThreadsNeverGoBack)
{
    set("n", "0");
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
                if (text == "<missing>" || n < seen) {
                    fault = "read " + text + " after " + std::to_string(seen);
                    return;
                }
                seen = n;
            }
            if (seen != kLast)
                fault = "last read " + std::to_string(seen);
        });
    for (int i = 1; i <= kLast; ++i)
        set("n", std::to_string(i));
    written = true;
    for (auto& reader : readers)
        reader.join();
    for (const auto& fault : faults)
        EXPECT_EQ(fault, "");
}
