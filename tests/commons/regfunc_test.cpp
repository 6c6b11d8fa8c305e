#include "commons_test_env.h"

#include "platform/registry.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

class RegfuncTest : public CommonsTest
{
protected:
    fs::path software() const { return registryRoot() / "HKEY_LOCAL_MACHINE/SOFTWARE"; }

    // Type and raw bytes of a value as stored, or "missing".
    static std::string stored(const char* name, const char* subkey = "SOFTWARE\\qelt_key_yoyaku")
    {
        char data[64];
        uint32_t size = sizeof data;
        uint32_t type = 0;
        if (reg::read_value(reg::Hive::LocalMachine, subkey, name, &type, data, &size) != reg::Status::Ok)
            return "missing";
        return std::to_string(type) + ":" + std::string(data, size);
    }

    // The log's records with each header's line number (any four digits) shown as 0.
    Lines recordsAtLineZero() const
    {
        Lines lines = records();
        for (std::string& line : lines) {
            EXPECT_TRUE(line.size() > 22 && std::all_of(&line[18], &line[22], isdigit) && line[22] == ')') << line;
            line.replace(18, 4, "0000");
        }
        return lines;
    }

    static std::string readMiss(const char* name)
    {
        return record("regfunc.cpp", 0, "NORML",
                      std::string("sub_regread: RegQueryValueEx() failed : value_key = ") + name);
    }
};

} // namespace

TEST_F(RegfuncTest, ReadFromAMissingKeyFailsQuietlyAndCreatesNothing)
{
    char buffer[1024];
    std::memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(sub_regread("kest_datafile", buffer, sizeof buffer), -1);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '\0'));
    EXPECT_FALSE(fs::exists(registryRoot()));
    EXPECT_EQ(sub_regremove("kest_datafile"), -1); // a removal, though, makes the shared key
    EXPECT_TRUE(fs::is_directory(software() / "qelt_key_yoyaku"));

    enableLog("2");
    std::memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(sub_regread_ex("Other\\Key", "v", buffer, 16), -1);
    EXPECT_EQ(std::string(buffer, 17), std::string(16, '\0') + '\xAA');
    EXPECT_FALSE(fs::exists(software() / "Other"));
    EXPECT_EQ(records(), Lines{});
}

TEST_F(RegfuncTest, ReadOfAMissingOrTooLargeValueWritesOneNormalRecord)
{
    enableLog("2");
    char buffer[8];
    std::memset(buffer, 'q', sizeof buffer);
    EXPECT_EQ(sub_regread("kest_passwrd", buffer, sizeof buffer), -1);
    EXPECT_EQ(std::string(buffer, 8), std::string(8, '\0'));
    ASSERT_EQ(sub_regwrite("kest_cwdpath", "abcdef"), 0);
    EXPECT_EQ(sub_regread("kest_cwdpath", buffer, 6), -1); // 7 bytes with the terminator
    EXPECT_EQ(recordsAtLineZero(), (Lines{readMiss("kest_passwrd"), readMiss("kest_cwdpath")}));

    std::memset(buffer, 'q', sizeof buffer);
    EXPECT_EQ(sub_regread("kest_cwdpath", buffer, 7), 0);
    EXPECT_EQ(std::string(buffer, 8), std::string("abcdef\0q", 8));

    // A normal record: not written when only errors are logged.
    ASSERT_EQ(sub_regwrite("log_type", "1"), 0);
    EXPECT_EQ(sub_regread("kest_passwrd", buffer, sizeof buffer), -1);
    EXPECT_EQ(records().size(), 2u);
}

TEST_F(RegfuncTest, WriteStoresTheTextWithItsTerminatorAndReadHandsBackRawBytes)
{
    EXPECT_EQ(sub_regwrite("kest_kindcsl", "3"), 0);
    EXPECT_EQ(stored("kest_kindcsl"), std::string("1:3\0", 4));
    EXPECT_EQ(sub_regwrite("kest_passwrd", ""), 0);
    EXPECT_EQ(stored("kest_passwrd"), std::string("1:\0", 3)); // one data byte
    EXPECT_EQ(sub_regwrite("KEST_KINDCSL", "\x93\xFA\x96\x7B"), 0);
    EXPECT_EQ(stored("kest_kindcsl"), std::string("1:\x93\xFA\x96\x7B\0", 7));

    char buffer[8];
    EXPECT_EQ(sub_regread("kest_kindcsl", buffer, sizeof buffer), 0);
    EXPECT_EQ(std::string(buffer, 8), std::string("\x93\xFA\x96\x7B\0\0\0\0", 8));
    std::memset(buffer, 'q', sizeof buffer);
    EXPECT_EQ(sub_regread("kest_passwrd", buffer, sizeof buffer), 0);
    EXPECT_EQ(std::string(buffer, 8), std::string(8, '\0'));

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
    const std::string name(300, 'n'); // longer than a value file name can be
    EXPECT_EQ(sub_regwrite(name.c_str(), "text"), -1);
    EXPECT_EQ(sub_regwrite_ex("qelt_key_yoyaku", name.c_str(), "other"), -1);
    const std::string failed = "sub_regwrite: RegSetValueEx() failed : src=" + name + ", dst=";
    EXPECT_EQ(recordsAtLineZero(), (Lines{record("regfunc.cpp", 0, "ERROR", failed + "text"),
                                          record("regfunc.cpp", 0, "ERROR", failed + "other")}));
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
    EXPECT_EQ(stored("v", "SOFTWARE\\Vendor\\App\\Deep"), std::string("1:deep\0", 7));
    EXPECT_EQ(sub_regread_ex("vendor\\app\\deep", "V", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "deep");
    EXPECT_EQ(sub_regremove_ex("Vendor\\App\\Deep", "v"), 0);
    EXPECT_EQ(sub_regremove_ex("Vendor\\App\\Deep", "v"), -1);
    EXPECT_EQ(stored("v", "SOFTWARE\\Vendor\\App\\Deep"), "missing");

    EXPECT_EQ(sub_regremove("KEST_DATAFILE"), 0);
    EXPECT_EQ(sub_regremove("kest_datafile"), -1);
    EXPECT_EQ(records(), Lines{});
}

TEST_F(RegfuncTest, SubkeysBeyondTheLimitsAreRefusedWithoutARecord)
{
    enableLog("2");
    // 1014 bytes fill the key path buffer; one more does not fit.
    std::string fits;
    while (fits.size() + 101 <= 1014)
        fits += std::string(100, 'k') + "\\";
    fits += std::string(1014 - fits.size(), 'k');
    EXPECT_EQ(sub_regwrite_ex(fits.c_str(), "v", "x"), 0);
    char buffer[16];
    EXPECT_EQ(sub_regread_ex(fits.c_str(), "v", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "x");

    const std::string over = fits + "k";
    std::memset(buffer, 'q', sizeof buffer);
    EXPECT_EQ(sub_regwrite_ex(over.c_str(), "v", "x"), -1);
    EXPECT_EQ(sub_regread_ex(over.c_str(), "v", buffer, sizeof buffer), -1);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '\0'));
    EXPECT_EQ(sub_regremove_ex(over.c_str(), "v"), -1);

    const std::string wide(256, 'w'); // one level longer than a key name can be
    EXPECT_EQ(sub_regwrite_ex(wide.c_str(), "v", "x"), -1);
    EXPECT_EQ(sub_regremove_ex(wide.c_str(), "v"), -1);
    for (const auto& entry : fs::directory_iterator(software()))
        EXPECT_NE(entry.path().filename().string()[0], 'w') << "a cut key was made";

    // A key that cannot be made: a file stands where its folder would be.
    testenv::write_file(software() / "blocked", "");
    EXPECT_EQ(sub_regwrite_ex("blocked\\below", "v", "x"), -1);
    EXPECT_EQ(sub_regremove_ex("blocked", "v"), -1);
    EXPECT_EQ(records(), Lines{});
}
