// The data input dialog on its own: what a confirmed, refused or cancelled
// entry leaves in m_result and m_text.
#include "app/DataInputDlg.h"
#include "app/message_box.h"
#include "app/text_edge.h"
#include "edit_fixture_helpers.h"
#include "modal_script_helpers.h"
#include "record_bytes_helpers.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cstring>

namespace {

using DataInputTest = EditTest;

TEST_F(DataInputTest, ShowsTheCallersTextAndHandsBackItsBytesWhenConfirmedUnchanged)
{
    DataInputDlg dialog;
    const std::string name = sj("口座ﾒﾓ 1");
    std::strcpy(dialog.m_text, name.c_str());
    QString shown;
    when_modal<DataInputDlg>([&](DataInputDlg* d) {
        shown = d->edit()->text();
        QTest::keyClick(d->edit(), Qt::Key_Return);
    });
    dialog.exec();
    EXPECT_EQ(shown, QStringLiteral("口座ﾒﾓ 1"));
    EXPECT_EQ(dialog.m_result, 1);
    EXPECT_EQ(std::string(dialog.m_text), name);
    EXPECT_TRUE(MessageBox::takeAsked().isEmpty());
}

TEST_F(DataInputTest, ConfirmedEntryArrivesAsCp932AndBlanksCountAsInput)
{
    DataInputDlg typed;
    answer_input(QStringLiteral("銀行 ABC"));
    typed.exec();
    EXPECT_EQ(typed.m_result, 1);
    EXPECT_EQ(std::string(typed.m_text), sj("銀行 ABC"));

    DataInputDlg blanks;
    answer_input(QStringLiteral("   "));
    blanks.exec();
    EXPECT_EQ(blanks.m_result, 1);
    EXPECT_STREQ(blanks.m_text, "   ");
    EXPECT_TRUE(MessageBox::takeAsked().isEmpty());
}

TEST_F(DataInputTest, EmptyOkIsRefusedAndTheFollowingCancelKeepsTheCallersText)
{
    DataInputDlg dialog;
    std::strcpy(dialog.m_text, "old name");
    bool stayedOpen = false;
    QStringList asked;
    when_modal<DataInputDlg>([&](DataInputDlg* d) {
        type_and_enter(d, QString());
        asked = MessageBox::takeAsked();
        stayedOpen = d->isVisible();
        QTest::keyClick(d->edit(), Qt::Key_Escape);
    });
    dialog.exec();
    EXPECT_EQ(asked, QStringList{QStringLiteral("データを入力してください")});
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(dialog.m_result, 0);
    EXPECT_STREQ(dialog.m_text, "old name");
}

TEST_F(DataInputTest, CancelButtonAndCloseBoxBothCancel)
{
    DataInputDlg button;
    when_modal<DataInputDlg>([](DataInputDlg* d) {
        QTest::keyClicks(d->edit(), QStringLiteral("typed"));
        d->findChildren<QPushButton*>().at(1)->click();
    });
    button.exec();
    EXPECT_EQ(button.m_result, 0);
    EXPECT_STREQ(button.m_text, "");

    DataInputDlg closed;
    when_modal<DataInputDlg>([](DataInputDlg* d) { d->close(); });
    closed.exec();
    EXPECT_EQ(closed.m_result, 0);
}

TEST_F(DataInputTest, LongEntryIsCutTo1023BytesWithoutSplittingACharacter)
{
    DataInputDlg ascii;
    when_modal<DataInputDlg>([](DataInputDlg* d) {
        d->edit()->setText(QString(1100, QLatin1Char('x')));
        QTest::keyClick(d->edit(), Qt::Key_Return);
    });
    ascii.exec();
    EXPECT_EQ(ascii.m_result, 1);
    EXPECT_EQ(std::string(ascii.m_text), std::string(1023, 'x'));

    // 600 double-byte characters: byte 1023 would be a lead byte's partner.
    DataInputDlg wide;
    when_modal<DataInputDlg>([](DataInputDlg* d) {
        d->edit()->setText(QString(600, QChar(0x3042)));
        QTest::keyClick(d->edit(), Qt::Key_Return);
    });
    wide.exec();
    EXPECT_EQ(wide.m_result, 1);
    std::string expected;
    for (int i = 0; i < 511; ++i)
        expected += "\x82\xa0";
    EXPECT_EQ(std::string(wide.m_text), expected);
}

TEST_F(DataInputTest, NameOverTheCallersLimitIsRefusedWithTheLimitNamed)
{
    DataInputDlg dialog;
    dialog.m_limit = 511;
    QStringList asked;
    bool stayedOpen = false;
    when_modal<DataInputDlg>([&](DataInputDlg* d) {
        d->edit()->setText(QString(256, QChar(0x3042))); // 512 bytes
        QTest::keyClick(d->edit(), Qt::Key_Return);
        asked = MessageBox::takeAsked();
        stayedOpen = d->isVisible();
        d->edit()->setText(QString(255, QChar(0x3042)) + QLatin1Char('z')); // 511 bytes
        QTest::keyClick(d->edit(), Qt::Key_Return);
    });
    dialog.exec();
    EXPECT_EQ(asked, QStringList{QStringLiteral("名前は半角511文字（全角255文字）までです")});
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(dialog.m_result, 1);
    EXPECT_EQ(std::strlen(dialog.m_text), 511u);
    EXPECT_EQ(dialog.m_text[510], 'z');
}

TEST_F(DataInputTest, CharacterThatCp932CannotHoldIsRefusedWhereTyped)
{
    DataInputDlg dialog;
    when_modal<DataInputDlg>([](DataInputDlg* d) {
        type_text(d->edit(), QStringLiteral("a한b"));
        QTest::keyClick(d->edit(), Qt::Key_Return);
    });
    dialog.exec();
    EXPECT_EQ(dialog.m_result, 1);
    EXPECT_STREQ(dialog.m_text, "ab");
    EXPECT_EQ(take_notices(), QStringList{notice_not_cp932()});
}

} // namespace
