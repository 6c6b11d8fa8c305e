// The main window: list contents and their item data, the data pane's two
// states, storing the pane into the right record, and the record file left
// byte for byte as it was when the user only looked.
#include "app_fixture_helpers.h"
#include "modal_script_helpers.h"

#include "app/data_pane.h"
#include "app/kestrelDlg.h"
#include "app/list_item.h"
#include "app/message_box.h"
#include "app/text_edge.h"
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
    EXPECT_EQ(selected_row(window.m_list2), -1);
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

TEST_F(SampleTest, UnreadableRecordEmptiesThePane)
{
    kestrelDlg& window = openWindow(0);
    window.m_list2->setCurrentRow(0);
    std::filesystem::remove(dataFile());
    window.m_list2->setCurrentRow(1);
    EXPECT_TRUE(window.m_edit1->isEnabled());
    EXPECT_EQ(window.m_edit1->toPlainText(), QString());
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

} // namespace
