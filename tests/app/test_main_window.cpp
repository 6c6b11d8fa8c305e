// The main window: list contents and their item data, the data pane's two
// states, storing the pane into the right record, and the record file left
// byte for byte as it was when the user only looked.
#include "appcore_helpers.h"
#include "modal_script_helpers.h"
#include "record_bytes_helpers.h"
#include "test_env.h"

#include "app/data_pane.h"
#include "app/kestrelDlg.h"
#include "app/list_item.h"
#include "app/message_box.h"
#include "app/text_edge.h"
#include "store/app_config.h"

#include <QListWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace {

class MainWindowDisplayTest : public TempDirTest
{
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        MessageBox::setTestMode(true);
        take_notices();
        enable_log(path("trace.log"));
    }
    void TearDown() override
    {
        drop_modal_actions();
        m_window.reset();
        TempDirTest::TearDown();
    }

    void writeFile(const std::vector<std::pair<int32_t, std::string>>& headers, const std::vector<CatgRecord>& records)
    {
        m_original = record_file_bytes(headers, records);
        testenv::write_file(path("data.dat"), m_original);
    }
    kestrelDlg& open(int kind_cursel)
    {
        store_config(path("data.dat").string(), kind_cursel, "");
        m_window = std::make_unique<kestrelDlg>();
        m_window->initDialog();
        EXPECT_FALSE(m_window->ended());
        m_window->show();
        return *m_window;
    }
    // Closes the window as its Close button does; its destruction saves.
    void close()
    {
        m_window->accept();
        EXPECT_TRUE(m_window->ended());
        m_window.reset();
    }
    QStringList rows(const QListWidget* list) const
    {
        QStringList texts;
        for (int row = 0; row < list->count(); ++row)
            texts << QStringLiteral("%1=%2").arg(list->item(row)->text()).arg(item_data(list, row));
        return texts;
    }
    void typeAtEnd(const QString& text)
    {
        m_window->m_edit1->moveCursor(QTextCursor::End);
        type_unicode(m_window->m_edit1, text);
    }
    std::string log() const { return testenv::read_file(path("trace.log")); }

    std::unique_ptr<kestrelDlg> m_window;
    std::string m_original;
};

// A file as another program writes it: CP932 names, CR LF data texts, a free
// block, a record of a category the header does not have.

class SampleTest : public MainWindowDisplayTest
{
protected:
    void SetUp() override
    {
        MainWindowDisplayTest::SetUp();
        writeFile({{1, sj("仕事")}, {2, "private"}},
                  {plain_record(1, 1, "Bank", "line1\r\nline2"), plain_record(1, 2, sj("銀行"), sj("口座\r\n番号")),
                   plain_record(0, 1, "freed", "gone"), plain_record(1, 99, "orphan", "x")});
    }
};

TEST_F(SampleTest, ListsCarryKindIdsAndRecordIndices)
{
    kestrelDlg& window = open(0);
    EXPECT_EQ(rows(window.m_list1), (QStringList{"(ALL)=-100", "private=2", QStringLiteral("仕事=1")}));
    EXPECT_EQ(selected_row(window.m_list1), 0);
    // "(ALL)" lists every live record, the orphan too; the free block still counts.
    EXPECT_EQ(rows(window.m_list2), (QStringList{"Bank=0", "orphan=3", QStringLiteral("銀行=1")}));
    EXPECT_EQ(selected_row(window.m_list2), -1);
    EXPECT_FALSE(window.m_edit1->isEnabled());
    EXPECT_EQ(g_app_config.ncursel, -1);
    EXPECT_NE(log().find("(ALL) Selected\r\n"), std::string::npos);
    EXPECT_NE(log().find("Adding Data ncnt=3, nidx=1, name=(orphan)\r\n"), std::string::npos);

    window.m_list1->setCurrentRow(2);
    EXPECT_EQ(g_app_config.kind_cursel, 2);
    EXPECT_EQ(rows(window.m_list2), QStringList{"Bank=0"});
    EXPECT_NE(log().find("m_list1 selected. Current sel = 2\r\n"), std::string::npos);
    EXPECT_NE(log().find("kind compare fc.catg_kind=99, kind_id=1\r\n"), std::string::npos);
}

TEST_F(SampleTest, LookingAtRecordsLeavesTheFileUnchanged)
{
    kestrelDlg& window = open(0);
    window.m_list2->setCurrentRow(0);
    EXPECT_TRUE(window.m_edit1->isEnabled());
    EXPECT_EQ(window.m_edit1->toPlainText(), QStringLiteral("line1\nline2"));
    EXPECT_NE(log().find("Data Kind = 0\r\n"), std::string::npos);
    window.m_list2->setCurrentRow(2);
    EXPECT_EQ(window.m_edit1->toPlainText(), QStringLiteral("口座\n番号"));
    EXPECT_EQ(g_app_config.ncursel, 2);
    window.m_list2->setCurrentRow(1);
    close();
    EXPECT_EQ(testenv::read_file(path("data.dat")), m_original);
}

TEST_F(SampleTest, TypedTextGoesToTheRecordSelectedBefore)
{
    kestrelDlg& window = open(0);
    window.m_list2->setCurrentRow(0);
    QTest::keyClick(window.m_edit1, Qt::Key_End);
    typeAtEnd(QStringLiteral("!"));
    QTest::keyClick(window.m_edit1, Qt::Key_Return);
    typeAtEnd(QStringLiteral("末尾"));
    window.m_list2->setCurrentRow(2);
    EXPECT_EQ(window.m_edit1->toPlainText(), QStringLiteral("口座\n番号"));
    EXPECT_NE(log().find("m_list2 selected npos=2, ncursel=0\r\n"), std::string::npos);
    EXPECT_NE(log().find("Update Data Start. ncursel=0\r\n"), std::string::npos);

    RecordFileContents file = read_record_file(path("data.dat"));
    EXPECT_EQ(data_of(file.records[0]), "line1\r\nline2!\r\n" + sj("末尾"));
    EXPECT_EQ(data_of(file.records[1]), sj("口座\r\n番号"));

    // Close stores and closes the pane.
    typeAtEnd(QStringLiteral("2"));
    close();
    file = read_record_file(path("data.dat"));
    EXPECT_EQ(data_of(file.records[1]), sj("口座\r\n番号2"));
}

TEST_F(SampleTest, PaneRefusesCharactersCp932CannotHold)
{
    kestrelDlg& window = open(0);
    window.m_list2->setCurrentRow(0);
    typeAtEnd(QString::fromUtf8("\xF0\x9F\x98\x80")); // an emoji
    typeAtEnd(QString::fromUtf8("\xED\x95\x9C"));     // Hangul
    EXPECT_EQ(window.m_edit1->toPlainText(), QStringLiteral("line1\nline2"));
    EXPECT_EQ(take_notices(), (QStringList{notice_not_cp932(), notice_not_cp932()}));
}

TEST_F(SampleTest, UnreadableRecordEmptiesThePane)
{
    kestrelDlg& window = open(0);
    window.m_list2->setCurrentRow(0);
    std::filesystem::remove(path("data.dat"));
    window.m_list2->setCurrentRow(1);
    EXPECT_TRUE(window.m_edit1->isEnabled());
    EXPECT_EQ(window.m_edit1->toPlainText(), QString());
}

TEST_F(MainWindowDisplayTest, PaneHoldsTheWholeDataField)
{
    const std::string full(4095, 'a');
    const std::string longer = std::string(1500, 'b') + "\r\n" + std::string(600, 'c');
    writeFile({{1, "k"}}, {plain_record(1, 1, "full", full), plain_record(1, 1, "long", longer)});
    kestrelDlg& window = open(0);

    window.m_list2->setCurrentRow(0);
    typeAtEnd(QStringLiteral("x"));
    QTest::keyClick(window.m_edit1, Qt::Key_Return);
    EXPECT_EQ(window.m_edit1->storedSize(), 4095);
    EXPECT_EQ(take_notices(), (QStringList{notice_too_long(4095), notice_too_long(4095)}));

    // Replacing a selection by text of the same size is allowed at the limit.
    window.m_edit1->moveCursor(QTextCursor::End);
    window.m_edit1->moveCursor(QTextCursor::Left, QTextCursor::KeepAnchor);
    QTest::keyClicks(window.m_edit1, QStringLiteral("z"));
    EXPECT_TRUE(take_notices().isEmpty());

    window.m_list2->setCurrentRow(1); // stores "full"
    typeAtEnd(QStringLiteral("d"));
    window.m_list2->setCurrentRow(0); // stores "long" with its typed end
    close();

    const RecordFileContents file = read_record_file(path("data.dat"));
    EXPECT_EQ(data_of(file.records[0]), std::string(4094, 'a') + "z");
    EXPECT_EQ(data_of(file.records[1]), longer + "d");
}

TEST_F(MainWindowDisplayTest, RowsSortWithoutCaseAndKeepTheirRecordIndex)
{
    writeFile({{1, "k"}}, {plain_record(1, 1, "b"), plain_record(1, 1, "A"), plain_record(1, 1, "c"),
                           plain_record(1, 1, "a"), plain_record(1, 1, "b")});
    kestrelDlg& window = open(1);
    EXPECT_EQ(rows(window.m_list2), (QStringList{"a=3", "A=1", "b=4", "b=0", "c=2"}));
    for (const char* line : {"ncnt=0, nidx=0, name=(b)", "ncnt=1, nidx=0, name=(A)", "ncnt=2, nidx=2, name=(c)",
                             "ncnt=3, nidx=0, name=(a)", "ncnt=4, nidx=2, name=(b)"})
        EXPECT_NE(log().find(std::string("Adding Data ") + line + "\r\n"), std::string::npos) << line;

    // The rows are where the list itself puts them one by one.
    QListWidget list;
    list.setSortingEnabled(true);
    for (const auto& [text, index] : {std::pair{"b", 0}, {"A", 1}, {"c", 2}, {"a", 3}, {"b", 4}})
        add_sorted_row(&list, QString::fromLatin1(text), index);
    EXPECT_EQ(rows(&list), rows(window.m_list2));
}

TEST_F(MainWindowDisplayTest, RememberedRowThatSelectsNothing)
{
    writeFile({{1, "k"}}, {plain_record(1, 1, "r")});
    kestrelDlg& window = open(5);
    EXPECT_EQ(selected_row(window.m_list1), -1);
    EXPECT_EQ(window.m_list2->count(), 0);
    EXPECT_NE(log().find("CATG Display Start. kind_cursel=5\r\n"), std::string::npos);
    EXPECT_NE(log().find("No item data. aborting\r\n"), std::string::npos);
    m_window.reset();

    kestrelDlg& again = open(-1);
    EXPECT_EQ(selected_row(again.m_list1), -1);
    EXPECT_EQ(again.m_list2->count(), 0);
    EXPECT_NE(log().find("Current Kind Not Selected.aborting\r\n"), std::string::npos);
    close();
    std::string bytes;
    uint32_t type = 0;
    ASSERT_TRUE(registry_value("kest_kindcsl", bytes, type));
    EXPECT_EQ(bytes, std::string("-1", 3));
}

TEST_F(MainWindowDisplayTest, MissingRecordFileShowsOnlyAll)
{
    kestrelDlg& window = open(0);
    EXPECT_EQ(rows(window.m_list1), QStringList{"(ALL)=-100"});
    EXPECT_EQ(window.m_list2->count(), 0);
    EXPECT_NE(log().find(" ERROR "), std::string::npos);
    EXPECT_NE(log().find("Datafile (" + path("data.dat").string() + ") Open error\r\n"), std::string::npos);
}

} // namespace
