// The category editor opened from the main window (button and Escape key),
// and the settings command's effect on the category table at the end.
#include "app/dialogs/DataInputDlg.h"
#include "app/dialogs/KindEditDlg.h"
#include "app/dialogs/optwin.h"
#include "app/main_window/data_pane.h"
#include "app/main_window/kestrelDlg.h"
#include "app/widgets/message_box.h"
#include "app_fixture_helpers.h"
#include "modal_script_helpers.h"
#include "store/app_config.h"
#include "store/file/record_session.h"
#include "store/kind_table.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <cstring>

namespace {

const QString kSelectCategory = QStringLiteral("カテゴリを選択してください");
const QString kAskPurge = QStringLiteral("カテゴリとそのカテゴリに関連のあるデータを全て消去します。よろしいですか？");

class KindEditTest : public AppTest
{
protected:
    // Opens the category editor from the window with `action` acting inside it.
    void editCategories(const std::function<void(KindEditDlg*)>& action)
    {
        when_modal<KindEditDlg>(action);
        m_window->onKindEdit();
    }
    QStringList categoryRows() const { return rows(m_window->m_list1); }
    QStringList recordRows() const { return rows(m_window->m_list2); }
};

// The slot's id and name, "id:name".
std::string slot(int index)
{
    return std::to_string(KindTable[index].kind_id) + ":" +
           std::string(KindTable[index].name, strnlen(KindTable[index].name, NAME_SIZE));
}

void add_category(KindEditDlg* editor, const QString& name)
{
    answer_input(name);
    editor->addButton()->click();
}

TEST_F(KindEditTest, AddIntoAnEmptyTableCreatesAnEmptyRecordFileAndId10)
{
    openWindow(0);
    // Without a record file only "(ALL)" is shown.
    EXPECT_EQ(categoryRows(), QStringList{"(ALL)"});
    EXPECT_TRUE(logHas("Datafile (" + dataFile().string() + ") Open error\r\n"));
    QStringList editorRows;
    editCategories([&](KindEditDlg* editor) {
        add_category(editor, QStringLiteral("銀行"));
        editorRows = rows_with_data(editor->m_list);
        editor->accept();
    });
    EXPECT_EQ(editorRows, QStringList{QStringLiteral("銀行=0")});
    EXPECT_EQ(KindTable[0].in_use, 1);
    EXPECT_EQ(slot(0), "10:" + sj("銀行"));
    EXPECT_EQ(categoryRows(), (QStringList{"(ALL)", "銀行"}));
    EXPECT_TRUE(MessageBox::takeAsked().isEmpty());

    // The header reaches the file as the editor closes; the end of the run finds nothing to change.
    const RecordFileContents file = read_record_file(dataFile());
    EXPECT_EQ(file.count, 1);
    EXPECT_EQ(file.headers, (Headers{{10, sj("銀行")}}));
    const std::string closed = testenv::read_file(dataFile());
    m_window.reset();
    EXPECT_EQ(testenv::read_file(dataFile()), closed);
}

TEST_F(KindEditTest, DeletedSlotZeroIsTakenAgainWithId10AndStartsEmpty)
{
    writeDataFile({{10, "alpha"}, {20, "beta"}}, {plain_record(1, 10, "a1"), plain_record(1, 20, "b1")});
    openWindow(0);
    QStringList editorRows;
    editCategories([&](KindEditDlg* editor) {
        select_row(editor->m_list, "alpha");
        editor->deleteButton()->click();
        add_category(editor, QStringLiteral("gamma"));
        editorRows = rows_with_data(editor->m_list);
        editor->reject();
    });
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{kAskPurge});
    EXPECT_EQ(editorRows, (QStringList{"beta=1", "gamma=0"}));
    EXPECT_EQ(slot(0), "10:gamma");
    EXPECT_EQ(categoryRows(), (QStringList{"(ALL)", "beta", "gamma"}));

    select_row(m_window->m_list1, QStringLiteral("gamma"));
    EXPECT_TRUE(recordRows().isEmpty());
    EXPECT_EQ(read_record_file(dataFile()).records, (std::vector{CatgRecord{}, plain_record(1, 20, "b1")}));
}

TEST_F(KindEditTest, RenameTwiceThroughTheSameRowChangesTheSameSlotOnly)
{
    writeDataFile({{10, "alpha"}, {20, "beta"}}, {plain_record(1, 10, "a1")});
    const std::string before = testenv::read_file(dataFile());
    openWindow(0);
    QStringList shown;
    QStringList editorRows;
    editCategories([&](KindEditDlg* editor) {
        for (const auto& [from, to] : {std::pair{"alpha", "zeta"}, {"zeta", "Omega"}}) {
            when_modal<DataInputDlg>([&, to](DataInputDlg* d) {
                shown << d->edit()->text();
                type_and_enter(d, QString::fromLatin1(to));
            });
            select_row(editor->m_list, QString::fromLatin1(from));
            editor->renameButton()->click();
        }
        editorRows = rows_with_data(editor->m_list);
        editor->accept();
    });
    EXPECT_EQ(shown, (QStringList{"alpha", "zeta"}));
    EXPECT_EQ(editorRows, (QStringList{"beta=1", "Omega=0"})); // sorted without regard to case
    EXPECT_EQ(slot(0), "10:Omega");
    EXPECT_EQ(slot(1), "20:beta");
    // The new name is in the file's header, in its place; the record stays as it was.
    const RecordFileContents file = read_record_file(dataFile());
    EXPECT_EQ(file.headers, (Headers{{10, "Omega"}, {20, "beta"}}));
    EXPECT_EQ(testenv::read_file(dataFile()).substr(record_offset(2, 0)), before.substr(record_offset(2, 0)));
    select_row(m_window->m_list1, QStringLiteral("Omega"));
    EXPECT_EQ(recordRows(), QStringList{"a1"});
}

TEST_F(KindEditTest, DeletePurgesThreeRecordsAndLeavesTheOneBetweenThem)
{
    const CatgRecord other = plain_record(1, 20, "b1", "keep");
    writeDataFile({{10, "alpha"}, {20, "beta"}}, {plain_record(1, 10, "a1", "x"), other, plain_record(1, 10, "a2"),
                                                  CatgRecord{}, plain_record(1, 10, "a3")});
    openWindow(0);
    int rowsAfterCancel = 0;
    editCategories([&](KindEditDlg* editor) {
        // Without a row: refused twice; then a cancelled question changes nothing.
        editor->renameButton()->click();
        editor->deleteButton()->click();
        select_row(editor->m_list, "alpha");
        MessageBox::setNextAnswer(MessageBox::Answer::Cancel);
        editor->deleteButton()->click();
        rowsAfterCancel = editor->m_list->count();
        editor->deleteButton()->click();
        editor->accept();
    });
    EXPECT_EQ(MessageBox::takeAsked(), (QStringList{kSelectCategory, kSelectCategory, kAskPurge, kAskPurge}));
    EXPECT_EQ(rowsAfterCancel, 2);
    const KindSlot freed{};
    EXPECT_EQ(std::memcmp(&KindTable[0], &freed, sizeof freed), 0);
    EXPECT_EQ(read_record_file(dataFile()).records,
              (std::vector{CatgRecord{}, other, CatgRecord{}, CatgRecord{}, CatgRecord{}}));
    EXPECT_EQ(recordRows(), QStringList{"b1"}); // "(ALL)" is current
}

TEST_F(KindEditTest, CategoryChangesTheFileDoesNotTakeAreNamedAtTheEnd)
{
    writeDataFile({{10, "alpha"}, {20, "beta"}}, {plain_record(1, 10, "a1")});
    openWindow(0);
    const std::string before = testenv::read_file(dataFile());
    make_session_read_only(); // the file will not be written in this run
    editCategories([&](KindEditDlg* editor) {
        add_category(editor, QStringLiteral("gamma"));
        editor->accept();
    });
    EXPECT_EQ(MessageBox::takeAsked(),
              QStringList{QStringLiteral(
                  "カテゴリの変更をデータファイルに書き込めませんでした。終了時にもう一度書き込みます")});
    strcpy(KindTable[1].name, "beta2");
    KindTable[0] = {};
    m_window.reset();
    EXPECT_EQ(
        MessageBox::takeAsked(),
        QStringList{QStringLiteral("データファイルに書き込めなかったため、次のカテゴリの変更は保存されませんでした\n"
                                   "名前の変更: beta2\n追加: gamma\n削除: alpha")});
    EXPECT_EQ(testenv::read_file(dataFile()), before);
}

TEST_F(KindEditTest, A129thCategoryIsRefusedWithAMessage)
{
    Headers headers;
    for (int i = 0; i < KIND_MAX; ++i) {
        std::string name = "k";
        name += std::to_string(1000 + i);
        headers.emplace_back(10 * (i + 1), name);
    }
    writeDataFile(headers, {});
    openWindow(0);
    int rowsAfter = 0;
    editCategories([&](KindEditDlg* editor) {
        add_category(editor, QStringLiteral("one too many"));
        rowsAfter = editor->m_list->count();
        editor->accept();
    });
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{QStringLiteral("これ以上カテゴリを追加できません")});
    EXPECT_EQ(rowsAfter, KIND_MAX);
    EXPECT_EQ(categoryRows().size(), KIND_MAX + 1);
    EXPECT_FALSE(categoryRows().contains("one too many"));
}

TEST_F(KindEditTest, EscapeOpensTheEditorAfterStoringThePane)
{
    writeDataFile({{10, "alpha"}}, {plain_record(1, 10, "a1", "old")});
    openWindow(1);
    select_row(m_window->m_list2, "a1");
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

TEST_F(KindEditTest, SettingsCommandWarnsAndLeavesTheHeaderUnwrittenAfterward)
{
    writeDataFile({{10, "alpha"}}, {plain_record(1, 10, "a1")});
    openWindow(1);
    editCategories([&](KindEditDlg* editor) {
        add_category(editor, QStringLiteral("beta"));
        editor->accept();
    });
    // What the editor wrote as it closed stays; nothing is written at the end.
    const std::string before = testenv::read_file(dataFile());
    EXPECT_EQ(read_record_file(dataFile()).count, 2);

    // The warning answered with Cancel changes nothing.
    MessageBox::setNextAnswer(MessageBox::Answer::Cancel);
    m_window->onSettings();
    EXPECT_EQ(g_app_config.datafile_changed, 0);
    // Answered with OK and the dialog cancelled: the window keeps running.
    when_modal<SettingsDlg>([](SettingsDlg* settings) { settings->reject(); });
    m_window->onSettings();
    EXPECT_EQ(g_app_config.datafile_changed, 1);
    EXPECT_FALSE(m_window->ended());
    // Confirmed: the window ends with the restart message.
    when_modal<SettingsDlg>([](SettingsDlg* settings) { settings->accept(); });
    m_window->onSettings();
    EXPECT_TRUE(m_window->ended());
    const QString warning =
        QStringLiteral("データファイルの設定を変更すると、現在編集中のデータは破棄されますが、よろしいですか？");
    EXPECT_EQ(MessageBox::takeAsked(), (QStringList{warning, warning, warning,
                                                    QStringLiteral("設定を変更しましたので、起動しなおしてください")}));

    m_window.reset();
    EXPECT_EQ(testenv::read_file(dataFile()), before);
}

} // namespace
