// The main window: list contents and their item data, the data pane's two
// states, storing the pane into the right record, and the record file left
// byte for byte as it was when the user only looked.
#include "app_fixture_helpers.h"
#include "modal_script_helpers.h"

#include "app/main_window/data_pane.h"
#include "app/main_window/kestrelDlg.h"
#include "app/main_window/record_list.h"
#include "app/widgets/list_item.h"
#include "app/widgets/message_box.h"
#include "app/widgets/text_edge.h"
#include "store/app_config.h"

#include <QListWidget>
#include <QTest>

namespace {

using MainWindowTest = AppTest;

// A file as another program writes it: CP932 names, CR LF data texts, a free
// block, a record of a category the header does not have.
class SampleTest : public AppTest
{
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        writeDataFile({{1, sj("仕事")}, {2, "private"}},
                      {plain_record(1, 1, "Bank", "line1\r\nline2"), plain_record(1, 2, sj("銀行"), sj("口座\r\n番号")),
                       plain_record(0, 1, "freed", "gone"), plain_record(1, 99, "orphan", "x")});
        m_original = testenv::read_file(dataFile());
    }
    std::string m_original;
};

TEST_F(SampleTest, ListsCarryKindIdsAndRecordIndices)
{
    kestrelDlg& window = openWindow(0);
    EXPECT_EQ(rows_with_data(window.m_list1), (QStringList{"(ALL)=-100", "private=2", QStringLiteral("仕事=1")}));
    EXPECT_EQ(selected_row(window.m_list1), 0);
    // "(ALL)" lists every live record, the orphan too; the free block still counts.
    EXPECT_EQ(rows_with_data(window.m_list2), (QStringList{"Bank=0", "orphan=3", QStringLiteral("銀行=1")}));
    EXPECT_EQ(window.m_list2->selectedRow(), -1);
    EXPECT_FALSE(window.m_edit1->isEnabled());
    EXPECT_TRUE(logHas("(ALL) Selected\r\n"));
    EXPECT_TRUE(logHas("Adding Data ncnt=3, nidx=1, name=(orphan)\r\n"));

    window.m_list1->setCurrentRow(2);
    EXPECT_EQ(g_app_config.kind_cursel, 2);
    EXPECT_EQ(rows_with_data(window.m_list2), QStringList{"Bank=0"});
    EXPECT_TRUE(logHas("m_list1 selected. Current sel = 2\r\n"));
    EXPECT_TRUE(logHas("kind compare fc.catg_kind=99, kind_id=1\r\n"));
}

TEST_F(SampleTest, LookingAtRecordsLeavesTheFileUnchanged)
{
    kestrelDlg& window = openWindow(0);
    window.m_list2->setCurrentRow(0);
    EXPECT_TRUE(window.m_edit1->isEnabled());
    EXPECT_EQ(window.m_edit1->toPlainText(), QStringLiteral("line1\nline2"));
    EXPECT_TRUE(logHas("Data Kind = 0\r\n"));
    window.m_list2->setCurrentRow(2);
    EXPECT_EQ(window.m_edit1->toPlainText(), QStringLiteral("口座\n番号"));
    EXPECT_EQ(g_app_config.ncursel, 2);
    window.m_list2->setCurrentRow(1);
    window.accept(); // the Close button
    m_window.reset();
    EXPECT_EQ(testenv::read_file(dataFile()), m_original);
}

TEST_F(SampleTest, TypedTextGoesToTheRecordSelectedBefore)
{
    kestrelDlg& window = openWindow(0);
    window.m_list2->setCurrentRow(0);
    typeIntoPane(QStringLiteral("!\n末尾"));
    // Characters CP932 cannot hold are refused with a notice.
    typeIntoPane(QString::fromUtf8("\xF0\x9F\x98\x80\xED\x95\x9C")); // an emoji, Hangul
    EXPECT_EQ(take_notices(), (QStringList{notice_not_cp932(), notice_not_cp932()}));
    window.m_list2->setCurrentRow(2);
    EXPECT_EQ(window.m_edit1->toPlainText(), QStringLiteral("口座\n番号"));
    EXPECT_TRUE(logHas("m_list2 selected npos=2, ncursel=0\r\n"));
    EXPECT_TRUE(logHas("Update Data Start. ncursel=0\r\n"));
    RecordFileContents file = read_record_file(dataFile());
    EXPECT_EQ(data_of(file.records[0]), "line1\r\nline2!\r\n" + sj("末尾"));
    EXPECT_EQ(data_of(file.records[1]), sj("口座\r\n番号"));

    // Close stores too.
    typeIntoPane(QStringLiteral("2"));
    window.accept();
    m_window.reset();
    file = read_record_file(dataFile());
    EXPECT_EQ(data_of(file.records[1]), sj("口座\r\n番号2"));
}

TEST_F(SampleTest, UnreadableRecordKeepsThePaneClosedAndSaysSo)
{
    kestrelDlg& window = openWindow(0);
    window.m_list2->setCurrentRow(0);
    const std::string bytes = testenv::read_file(dataFile());
    std::filesystem::remove(dataFile());
    MessageBox::takeAsked();
    window.m_list2->setCurrentRow(1);
    // Nothing may be typed into a pane whose record was not read: it would be stored over it.
    EXPECT_FALSE(window.m_edit1->isEnabled());
    EXPECT_EQ(g_app_config.ncursel, -1);
    EXPECT_EQ(window.m_list2->currentRow(), 1);
    // The pane of record 0 could not be stored either: the user is told both.
    EXPECT_EQ(MessageBox::takeAsked(), (QStringList{QStringLiteral("データを保存できませんでした"),
                                                    QStringLiteral("レコードを読み込めませんでした")}));
    // The row stays, so the user can try again once the file is back.
    testenv::write_file(dataFile(), bytes);
    QTest::mouseClick(window.m_list2->viewport(), Qt::LeftButton, {}, window.m_list2->rowRect(1).center());
    EXPECT_TRUE(window.m_edit1->isEnabled());
    EXPECT_EQ(g_app_config.ncursel, 1);
}

TEST_F(MainWindowTest, PaneHoldsTheWholeDataField)
{
    const std::string longer = std::string(1500, 'b') + "\r\n" + std::string(600, 'c');
    writeDataFile({{1, "k"}}, {plain_record(1, 1, "full", std::string(4095, 'a')), plain_record(1, 1, "long", longer)});
    kestrelDlg& window = openWindow(0);

    window.m_list2->setCurrentRow(0);
    typeIntoPane(QStringLiteral("x\n"));
    EXPECT_EQ(window.m_edit1->storedSize(), 4095);
    EXPECT_EQ(take_notices(), (QStringList{notice_too_long(4095), notice_too_long(4095)}));

    // Replacing a selection by text of the same size is allowed at the limit.
    window.m_edit1->moveCursor(QTextCursor::Left, QTextCursor::KeepAnchor);
    QTest::keyClicks(window.m_edit1, QStringLiteral("z"));
    EXPECT_TRUE(take_notices().isEmpty());

    window.m_list2->setCurrentRow(1); // stores "full"
    typeIntoPane(QStringLiteral("d"));
    window.m_list2->setCurrentRow(0); // stores "long" with its typed end
    const RecordFileContents file = read_record_file(dataFile());
    EXPECT_EQ(data_of(file.records[0]), std::string(4094, 'a') + "z");
    EXPECT_EQ(data_of(file.records[1]), longer + "d");
}

TEST_F(MainWindowTest, RowsSortWithoutCaseAndKeepTheirRecordIndex)
{
    writeDataFile({{1, "k"}}, {plain_record(1, 1, "b"), plain_record(1, 1, "A"), plain_record(1, 1, "c"),
                               plain_record(1, 1, "a"), plain_record(1, 1, "b")});
    kestrelDlg& window = openWindow(1);
    EXPECT_EQ(rows_with_data(window.m_list2), (QStringList{"a=3", "A=1", "b=4", "b=0", "c=2"}));
}

TEST_F(MainWindowTest, RememberedRowThatSelectsNothing)
{
    writeDataFile({{1, "k"}}, {plain_record(1, 1, "r")});
    kestrelDlg& window = openWindow(5); // beyond the last row
    EXPECT_EQ(selected_row(window.m_list1), -1);
    EXPECT_EQ(window.m_list2->count(), 0);
    EXPECT_TRUE(logHas("CATG Display Start. kind_cursel=5\r\n"));
    EXPECT_TRUE(logHas("No item data. aborting\r\n"));

    kestrelDlg& again = openWindow(-1);
    EXPECT_EQ(selected_row(again.m_list1), -1);
    EXPECT_EQ(again.m_list2->count(), 0);
    EXPECT_TRUE(logHas("Current Kind Not Selected.aborting\r\n"));
    m_window.reset();
    EXPECT_EQ(config_value("kest_kindcsl"), sz_value("-1"));
}

// The trace lines of the list fill, in the order written, from the message on.
std::vector<std::string> fill_lines(const std::string& log)
{
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = log.substr(start, end - start);
        for (const char* message : {"kind compare ", "Adding Data "})
            if (const std::size_t at = line.find(message); at != std::string::npos)
                lines.push_back(line.substr(at));
    }
    return lines;
}

// Each row goes where the sorted list put it when the rows were added one by
// one: its trace line tells that row, and it goes before rows of equal text.
TEST_F(MainWindowTest, RowsArePlacedAsAddedOneByOne)
{
    writeDataFile({{1, "one"}, {2, "two"}},
                  {plain_record(1, 1, "b"), plain_record(1, 2, sj("Ｂ")), plain_record(1, 1, sj("ｶﾅ")),
                   plain_record(0, 1, "freed"), plain_record(1, 1, "A"), plain_record(1, 2, sj("カナ")),
                   plain_record(1, 1, "a"), plain_record(1, 1, "B"), plain_record(1, 1, "\xFF")});
    kestrelDlg& window = openWindow(0);
    EXPECT_EQ(rows_with_data(window.m_list2),
              (QStringList{"a=6", "A=4", "B=7", "b=0", QStringLiteral("Ｂ=1"), QStringLiteral("カナ=5"),
                           QStringLiteral("ｶﾅ=2"), QStringLiteral("\uFFFD=8")}));
    EXPECT_EQ(fill_lines(log()), (std::vector<std::string>{
                                     "Adding Data ncnt=0, nidx=0, name=(b)",
                                     "Adding Data ncnt=1, nidx=1, name=(" + sj("Ｂ") + ")",
                                     "Adding Data ncnt=2, nidx=2, name=(" + sj("ｶﾅ") + ")",
                                     "Adding Data ncnt=4, nidx=0, name=(A)",
                                     "Adding Data ncnt=5, nidx=3, name=(" + sj("カナ") + ")",
                                     "Adding Data ncnt=6, nidx=0, name=(a)",
                                     "Adding Data ncnt=7, nidx=2, name=(B)",
                                     "Adding Data ncnt=8, nidx=7, name=(\xFF)",
                                 }));

    // A category's fill compares every live record and places the taken ones.
    std::filesystem::remove(path("trace.log"));
    window.m_list1->setCurrentRow(1);
    EXPECT_EQ(rows_with_data(window.m_list2),
              (QStringList{"a=6", "A=4", "B=7", "b=0", QStringLiteral("ｶﾅ=2"), QStringLiteral("\uFFFD=8")}));
    EXPECT_EQ(fill_lines(log()), (std::vector<std::string>{
                                     "kind compare fc.catg_kind=1, kind_id=1",
                                     "Adding Data ncnt=0, nidx=0, name=(b)",
                                     "kind compare fc.catg_kind=2, kind_id=1",
                                     "kind compare fc.catg_kind=1, kind_id=1",
                                     "Adding Data ncnt=2, nidx=1, name=(" + sj("ｶﾅ") + ")",
                                     "kind compare fc.catg_kind=1, kind_id=1",
                                     "Adding Data ncnt=4, nidx=0, name=(A)",
                                     "kind compare fc.catg_kind=2, kind_id=1",
                                     "kind compare fc.catg_kind=1, kind_id=1",
                                     "Adding Data ncnt=6, nidx=0, name=(a)",
                                     "kind compare fc.catg_kind=1, kind_id=1",
                                     "Adding Data ncnt=7, nidx=2, name=(B)",
                                     "kind compare fc.catg_kind=1, kind_id=1",
                                     "Adding Data ncnt=8, nidx=5, name=(\xFF)",
                                 }));

    // A row added later still finds its place among the filled rows.
    EXPECT_EQ(window.m_list2->addSorted(QStringLiteral("b"), 9), 2);
    EXPECT_EQ(window.m_list2->addSorted(QStringLiteral("ｋａｎａ"), 10), 5);
}

// The lists of a record file brought from Windows show its rows in the order
// the Windows list box showed them, so the remembered row is the same category.
TEST_F(MainWindowTest, ListsShowTheWindowsOrder)
{
    writeDataFile({{10, sj("ゲーム")}, {20, sj("メール")}, {30, sj("銀行")}, {40, sj("ＳＮＳ")}, {50, sj("ｶｰﾄﾞ")}},
                  {plain_record(1, 20, "e-mail"), plain_record(1, 20, "eb"), plain_record(1, 30, "JAL"),
                   plain_record(1, 30, sj("あおぞら銀行")), plain_record(1, 10, sj("アマゾン")),
                   plain_record(1, 30, sj("イオン")), plain_record(1, 30, sj("ＡＮＡ")),
                   plain_record(1, 10, sj("ｱｲﾌｫﾝ"))});
    kestrelDlg& window = openWindow(3);
    EXPECT_EQ(rows(window.m_list1), (QStringList{"(ALL)", "ＳＮＳ", "ｶｰﾄﾞ", "ゲーム", "メール", "銀行"}));
    EXPECT_EQ(item_data(window.m_list1, 3), 10);
    EXPECT_EQ(rows(window.m_list2), (QStringList{"ｱｲﾌｫﾝ", "アマゾン"}));
    select_row(window.m_list1, QStringLiteral("(ALL)"));
    EXPECT_EQ(rows(window.m_list2),
              (QStringList{"ＡＮＡ", "eb", "e-mail", "JAL", "ｱｲﾌｫﾝ", "あおぞら銀行", "アマゾン", "イオン"}));
    // A row added later finds its place among them; a sorted list widget places by the same order.
    EXPECT_EQ(window.m_list2->addSorted(QStringLiteral("ana"), 9), 0);
    EXPECT_EQ(window.m_list2->addSorted(QStringLiteral("あい"), 10), 5);
    EXPECT_TRUE(ListItem(QStringLiteral("ｶｰﾄﾞ"), 0) < ListItem(QStringLiteral("ゲーム"), 1));
    EXPECT_FALSE(ListItem(QStringLiteral("ＡＢ"), 0) < ListItem(QStringLiteral("ab"), 1));
    // A row renamed in place is placed by its new text.
    ListItem renamed("b", 0);
    renamed.setText("A");
    EXPECT_TRUE(renamed < ListItem("a0", 1));
}

} // namespace
