// The login, settings and About dialogs: their messages, what they change in
// AppConfig, and the byte limits of their fields.
#include "appcore_helpers.h"
#include "test_env.h"

#include "app/AboutDlg.h"
#include "app/LoginDlg.h"
#include "app/message_box.h"
#include "app/optwin.h"
#include "app/text_edge.h"
#include "store/app_config.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const QString kUpdated = QStringLiteral("パスワードが更新されました");
const QString kOldWrong = QStringLiteral("旧パスワードが間違っています。パスワードを更新できませんでした");
const QString kNoPath = QStringLiteral("データファイルのパスを指定して下さい");

class DialogTest : public TempDirTest
{
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        MessageBox::setTestMode(true);
        take_notices();
        std::memset(&g_app_config, 0, sizeof g_app_config);
    }
    void setConfig(const char* datafile, const std::string& password)
    {
        std::strcpy(g_app_config.datafile, datafile);
        std::memcpy(g_app_config.password, password.data(), password.size());
    }
};

TEST_F(DialogTest, LoginComparesBytesExactly)
{
    setConfig("/d", "Secret");
    LoginDlg login;
    EXPECT_EQ(login.windowTitle(), QStringLiteral("パスワードの入力"));
    login.accept();
    QTest::keyClicks(login.m_pass, QStringLiteral("secret"));
    login.accept();
    EXPECT_EQ(login.m_result, 0);
    EXPECT_EQ(login.m_pass->text(), QStringLiteral("secret"));
    EXPECT_EQ(MessageBox::takeAsked(), (QStringList{QStringLiteral("パスワードを入力してください"),
                                                    QStringLiteral("パスワードが間違っています。ログインできません")}));
    login.m_pass->setText(QStringLiteral("Secret"));
    login.accept();
    EXPECT_EQ(login.m_result, 1);
    EXPECT_TRUE(MessageBox::takeAsked().isEmpty());

    LoginDlg cancelled;
    QTest::keyClicks(cancelled.m_pass, QStringLiteral("Secret"));
    cancelled.reject();
    EXPECT_EQ(cancelled.m_result, 0);
}

TEST_F(DialogTest, LoginFieldStopsAt1023BytesOnACharacterBoundary)
{
    // 1022 bytes, then a double-byte character that would pass the limit.
    setConfig("/d", std::string(1022, 'p'));
    LoginDlg login;
    QTest::keyClicks(login.m_pass, QString(1022, QLatin1Char('p')));
    type_unicode(login.m_pass, QStringLiteral("字"));
    EXPECT_EQ(take_notices(), QStringList{notice_too_long(1023)});
    login.accept();
    EXPECT_EQ(login.m_result, 1);

    type_unicode(login.m_pass, QString::fromUtf8("\xF0\x9F\x98\x80"));
    EXPECT_EQ(take_notices(), QStringList{notice_not_cp932()});
}

TEST_F(DialogTest, SettingsWithoutPasswordTakesANewOneUnchecked)
{
    setConfig("/old.dat", "");
    SettingsDlg settings;
    EXPECT_EQ(settings.m_path->text(), QStringLiteral("/old.dat"));
    EXPECT_FALSE(settings.m_oldpass->isEnabled());
    QTest::keyClicks(settings.m_newpass, QStringLiteral("pw"));
    settings.m_path->setText(QStringLiteral("/new.dat"));
    settings.accept();
    EXPECT_EQ(settings.m_result, 1);
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{kUpdated});
    EXPECT_STREQ(g_app_config.password, "pw");
    EXPECT_STREQ(g_app_config.datafile, "/new.dat");
}

TEST_F(DialogTest, SettingsWrongCurrentPasswordStillSetsThePath)
{
    setConfig("/old.dat", "pw");
    SettingsDlg settings;
    EXPECT_TRUE(settings.m_oldpass->isEnabled());
    settings.m_path->setText(QStringLiteral("/other.dat"));
    settings.accept();
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{kOldWrong});
    EXPECT_EQ(settings.m_result, 1);
    EXPECT_STREQ(g_app_config.password, "pw");
    EXPECT_STREQ(g_app_config.datafile, "/other.dat");
}

TEST_F(DialogTest, SettingsPasswordChangeAndRemoval)
{
    setConfig("/d", "pw");
    {
        // A change applied by an OK that stops at the empty path stays in effect.
        SettingsDlg settings;
        QTest::keyClicks(settings.m_oldpass, QStringLiteral("pw"));
        QTest::keyClicks(settings.m_newpass, QStringLiteral("new"));
        settings.m_path->clear();
        settings.accept();
        EXPECT_EQ(MessageBox::takeAsked(), (QStringList{kUpdated, kNoPath}));
        EXPECT_EQ(settings.m_result, 0);
        EXPECT_STREQ(g_app_config.password, "new");
        // The next OK checks against the changed password.
        settings.m_path->setText(QStringLiteral("/d"));
        settings.accept();
        EXPECT_EQ(MessageBox::takeAsked(), QStringList{kOldWrong});
        EXPECT_EQ(settings.m_result, 1);
    }
    {
        SettingsDlg settings;
        QTest::keyClicks(settings.m_oldpass, QStringLiteral("new"));
        settings.accept();
        EXPECT_EQ(MessageBox::takeAsked(), QStringList{kUpdated});
        EXPECT_EQ(std::string(g_app_config.password, sizeof g_app_config.password), std::string(1024, '\0'));
    }
    {
        SettingsDlg settings;
        EXPECT_FALSE(settings.m_oldpass->isEnabled());
        settings.reject();
        EXPECT_EQ(settings.m_result, 0);
    }
}

TEST_F(DialogTest, SettingsBrowseAndPathsCp932CannotHold)
{
    setConfig("/d", "");
    SettingsDlg settings;
    MessageBox::setNextFileName(QStringLiteral("/home/u/記録.dat"));
    settings.onBrowse();
    EXPECT_EQ(settings.m_path->text(), QStringLiteral("/home/u/記録.dat"));
    settings.onBrowse(); // cancelled
    EXPECT_EQ(settings.m_path->text(), QStringLiteral("/home/u/記録.dat"));
    MessageBox::setNextFileName(QString::fromUtf8("/home/u/\xED\x95\x9C.dat"));
    settings.onBrowse();
    EXPECT_EQ(settings.m_path->text(), QStringLiteral("/home/u/記録.dat"));
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{message_path_not_cp932()});

    settings.accept();
    EXPECT_EQ(settings.m_result, 1);
    EXPECT_EQ(std::string(g_app_config.datafile), "/home/u/\x8B\x4C\x98\x5E.dat");

    SettingsDlg refused;
    refused.m_path->setText(QString::fromUtf8("/x/\xF0\x9F\x98\x80"));
    refused.accept();
    EXPECT_EQ(refused.m_result, 0);
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{message_path_not_cp932()});
}

TEST_F(DialogTest, AboutShowsNameAndVersion)
{
    AboutDlg about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("kestrelのﾊﾞｰｼﾞｮﾝ情報"));
    QStringList texts;
    int pictures = 0;
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        if (!label->text().isEmpty())
            texts << label->text();
        if (!label->pixmap().isNull())
            ++pictures;
    }
    // The icon is an SVG resource: without the SVG plugin it would be blank.
    EXPECT_EQ(pictures, 1);
    EXPECT_EQ(texts, (QStringList{QStringLiteral("Larkspur"), about_version_line()}));
    EXPECT_EQ(about_version_line().toUtf8(),
              QByteArray("\xE3\x82\xB7\xE3\x82\xB9\xE3\x83\x86\xE3\x83\xA0\xE3\x80\x80\xE3\x83\x90\xE3\x83\xBC\xE3\x82"
                         "\xB8\xE3\x83\xA7\xE3\x83\xB3\xE3\x80\x80\xEF\xBC\x91\xEF\xBC\x8E\xEF\xBC\x90\xEF\xBC\x90\xEF"
                         "\xBC\xA1"));
}

} // namespace
