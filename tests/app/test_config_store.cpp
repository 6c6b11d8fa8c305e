// The configuration in the registry: value types and bytes, the scrambled
// password, the order of the reads and what a failure leaves behind.
#include "app_fixture_helpers.h"
#include "modal_script_helpers.h"

#include "app/config/config_store.h"
#include "app/dialogs/optwin.h"
#include "app/widgets/message_box.h"
#include "commons/commons.h"
#include "store/app_config.h"

#include <QTest>

#include <cstring>
#include <filesystem>

namespace {

using ConfigStoreTest = AppTest;

TEST_F(ConfigStoreTest, SavedValuesHaveTheirTypesAndBytesAndLoadBack)
{
    storeConfig("/data/\x83\x66\x81\x5B\x83\x5E.dat", 3, "abc");
    EXPECT_EQ(config_value("kest_datafile"), sz_value("/data/\x83\x66\x81\x5B\x83\x5E.dat"));
    EXPECT_EQ(config_value("kest_kindcsl"), sz_value("3"));
    EXPECT_EQ(config_value("kest_cwdpath"), sz_value(""));
    EXPECT_EQ(config_value("kest_passwrd"), password_value("\xE9\xD9\xC9"));

    ASSERT_EQ(sub_regwrite("kest_cwdpath", "/stored/elsewhere"), 0);
    ASSERT_EQ(sub_load_config(), 0);
    EXPECT_STREQ(g_app_config.datafile, "/data/\x83\x66\x81\x5B\x83\x5E.dat");
    EXPECT_EQ(g_app_config.kind_cursel, 3);
    EXPECT_STREQ(g_app_config.password, "abc");
    // The working directory is this run's, and the next save stores it.
    EXPECT_EQ(std::filesystem::path(g_app_config.cwdpath), std::filesystem::current_path());
    ASSERT_EQ(sub_save_config(), 0);
    EXPECT_EQ(config_value("kest_cwdpath"), sz_value(std::filesystem::current_path().string()));

    // A password that fills the buffer keeps one terminator.
    storeConfig("/d", 0, std::string(1023, 'a'));
    EXPECT_EQ(config_value("kest_passwrd"), password_value(std::string(1023, '\xE9')));
    ASSERT_EQ(sub_load_config(), 0);
    EXPECT_EQ(std::string(g_app_config.password), std::string(1023, 'a'));
}

TEST_F(ConfigStoreTest, CategoryRowIsTheLeadingInteger)
{
    storeConfig("/d", 0, "");
    const std::pair<const char*, int> cases[] = {{"-1", -1}, {"abc", 0}, {"  +7rows", 7}, {"", 0}, {"12", 12}};
    for (const auto& [text, expected] : cases) {
        ASSERT_EQ(sub_regwrite("kest_kindcsl", text), 0);
        ASSERT_EQ(sub_load_config(), 0) << text;
        EXPECT_EQ(g_app_config.kind_cursel, expected) << text;
    }
    // Read as raw bytes whatever the type: the text ends at its first zero byte.
    ASSERT_EQ(sub_reg_write_ex("kest_kindcsl", "9\0zz", 4), 0);
    ASSERT_EQ(sub_load_config(), 0);
    EXPECT_EQ(g_app_config.kind_cursel, 9);
}

TEST_F(ConfigStoreTest, LoadStopsAtTheFirstMissingValueAndThePasswordMayBeMissing)
{
    EXPECT_EQ(sub_load_config(), -1);
    EXPECT_TRUE(logHas(") ERROR "));
    EXPECT_TRUE(logHas("Registry key kest_datafile not found\r\n"));

    ASSERT_EQ(sub_regwrite("kest_datafile", "/d"), 0);
    ASSERT_EQ(sub_regwrite("kest_kindcsl", "4"), 0);
    EXPECT_EQ(sub_load_config(), -1);
    EXPECT_STREQ(g_app_config.datafile, "/d");
    EXPECT_EQ(g_app_config.kind_cursel, 0);
    EXPECT_TRUE(logHas("Registry key kest_cwdpath not found\r\n"));

    ASSERT_EQ(sub_regwrite("kest_cwdpath", ""), 0);
    std::filesystem::remove(path("trace.log"));
    ASSERT_EQ(sub_load_config(), 0);
    EXPECT_EQ(g_app_config.kind_cursel, 4);
    EXPECT_EQ(g_app_config.password[0], '\0');
    EXPECT_TRUE(logHas("*(sub_reg_read_ex:"));
    EXPECT_TRUE(logHas(" : sub_regread: RegQueryValueEx() failed : value_key = kest_passwrd\r\n"));
    EXPECT_FALSE(logHas(") ERROR ")); // a missing password is no error

    // More than 1024 bytes counts as missing, and the caller's buffer is cleared.
    const std::string big(1025, 'x');
    ASSERT_EQ(sub_reg_write_ex("kest_kindcsl", big.data(), 1025), 0);
    EXPECT_EQ(sub_load_config(), -1);
    char buffer[8] = "junk";
    EXPECT_EQ(sub_reg_read_ex("kest_kindcsl", buffer, sizeof buffer), -1);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(8, '\0'));
}

TEST_F(ConfigStoreTest, WindowsRecordFilePathCountsAsMissingAndNamesNoFile)
{
    const std::string windows = "C:\\Users\\\x91\xBE\x98\x59\\\x8B\x4C\x98\x5E.dat"; // C:\Users\太郎\記録.dat
    const QString message = QStringLiteral("データファイルのパス「C:\\Users\\太郎\\記録.dat」はWindowsの形式のため、"
                                           "このコンピュータでは使えません。データファイルを設定しなおしてください");
    for (const std::string& datafile : {windows, std::string("\\\\server\\share\\k.dat"), std::string("d:k.dat")}) {
        storeConfig(datafile, 2, "pw");
        EXPECT_EQ(sub_load_config(), -1) << datafile;
        EXPECT_STREQ(g_app_config.datafile, "");
        EXPECT_EQ(g_app_config.password[0], '\0');
        EXPECT_EQ(MessageBox::takeAsked().size(), 1);
    }
    EXPECT_TRUE(logHas("Registry key kest_datafile. Bad Data\r\n"));

    // At start: the reason, then the first-run setup; cancelled, the run ends
    // without creating a file of the Windows name.
    storeConfig(windows, 2, "");
    when_modal<SettingsDlg>([](SettingsDlg* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    EXPECT_TRUE(startWindow());
    m_window.reset();
    EXPECT_EQ(MessageBox::takeAsked(),
              (QStringList{message, QStringLiteral("構成データがありませんので、初期設定してください"),
                           QStringLiteral("設定を完了しないとプログラムを起動できません")}));
    for (const auto& entry : std::filesystem::directory_iterator(dir()))
        EXPECT_EQ(entry.path().filename().string().find("C:"), std::string::npos) << entry.path();
    EXPECT_EQ(config_value("kest_datafile"), sz_value(""));

    // A Linux path that merely holds a colon or backslashes is used.
    storeConfig("/data/a:b\\c.dat", 0, "");
    EXPECT_EQ(sub_load_config(), 0);
    EXPECT_STREQ(g_app_config.datafile, "/data/a:b\\c.dat");
}

TEST_F(ConfigStoreTest, FailedWriteStopsTheSave)
{
    storeConfig("/old", 1, "old");
    // A folder with content in place of the value file: the value cannot be replaced.
    const auto key = registryRoot() / "HKEY_LOCAL_MACHINE" / "SOFTWARE" / "qelt_key_yoyaku";
    std::filesystem::remove(key / "=kest_datafile");
    std::filesystem::create_directories(key / "=kest_datafile" / "blocker");

    std::memcpy(g_app_config.password, "new", 4);
    g_app_config.kind_cursel = 7;
    EXPECT_EQ(sub_save_config(), -1);
    EXPECT_TRUE(logHas("Registry key kest_datafile not found\r\n"));
    EXPECT_EQ(config_value("kest_kindcsl"), sz_value("1"));
    EXPECT_EQ(config_value("kest_passwrd"), password_value("\x09\x39\xB9")); // "old" scrambled
}

} // namespace
