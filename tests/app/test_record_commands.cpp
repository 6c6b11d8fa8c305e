// The record commands of the main window, driven through the real window and
// its dialogs; the record file's bytes tell what was stored.
#include "app/dialogs/CatgChangeDlg.h"
#include "app/dialogs/DataInputDlg.h"
#include "app/main_window/data_pane.h"
#include "app/main_window/kestrelDlg.h"
#include "app/main_window/record_list.h"
#include "app/widgets/message_box.h"
#include "app_fixture_helpers.h"
#include "modal_script_helpers.h"

#include "store/app_config.h"
#include "store/file/record_session.h"

#include <QLineEdit>
#include <QListWidget>
#include <QTest>

#include <cstring>
#include <functional>

namespace {

const QString kSelectRecord = QStringLiteral("レコードを選択してください");
const QString kAskRename = QStringLiteral("レコード名を変更します。よろしいですか？");
const QString kAskDelete = QStringLiteral("レコードを削除します。よろしいですか？");

class RecordCommandTest : public AppTest
{
protected:
    // Two categories, bank (id 10) and mail (id 20), with three records.
    void SetUp() override
    {
        AppTest::SetUp();
        writeDataFile({{10, sj("銀行")}, {20, sj("メール")}}, {m_mizuho, m_gmail, m_yucho});
    }
    QStringList recordRows() const { return rows(m_window->m_list2); }
    std::vector<CatgRecord> records() const { return read_record_file(dataFile()).records; }

    const CatgRecord m_mizuho = plain_record(1, 10, sj("みずほ"), sj("支店 123\r\n口座 4567"));
    const CatgRecord m_gmail = plain_record(1, 20, "gmail", "user@example.com");
    const CatgRecord m_yucho = plain_record(1, 10, sj("ゆうちょ"));
};

TEST_F(RecordCommandTest, AddIsRefusedUnderAllAndWithoutACategory)
{
    for (int kind_cursel : {0, 7}) { // "(ALL)"; beyond the last row, so nothing selected
        openWindow(kind_cursel);
        EXPECT_FALSE(opens_modal<DataInputDlg>([this] { m_window->onAdd(); }));
        EXPECT_EQ(MessageBox::takeAsked(), QStringList{QStringLiteral("(ALL)以外のカテゴリを選択してください")});
    }
}

TEST_F(RecordCommandTest, AddCancelledStoresOnlyThePaneAndKeepsTheList)
{
    openWindow(2); // 銀行
    select_row(m_window->m_list2, QStringLiteral("みずほ"));
    typeIntoPane(QStringLiteral("\n暗証番号なし"));
    const QStringList before = rows_with_data(m_window->m_list2);
    cancel_input();
    m_window->onAdd();
    // The pane was stored before the dialog and is closed.
    EXPECT_FALSE(m_window->m_edit1->isEnabled());
    EXPECT_EQ(rows_with_data(m_window->m_list2), before);
    EXPECT_EQ(records(), (std::vector{plain_record(1, 10, sj("みずほ"), sj("支店 123\r\n口座 4567\r\n暗証番号なし")),
                                      m_gmail, m_yucho}));
    EXPECT_TRUE(MessageBox::takeAsked().isEmpty());
}

TEST_F(RecordCommandTest, TwoRecordsOfTheSameNameEachReachTheirOwnRecord)
{
    openWindow(1); // "(ALL)" sorts first, then メール before 銀行
    EXPECT_EQ(rows(m_window->m_list1), (QStringList{"(ALL)", "メール", "銀行"}));
    for (int i = 0; i < 2; ++i) {
        answer_input(QStringLiteral("同名"));
        m_window->onAdd();
    }
    QStringList added = rows_with_data(m_window->m_list2);
    added.sort();
    EXPECT_EQ(added, (QStringList{"gmail=1", "同名=3", "同名=4"}));
    // The new row is shown, not selected; the pane stays closed.
    EXPECT_EQ(m_window->m_list2->selectedRow(), -1);
    EXPECT_FALSE(m_window->m_edit1->isEnabled());

    auto select = [this](const QString& row) {
        m_window->m_list2->setCurrentRow(rows_with_data(m_window->m_list2).indexOf(row));
    };
    select(QStringLiteral("同名=3"));
    typeIntoPane(QStringLiteral("first"));
    select(QStringLiteral("同名=4"));
    typeIntoPane(QStringLiteral("second"));
    select(QStringLiteral("同名=3"));
    EXPECT_EQ(m_window->m_edit1->toPlainText(), QStringLiteral("first"));
    m_window->sub_check_update(1);
    EXPECT_EQ(records(), (std::vector{m_mizuho, m_gmail, m_yucho, plain_record(1, 20, sj("同名"), "first"),
                                      plain_record(1, 20, sj("同名"), "second")}));
}

TEST_F(RecordCommandTest, AddReusesAFreedBlockAndTakesNamesUpTo511Bytes)
{
    writeDataFile({{10, sj("銀行")}}, {plain_record(1, 10, "a"), CatgRecord{}, plain_record(1, 10, "c")});
    openWindow(1); // 銀行
    bool refused = false;
    const QString name = QString(255, QChar(0x3042)) + QLatin1Char('z'); // 511 bytes
    when_modal<DataInputDlg>([&](DataInputDlg* d) {
        d->edit()->setText(QString(256, QChar(0x3042))); // 512 bytes
        QTest::keyClick(d->edit(), Qt::Key_Return);
        refused = d->isVisible();
        d->edit()->setText(name);
        QTest::keyClick(d->edit(), Qt::Key_Return);
    });
    m_window->onAdd();
    EXPECT_TRUE(refused);
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{QStringLiteral("名前は半角511文字（全角255文字）までです")});
    EXPECT_EQ(rows_with_data(m_window->m_list2), (QStringList{"a=0", "c=2", name + "=1"}));
    EXPECT_EQ(records().at(1), plain_record(1, 10, sj(name.toStdString())));
    EXPECT_EQ(records().size(), 3u);
}

TEST_F(RecordCommandTest, AddThatCannotBeStoredSaysSoAndAddsNoRow)
{
    openWindow(2); // 銀行
    std::strcpy(g_app_config.datafile, path("no-such-folder/data.dat").c_str());
    answer_input(QStringLiteral("行き場なし"));
    m_window->onAdd();
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{QStringLiteral("レコードを保存できませんでした")});
    EXPECT_EQ(recordRows(), (QStringList{"みずほ", "ゆうちょ"}));
}

TEST_F(RecordCommandTest, ChangesThatCannotBeStoredSaySoAndLeaveTheFile)
{
    openWindow(2); // 銀行
    const std::string before = testenv::read_file(dataFile());
    make_session_read_only(); // as after a load that failed
    const std::vector<std::pair<QString, std::function<void()>>> commands = {
        {QStringLiteral("レコード名を変更できませんでした"),
         [this] {
             answer_input(QStringLiteral("新しい名前"));
             m_window->onRename();
         }},
        {QStringLiteral("レコードのカテゴリを変更できませんでした"),
         [this] {
             when_modal<CatgChangeDlg>([](CatgChangeDlg* d) {
                 select_row(d->m_list, QStringLiteral("メール"));
                 d->accept();
             });
             m_window->onChangeCategory();
         }},
        {QStringLiteral("レコードを削除できませんでした"), [this] { m_window->onDelete(); }},
    };
    for (const auto& [message, command] : commands) {
        SCOPED_TRACE(message.toStdString());
        select_row(m_window->m_list2, QStringLiteral("みずほ"));
        command();
        EXPECT_EQ(MessageBox::takeAsked().filter(message), QStringList{message});
    }
    EXPECT_EQ(testenv::read_file(dataFile()), before);
}

TEST_F(RecordCommandTest, RenameAsksBeforeTheInputAndMayRewriteTheSameName)
{
    openWindow(2); // 銀行
    EXPECT_FALSE(opens_modal<DataInputDlg>([this] { m_window->onRename(); }));
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{kSelectRecord});

    // Cancelled at the question: stored and closed, the row still selected.
    const std::string before = testenv::read_file(dataFile());
    select_row(m_window->m_list2, QStringLiteral("ゆうちょ"));
    MessageBox::setNextAnswer(MessageBox::Answer::Cancel);
    EXPECT_FALSE(opens_modal<DataInputDlg>([this] { m_window->onRename(); }));
    EXPECT_FALSE(m_window->m_edit1->isEnabled());
    EXPECT_NE(m_window->m_list2->selectedRow(), -1);

    // Confirmed unchanged: the same bytes again.
    QString shown;
    when_modal<DataInputDlg>([&](DataInputDlg* d) {
        shown = d->edit()->text();
        QTest::keyClick(d->edit(), Qt::Key_Return);
    });
    m_window->onRename();
    EXPECT_EQ(shown, QStringLiteral("ゆうちょ"));
    EXPECT_EQ(MessageBox::takeAsked(), (QStringList{kAskRename, kAskRename}));
    EXPECT_EQ(testenv::read_file(dataFile()), before);
    EXPECT_EQ(m_window->m_list2->selectedRow(), -1);

    select_row(m_window->m_list2, QStringLiteral("ゆうちょ"));
    answer_input(QStringLiteral("あおぞら"));
    m_window->onRename();
    EXPECT_EQ(rows_with_data(m_window->m_list2), (QStringList{"あおぞら=2", "みずほ=0"}));
    EXPECT_EQ(records(), (std::vector{m_mizuho, m_gmail, plain_record(1, 10, sj("あおぞら"))}));
}

TEST_F(RecordCommandTest, DeleteUnderAllFreesTheRecordAfterStoringThePane)
{
    openWindow(0);
    select_row(m_window->m_list2, QStringLiteral("gmail"));
    typeIntoPane(QStringLiteral("\npass"));
    MessageBox::setNextAnswer(MessageBox::Answer::Cancel);
    m_window->onDelete();
    EXPECT_EQ(records().at(1), plain_record(1, 20, "gmail", "user@example.com\r\npass"));

    m_window->onDelete();
    EXPECT_EQ(recordRows(), (QStringList{"みずほ", "ゆうちょ"}));
    EXPECT_EQ(records(), (std::vector{m_mizuho, CatgRecord{}, m_yucho}));
    m_window->onDelete();
    EXPECT_EQ(MessageBox::takeAsked(), (QStringList{kAskDelete, kAskDelete, kSelectRecord}));
}

class ChangeCategoryTest : public RecordCommandTest
{
protected:
    // Double-clicks a record row as the user does: a click, then the double click.
    void doubleClickRecord(const QString& text)
    {
        RecordList* list = m_window->m_list2;
        const QPoint at = list->rowRect(recordRows().indexOf(text)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
};

TEST_F(ChangeCategoryTest, UnderItsOwnCategoryCancelKeepsTheRowAndMoveRemovesIt)
{
    openWindow(2); // 銀行
    select_row(m_window->m_list2, QStringLiteral("ゆうちょ"));
    typeIntoPane(QStringLiteral("メモ"));
    when_modal<CatgChangeDlg>([](CatgChangeDlg* d) { d->reject(); });
    doubleClickRecord(QStringLiteral("ゆうちょ"));
    EXPECT_EQ(recordRows(), (QStringList{"みずほ", "ゆうちょ"}));
    EXPECT_EQ(m_window->m_list2->selectedRow(), -1);
    EXPECT_EQ(records().at(2), plain_record(1, 10, sj("ゆうちょ"), sj("メモ")));

    // The dialog offers every category, none selected, and refuses OK without one.
    select_row(m_window->m_list2, QStringLiteral("みずほ"));
    typeIntoPane(QStringLiteral("\n追記"));
    when_modal<CatgChangeDlg>([](CatgChangeDlg* d) {
        EXPECT_EQ(rows(d->m_list), (QStringList{"メール", "銀行"}));
        EXPECT_TRUE(d->m_list->selectedItems().isEmpty());
        d->accept();
        select_row(d->m_list, QStringLiteral("メール"));
        d->accept();
    });
    doubleClickRecord(QStringLiteral("みずほ"));
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{QStringLiteral("カテゴリを選択してください")});
    EXPECT_EQ(recordRows(), QStringList{QStringLiteral("ゆうちょ")});
    EXPECT_FALSE(m_window->m_edit1->isEnabled());
    EXPECT_EQ(records().at(0), plain_record(1, 20, sj("みずほ"), sj("支店 123\r\n口座 4567\r\n追記")));
}

TEST_F(ChangeCategoryTest, UnderAllKeepsTheRowAndNeedsASelectedRecord)
{
    openWindow(0);
    m_window->onChangeCategory();
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{kSelectRecord});

    select_row(m_window->m_list2, QStringLiteral("gmail"));
    typeIntoPane(QStringLiteral("!"));
    when_modal<CatgChangeDlg>([](CatgChangeDlg* d) {
        select_row(d->m_list, QStringLiteral("銀行"));
        d->accept();
    });
    doubleClickRecord(QStringLiteral("gmail"));
    EXPECT_EQ(rows_with_data(m_window->m_list2), (QStringList{"gmail=1", "みずほ=0", "ゆうちょ=2"}));
    EXPECT_EQ(records().at(1), plain_record(1, 10, "gmail", "user@example.com!"));
}

} // namespace
