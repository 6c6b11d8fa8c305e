// The keyboard of every window as on the Windows dialogs: where the focus
// starts, the whole Tab chain, what Enter presses, the window manager's close
// request, and Qt's own texts in Japanese.
#include "app_fixture_helpers.h"
#include "modal_script_helpers.h"

#include "app/dialogs/AboutDlg.h"
#include "app/dialogs/CatgChangeDlg.h"
#include "app/dialogs/DataInputDlg.h"
#include "app/dialogs/KindEditDlg.h"
#include "app/dialogs/LoginDlg.h"
#include "app/dialogs/optwin.h"
#include "app/main_window/data_pane.h"
#include "app/main_window/record_list.h"
#include "app/widgets/dialog_units.h"
#include "app/widgets/focus_style.h"
#include "app/widgets/list_item.h"
#include "app/widgets/message_box.h"
#include "app/widgets/qt_translations.h"
#include "store/app_config.h"
#include "store/kind_table.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStyleOptionGroupBox>
#include <QTest>

#include <cstring>

namespace {

const QString kSelectCategory = QStringLiteral("カテゴリを選択してください");
const QString kAskSettings =
    QStringLiteral("データファイルの設定を変更すると、現在編集中のデータは破棄されますが、よろしいですか？");

// A control as a user hears it: a button by its text, others by their name.
QString describe(const QWidget* widget)
{
    if (!widget)
        return QStringLiteral("(no focus)");
    if (const auto* button = qobject_cast<const QPushButton*>(widget))
        return button->text();
    return widget->accessibleName();
}

// The focused control, then each one that Tab moves to: `steps` in all.
QStringList tab_chain(QWidget* window, int steps)
{
    QStringList chain;
    for (int i = 0; i < steps; ++i) {
        QWidget* focus = window->focusWidget();
        chain << describe(focus);
        if (!focus)
            break;
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    return chain;
}

QPushButton* button(QWidget* window, const QString& text)
{
    for (QPushButton* candidate : window->findChildren<QPushButton*>())
        if (candidate->text() == text)
            return candidate;
    ADD_FAILURE() << "no button " << text.toStdString();
    return nullptr;
}

// Moves the focus to a button and presses Enter there.
void enter_on(QWidget* window, const QString& text)
{
    QPushButton* target = button(window, text);
    target->setFocus(Qt::TabFocusReason);
    QTest::keyClick(target, Qt::Key_Return);
}

class KeyboardTest : public AppTest
{
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        writeDataFile({{10, "alpha"}, {20, "beta"}, {30, "gamma"}},
                      {plain_record(1, 10, "a1", "text"), plain_record(1, 20, "b1", "keep")});
    }
    const QStringList kMainButtons{"追加", "削除", "変更", "カテゴリ編集", "設定", "About", "閉じる"};
};

TEST_F(KeyboardTest, MainWindowFocusStartsOnTheCategoriesAndTabFollowsTheTemplate)
{
    openWindow(1);
    // The disabled pane is passed over; after 閉じる the round starts again.
    EXPECT_EQ(tab_chain(m_window.get(), 10),
              (QStringList{"ｶﾃｺﾞﾘｰ", "レコード"} + kMainButtons + QStringList{"ｶﾃｺﾞﾘｰ"}));
    EXPECT_EQ(m_window->m_edit1->accessibleName(), QStringLiteral("データ"));

    // An open pane comes after the record list; Tab leaves it, Ctrl+Tab types a tab.
    select_row(m_window->m_list2, "a1");
    m_window->m_list2->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(tab_chain(m_window.get(), 3), (QStringList{"レコード", "データ", "追加"}));
    // The chain above ended with Tab on 追加; Shift+Tab twice goes back into the pane.
    QTest::keyClick(m_window->focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    QTest::keyClick(m_window->focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(m_window->focusWidget(), m_window->m_edit1);
    m_window->m_edit1->moveCursor(QTextCursor::End);
    QTest::keyClick(m_window->m_edit1, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(m_window->m_edit1->toPlainText(), QStringLiteral("text\t"));
    EXPECT_EQ(m_window->focusWidget(), m_window->m_edit1);
}

TEST_F(KeyboardTest, EnterInTheMainWindowsListsClosesAndSavesAndOnAButtonPressesIt)
{
    openWindow(1);
    select_row(m_window->m_list2, "a1");
    typeIntoPane(QStringLiteral("\nmore")); // Enter in the pane is a line break
    EXPECT_FALSE(m_window->ended());
    // Enter on a focused button presses that button and no other.
    EXPECT_TRUE(opens_modal<DataInputDlg>([&] { enter_on(m_window.get(), "追加"); }));
    EXPECT_FALSE(m_window->ended());
    EXPECT_EQ(read_record_file(dataFile()).records.at(0), plain_record(1, 10, "a1", "text\r\nmore"));

    m_window->m_list2->clearSelection(); // the command left the row selected, the pane closed
    select_row(m_window->m_list2, "a1");
    typeIntoPane(QStringLiteral("+"));
    m_window->m_list2->setFocus(Qt::TabFocusReason);
    QTest::keyClick(m_window->m_list2, Qt::Key_Return);
    EXPECT_TRUE(m_window->ended());
    EXPECT_FALSE(m_window->isVisible());
    m_window.reset();
    const RecordFileContents file = read_record_file(dataFile());
    EXPECT_EQ(file.records.at(0), plain_record(1, 10, "a1", "text\r\nmore+"));
    EXPECT_EQ(file.count, 3);
    EXPECT_EQ(config_value("kest_kindcsl"), sz_value("1"));

    // The category list, where the focus starts, closes the same way.
    openWindow(2);
    QTest::keyClick(m_window->focusWidget(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(m_window->ended());
}

TEST_F(KeyboardTest, WindowManagersCloseRequestIsTheCloseButton)
{
    openWindow(1);
    select_row(m_window->m_list2, "a1");
    typeIntoPane(QStringLiteral(" typed"));
    EXPECT_TRUE(m_window->close());
    EXPECT_TRUE(m_window->ended());
    EXPECT_EQ(read_record_file(dataFile()).records.at(0), plain_record(1, 10, "a1", "text typed"));
    EXPECT_TRUE(MessageBox::takeAsked().isEmpty()); // not the category editor's cancel command
}

// Tab into a list leaves the caret on its first row, unselected; Home there
// selects that row and notifies as a click does, and so do End, Page Up and
// Page Down. The lists hold whole rows and scroll only up and down.
TEST_F(KeyboardTest, HomeAndEndSelectTheRowTheyMoveTo)
{
    openWindow(0); // (ALL): a1, b1
    RecordList* records = m_window->m_list2;
    // Where Tab into the list puts the caret.
    records->selectionModel()->setCurrentIndex(records->model()->index(0, 0), QItemSelectionModel::NoUpdate);
    ASSERT_EQ(records->currentRow(), 0);
    ASSERT_EQ(records->selectedRow(), -1);
    const struct
    {
        Qt::Key key;
        int row;
        const char* pane;
    } steps[] = {{Qt::Key_Home, 0, "text"},
                 {Qt::Key_End, 1, "keep"},
                 {Qt::Key_PageUp, 0, "text"},
                 {Qt::Key_PageDown, 1, "keep"}};
    for (const auto& step : steps) {
        QTest::keyClick(records, step.key);
        EXPECT_EQ(records->selectedRow(), step.row) << step.key;
        EXPECT_EQ(m_window->m_edit1->toPlainText(), step.pane) << step.key;
    }
    {
        const QSignalBlocker quiet(records);
        records->clearSelection();
    }
    QTest::keyClick(records, Qt::Key_End); // the caret stands on the last row already
    EXPECT_EQ(records->selectedRow(), 1);
    EXPECT_TRUE(m_window->m_edit1->isEnabled());

    QListWidget* categories = m_window->m_list1;
    {
        const QSignalBlocker quiet(categories);
        categories->setCurrentRow(1, QItemSelectionModel::Clear); // beta's row, unselected
    }
    QTest::keyClick(categories, Qt::Key_Home);
    EXPECT_EQ(selected_row(categories), 0);
    EXPECT_EQ(rows(records), (QStringList{"a1", "b1"}));
    QTest::keyClick(categories, Qt::Key_End);
    EXPECT_EQ(selected_row(categories), 3);
    EXPECT_TRUE(rows(records).isEmpty()); // gamma's: the refill ran

    for (const QListView* list : {static_cast<QListView*>(categories), static_cast<QListView*>(records)}) {
        EXPECT_EQ(list->viewport()->height() % list->sizeHintForRow(0), 0);
        EXPECT_EQ(list->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        EXPECT_EQ(list->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    }
}

TEST_F(KeyboardTest, SettingsDialogEnterPressesTheFocusedButtonElseOk)
{
    std::strcpy(g_app_config.datafile, "/old.dat");
    {
        SettingsDlg settings;
        settings.show();
        EXPECT_EQ(tab_chain(&settings, 6),
                  (QStringList{"データファイル：", "...", "新パスワード：", "OK", "ｷｬﾝｾﾙ", "データファイル："}));
        // A typed path and Enter on ｷｬﾝｾﾙ store nothing.
        settings.m_path->setText(QStringLiteral("/new.dat"));
        enter_on(&settings, "ｷｬﾝｾﾙ");
        EXPECT_EQ(settings.m_result, 0);
        EXPECT_FALSE(settings.isVisible());
        EXPECT_STREQ(g_app_config.datafile, "/old.dat");
    }
    {
        SettingsDlg settings;
        settings.show();
        // Enter on "..." browses and leaves the dialog open.
        MessageBox::setNextFileName(QStringLiteral("/picked.dat"));
        enter_on(&settings, "...");
        EXPECT_TRUE(settings.isVisible());
        EXPECT_EQ(settings.m_path->text(), QStringLiteral("/picked.dat"));
        EXPECT_STREQ(g_app_config.datafile, "/old.dat");
        enter_on(&settings, "OK");
        EXPECT_EQ(settings.m_result, 1);
        EXPECT_STREQ(g_app_config.datafile, "/picked.dat");
    }
    {
        // With a password set the current-password field joins the chain; Enter
        // in a field is OK.
        std::strcpy(g_app_config.password, "pw");
        SettingsDlg settings;
        settings.show();
        EXPECT_EQ(tab_chain(&settings, 4),
                  (QStringList{"データファイル：", "...", "旧パスワード：", "新パスワード："}));
        settings.m_path->setFocus(Qt::TabFocusReason);
        settings.m_path->setText(QStringLiteral("/field.dat"));
        QTest::keyClick(settings.m_path, Qt::Key_Return);
        EXPECT_EQ(settings.m_result, 1);
        EXPECT_STREQ(g_app_config.datafile, "/field.dat");
        EXPECT_EQ(MessageBox::takeAsked(),
                  QStringList{QStringLiteral("旧パスワードが間違っています。パスワードを更新できませんでした")});
    }
}

TEST_F(KeyboardTest, SmallDialogsStartOnTheirFirstControl)
{
    QStringList login;
    std::strcpy(g_app_config.password, "pw");
    {
        LoginDlg dialog;
        dialog.show();
        login = tab_chain(&dialog, 4);
    }
    EXPECT_EQ(login, (QStringList{"ログインパスワードを入力してください", "OK", "ｷｬﾝｾﾙ",
                                  "ログインパスワードを入力してください"}));
    {
        AboutDlg about;
        about.show();
        EXPECT_EQ(tab_chain(&about, 2), (QStringList{"OK", "OK"}));
        EXPECT_FALSE(about.windowFlags() & Qt::WindowMinimizeButtonHint);
        // A minimised modal dialog would leave nothing to click: it comes back.
        about.setWindowState(Qt::WindowMinimized);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        EXPECT_FALSE(about.isMinimized());
    }

    // The input dialog selects the text it shows, so typing replaces it; Enter
    // on ｷｬﾝｾﾙ cancels.
    DataInputDlg input;
    std::strcpy(input.m_text, "old");
    QStringList chain;
    QString selected;
    when_modal<DataInputDlg>([&](DataInputDlg* d) {
        selected = d->edit()->selectedText();
        chain = tab_chain(d, 4);
        enter_on(d, "ｷｬﾝｾﾙ");
    });
    input.exec();
    EXPECT_EQ(selected, QStringLiteral("old"));
    EXPECT_EQ(chain, (QStringList{"データ入力", "OK", "ｷｬﾝｾﾙ", "データ入力"}));
    EXPECT_EQ(input.m_result, 0);

    // The change-category list has no row selected; Enter there is OK and refused.
    openWindow(1);
    CatgChangeDlg change;
    change.m_index = 0;
    when_modal<CatgChangeDlg>([&](CatgChangeDlg* d) {
        chain = tab_chain(d, 4);
        QTest::keyClick(d->m_list, Qt::Key_Return);
        EXPECT_TRUE(d->isVisible());
        enter_on(d, "ｷｬﾝｾﾙ");
    });
    change.exec();
    EXPECT_EQ(chain,
              (QStringList{"新しいカテゴリを選択してください", "OK", "ｷｬﾝｾﾙ", "新しいカテゴリを選択してください"}));
    EXPECT_EQ(MessageBox::takeAsked(), QStringList{kSelectCategory});
}

TEST_F(KeyboardTest, CategoryEditorSelectsNoRowAfterARenameOrADelete)
{
    openWindow(1);
    QStringList chain;
    QStringList asked;
    bool renamedSelected = true;
    bool deletedSelected = true;
    when_modal<KindEditDlg>([&](KindEditDlg* editor) {
        chain = tab_chain(editor, 6);
        select_row(editor->m_list, "beta");
        answer_input(QStringLiteral("bravo"));
        enter_on(editor, "変更");
        renamedSelected = selected_item(editor->m_list) != nullptr;
        // Two more presses of Enter on 削除 delete nothing.
        QTest::keyClick(editor->deleteButton(), Qt::Key_Return);
        QTest::keyClick(editor->deleteButton(), Qt::Key_Return);
        asked = MessageBox::takeAsked();

        select_row(editor->m_list, "alpha");
        enter_on(editor, "削除");
        deletedSelected = selected_item(editor->m_list) != nullptr;
        QTest::keyClick(editor->deleteButton(), Qt::Key_Return);
        // Enter in the list presses the default button 閉じる.
        editor->m_list->setFocus(Qt::TabFocusReason);
        QTest::keyClick(editor->m_list, Qt::Key_Return);
    });
    m_window->onKindEdit();
    EXPECT_EQ(chain, (QStringList{"ﾀﾞｲｱﾛｸﾞ", "追加", "変更", "削除", "閉じる", "ﾀﾞｲｱﾛｸﾞ"}));
    EXPECT_FALSE(renamedSelected);
    EXPECT_FALSE(deletedSelected);
    EXPECT_EQ(asked, (QStringList{kSelectCategory, kSelectCategory}));
    EXPECT_EQ(MessageBox::takeAsked(),
              (QStringList{QStringLiteral("カテゴリとそのカテゴリに関連のあるデータを全て消去します。よろしいですか？"),
                           kSelectCategory}));
    EXPECT_EQ(rows(m_window->m_list1), (QStringList{"(ALL)", "bravo", "gamma"}));
    // Only alpha's record was freed; beta's record, now bravo's, is kept.
    const RecordFileContents file = read_record_file(dataFile());
    EXPECT_EQ(file.records.at(0).flag, 0);
    EXPECT_EQ(file.records.at(1), plain_record(1, 20, "b1", "keep"));
}

TEST_F(KeyboardTest, QuestionBoxSpeaksJapaneseAndBreaksAtPhraseEnds)
{
    ASSERT_TRUE(load_qt_translations());
    MessageBox::setTestMode(false);
    QStringList buttons;
    QString shown;
    when_modal<QMessageBox>([&](QMessageBox* box) {
        for (const QAbstractButton* b : box->buttons())
            buttons << b->text();
        shown = box->text();
        box->button(QMessageBox::Cancel)->click();
    });
    const bool answer = MessageBox::question(kAskSettings);
    MessageBox::setTestMode(true);
    EXPECT_FALSE(answer);
    buttons.sort();
    EXPECT_EQ(buttons, (QStringList{"OK", "キャンセル"}));
    EXPECT_EQ(QString(shown).remove(QLatin1Char('\n')), kAskSettings);

    const QFontMetrics metrics(dialog_font(10));
    const QString first = QStringLiteral("データファイルの設定を変更すると、");
    const QString second = QStringLiteral("現在編集中のデータは破棄されますが、");
    const QString last = QStringLiteral("よろしいですか？");
    const int both = metrics.horizontalAdvance(first + second);
    EXPECT_EQ(phrase_lines(kAskSettings, metrics, 10000), kAskSettings);
    EXPECT_EQ(phrase_lines(kAskSettings, metrics, both), first + second + "\n" + last);
    EXPECT_EQ(phrase_lines(kAskSettings, metrics, both - 1), first + "\n" + second + last);
    // A phrase wider than the box keeps its line: the box widens instead.
    EXPECT_EQ(phrase_lines(kAskSettings, metrics, 1), first + "\n" + second + "\n" + last);
    EXPECT_EQ(phrase_lines(kSelectCategory, metrics, 1), kSelectCategory);
}

TEST(FocusStyleTest, GroupBoxFrameLineRunsThroughTheCaption)
{
    FocusStyle style;
    QGroupBox box(QStringLiteral("データ"));
    box.setFont(dialog_font(10));
    box.setGeometry(0, 0, 200, 100);
    QStyleOptionGroupBox option;
    option.initFrom(&box);
    option.text = box.title();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QRect frame = style.subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, &box);
    const QRect label = style.subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, &box);
    // The line lies half a caption below the box's top, and the caption straddles it.
    EXPECT_EQ(frame.top(), option.fontMetrics.height() / 2);
    EXPECT_EQ(frame.bottom(), 99);
    EXPECT_EQ(label.top(), 0);
    EXPECT_GT(label.bottom(), frame.top());
    EXPECT_GE(label.width(), option.fontMetrics.horizontalAdvance(box.title()));
}

} // namespace
