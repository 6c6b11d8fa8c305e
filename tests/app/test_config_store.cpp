// The configuration in the registry: value types and bytes, the scrambled
// password, the order of the reads and what a failure leaves behind.
#include "appcore_helpers.h"
#include "test_env.h"

#include "app/config_store.h"
#include "commons/commons.h"
#include "store/app_config.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

namespace {

class ConfigStoreTest : public TempDirTest
{
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        enable_log(path("trace.log"));
    }
    std::string log() const { return testenv::read_file(path("trace.log")); }
};

std::string value(const char* name, uint32_t expected_type)
{
    std::string bytes;
    uint32_t type = 0;
    EXPECT_TRUE(registry_value(name, bytes, type)) << name;
    EXPECT_EQ(type, expected_type) << name;
    return bytes;
}

TEST_F(ConfigStoreTest, SavedValuesHaveTheirTypesAndBytes)
{
    store_config("/data/rec.dat", 3, "abc");

    EXPECT_EQ(value("kest_datafile", 1), std::string("/data/rec.dat", 14));
    EXPECT_EQ(value("kest_kindcsl", 1), std::string("3", 2));
    EXPECT_EQ(value("kest_cwdpath", 1), std::string("", 1));
    const std::string password = value("kest_passwrd", 3);
    ASSERT_EQ(password.size(), 1024u);
    EXPECT_EQ(password.substr(0, 3), "\xE9\xD9\xC9");
    EXPECT_EQ(password.substr(3), std::string(1021, '\xFF'));
}

TEST_F(ConfigStoreTest, PasswordBufferEdges)
{
    store_config("/d", 0, "");
    EXPECT_EQ(value("kest_passwrd", 3), std::string(1024, '\xFF'));

    store_config("/d", 0, std::string(1023, 'a'));
    const std::string full = value("kest_passwrd", 3);
    EXPECT_EQ(full, std::string(1023, '\xE9') + "\xFF");
    ASSERT_EQ(sub_load_config(), 0);
    EXPECT_EQ(std::string(g_app_config.password), std::string(1023, 'a'));
}

TEST_F(ConfigStoreTest, LoadGivesBackWhatWasSavedAndTheWorkingDirectory)
{
    store_config("/data/\x83\x66\x81\x5B\x83\x5E.dat", 5, "pw");
    ASSERT_EQ(sub_regwrite("kest_cwdpath", "/stored/elsewhere"), 0);

    ASSERT_EQ(sub_load_config(), 0);
    EXPECT_STREQ(g_app_config.datafile, "/data/\x83\x66\x81\x5B\x83\x5E.dat");
    EXPECT_EQ(g_app_config.kind_cursel, 5);
    EXPECT_STREQ(g_app_config.password, "pw");
    EXPECT_EQ(std::filesystem::path(g_app_config.cwdpath), std::filesystem::current_path());
    EXPECT_EQ(g_app_config.ncursel, 0);
    EXPECT_EQ(g_app_config.datafile_changed, 0);

    // The next save stores this run's working directory.
    ASSERT_EQ(sub_save_config(), 0);
    EXPECT_EQ(value("kest_cwdpath", 1), std::filesystem::current_path().string() + std::string(1, '\0'));
}

TEST_F(ConfigStoreTest, CategoryRowIsTheLeadingInteger)
{
    store_config("/d", 0, "");
    const std::pair<const char*, int> cases[] = {{"-1", -1}, {"abc", 0}, {"  +7rows", 7}, {"", 0}, {"12", 12}};
    for (const auto& [text, expected] : cases) {
        ASSERT_EQ(sub_regwrite("kest_kindcsl", text), 0);
        ASSERT_EQ(sub_load_config(), 0) << text;
        EXPECT_EQ(g_app_config.kind_cursel, expected) << text;
    }
}

TEST_F(ConfigStoreTest, MissingPasswordIsNoError)
{
    ASSERT_EQ(sub_regwrite("kest_datafile", "/d"), 0);
    ASSERT_EQ(sub_regwrite("kest_cwdpath", ""), 0);
    ASSERT_EQ(sub_regwrite("kest_kindcsl", "2"), 0);

    ASSERT_EQ(sub_load_config(), 0);
    EXPECT_EQ(g_app_config.password[0], '\0');
    EXPECT_EQ(g_app_config.kind_cursel, 2);
    EXPECT_NE(log().find("*(sub_reg_read_ex:"), std::string::npos);
    EXPECT_NE(log().find(" NORML "), std::string::npos);
    EXPECT_NE(log().find("sub_regread: RegQueryValueEx() failed : value_key = kest_passwrd\r\n"), std::string::npos);
}

TEST_F(ConfigStoreTest, FirstFailureEndsTheLoadWithTheRestZero)
{
    EXPECT_EQ(sub_load_config(), -1);
    EXPECT_NE(log().find("ERROR"), std::string::npos);
    EXPECT_NE(log().find("Registry key kest_datafile not found\r\n"), std::string::npos);

    ASSERT_EQ(sub_regwrite("kest_datafile", "/d"), 0);
    ASSERT_EQ(sub_regwrite("kest_kindcsl", "4"), 0);
    EXPECT_EQ(sub_load_config(), -1);
    EXPECT_STREQ(g_app_config.datafile, "/d");
    EXPECT_EQ(g_app_config.kind_cursel, 0);
    EXPECT_NE(log().find("Registry key kest_cwdpath not found\r\n"), std::string::npos);

    // A cancelled first run leaves an empty path behind.
    ASSERT_EQ(sub_regwrite("kest_datafile", ""), 0);
    ASSERT_EQ(sub_regwrite("kest_cwdpath", ""), 0);
    EXPECT_EQ(sub_load_config(), -1);
    EXPECT_NE(log().find("Registry key kest_datafile. Bad Data\r\n"), std::string::npos);
}

TEST_F(ConfigStoreTest, ValuesAreReadAsRawBytesWhateverTheirType)
{
    store_config("/d", 0, "");
    ASSERT_EQ(sub_reg_write_ex("kest_kindcsl", "9\0zz", 4), 0);
    ASSERT_EQ(sub_load_config(), 0);
    EXPECT_EQ(g_app_config.kind_cursel, 9);

    // More than 1024 bytes counts as missing.
    const std::string big(1025, 'x');
    ASSERT_EQ(sub_reg_write_ex("kest_kindcsl", big.data(), 1025), 0);
    EXPECT_EQ(sub_load_config(), -1);
    char buffer[8] = "junk";
    EXPECT_EQ(sub_reg_read_ex("kest_kindcsl", buffer, sizeof buffer), -1);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(8, '\0'));
}

TEST_F(ConfigStoreTest, FailedWriteStopsTheSave)
{
    store_config("/old", 1, "old");
    // A folder with content in place of the value file: the value cannot be replaced.
    const auto key = registryRoot() / "HKEY_LOCAL_MACHINE" / "SOFTWARE" / "qelt_key_yoyaku";
    std::filesystem::remove(key / "=kest_datafile");
    std::filesystem::create_directories(key / "=kest_datafile" / "blocker");

    std::memcpy(g_app_config.password, "new", 4);
    g_app_config.kind_cursel = 7;
    EXPECT_EQ(sub_save_config(), -1);
    EXPECT_NE(log().find("Registry key kest_datafile not found\r\n"), std::string::npos);
    EXPECT_EQ(value("kest_kindcsl", 1), std::string("1", 2));
    EXPECT_EQ(value("kest_passwrd", 3).substr(0, 3), "\x09\x39\xB9"); // "old" scrambled
}

} // namespace
