#include "commons_test_env.h"

#include "platform/registry.h"

#include <cstring>
#include <filesystem>
#include <regex>

namespace fs = std::filesystem;

class RegfuncTest : public CommonsTest
{
protected:
    fs::path sharedKey() const { return registryRoot() / "HKEY_LOCAL_MACHINE/SOFTWARE/qelt_key_yoyaku"; }

    // Type and raw bytes of a value as stored, or "missing".
    std::string stored(const char* subkey, const char* name)
    {
        reg::KeyHandle key = nullptr;
        if (reg::open_key(reg::Hive::LocalMachine, subkey, &key) != reg::Status::Ok)
            return "missing";
        char data[4096];
        uint32_t size = sizeof data;
        uint32_t type = 0;
        reg::Status status = reg::query_value(key, name, &type, data, &size);
        reg::close_key(key);
        if (status != reg::Status::Ok)
            return "missing";
        return std::to_string(type) + ":" + std::string(data, size);
    }

    // Checks one record of regfunc.cpp (any line) with the given level and message.
    void expectRecord(const std::string& record, const char* level, const std::string& message)
    {
        std::string prefix = "*(    regfunc.cpp:";
        ASSERT_EQ(record.substr(0, prefix.size()), prefix);
        std::string rest = record.substr(prefix.size());
        EXPECT_TRUE(std::regex_match(rest.substr(0, 5), std::regex("[0-9]{4}\\)"))) << record;
        EXPECT_EQ(rest.substr(5), std::string(" ") + level + " " + ids() + " : " + message);
    }
};

TEST_F(RegfuncTest, ReadFromAMissingKeyFailsQuietlyAndCreatesNothing)
{
    char buffer[1024];
    std::memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(sub_regread("kest_datafile", buffer, sizeof buffer), -1);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '\0'));
    EXPECT_FALSE(fs::exists(registryRoot()));

    enableLog("2");
    std::memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(sub_regread_ex("Other\\Key", "v", buffer, 16), -1);
    EXPECT_EQ(std::string(buffer, 17), std::string(16, '\0') + '\xAA');
    EXPECT_FALSE(fs::exists(registryRoot() / "HKEY_LOCAL_MACHINE/SOFTWARE/Other"));
    EXPECT_EQ(records(), std::vector<std::string>{});
}

TEST_F(RegfuncTest, ReadOfAMissingValueWritesOneNormalRecord)
{
    enableLog("2");
    char buffer[1024];
    std::memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(sub_regread("kest_passwrd", buffer, sizeof buffer), -1);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '\0'));
    std::vector<std::string> lines = records();
    ASSERT_EQ(lines.size(), 1u);
    expectRecord(lines[0], "NORML", "sub_regread: RegQueryValueEx() failed : value_key = kest_passwrd");

    // A normal record: not written when only errors are logged.
    ASSERT_EQ(sub_regwrite("log_type", "1"), 0);
    EXPECT_EQ(sub_regread("kest_passwrd", buffer, sizeof buffer), -1);
    EXPECT_EQ(records().size(), 1u);
}

TEST_F(RegfuncTest, WriteStoresAStringWithItsTerminator)
{
    EXPECT_EQ(sub_regwrite("kest_kindcsl", "3"), 0);
    EXPECT_EQ(stored("SOFTWARE\\qelt_key_yoyaku", "kest_kindcsl"), std::string("1:3\0", 4));
    EXPECT_EQ(sub_regwrite("kest_passwrd", ""), 0);
    EXPECT_EQ(stored("SOFTWARE\\qelt_key_yoyaku", "kest_passwrd"), std::string("1:\0", 3));
    EXPECT_EQ(sub_regwrite("KEST_KINDCSL", "\x93\xFA\x96\x7B"), 0);
    EXPECT_EQ(stored("SOFTWARE\\qelt_key_yoyaku", "kest_kindcsl"), std::string("1:\x93\xFA\x96\x7B\0", 7));

    char buffer[1024];
    EXPECT_EQ(sub_regread("kest_kindcsl", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "\x93\xFA\x96\x7B");
    EXPECT_EQ(sub_regread("kest_passwrd", buffer, sizeof buffer), 0);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '\0'));
}

TEST_F(RegfuncTest, ValueLargerThanTheBufferCannotBeRead)
{
    enableLog("2");
    ASSERT_EQ(sub_regwrite("kest_cwdpath", "abcdef"), 0);
    char buffer[8];
    EXPECT_EQ(sub_regread("kest_cwdpath", buffer, 6), -1);
    std::vector<std::string> lines = records();
    ASSERT_EQ(lines.size(), 1u);
    expectRecord(lines[0], "NORML", "sub_regread: RegQueryValueEx() failed : value_key = kest_cwdpath");

    std::memset(buffer, 'q', sizeof buffer);
    EXPECT_EQ(sub_regread("kest_cwdpath", buffer, 7), 0);
    EXPECT_EQ(std::string(buffer, 8), std::string("abcdef\0q", 8));

    // Any type is read as raw bytes; a value filling the buffer arrives unterminated.
    reg::KeyHandle key = nullptr;
    ASSERT_EQ(reg::open_key(reg::Hive::LocalMachine, "SOFTWARE\\qelt_key_yoyaku", &key), reg::Status::Ok);
    ASSERT_EQ(reg::set_value(key, "raw", reg::REG_BINARY, "wxyz", 4), reg::Status::Ok);
    reg::close_key(key);
    std::memset(buffer, 'q', sizeof buffer);
    EXPECT_EQ(sub_regread("raw", buffer, 4), 0);
    EXPECT_EQ(std::string(buffer, 8), "wxyzqqqq");
}

TEST_F(RegfuncTest, FailedSetWritesAnErrorRecord)
{
    enableLog("1");
    std::string name(300, 'n'); // longer than a value file name can be
    EXPECT_EQ(sub_regwrite(name.c_str(), "text"), -1);
    EXPECT_EQ(sub_regwrite_ex("qelt_key_yoyaku", name.c_str(), "other"), -1);
    std::vector<std::string> lines = records();
    ASSERT_EQ(lines.size(), 2u);
    expectRecord(lines[0], "ERROR", "sub_regwrite: RegSetValueEx() failed : src=" + name + ", dst=text");
    expectRecord(lines[1], "ERROR", "sub_regwrite: RegSetValueEx() failed : src=" + name + ", dst=other");
}

TEST_F(RegfuncTest, ExFormsWorkOnAnyKeyBelowSoftware)
{
    enableLog("2");
    EXPECT_EQ(sub_regwrite_ex("qelt_key_yoyaku", "kest_datafile", "C:\\kestrel.dat"), 0);
    char buffer[1024];
    EXPECT_EQ(sub_regread("kest_datafile", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "C:\\kestrel.dat");
    EXPECT_EQ(sub_regread_ex("QELT_KEY_YOYAKU", "log_type", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "2");

    EXPECT_EQ(sub_regwrite_ex("Vendor\\App\\Deep", "v", "deep"), 0);
    EXPECT_TRUE(fs::is_directory(registryRoot() / "HKEY_LOCAL_MACHINE/SOFTWARE/Vendor/App/Deep"));
    EXPECT_EQ(sub_regread_ex("vendor\\app\\deep", "V", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "deep");
    EXPECT_EQ(sub_regremove_ex("Vendor\\App\\Deep", "v"), 0);
    EXPECT_EQ(sub_regremove_ex("Vendor\\App\\Deep", "v"), -1);
    EXPECT_EQ(stored("SOFTWARE\\Vendor\\App\\Deep", "v"), "missing");
    EXPECT_EQ(records().size(), 0u);
}

TEST_F(RegfuncTest, SubkeysBeyondTheLimitsAreRefused)
{
    enableLog("2");
    // 1014 bytes fill the key path buffer; one more does not fit.
    std::string fits;
    while (fits.size() + 101 <= 1014)
        fits += std::string(100, 'k') + "\\";
    fits += std::string(1014 - fits.size(), 'k');
    ASSERT_EQ(fits.size(), 1014u);
    EXPECT_EQ(sub_regwrite_ex(fits.c_str(), "v", "x"), 0);
    char buffer[16];
    EXPECT_EQ(sub_regread_ex(fits.c_str(), "v", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "x");

    std::string over = fits + "k";
    std::memset(buffer, 'q', sizeof buffer);
    EXPECT_EQ(sub_regwrite_ex(over.c_str(), "v", "x"), -1);
    EXPECT_EQ(sub_regread_ex(over.c_str(), "v", buffer, sizeof buffer), -1);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '\0'));
    EXPECT_EQ(sub_regremove_ex(over.c_str(), "v"), -1);

    std::string wide(256, 'w');
    EXPECT_EQ(sub_regwrite_ex(wide.c_str(), "v", "x"), -1);
    EXPECT_EQ(sub_regremove_ex(wide.c_str(), "v"), -1);
    for (const auto& entry : fs::directory_iterator(registryRoot() / "HKEY_LOCAL_MACHINE/SOFTWARE"))
        EXPECT_NE(entry.path().filename().string()[0], 'w');

    // A key that cannot be made: a file stands where its folder would be.
    testenv::write_file(registryRoot() / "HKEY_LOCAL_MACHINE/SOFTWARE/blocked", "");
    EXPECT_EQ(sub_regwrite_ex("blocked\\below", "v", "x"), -1);
    EXPECT_EQ(sub_regremove_ex("blocked", "v"), -1);

    // None of these failures is logged.
    EXPECT_EQ(records().size(), 0u);
}

TEST_F(RegfuncTest, RemoveCreatesTheKeyAndFailsOnAMissingValue)
{
    EXPECT_EQ(sub_regremove("kest_datafile"), -1);
    EXPECT_TRUE(fs::is_directory(sharedKey()));
    enableLog("2");
    ASSERT_EQ(sub_regwrite("kest_datafile", "x"), 0);
    EXPECT_EQ(sub_regremove("KEST_DATAFILE"), 0);
    EXPECT_EQ(stored("SOFTWARE\\qelt_key_yoyaku", "kest_datafile"), "missing");
    EXPECT_EQ(sub_regremove("kest_datafile"), -1);
    EXPECT_EQ(records().size(), 0u);
}
