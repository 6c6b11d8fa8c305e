// The record commands of the main window, driven through the real window and
// its dialogs; the record file's bytes tell what was stored.
#include "app/CatgChangeDlg.h"
#include "app/DataInputDlg.h"
#include "app/data_pane.h"
#include "app/kestrelDlg.h"
#include "app/message_box.h"
#include "edit_fixture_helpers.h"
#include "modal_script_helpers.h"

#include "store/app_config.h"

#include <QLineEdit>
#include <QListWidget>
#include <QTest>

#include <cstring>

namespace {

const QString kSelectOther = QStringLiteral("(ALL)以外のカテゴリを選択してください");
const QString kSelectRecord = QStringLiteral("レコードを選択してください");
const QString kAskRename = QStringLiteral("レコード名を変更します。よろしいですか？");
const QString kAskDelete = QStringLiteral("レコードを削除します。よろしいですか？");

class RecordCommandTest : public MainWindowTest
{
protected:
    // Two categories, bank (id 10) and mail (id 20), with three records.
    void SetUp() override
    {
        MainWindowTest::SetUp();
        writeDataFile({{10, sj("銀行")}, {20, sj("メール")}},
                      {plain_record(1, 10, sj("みずほ"), sj("支店 123\r\n口座 4567")),
                       plain_record(1, 20, sj("gmail"), "user@example.com"), plain_record(1, 10, sj("ゆうちょ"), "")});
    }

    // Scripts a data input dialog that must not open; reports whether it did.
    void forbidInput()
    {
        m_inputOpened = false;
        when_modal<DataInputDlg>([this](DataInputDlg* d) {
            m_inputOpened = true;
            d->reject();
        });
    }
    bool inputOpened()
    {
        // Give a wrongly opened dialog's timer a chance to run, then drop it.
        QTest::qWait(20);
        drop_modal_actions();
        return m_inputOpened;
    }

    bool m_inputOpened = false;
};

TEST_F(RecordCommandTest, AddIsRefusedUnderAllAndWithoutACategory)
{
    const std::string before = testenv::read_file(dataFile());
    openWindow(0); // "(ALL)"
    forbidInput();
    m_window->onAdd();
    EXPECT_FALSE(inputOpened());
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{kSelectOther});
    closeWindow();

    openWindow(7); // beyond the last row: nothing selected
    EXPECT_EQ(m_window->m_list1->selectedItems().size(), 0);
    forbidInput();
    m_window->onAdd();
    EXPECT_FALSE(inputOpened());
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{kSelectOther});
    closeWindow();
    // The end of the run rewrote the same header: nothing changed.
    EXPECT_EQ(testenv::read_file(dataFile()), before);
}

TEST_F(RecordCommandTest, AddCancelledStoresNothingAndKeepsTheList)
{
    openWindow(0);
    selectCategory(QStringLiteral("銀行"));
    selectRecord(QStringLiteral("みずほ"));
    typeIntoPane(QStringLiteral("\n暗証番号なし"));
    const QStringList rows = recordRowsWithData();
    cancel_input();
    m_window->onAdd();
    // The pane was stored before the dialog and is closed.
    EXPECT_FALSE(m_window->m_edit1->isEnabled());
    EXPECT_EQ(recordRowsWithData(), rows);
    const RecordFileContents file = read_record_file(dataFile());
    ASSERT_EQ(file.records.size(), 3u);
    EXPECT_EQ(data_of(file.records[0]), sj("支店 123\r\n口座 4567\r\n暗証番号なし"));
    EXPECT_TRUE(MessageBox::takeAsked().isEmpty());
}

TEST_F(RecordCommandTest, TwoRecordsOfTheSameNameEachReachTheirOwnRecord)
{
    openWindow(1); // メール: "(ALL)" sorts first, then メール before 銀行
    EXPECT_EQ(categoryRows(), (QStringList{"(ALL)", "メール", "銀行"}));
    answer_input(QStringLiteral("同名"));
    m_window->onAdd();
    answer_input(QStringLiteral("同名"));
    m_window->onAdd();
    QStringList rows = recordRowsWithData();
    rows.sort();
    EXPECT_EQ(rows, (QStringList{"gmail=1", "同名=3", "同名=4"}));
    // The new row is shown, not selected; the pane stays closed.
    EXPECT_TRUE(m_window->m_list2->selectedItems().isEmpty());
    EXPECT_FALSE(m_window->m_edit1->isEnabled());

    selectRecordIndex(3);
    typeIntoPane(QStringLiteral("first"));
    selectRecordIndex(4);
    typeIntoPane(QStringLiteral("second"));
    selectRecordIndex(3);
    EXPECT_EQ(m_window->m_edit1->toPlainText(), QStringLiteral("first"));
    m_window->sub_check_update(1);

    const RecordFileContents file = read_record_file(dataFile());
    ASSERT_EQ(file.records.size(), 5u);
    for (int i : {3, 4}) {
        EXPECT_EQ(file.records[i].flag, 1);
        EXPECT_EQ(file.records[i].catg_kind, 20);
        EXPECT_EQ(name_of(file.records[i]), sj("同名"));
    }
    EXPECT_EQ(data_of(file.records[3]), "first");
    EXPECT_EQ(data_of(file.records[4]), "second");
}

TEST_F(RecordCommandTest, AddReusesAFreedBlockAndRefusesAnOverlongName)
{
    writeDataFile({{10, sj("銀行")}}, {plain_record(1, 10, "a"), plain_record(0, 0, ""), plain_record(1, 10, "c")});
    openWindow(1); // 銀行
    bool refused = false;
    when_modal<DataInputDlg>([&](DataInputDlg* d) {
        d->edit()->setText(QString(512, QLatin1Char('n')));
        QTest::keyClick(d->edit(), Qt::Key_Return);
        refused = d->isVisible();
        type_and_enter(d, QStringLiteral("b"));
    });
    m_window->onAdd();
    EXPECT_TRUE(refused);
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{DataInputDlg::tooLongMessage(511)});
    EXPECT_EQ(recordRowsWithData(), (QStringList{"a=0", "b=1", "c=2"}));
    const RecordFileContents file = read_record_file(dataFile());
    ASSERT_EQ(file.records.size(), 3u);
    EXPECT_EQ(file.records[1].flag, 1);
    EXPECT_EQ(name_of(file.records[1]), "b");
}

TEST_F(RecordCommandTest, AddThatCannotBeStoredSaysSoAndAddsNoRow)
{
    openWindow(2); // 銀行
    std::strcpy(g_app_config.datafile, path("no-such-folder/data.dat").c_str());
    answer_input(QStringLiteral("行き場なし"));
    m_window->onAdd();
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{QStringLiteral("レコードを保存できませんでした")});
    EXPECT_EQ(recordRows(), (QStringList{QStringLiteral("みずほ"), QStringLiteral("ゆうちょ")}));
}

TEST_F(RecordCommandTest, RenameAsksBeforeTheInputAndMayRewriteTheSameName)
{
    openWindow(2); // 銀行
    forbidInput();
    m_window->onRename();
    EXPECT_FALSE(inputOpened());
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{kSelectRecord});

    const std::string before = testenv::read_file(dataFile());
    selectRecord(QStringLiteral("ゆうちょ"));
    MessageBox::setNextAnswer(MessageBox::Answer::Cancel);
    forbidInput();
    m_window->onRename();
    EXPECT_FALSE(inputOpened());
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{kAskRename});
    // Stored and closed, the row still selected.
    EXPECT_FALSE(m_window->m_edit1->isEnabled());
    EXPECT_EQ(m_window->m_list2->selectedItems().size(), 1);
    EXPECT_EQ(testenv::read_file(dataFile()), before);

    QString shown;
    when_modal<DataInputDlg>([&](DataInputDlg* d) {
        shown = d->edit()->text();
        QTest::keyClick(d->edit(), Qt::Key_Return);
    });
    m_window->onRename();
    EXPECT_EQ(shown, QStringLiteral("ゆうちょ"));
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{kAskRename});
    EXPECT_EQ(testenv::read_file(dataFile()), before);
    EXPECT_TRUE(m_window->m_list2->selectedItems().isEmpty());

    selectRecord(QStringLiteral("ゆうちょ"));
    answer_input(QStringLiteral("あおぞら"));
    m_window->onRename();
    EXPECT_EQ(recordRowsWithData(), (QStringList{"あおぞら=2", "みずほ=0"}));
    const RecordFileContents file = read_record_file(dataFile());
    ASSERT_EQ(file.records.size(), 3u);
    EXPECT_EQ(name_of(file.records[2]), sj("あおぞら"));
    EXPECT_EQ(file.records[2].catg_kind, 10);
    EXPECT_EQ(file.records[2].flag, 1);
}

TEST_F(RecordCommandTest, DeleteUnderAllFreesTheRecordAfterStoringThePane)
{
    openWindow(0);
    selectRecord(QStringLiteral("gmail"));
    typeIntoPane(QStringLiteral("\npass"));
    MessageBox::setNextAnswer(MessageBox::Answer::Cancel);
    m_window->onDelete();
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{kAskDelete});
    RecordFileContents file = read_record_file(dataFile());
    ASSERT_EQ(file.records.size(), 3u);
    EXPECT_EQ(data_of(file.records[1]), "user@example.com\r\npass");

    m_window->onDelete();
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{kAskDelete});
    EXPECT_EQ(recordRows(), (QStringList{"みずほ", "ゆうちょ"}));
    file = read_record_file(dataFile());
    ASSERT_EQ(file.records.size(), 3u);
    EXPECT_TRUE(all_zero(file.records[1]));
    EXPECT_EQ(name_of(file.records[0]), sj("みずほ"));
    EXPECT_EQ(name_of(file.records[2]), sj("ゆうちょ"));

    m_window->onDelete();
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{kSelectRecord});
}

class ChangeCategoryTest : public RecordCommandTest
{
protected:
    // Double-clicks a record row as the user does: a click, then the double click.
    void doubleClickRecord(const QString& text)
    {
        QListWidget* list = m_window->m_list2;
        const QList<QListWidgetItem*> items = list->findItems(text, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1);
        const QPoint at = list->visualItemRect(items.first()).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
    // Scripts the change-of-category dialog: OK without a row first, then the
    // row `target` (or Cancel when empty).
    void chooseCategory(const QString& target)
    {
        when_modal<CatgChangeDlg>([this, target](CatgChangeDlg* d) {
            for (int row = 0; row < d->m_list->count(); ++row)
                m_offered << d->m_list->item(row)->text();
            m_preselected = d->m_list->selectedItems().size();
            if (target.isEmpty()) {
                d->reject();
                return;
            }
            d->accept();
            m_refusal = MessageBox::takeAsked();
            d->m_list->setCurrentItem(d->m_list->findItems(target, Qt::MatchExactly).first());
            d->accept();
        });
    }

    QStringList m_offered;
    QStringList m_refusal;
    int m_preselected = -1;
};

TEST_F(ChangeCategoryTest, MoveUnderItsOwnCategoryLeavesTheListAndKeepsTypedText)
{
    openWindow(2); // 銀行
    selectRecord(QStringLiteral("みずほ"));
    typeIntoPane(QStringLiteral("\n追記"));
    chooseCategory(QStringLiteral("メール"));
    doubleClickRecord(QStringLiteral("みずほ"));
    EXPECT_EQ(m_offered, (QStringList{"メール", "銀行"}));
    EXPECT_EQ(m_preselected, 0);
    EXPECT_EQ(m_refusal, QStringList{QStringLiteral("カテゴリを選択してください")});
    EXPECT_EQ(recordRows(), QStringList{QStringLiteral("ゆうちょ")});
    EXPECT_FALSE(m_window->m_edit1->isEnabled());
    const RecordFileContents file = read_record_file(dataFile());
    ASSERT_EQ(file.records.size(), 3u);
    EXPECT_EQ(file.records[0].catg_kind, 20);
    EXPECT_EQ(name_of(file.records[0]), sj("みずほ"));
    EXPECT_EQ(data_of(file.records[0]), sj("支店 123\r\n口座 4567\r\n追記"));
}

TEST_F(ChangeCategoryTest, CancelStoresNothingButTheTypedText)
{
    openWindow(2);
    selectRecord(QStringLiteral("ゆうちょ"));
    typeIntoPane(QStringLiteral("メモ"));
    chooseCategory(QString());
    doubleClickRecord(QStringLiteral("ゆうちょ"));
    EXPECT_EQ(recordRows(), (QStringList{"みずほ", "ゆうちょ"}));
    EXPECT_TRUE(m_window->m_list2->selectedItems().isEmpty());
    const RecordFileContents file = read_record_file(dataFile());
    ASSERT_EQ(file.records.size(), 3u);
    EXPECT_EQ(file.records[2].catg_kind, 10);
    EXPECT_EQ(data_of(file.records[2]), sj("メモ"));
    EXPECT_TRUE(MessageBox::takeAsked().isEmpty());
}

TEST_F(ChangeCategoryTest, MoveUnderAllKeepsTheRowAndNeedsASelectedRecord)
{
    openWindow(0);
    m_window->onChangeCategory();
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{kSelectRecord});

    chooseCategory(QStringLiteral("銀行"));
    doubleClickRecord(QStringLiteral("gmail"));
    EXPECT_EQ(recordRowsWithData(), (QStringList{"gmail=1", "みずほ=0", "ゆうちょ=2"}));
    const RecordFileContents file = read_record_file(dataFile());
    ASSERT_EQ(file.records.size(), 3u);
    EXPECT_EQ(file.records[1].catg_kind, 10);
    EXPECT_EQ(data_of(file.records[1]), "user@example.com");
}

} // namespace
