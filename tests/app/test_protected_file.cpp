// A record file protected from the settings dialog: the save at exit seals it
// and leaves no password in the registry, the next start asks for the password
// before anything is loaded, a changed password rewraps the key, and removing
// the password is refused.
#include "app_fixture_helpers.h"
#include "modal_script_helpers.h"

#include "app/config/protected_password.h"
#include "app/dialogs/LoginDlg.h"
#include "app/dialogs/optwin.h"
#include "app/main_window/record_list.h"
#include "app/widgets/message_box.h"
#include "store/app_config.h"
#include "store/file/data_key.h"
#include "store/file/protected_form.h"

#include <QLineEdit>
#include <QTest>

namespace fs = std::filesystem;

namespace {

const QString kUpdated = QStringLiteral("パスワードが更新されました");
const QString kRestart = QStringLiteral("設定を変更しましたので、起動しなおしてください");
const QString kWrong = QStringLiteral("パスワードが間違っています。ログインできません");
const QString kChange =
    QStringLiteral("データファイルの設定を変更すると、現在編集中のデータは破棄されますが、よろしいですか？");

using ProtectedFileTest = AppTest;

void log_in(const QString& password)
{
    when_modal<LoginDlg>([password](LoginDlg* dialog) {
        QTest::keyClicks(dialog->m_pass, password);
        QTest::keyClick(dialog->m_pass, Qt::Key_Return);
        if (dialog->isVisible())
            dialog->reject();
    });
}

void settings(const QString& oldpass, const QString& newpass)
{
    SettingsDlg dialog;
    EXPECT_TRUE(dialog.m_oldpass->isEnabled() || oldpass.isEmpty());
    QTest::keyClicks(dialog.m_oldpass, oldpass);
    QTest::keyClicks(dialog.m_newpass, newpass);
    dialog.accept();
}

// The main window's settings command, whose end does not save the file.
void settings_command(kestrelDlg& window, const QString& oldpass, const QString& newpass)
{
    when_modal<SettingsDlg>([oldpass, newpass](SettingsDlg* dialog) {
        QTest::keyClicks(dialog->m_oldpass, oldpass);
        QTest::keyClicks(dialog->m_newpass, newpass);
        dialog->accept();
    });
    window.onSettings();
}

TEST_F(ProtectedFileTest, TurnedOnInTheSettingsItIsSealedAndOpenedOnlyByThePassword)
{
    writeDataFile({{1, "CATSECRET"}}, {plain_record(1, 1, "NAMESECRET", "TEXTSECRET")});
    storeConfig(dataFile().string(), 0, "");
    EXPECT_FALSE(startWindow());
    fs::remove(path("trace.log")); // the Windows form's lines carry names, as they always did
    settings_command(*m_window, QString(), QStringLiteral("PASSSECRET")); // the questions are answered OK
    EXPECT_EQ(MessageBox::takeAsked(), (QStringList{kChange, question_protect(), kUpdated, kRestart}));
    m_window.reset();
    EXPECT_EQ(testenv::read_file(dataFile()).substr(0, 8), "KESTRELP");
    EXPECT_EQ(config_value("kest_passwrd"), password_value(std::string(1024, '\xFF'))); // no password
    data_key::forget();                                                                 // a new run

    // The login comes before the load: a wrong password opens nothing.
    log_in(QStringLiteral("wrong"));
    EXPECT_TRUE(startWindow());
    EXPECT_TRUE(rows(m_window->m_list2).isEmpty());
    m_window.reset();
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{kWrong});
    EXPECT_FALSE(data_key::loaded());

    log_in(QStringLiteral("PASSSECRET"));
    EXPECT_FALSE(startWindow());
    EXPECT_EQ(rows(m_window->m_list1), (QStringList{"(ALL)", "CATSECRET"}));
    EXPECT_EQ(rows(m_window->m_list2), QStringList{"NAMESECRET"});

    // The password of a protected file is not removed; a new one rewraps the key.
    settings(QStringLiteral("PASSSECRET"), QString());
    settings(QStringLiteral("wrong"), QStringLiteral("x"));
    settings_command(*m_window, QStringLiteral("PASSSECRET"), QStringLiteral("NEWSECRET"));
    EXPECT_EQ(MessageBox::takeAsked(),
              (QStringList{message_password_kept(),
                           QStringLiteral("旧パスワードが間違っています。パスワードを更新できませんでした"), kChange,
                           kUpdated, kRestart}));
    m_window.reset();
    data_key::forget();
    EXPECT_EQ(unlock_record_file(g_app_config.datafile, "PASSSECRET"), FileUnlock::WrongPassword);
    EXPECT_EQ(unlock_record_file(g_app_config.datafile, "NEWSECRET"), FileUnlock::Ok);

    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir())) {
        const std::string bytes = entry.is_regular_file() ? testenv::read_file(entry.path()) : "";
        EXPECT_EQ(bytes.find("SECRET"), std::string::npos) << entry.path();
    }
}

TEST_F(ProtectedFileTest, ADamagedKeySaysSoRatherThanWrongPassword)
{
    writeDataFile({{1, "work"}}, {plain_record(1, 1, "bank")});
    storeConfig(dataFile().string(), 0, "");
    EXPECT_FALSE(startWindow());
    settings(QString(), QStringLiteral("pw"));
    m_window.reset();
    data_key::forget();
    std::string bytes = testenv::read_file(dataFile());
    bytes[offsetof(SealedPrologue, wrap) + offsetof(KeyWrap, salt)] ^= 1;
    testenv::write_file(dataFile(), bytes);
    MessageBox::takeAsked();

    log_in(QStringLiteral("pw"));
    EXPECT_TRUE(startWindow());
    m_window.reset();
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{message_key_damaged()});
    EXPECT_EQ(testenv::read_file(dataFile()), bytes); // nothing written
}

TEST_F(ProtectedFileTest, TurnedOnAtTheFirstRunForTheFileItNames)
{
    when_modal<SettingsDlg>([this](SettingsDlg* dialog) {
        QTest::keyClicks(dialog->m_path, QString::fromStdString(dataFile().string()));
        QTest::keyClicks(dialog->m_newpass, QStringLiteral("pw"));
        dialog->accept();
    });
    log_in(QStringLiteral("pw")); // asked for at once, as a password typed at the first run is
    EXPECT_TRUE(startWindow());
    m_window.reset();
    EXPECT_EQ(MessageBox::takeAsked(), (QStringList{QStringLiteral("構成データがありませんので、初期設定してください"),
                                                    question_protect(), kUpdated, kRestart}));
    EXPECT_EQ(testenv::read_file(dataFile()).substr(0, 8), "KESTRELP");
    EXPECT_EQ(config_value("kest_passwrd"), password_value(std::string(1024, '\xFF')));
}

} // namespace
