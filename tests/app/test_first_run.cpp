// The life of the program: the start-up banner, the sockets start, the
// first-run setup, the login at start-up and the saving at every ending.
#include "appcore_helpers.h"
#include "modal_script_helpers.h"
#include "record_bytes_helpers.h"
#include "test_env.h"

#include "app/LoginDlg.h"
#include "app/config_store.h"
#include "app/data_pane.h"
#include "app/kestrel.h"
#include "app/kestrelDlg.h"
#include "app/message_box.h"
#include "app/optwin.h"
#include "commons/commons.h"
#include "platform/sockets.h"
#include "store/app_config.h"

#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>

namespace {

const QString kNoConfig = QStringLiteral("構成データがありませんので、初期設定してください");
const QString kRestart = QStringLiteral("設定を変更しましたので、起動しなおしてください");
const QString kNotDone = QStringLiteral("設定を完了しないとプログラムを起動できません");

class StartupTest : public TempDirTest
{
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        MessageBox::setTestMode(true);
        enable_log(path("trace.log"));
    }
    void TearDown() override
    {
        drop_modal_actions();
        sockets::set_fail_startup(false);
        TempDirTest::TearDown();
    }

    // Creates and initialises the main window, then destroys it (which saves).
    bool runInit()
    {
        auto window = std::make_unique<kestrelDlg>();
        window->initDialog();
        const bool ended = window->ended();
        window.reset();
        return ended;
    }
    std::string log() const { return testenv::read_file(path("trace.log")); }
};

void confirm_settings(const QString& datafile, const QString& newpass = QString())
{
    when_modal<SettingsDlg>([datafile, newpass](SettingsDlg* dialog) {
        EXPECT_FALSE(dialog->m_oldpass->isEnabled());
        QTest::keyClicks(dialog->m_path, datafile);
        QTest::keyClicks(dialog->m_newpass, newpass);
        dialog->accept();
    });
}

TEST_F(StartupTest, BannerIsTheFirstLogLine)
{
    kestrelApp app;
    const std::string text = log();
    EXPECT_NE(text.find("*(    kestrel.cpp:"), std::string::npos);
    EXPECT_NE(text.find(" NORML "), std::string::npos);
    EXPECT_TRUE(text.ends_with(": ================== START =============\r\n")) << text;
}

TEST_F(StartupTest, SocketsFailureEndsBeforeAnythingIsLoaded)
{
    sockets::set_fail_startup(true);
    kestrelApp app;
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{QStringLiteral("Windows ｿｹｯﾄの初期化に失敗しました。")});
    std::string bytes;
    uint32_t type = 0;
    EXPECT_FALSE(registry_value("kest_datafile", bytes, type));
}

TEST_F(StartupTest, FirstRunStoresTheConfigurationAndCreatesTheRecordFile)
{
    confirm_settings(QString::fromStdString(path("data.dat").string()));
    EXPECT_TRUE(runInit());
    EXPECT_EQ(pending_modal_actions(), 0);
    EXPECT_EQ(MessageBox::takeAsked(), (QStringList{kNoConfig, kRestart}));

    std::string bytes;
    uint32_t type = 0;
    ASSERT_TRUE(registry_value("kest_datafile", bytes, type));
    EXPECT_EQ(bytes, path("data.dat").string() + std::string(1, '\0'));
    // The failed load left the working directory unread.
    ASSERT_TRUE(registry_value("kest_cwdpath", bytes, type));
    EXPECT_EQ(bytes, std::string(1, '\0'));
    ASSERT_TRUE(registry_value("kest_kindcsl", bytes, type));
    EXPECT_EQ(bytes, std::string("0", 2));
    ASSERT_TRUE(registry_value("kest_passwrd", bytes, type));
    EXPECT_EQ(bytes, std::string(1024, '\xFF'));
    EXPECT_EQ(testenv::read_file(path("data.dat")), std::string(4, '\0'));

    // The next start finds the configuration and opens the window.
    auto window = std::make_unique<kestrelDlg>();
    window->initDialog();
    EXPECT_FALSE(window->ended());
    EXPECT_TRUE(MessageBox::takeAsked().isEmpty());
    EXPECT_EQ(window->m_list1->count(), 1);
    EXPECT_EQ(window->m_list1->item(0)->text(), QStringLiteral("(ALL)"));
}

TEST_F(StartupTest, CancelledSetupRunsAgainAtTheNextStart)
{
    when_modal<SettingsDlg>([](SettingsDlg* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    EXPECT_TRUE(runInit());
    EXPECT_EQ(MessageBox::takeAsked(), (QStringList{kNoConfig, kNotDone}));
    std::string bytes;
    uint32_t type = 0;
    ASSERT_TRUE(registry_value("kest_datafile", bytes, type));
    EXPECT_EQ(bytes, std::string(1, '\0'));

    when_modal<SettingsDlg>([](SettingsDlg* dialog) { dialog->reject(); });
    EXPECT_TRUE(runInit());
    EXPECT_EQ(MessageBox::takeAsked(), (QStringList{kNoConfig, kNotDone}));
    EXPECT_NE(log().find("Registry key kest_datafile. Bad Data\r\n"), std::string::npos);
}

TEST_F(StartupTest, PasswordTypedAtFirstRunIsAskedForAtOnce)
{
    confirm_settings(QString::fromStdString(path("data.dat").string()), QStringLiteral("pw"));
    bool asked = false;
    when_modal<LoginDlg>([&asked](LoginDlg* dialog) {
        asked = true;
        dialog->reject();
    });
    EXPECT_TRUE(runInit());
    EXPECT_TRUE(asked);
    EXPECT_EQ(MessageBox::takeAsked(),
              (QStringList{kNoConfig, QStringLiteral("パスワードが更新されました"), kRestart}));
    std::string bytes;
    uint32_t type = 0;
    ASSERT_TRUE(registry_value("kest_passwrd", bytes, type));
    EXPECT_EQ(bytes.substr(0, 3), "\xF8\x88\xFF"); // "pw" scrambled, then the terminator
}

TEST_F(StartupTest, LoginAtStartup)
{
    testenv::write_file(path("data.dat"), record_file_bytes({{1, "work"}}, {plain_record(1, 1, "bank", "no")}));
    store_config(path("data.dat").string(), 1, "secret");

    // Right password: the window runs.
    when_modal<LoginDlg>([](LoginDlg* dialog) {
        QTest::keyClicks(dialog->m_pass, QStringLiteral("secret"));
        QTest::keyClick(dialog->m_pass, Qt::Key_Return);
    });
    auto window = std::make_unique<kestrelDlg>();
    window->initDialog();
    EXPECT_FALSE(window->ended());
    EXPECT_EQ(window->m_list2->count(), 1);
    window.reset();

    // Cancelled: the window ends, and the end still saves this run's working directory.
    ASSERT_EQ(sub_regwrite("kest_cwdpath", "/elsewhere"), 0);
    when_modal<LoginDlg>([](LoginDlg* dialog) {
        QTest::keyClicks(dialog->m_pass, QStringLiteral("wrong"));
        dialog->accept();
        dialog->reject();
    });
    EXPECT_TRUE(runInit());
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{QStringLiteral("パスワードが間違っています。ログインできません")});
    std::string bytes;
    uint32_t type = 0;
    ASSERT_TRUE(registry_value("kest_cwdpath", bytes, type));
    EXPECT_EQ(bytes, dir().string() + std::string(1, '\0'));
    ASSERT_TRUE(registry_value("kest_kindcsl", bytes, type));
    EXPECT_EQ(bytes, std::string("1", 2));
}

TEST_F(StartupTest, TerminationSignalClosesLikeTheCloseButton)
{
    testenv::write_file(path("data.dat"), record_file_bytes({{1, "work"}}, {plain_record(1, 1, "bank", "old")}));
    store_config(path("data.dat").string(), 0, "");

    when_modal<kestrelDlg>([](kestrelDlg* window) {
        window->m_list2->setCurrentRow(0);
        window->m_edit1->moveCursor(QTextCursor::End);
        QTest::keyClicks(window->m_edit1, QStringLiteral("+new"));
        std::raise(SIGTERM);
        std::raise(SIGHUP); // a second signal changes nothing
    });
    kestrelApp app;
    EXPECT_FALSE(app.InitInstance());

    const RecordFileContents file = read_record_file(path("data.dat"));
    ASSERT_EQ(file.records.size(), 1u);
    EXPECT_EQ(data_of(file.records[0]), "old+new");
    ASSERT_EQ(file.headers.size(), 1u);
    EXPECT_EQ(file.headers[0].second, "work");
    std::string bytes;
    uint32_t type = 0;
    ASSERT_TRUE(registry_value("kest_cwdpath", bytes, type));
    EXPECT_EQ(bytes, dir().string() + std::string(1, '\0'));
}

} // namespace
