// The login, settings and About dialogs: their messages, what they change in
// AppConfig, and the byte limits of their fields.
#include "app_fixture_helpers.h"
#include "key_typing_helpers.h"

#include "app/config/protected_password.h"
#include "app/dialogs/AboutDlg.h"
#include "app/dialogs/LoginDlg.h"
#include "app/dialogs/optwin.h"
#include "app/widgets/message_box.h"
#include "app/widgets/text_edge.h"
#include "store/app_config.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <cstring>

namespace {

const QString kUpdated = QStringLiteral("パスワードが更新されました");
const QString kOldWrong = QStringLiteral("旧パスワードが間違っています。パスワードを更新できませんでした");

class DialogTest : public AppTest
{
protected:
    void setConfig(const char* datafile, const std::string& password)
    {
        std::strcpy(g_app_config.datafile, datafile);
        password.copy(g_app_config.password, sizeof g_app_config.password - 1);
    }
};

TEST_F(DialogTest, LoginFieldStopsAt1023BytesOnACharacterBoundary)
{
    // 1022 bytes, then a double-byte character that would pass the limit.
    setConfig("/d", std::string(1022, 'p'));
    LoginDlg login;
    EXPECT_EQ(login.windowTitle(), QStringLiteral("パスワードの入力"));
    QTest::keyClicks(login.m_pass, QString(1022, QLatin1Char('p')));
    type_text(login.m_pass, QStringLiteral("字"));
    type_text(login.m_pass, QString::fromUtf8("\xF0\x9F\x98\x80")); // an emoji
    EXPECT_EQ(take_notices(), (QStringList{notice_too_long(1023), notice_not_cp932()}));
    login.accept();
    EXPECT_EQ(login.m_result, 1);
}

TEST_F(DialogTest, SettingsChecksTheCurrentPasswordBeforeChangingIt)
{
    setConfig("/d", "pw");
    {
        // Wrong current password: refused, yet the path is taken.
        SettingsDlg settings;
        EXPECT_TRUE(settings.m_oldpass->isEnabled());
        QTest::keyClicks(settings.m_newpass, QStringLiteral("x"));
        settings.m_path->setText(QStringLiteral("/other.dat"));
        settings.accept();
        EXPECT_EQ(MessageBox::takeAsked(), QStringList{kOldWrong});
        EXPECT_EQ(settings.m_result, 1);
        EXPECT_STREQ(g_app_config.password, "pw");
        EXPECT_STREQ(g_app_config.datafile, "/other.dat");
    }
    {
        // A change applied by an OK that stops at the empty path stays in effect.
        SettingsDlg settings;
        QTest::keyClicks(settings.m_oldpass, QStringLiteral("pw"));
        QTest::keyClicks(settings.m_newpass, QStringLiteral("new"));
        settings.m_path->clear();
        MessageBox::setNextAnswer(MessageBox::Answer::Cancel); // not protected
        settings.accept();
        EXPECT_EQ(MessageBox::takeAsked(),
                  (QStringList{question_protect(), kUpdated, QStringLiteral("データファイルのパスを指定して下さい")}));
        EXPECT_EQ(settings.m_result, 0);
        EXPECT_STREQ(g_app_config.password, "new");
    }
    {
        // The right current password and an empty new one remove the password.
        SettingsDlg settings;
        QTest::keyClicks(settings.m_oldpass, QStringLiteral("new"));
        settings.accept();
        EXPECT_EQ(MessageBox::takeAsked(), QStringList{kUpdated});
        EXPECT_EQ(std::string(g_app_config.password, sizeof g_app_config.password), std::string(1024, '\0'));
    }
}

TEST_F(DialogTest, SettingsBrowseAndPathsCp932CannotHold)
{
    setConfig("/d", "");
    SettingsDlg settings;
    EXPECT_EQ(settings.m_path->text(), QStringLiteral("/d"));
    MessageBox::setNextFileName(QStringLiteral("/home/u/記録.dat"));
    settings.onBrowse();
    settings.onBrowse();                                                        // cancelled
    MessageBox::setNextFileName(QString::fromUtf8("/home/u/\xED\x95\x9C.dat")); // Hangul
    settings.onBrowse();
    EXPECT_EQ(settings.m_path->text(), QStringLiteral("/home/u/記録.dat"));
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{message_path_not_cp932()});
    settings.accept();
    EXPECT_EQ(settings.m_result, 1);
    EXPECT_STREQ(g_app_config.datafile, "/home/u/\x8B\x4C\x98\x5E.dat");

    SettingsDlg refused;
    refused.m_path->setText(QString::fromUtf8("/x/\xF0\x9F\x98\x80"));
    refused.accept();
    EXPECT_EQ(refused.m_result, 0);
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{message_path_not_cp932()});
    EXPECT_STREQ(g_app_config.datafile, "/home/u/\x8B\x4C\x98\x5E.dat");
}

TEST_F(DialogTest, AboutShowsNameVersionAndIcon)
{
    AboutDlg about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("kestrelのﾊﾞｰｼﾞｮﾝ情報"));
    QStringList texts;
    int pictures = 0;
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        if (!label->text().isEmpty())
            texts << label->text();
        pictures += label->pixmap().isNull() ? 0 : 1;
    }
    // The icon is an SVG resource: without the SVG plugin it would be blank.
    EXPECT_EQ(pictures, 1);
    EXPECT_EQ(texts, (QStringList{QStringLiteral("Larkspur"), QStringLiteral("システム　バージョン　１．００Ａ")}));
}

} // namespace
