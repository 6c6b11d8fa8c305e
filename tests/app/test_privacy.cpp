// What an unattended kestrel and the clipboard give away: copies from the
// data pane are marked secret and cleared again; an idle window locks.
#include "app_fixture_helpers.h"
#include "key_typing_helpers.h"
#include "modal_script_helpers.h"

#include "app/dialogs/LoginDlg.h"
#include "app/main_window/data_pane.h"
#include "app/main_window/idle_lock.h"
#include "app/main_window/pane_clipboard.h"
#include "app/main_window/record_list.h"
#include "app/widgets/message_box.h"
#include "commons/commons.h"
#include "store/app_config.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>

#include <cstring>

namespace {

class PrivacyTest : public AppTest
{
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        writeDataFile({{1, "bank"}}, {plain_record(1, 1, "mizuho", "PW: hunter2")});
        QGuiApplication::clipboard()->clear();
    }
    void TearDown() override
    {
        IdleLock::setIdleMillisecondsForTests(0);
        AppTest::TearDown();
    }

    // The window with the record's text in the pane, all of it selected.
    DataPane* openRecord()
    {
        openWindow(0);
        select_row(m_window->m_list2, QStringLiteral("mizuho"));
        DataPane* pane = m_window->m_edit1;
        pane->selectAll();
        return pane;
    }
    static std::string clipboardText() { return QGuiApplication::clipboard()->text().toStdString(); }
    std::string caption() const { return m_window->windowTitle().toStdString(); }
};

TEST_F(PrivacyTest, PaneCopiesAreMarkedSecretAndClearedOnlyWhileStillOurs)
{
    ASSERT_EQ(sub_regwrite("kest_clipsecs", "1"), 0);
    DataPane* pane = openRecord();
    auto* guard = pane->findChild<PaneClipboard*>();
    ASSERT_NE(guard, nullptr);

    QTest::keyClick(pane, Qt::Key_C, Qt::ControlModifier);
    const QMimeData* offered = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(offered, nullptr);
    EXPECT_EQ(offered->text().toStdString(), "PW: hunter2");
    EXPECT_EQ(offered->data(QString::fromLatin1(PaneClipboard::kHintFormat)), QByteArray("secret"));
    EXPECT_EQ(caption().rfind("Larkspur （", 0), 0u) << caption();
    QTRY_VERIFY_WITH_TIMEOUT(!guard->clearPending(), 10000);
    EXPECT_EQ(clipboardText(), "");
    EXPECT_EQ(caption(), "Larkspur");

    // The user copied something else meanwhile: it stays.
    pane->copy();
    EXPECT_EQ(clipboardText(), "PW: hunter2");
    QGuiApplication::clipboard()->setText(QStringLiteral("mine"));
    EXPECT_EQ(caption(), "Larkspur");
    QTRY_VERIFY_WITH_TIMEOUT(!guard->clearPending(), 10000);
    EXPECT_EQ(clipboardText(), "mine");

    // With 0 nothing is cleared on time, but the end of the program clears it.
    ASSERT_EQ(sub_regwrite("kest_clipsecs", "0"), 0);
    pane->copy();
    EXPECT_FALSE(guard->clearPending());
    EXPECT_EQ(clipboardText(), "PW: hunter2");
    m_window.reset();
    EXPECT_EQ(clipboardText(), "");
}

TEST_F(PrivacyTest, AnIdleWindowStoresThePaneHidesAndAsksForThePassword)
{
    DataPane* pane = openRecord();
    pane->moveCursor(QTextCursor::End);
    type_text(pane, QStringLiteral(" typed"));
    std::strcpy(g_app_config.password, "pw");
    IdleLock::setIdleMillisecondsForTests(50);
    IdleLock lock(m_window.get());

    // Locked: the text is in the file, no window shows; the right password
    // shows the window again.
    bool hiddenWhileAsked = false;
    std::string stored;
    when_modal<LoginDlg>([&](LoginDlg* login) {
        hiddenWhileAsked = !m_window->isVisible();
        stored = data_of(read_record_file(dataFile()).records.at(0));
        type_text(login->m_pass, QStringLiteral("wrong"));
        login->accept();
        login->m_pass->clear();
        type_text(login->m_pass, QStringLiteral("pw"));
        IdleLock::setIdleMillisecondsForTests(600000); // no second lock while the test goes on
        login->accept();
    });
    QTRY_VERIFY_WITH_TIMEOUT(pending_modal_actions() == 0 && !lock.locked(), 10000);
    EXPECT_TRUE(hiddenWhileAsked);
    EXPECT_EQ(stored, "PW: hunter2 typed");
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{QStringLiteral("パスワードが間違っています。ログインできません")});
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_FALSE(m_window->ended());

    // The session locked its screen; Cancel ends the program as a refused login does.
    when_modal<LoginDlg>([](LoginDlg* login) { login->reject(); });
    lock.lockNow();
    QTRY_VERIFY_WITH_TIMEOUT(m_window->ended(), 10000);
    EXPECT_FALSE(m_window->isVisible());
}

} // namespace
