// What an unattended kestrel and the clipboard give away: copies from the
// data pane are marked secret and cleared again; an idle window locks.
#include "app_fixture_helpers.h"
#include "key_typing_helpers.h"
#include "modal_script_helpers.h"

#include "app/LoginDlg.h"
#include "app/data_pane.h"
#include "app/message_box.h"
#include "app/pane_clipboard.h"
#include "app/record_list.h"
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

    // The window with the record's text in the pane, all of it selected.
    DataPane* openRecord()
    {
        openWindow(0);
        select_row(m_window->m_list2, QStringLiteral("mizuho"));
        DataPane* pane = m_window->m_edit1;
        pane->selectAll();
        return pane;
    }
    static QString clipboardText() { return QGuiApplication::clipboard()->text(); }
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
    EXPECT_EQ(offered->text(), QStringLiteral("PW: hunter2"));
    EXPECT_EQ(offered->data(QString::fromLatin1(PaneClipboard::kHintFormat)), QByteArray("secret"));
    EXPECT_TRUE(m_window->windowTitle().startsWith(QStringLiteral("Larkspur （")));
    QTRY_VERIFY_WITH_TIMEOUT(!guard->clearPending(), 10000);
    EXPECT_EQ(clipboardText(), QString());
    EXPECT_EQ(m_window->windowTitle(), QStringLiteral("Larkspur"));

    // The user copied something else meanwhile: it stays.
    pane->copy();
    EXPECT_EQ(clipboardText(), QStringLiteral("PW: hunter2"));
    QGuiApplication::clipboard()->setText(QStringLiteral("mine"));
    EXPECT_EQ(m_window->windowTitle(), QStringLiteral("Larkspur"));
    QTRY_VERIFY_WITH_TIMEOUT(!guard->clearPending(), 10000);
    EXPECT_EQ(clipboardText(), QStringLiteral("mine"));

    // With 0 nothing is cleared on time, but the end of the program clears it.
    ASSERT_EQ(sub_regwrite("kest_clipsecs", "0"), 0);
    pane->copy();
    EXPECT_FALSE(guard->clearPending());
    EXPECT_EQ(clipboardText(), QStringLiteral("PW: hunter2"));
    m_window.reset();
    EXPECT_EQ(clipboardText(), QString());
}

} // namespace
