// The life of the program: the start-up banner, the sockets start, the
// first-run setup, the login at start-up and the saving at every ending.
#include "app_fixture_helpers.h"
#include "modal_script_helpers.h"

#include "app/config/protected_password.h"
#include "app/dialogs/LoginDlg.h"
#include "app/dialogs/optwin.h"
#include "app/kestrel.h"
#include "app/main_window/data_pane.h"
#include "app/main_window/kestrelDlg.h"
#include "app/main_window/record_list.h"
#include "app/widgets/message_box.h"
#include "commons/commons.h"
#include "platform/sockets.h"
#include "store/file/record_session.h"

#include <QLineEdit>
#include <QListWidget>
#include <QTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kNoConfig = QStringLiteral("構成データがありませんので、初期設定してください");
const QString kRestart = QStringLiteral("設定を変更しましたので、起動しなおしてください");
const QString kNotDone = QStringLiteral("設定を完了しないとプログラムを起動できません");

using StartupTest = AppTest;

void confirm_settings(const QString& datafile, const QString& newpass = QString())
{
    when_modal<SettingsDlg>([datafile, newpass](SettingsDlg* dialog) {
        EXPECT_FALSE(dialog->m_oldpass->isEnabled());
        QTest::keyClicks(dialog->m_path, datafile);
        QTest::keyClicks(dialog->m_newpass, newpass);
        dialog->accept();
    });
}

void enter_password(const QString& password)
{
    when_modal<LoginDlg>([password](LoginDlg* dialog) {
        QTest::keyClicks(dialog->m_pass, password);
        QTest::keyClick(dialog->m_pass, Qt::Key_Return);
        if (dialog->isVisible())
            dialog->reject();
    });
}

TEST_F(StartupTest, BannerComesFirstAndSocketsFailureEndsBeforeAnythingIsLoaded)
{
    sockets::set_fail_startup(true);
    kestrelApp app;
    const std::string text = log();
    // One line so far: the banner, from the application's own unit.
    EXPECT_EQ(text.find("\r\n"), text.size() - 2) << text;
    EXPECT_NE(text.find("*(    kestrel.cpp:"), std::string::npos) << text;
    EXPECT_NE(text.find(") NORML "), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with(" : ================== START =============\r\n")) << text;

    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{QStringLiteral("Windows ｿｹｯﾄの初期化に失敗しました。")});
    EXPECT_EQ(config_value("kest_datafile").type, 0u);
}

TEST_F(StartupTest, FirstRunStoresTheConfigurationAndCreatesTheRecordFile)
{
    confirm_settings(QString::fromStdString(dataFile().string()));
    EXPECT_TRUE(startWindow());
    m_window.reset();
    EXPECT_EQ(MessageBox::takeAsked(), (QStringList{kNoConfig, kRestart}));
    EXPECT_EQ(config_value("kest_datafile"), sz_value(dataFile().string()));
    // The failed load left the working directory unread.
    EXPECT_EQ(config_value("kest_cwdpath"), sz_value(""));
    EXPECT_EQ(config_value("kest_kindcsl"), sz_value("0"));
    EXPECT_EQ(config_value("kest_passwrd"), password_value(""));
    EXPECT_EQ(testenv::read_file(dataFile()), std::string(4, '\0'));

    // The next start finds the configuration and opens the window.
    EXPECT_FALSE(startWindow());
    EXPECT_TRUE(MessageBox::takeAsked().isEmpty());
    EXPECT_EQ(rows(m_window->m_list1), QStringList{"(ALL)"});
}

TEST_F(StartupTest, CancelledSetupRunsAgainAtTheNextStart)
{
    for (int run = 0; run < 2; ++run) {
        when_modal<SettingsDlg>([](SettingsDlg* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
        EXPECT_TRUE(startWindow());
        m_window.reset();
        EXPECT_EQ(MessageBox::takeAsked(), (QStringList{kNoConfig, kNotDone}));
        EXPECT_EQ(config_value("kest_datafile"), sz_value(""));
    }
    EXPECT_TRUE(logHas("Registry key kest_datafile. Bad Data\r\n"));
}

TEST_F(StartupTest, PasswordTypedAtFirstRunIsAskedForAtOnce)
{
    confirm_settings(QString::fromStdString(dataFile().string()), QStringLiteral("pw"));
    enter_password(QString());
    MessageBox::setNextAnswer(MessageBox::Answer::Cancel); // the file stays in the Windows form
    EXPECT_TRUE(startWindow());
    EXPECT_EQ(pending_modal_actions(), 0);
    EXPECT_EQ(MessageBox::takeAsked(),
              (QStringList{kNoConfig, question_protect(), QStringLiteral("パスワードが更新されました"), kRestart,
                           QStringLiteral("パスワードを入力してください")}));
    m_window.reset();
    EXPECT_EQ(config_value("kest_passwrd"), password_value("\xF8\x88")); // "pw" scrambled
}

TEST_F(StartupTest, LoginAtStartup)
{
    writeDataFile({{1, "work"}}, {plain_record(1, 1, "bank", "no")});
    storeConfig(dataFile().string(), 1, "secret");
    enter_password(QStringLiteral("secret"));
    EXPECT_FALSE(startWindow());
    EXPECT_EQ(rows(m_window->m_list2), QStringList{"bank"});

    // The bytes must match exactly; a cancel ends the window even after the
    // right password was typed, and the end still saves this run's working directory.
    ASSERT_EQ(sub_regwrite("kest_cwdpath", "/elsewhere"), 0);
    when_modal<LoginDlg>([](LoginDlg* dialog) {
        QTest::keyClicks(dialog->m_pass, QStringLiteral("Secret"));
        QTest::keyClick(dialog->m_pass, Qt::Key_Return);
        dialog->m_pass->setText(QStringLiteral("secret"));
        dialog->reject();
    });
    EXPECT_TRUE(startWindow());
    m_window.reset();
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{QStringLiteral("パスワードが間違っています。ログインできません")});
    EXPECT_EQ(config_value("kest_cwdpath"), sz_value(dir().string()));
    EXPECT_EQ(config_value("kest_kindcsl"), sz_value("1"));
}

TEST_F(StartupTest, TerminationSignalClosesLikeTheCloseButton)
{
    writeDataFile({{1, "work"}}, {plain_record(1, 1, "bank", "old")});
    storeConfig(dataFile().string(), 0, "");
    when_modal<kestrelDlg>([](kestrelDlg* window) {
        window->m_list2->setCurrentRow(0);
        window->m_edit1->moveCursor(QTextCursor::End);
        QTest::keyClicks(window->m_edit1, QStringLiteral("+new"));
        std::raise(SIGTERM);
        std::raise(SIGHUP); // a second signal changes nothing
    });
    kestrelApp app;
    EXPECT_FALSE(app.InitInstance());

    const RecordFileContents file = read_record_file(dataFile());
    EXPECT_EQ(file.headers, (Headers{{1, "work"}}));
    EXPECT_EQ(file.records, std::vector{plain_record(1, 1, "bank", "old+new")});
    EXPECT_EQ(config_value("kest_cwdpath"), sz_value(dir().string()));
}

} // namespace

TEST_F(StartupTest, ASecondCopyOnTheSameRecordFileSaysSoAndWritesNothing)
{
    writeDataFile({{1, "work"}}, {plain_record(1, 1, "bank", "no")});
    storeConfig(dataFile().string(), 1, "");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t first = fork();
    ASSERT_GE(first, 0);
    if (first == 0) {
        // The first kestrel holds the record file until it is ended.
        begin_record_session(dataFile().c_str());
        (void)!write(ready[1], "x", 1);
        pause();
        _exit(0);
    }
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    ASSERT_EQ(sub_regwrite("kest_cwdpath", "/elsewhere"), 0);
    const std::string bytes = testenv::read_file(dataFile());
    EXPECT_TRUE(startWindow());
    m_window.reset();
    kill(first, SIGKILL);
    waitpid(first, nullptr, 0);
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{QStringLiteral("kestrel はすでに起動しています")});
    EXPECT_EQ(config_value("kest_cwdpath"), sz_value("/elsewhere"));
    EXPECT_EQ(testenv::read_file(dataFile()), bytes);
    close(ready[0]);
    close(ready[1]);
}
