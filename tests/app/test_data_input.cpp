// The data input dialog on its own: what a confirmed, refused or cancelled
// entry leaves in m_result and m_text.
#include "app/dialogs/DataInputDlg.h"
#include "app/widgets/message_box.h"
#include "app/widgets/text_edge.h"
#include "app_fixture_helpers.h"
#include "modal_script_helpers.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cstring>

namespace {

using DataInputTest = AppTest;

// Runs the dialog with `action` acting inside it.
void run(DataInputDlg& dialog, const std::function<void(DataInputDlg*)>& action)
{
    when_modal<DataInputDlg>(action);
    dialog.exec();
}

TEST_F(DataInputTest, ConfirmedEntryArrivesAsCp932)
{
    // The caller's text is shown and comes back unchanged.
    DataInputDlg prefilled;
    const std::string name = sj("口座ﾒﾓ 1");
    std::strcpy(prefilled.m_text, name.c_str());
    QString shown;
    run(prefilled, [&](DataInputDlg* d) {
        shown = d->edit()->text();
        QTest::keyClick(d->edit(), Qt::Key_Return);
    });
    EXPECT_EQ(shown, QStringLiteral("口座ﾒﾓ 1"));
    EXPECT_EQ(prefilled.m_result, 1);
    EXPECT_EQ(std::string(prefilled.m_text), name);

    // A character CP932 cannot hold is refused where it is typed.
    DataInputDlg typed;
    run(typed, [](DataInputDlg* d) { type_and_enter(d, QStringLiteral("銀行 A한BC")); });
    EXPECT_EQ(typed.m_result, 1);
    EXPECT_EQ(std::string(typed.m_text), sj("銀行 ABC"));
    EXPECT_EQ(take_notices(), QStringList{notice_not_cp932()});

    // Blanks count as input.
    DataInputDlg blanks;
    run(blanks, [](DataInputDlg* d) { type_and_enter(d, QStringLiteral("   ")); });
    EXPECT_EQ(blanks.m_result, 1);
    EXPECT_STREQ(blanks.m_text, "   ");
    EXPECT_TRUE(MessageBox::takeAsked().isEmpty());
}

TEST_F(DataInputTest, EmptyOkIsRefusedAndTheFollowingCancelKeepsTheCallersText)
{
    DataInputDlg dialog;
    std::strcpy(dialog.m_text, "old name");
    bool stayedOpen = false;
    run(dialog, [&](DataInputDlg* d) {
        type_and_enter(d, QString());
        stayedOpen = d->isVisible();
        type_text(d->edit(), QStringLiteral("typed"));
        d->findChildren<QPushButton*>().at(1)->click(); // Cancel
    });
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{QStringLiteral("データを入力してください")});
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(dialog.m_result, 0);
    EXPECT_STREQ(dialog.m_text, "old name");
}

TEST_F(DataInputTest, LongEntryIsCutTo1023BytesWithoutSplittingACharacter)
{
    DataInputDlg ascii;
    run(ascii, [](DataInputDlg* d) {
        d->edit()->setText(QString(1100, QLatin1Char('x')));
        QTest::keyClick(d->edit(), Qt::Key_Return);
    });
    EXPECT_EQ(std::string(ascii.m_text), std::string(1023, 'x'));

    // 600 double-byte characters: byte 1023 would be a lead byte's partner.
    DataInputDlg wide;
    run(wide, [](DataInputDlg* d) {
        d->edit()->setText(QString(600, QChar(0x3042)));
        QTest::keyClick(d->edit(), Qt::Key_Return);
    });
    EXPECT_EQ(wide.m_result, 1);
    std::string expected;
    for (int i = 0; i < 511; ++i)
        expected += "\x82\xa0";
    EXPECT_EQ(std::string(wide.m_text), expected);
}

} // namespace
