// The category editor opened from the main window (button and Escape key),
// and the settings command's effect on the category table at the end.
#include "app/DataInputDlg.h"
#include "app/KindEditDlg.h"
#include "app/data_pane.h"
#include "app/kestrelDlg.h"
#include "app/message_box.h"
#include "app/optwin.h"
#include "edit_fixture_helpers.h"
#include "modal_script_helpers.h"
#include "store/app_config.h"
#include "store/kind_table.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <cstring>

namespace {

const QString kSelectCategory = QStringLiteral("カテゴリを選択してください");
const QString kAskPurge = QStringLiteral("カテゴリとそのカテゴリに関連のあるデータを全て消去します。よろしいですか？");

using KindEditTest = MainWindowTest;

// "name=slot" for every row of the editor's list, in list order.
QStringList slot_rows(const KindEditDlg* editor)
{
    QStringList rows;
    for (int row = 0; row < editor->m_list->count(); ++row) {
        const QListWidgetItem* item = editor->m_list->item(row);
        rows << QStringLiteral("%1=%2").arg(item->text()).arg(item->data(Qt::UserRole).toInt());
    }
    return rows;
}

void select_slot_row(KindEditDlg* editor, const QString& text)
{
    const QList<QListWidgetItem*> items = editor->m_list->findItems(text, Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1) << text.toStdString();
    editor->m_list->setCurrentItem(items.first());
}

std::string slot_name(int slot)
{
    return std::string(KindTable[slot].name, strnlen(KindTable[slot].name, NAME_SIZE));
}

TEST_F(KindEditTest, AddIntoAnEmptyTableCreatesAnEmptyRecordFileAndId10)
{
    openWindow(0);
    ASSERT_FALSE(std::filesystem::exists(dataFile()));
    QStringList rows;
    when_modal<KindEditDlg>([&](KindEditDlg* editor) {
        answer_input(QStringLiteral("銀行"));
        editor->addButton()->click();
        rows = slot_rows(editor);
        editor->accept();
    });
    m_window->onKindEdit();
    EXPECT_EQ(rows, QStringList{QStringLiteral("銀行=0")});
    EXPECT_EQ(testenv::read_file(dataFile()), std::string(4, '\0'));
    EXPECT_EQ(KindTable[0].in_use, 1);
    EXPECT_EQ(KindTable[0].kind_id, 10);
    EXPECT_EQ(slot_name(0), sj("銀行"));
    EXPECT_EQ(categoryRows(), (QStringList{"(ALL)", "銀行"}));
    EXPECT_TRUE(MessageBox::takeAsked().isEmpty());

    // The header reaches the file at the end of the run.
    closeWindow();
    const RecordFileContents file = read_record_file(dataFile());
    EXPECT_EQ(file.count, 1);
    ASSERT_EQ(file.headers.size(), 1u);
    EXPECT_EQ(file.headers[0], std::make_pair(10, sj("銀行")));
}

TEST_F(KindEditTest, DeletedSlotZeroIsTakenAgainWithId10AndStartsEmpty)
{
    writeDataFile({{10, "alpha"}, {20, "beta"}}, {plain_record(1, 10, "a1"), plain_record(1, 20, "b1")});
    openWindow(0);
    QStringList asked;
    QStringList rows;
    when_modal<KindEditDlg>([&](KindEditDlg* editor) {
        select_slot_row(editor, "alpha");
        editor->deleteButton()->click();
        asked = MessageBox::takeAsked();
        answer_input(QStringLiteral("gamma"));
        editor->addButton()->click();
        rows = slot_rows(editor);
        editor->reject();
    });
    m_window->onKindEdit();
    EXPECT_EQ(asked, QStringList{kAskPurge});
    EXPECT_EQ(rows, (QStringList{"beta=1", "gamma=0"}));
    EXPECT_EQ(KindTable[0].kind_id, 10);
    EXPECT_EQ(slot_name(0), "gamma");
    EXPECT_EQ(categoryRows(), (QStringList{"(ALL)", "beta", "gamma"}));

    selectCategory(QStringLiteral("gamma"));
    EXPECT_TRUE(recordRows().isEmpty());
    const RecordFileContents file = read_record_file(dataFile());
    ASSERT_EQ(file.records.size(), 2u);
    EXPECT_TRUE(all_zero(file.records[0]));
    EXPECT_EQ(name_of(file.records[1]), "b1");
}

TEST_F(KindEditTest, RenameTwiceThroughTheSameRowChangesTheSameSlotOnly)
{
    writeDataFile({{10, "alpha"}, {20, "beta"}}, {plain_record(1, 10, "a1")});
    const std::string before = testenv::read_file(dataFile());
    openWindow(0);
    QStringList shown;
    QStringList rows;
    when_modal<KindEditDlg>([&](KindEditDlg* editor) {
        when_modal<DataInputDlg>([&](DataInputDlg* d) {
            shown << d->edit()->text();
            type_and_enter(d, QStringLiteral("zeta"));
        });
        select_slot_row(editor, "alpha");
        editor->renameButton()->click();
        when_modal<DataInputDlg>([&](DataInputDlg* d) {
            shown << d->edit()->text();
            type_and_enter(d, QStringLiteral("Omega"));
        });
        select_slot_row(editor, "zeta");
        editor->renameButton()->click();
        rows = slot_rows(editor);
        editor->accept();
    });
    m_window->onKindEdit();
    EXPECT_EQ(shown, (QStringList{"alpha", "zeta"}));
    EXPECT_EQ(rows, (QStringList{"beta=1", "Omega=0"})); // sorted without regard to case
    EXPECT_EQ(KindTable[0].kind_id, 10);
    EXPECT_EQ(slot_name(0), "Omega");
    EXPECT_EQ(slot_name(1), "beta");
    EXPECT_EQ(testenv::read_file(dataFile()), before);
    selectCategory(QStringLiteral("Omega"));
    EXPECT_EQ(recordRows(), QStringList{"a1"});
}

TEST_F(KindEditTest, DeletePurgesThreeRecordsAndLeavesTheOneBetweenThem)
{
    writeDataFile({{10, "alpha"}, {20, "beta"}},
                  {plain_record(1, 10, "a1", "x"), plain_record(1, 20, "b1", "keep"), plain_record(1, 10, "a2"),
                   plain_record(0, 0, ""), plain_record(1, 10, "a3")});
    const RecordFileContents before = read_record_file(dataFile());
    openWindow(0);
    when_modal<KindEditDlg>([&](KindEditDlg* editor) {
        // Without a row: refused twice; then a cancelled question changes nothing.
        editor->renameButton()->click();
        editor->deleteButton()->click();
        select_slot_row(editor, "alpha");
        MessageBox::setNextAnswer(MessageBox::Answer::Cancel);
        editor->deleteButton()->click();
        EXPECT_EQ(slot_rows(editor).size(), 2);
        editor->deleteButton()->click();
        editor->accept();
    });
    m_window->onKindEdit();
    EXPECT_EQ(MessageBox::takeAsked(), (QStringList{kSelectCategory, kSelectCategory, kAskPurge, kAskPurge}));
    EXPECT_EQ(KindTable[0].in_use, 0);
    EXPECT_EQ(KindTable[0].kind_id, 0);
    EXPECT_EQ(std::memcmp(KindTable[0].name, std::string(NAME_SIZE, '\0').data(), NAME_SIZE), 0);
    const RecordFileContents file = read_record_file(dataFile());
    ASSERT_EQ(file.records.size(), 5u);
    for (int i : {0, 2, 3, 4})
        EXPECT_TRUE(all_zero(file.records[i])) << i;
    EXPECT_EQ(std::memcmp(&file.records[1], &before.records[1], sizeof(CatgRecord)), 0);
    EXPECT_EQ(recordRows(), QStringList{"b1"}); // "(ALL)" is current
}

TEST_F(KindEditTest, A129thCategoryIsRefusedWithAMessage)
{
    std::vector<std::pair<int32_t, std::string>> headers;
    for (int i = 0; i < KIND_MAX; ++i)
        headers.emplace_back(10 * (i + 1), "k" + std::to_string(1000 + i));
    writeDataFile(headers, {});
    openWindow(0);
    int rowsAfter = 0;
    when_modal<KindEditDlg>([&](KindEditDlg* editor) {
        answer_input(QStringLiteral("one too many"));
        editor->addButton()->click();
        rowsAfter = editor->m_list->count();
        editor->accept();
    });
    m_window->onKindEdit();
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{QStringLiteral("これ以上カテゴリを追加できません")});
    EXPECT_EQ(rowsAfter, KIND_MAX);
    EXPECT_EQ(categoryRows().size(), KIND_MAX + 1);
    for (const KindSlot& slot : KindTable)
        EXPECT_NE(std::string(slot.name), "one too many");
}

TEST_F(KindEditTest, EscapeOpensTheEditorAfterStoringThePane)
{
    writeDataFile({{10, "alpha"}}, {plain_record(1, 10, "a1", "old")});
    openWindow(1);
    selectRecord("a1");
    typeIntoPane(QStringLiteral(" new"));
    std::string storedWhenOpen;
    when_modal<KindEditDlg>([&](KindEditDlg* editor) {
        storedWhenOpen = data_of(read_record_file(dataFile()).records.at(0));
        QTest::keyClick(editor, Qt::Key_Escape);
    });
    QTest::keyClick(m_window.get(), Qt::Key_Escape);
    EXPECT_EQ(storedWhenOpen, "old new");
    EXPECT_FALSE(m_window->ended());
    EXPECT_TRUE(m_window->isVisible());
    // Both lists refilled, the category kept, the pane closed.
    EXPECT_EQ(m_window->m_list1->currentRow(), 1);
    EXPECT_EQ(recordRows(), QStringList{"a1"});
    EXPECT_FALSE(m_window->m_edit1->isEnabled());
}

TEST_F(KindEditTest, SettingsCancelledAfterTheWarningKeepsRunningAndLeavesTheHeaderUnwritten)
{
    writeDataFile({{10, "alpha"}}, {plain_record(1, 10, "a1")});
    const std::string before = testenv::read_file(dataFile());
    openWindow(1);
    when_modal<KindEditDlg>([&](KindEditDlg* editor) {
        answer_input(QStringLiteral("beta"));
        editor->addButton()->click();
        editor->accept();
    });
    m_window->onKindEdit();

    // The warning answered with Cancel changes nothing.
    MessageBox::setNextAnswer(MessageBox::Answer::Cancel);
    m_window->onSettings();
    EXPECT_EQ(g_app_config.datafile_changed, 0);

    when_modal<SettingsDlg>([](SettingsDlg* settings) { settings->reject(); });
    m_window->onSettings();
    const QString warning =
        QStringLiteral("データファイルの設定を変更すると、現在編集中のデータは破棄されますが、よろしいですか？");
    EXPECT_EQ(MessageBox::takeAsked(), (QStringList{warning, warning}));
    EXPECT_EQ(g_app_config.datafile_changed, 1);
    EXPECT_FALSE(m_window->ended());

    closeWindow();
    EXPECT_EQ(testenv::read_file(dataFile()), before);
}

TEST_F(KindEditTest, SettingsConfirmedEndsTheWindowWithTheRestartMessage)
{
    writeDataFile({{10, "alpha"}}, {});
    openWindow(1);
    when_modal<SettingsDlg>([](SettingsDlg* settings) { settings->accept(); });
    m_window->onSettings();
    EXPECT_EQ(MessageBox::takeAsked().last(), QStringLiteral("設定を変更しましたので、起動しなおしてください"));
    EXPECT_TRUE(m_window->ended());
    EXPECT_EQ(g_app_config.datafile_changed, 1);
}

} // namespace
