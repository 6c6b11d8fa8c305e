// Find (Ctrl+F) and find next (F3): the folding that ignores case and width,
// and the commands driven through the real window and its dialogs.
#include "app/dialogs/FindDlg.h"
#include "app/dialogs/FindResultsDlg.h"
#include "app/main_window/data_pane.h"
#include "app/main_window/kestrelDlg.h"
#include "app/main_window/list_index.h"
#include "app/main_window/record_find.h"
#include "app/main_window/record_list.h"
#include "app/widgets/message_box.h"
#include "app_fixture_helpers.h"
#include "modal_script_helpers.h"

#include "platform/list_order.h"
#include "store/app_config.h"

#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTreeView>

#include <algorithm>

namespace {

struct Span
{
    bool found;
    int start;
    int length;
    bool operator==(const Span&) const = default;
};
void PrintTo(const Span& s, std::ostream* out)
{
    *out << (s.found ? "at " : "none ") << s.start << "+" << s.length;
}

Span find_in(const QString& needle, const QString& text)
{
    Span span{false, -1, 0};
    span.found = TextFinder(needle).find(text, span.start, span.length);
    return span;
}

TEST(TextFinder, IgnoresCaseAndWidthAndMatchesWholeCharacters)
{
    EXPECT_EQ(find_in("abc", QStringLiteral("xxＡＢＣyy")), (Span{true, 2, 3}));
    EXPECT_EQ(find_in(QStringLiteral("ＡｂＣ"), "--aBc"), (Span{true, 2, 3}));
    EXPECT_EQ(find_in(QStringLiteral("カタカナ"), QStringLiteral("ｶﾀｶﾅ")), (Span{true, 0, 4}));
    EXPECT_EQ(find_in(QStringLiteral("ｶﾀｶﾅ"), QStringLiteral("のカタカナ")), (Span{true, 1, 4}));
    // Voiced half-width katakana are two characters that fold like one.
    EXPECT_EQ(find_in(QStringLiteral("パスワード"), QStringLiteral("旧ﾊﾟｽﾜｰﾄﾞ")), (Span{true, 1, 7}));
    EXPECT_EQ(find_in(QStringLiteral("ﾊﾟｽ"), QStringLiteral("パス")), (Span{true, 0, 2}));
    // A plain kana does not find its voiced form, in either width.
    EXPECT_EQ(find_in(QStringLiteral("カ"), QStringLiteral("ガｶﾞ")).found, false);
    EXPECT_EQ(find_in(QStringLiteral("カ"), QStringLiteral("ｶﾞカ")), (Span{true, 2, 1}));
    EXPECT_EQ(find_in(QStringLiteral("ひらがな"), QStringLiteral("ヒラガナ")).found, false);
    // Nor the voiced form written with a combining mark of its own.
    EXPECT_EQ(find_in(QStringLiteral("カ"), QStringLiteral("カ\u3099x")).found, false);
    EXPECT_EQ(find_in(QStringLiteral("カ"), QStringLiteral("カ\u3099カ")), (Span{true, 2, 1}));
    EXPECT_EQ(find_in("", "abc").found, false);
}

const QString kNotFound = QStringLiteral("見つかりませんでした");

class FindTest : public AppTest
{
protected:
    // Two categories, 銀行 (10) and メール (20); one record of a category the
    // table no longer has, reachable under "(ALL)" only.
    void SetUp() override
    {
        AppTest::SetUp();
        writeDataFile({{10, sj("銀行")}, {20, sj("メール")}},
                      {plain_record(1, 10, sj("みずほ"), sj("支店 123\r\nパスワード ＡＢＣ")),
                       plain_record(1, 20, "gmail", "user@gmail.com\r\npass: abc"), plain_record(1, 10, sj("ゆうちょ")),
                       plain_record(1, 20, "Gmail", "second account"),
                       plain_record(1, 999, sj("ｶﾀｶﾅ帳"), "orphan\r\nMAIL box"), CatgRecord{}});
    }

    // Shortcuts reach the active window only.
    void pressFind() { press(Qt::Key_F, Qt::ControlModifier); }
    void pressNext() { press(Qt::Key_F3, Qt::NoModifier); }
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers)
    {
        m_window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : m_window.get(), key, modifiers);
    }
    void findText(const QString& text)
    {
        when_modal<FindDlg>([text](FindDlg* d) {
            d->edit()->clear();
            type_text(d->edit(), text);
            QTest::keyClick(d->edit(), Qt::Key_Return);
        });
    }
    // "text=record index" of the selected record row, and the pane's selection.
    QString shownRecord() const
    {
        const RecordList* list = m_window->m_list2;
        const int row = list->selectedRow();
        if (row < 0)
            return QStringLiteral("none");
        return QStringLiteral("%1=%2").arg(list->text(row)).arg(list->recordIndex(row));
    }
    QString paneSelection() const { return m_window->m_edit1->textCursor().selectedText(); }
    QString category() const
    {
        const auto selected = m_window->m_list1->selectedItems();
        return selected.size() == 1 ? selected[0]->text() : QStringLiteral("none");
    }
};

TEST_F(FindTest, CtrlFStoresThePaneFirstAndOpensTheOneMatchInTheListShown)
{
    openWindow(2); // 銀行
    select_row(m_window->m_list2, QStringLiteral("ゆうちょ"));
    typeIntoPane(QStringLiteral("合言葉 ｶﾞｲﾄﾞ"));
    std::string storedBeforeSearch;
    when_modal<FindDlg>([&](FindDlg* d) {
        storedBeforeSearch = data_of(read_record_file(dataFile()).records.at(2));
        EXPECT_EQ(d->windowTitle(), QStringLiteral("検索"));
        EXPECT_EQ(d->edit()->text(), QString());
        type_text(d->edit(), QStringLiteral("ガイド"));
        QTest::keyClick(d->edit(), Qt::Key_Return);
    });
    pressFind();
    EXPECT_EQ(storedBeforeSearch, sj("合言葉 ｶﾞｲﾄﾞ"));
    // The list shown holds the record: no refill under "(ALL)".
    EXPECT_EQ(category(), QStringLiteral("銀行"));
    EXPECT_EQ(g_app_config.kind_cursel, 2);
    EXPECT_EQ(shownRecord(), QStringLiteral("ゆうちょ=2"));
    EXPECT_TRUE(m_window->m_edit1->isEnabled());
    EXPECT_EQ(paneSelection(), QStringLiteral("ｶﾞｲﾄﾞ"));
    EXPECT_TRUE(MessageBox::takeAsked().isEmpty());
}

TEST_F(FindTest, SeveralMatchesAreListedInRecordListOrderAndTheChosenOneOpens)
{
    openWindow(1); // メール
    findText(QStringLiteral("ＭＡＩＬ"));
    QStringList listed;
    when_modal<FindResultsDlg>([&](FindResultsDlg* d) {
        QTreeView* list = d->list();
        const QAbstractItemModel* model = list->model();
        for (int row = 0; row < model->rowCount(); ++row)
            listed << model->index(row, 0).data().toString() + "|" + model->index(row, 1).data().toString() + "|" +
                          model->index(row, 2).data().toString();
        list->setCurrentIndex(model->index(2, 0));
        QTest::keyClick(list, Qt::Key_Return);
    });
    pressFind();
    // Equal names as the record list has them: the later record first. Only
    // the name of Gmail holds the text; the record of no category has none.
    EXPECT_EQ(listed, (QStringList{"Gmail|メール|Gmail", "gmail|メール|user@gmail.com", "ｶﾀｶﾅ帳||MAIL box"}));
    EXPECT_EQ(rows_with_data(m_window->m_list2),
              (QStringList{"Gmail=3", "gmail=1", "ｶﾀｶﾅ帳=4", "みずほ=0", "ゆうちょ=2"}));
    EXPECT_EQ(category(), QStringLiteral("(ALL)"));
    EXPECT_EQ(shownRecord(), QStringLiteral("ｶﾀｶﾅ帳=4"));
    EXPECT_EQ(paneSelection(), QStringLiteral("MAIL"));

    // Cancelled: nothing is opened, the pane stays stored and closed.
    findText(QStringLiteral("abc"));
    when_modal<FindResultsDlg>([](FindResultsDlg* d) { QTest::keyClick(d->list(), Qt::Key_Escape); });
    pressFind();
    EXPECT_FALSE(m_window->m_edit1->isEnabled());
    EXPECT_TRUE(MessageBox::takeAsked().isEmpty());
}

TEST_F(FindTest, EmptyTextIsRefusedNoMatchIsToldAndTheLastTextComesBackSelected)
{
    openWindow(1); // メール
    bool stayedOpen = false;
    when_modal<FindDlg>([&](FindDlg* d) {
        QTest::keyClick(d->edit(), Qt::Key_Return);
        stayedOpen = d->isVisible();
        type_text(d->edit(), QStringLiteral("どこにもない"));
        QTest::keyClick(d->edit(), Qt::Key_Return);
    });
    pressFind();
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(MessageBox::takeAsked(), (QStringList{QStringLiteral("検索する文字列を入力してください"), kNotFound}));
    EXPECT_EQ(category(), QStringLiteral("メール"));
    EXPECT_EQ(rows(m_window->m_list2), (QStringList{"Gmail", "gmail"}));

    QString shown, selected;
    when_modal<FindDlg>([&](FindDlg* d) {
        shown = d->edit()->text();
        selected = d->edit()->selectedText();
        QTest::keyClick(d->edit(), Qt::Key_Escape);
    });
    pressFind();
    EXPECT_EQ(shown, QStringLiteral("どこにもない"));
    EXPECT_EQ(selected, shown);
    EXPECT_TRUE(MessageBox::takeAsked().isEmpty());
}

TEST_F(FindTest, F3GoesOnFromTheSelectedRecordInListOrderAndWrapsAround)
{
    openWindow(2); // 銀行
    // With nothing searched yet, F3 asks for the text like Ctrl+F.
    findText(QStringLiteral("a"));
    when_modal<FindResultsDlg>([](FindResultsDlg* d) { d->accept(); }); // the first row
    pressNext();
    QStringList visited{shownRecord()};
    for (int i = 0; i < 5; ++i) {
        pressNext();
        visited << shownRecord() + ":" + paneSelection();
    }
    // Every record but ゆうちょ holds an "a"; the last one wraps to the first.
    EXPECT_EQ(visited, (QStringList{"Gmail=3", "gmail=1:a", "ｶﾀｶﾅ帳=4:a", "みずほ=0:Ａ", "Gmail=3:a", "gmail=1:a"}));

    // From a record selected in its own category, F3 goes on after it: here
    // the last row of the list, so back to the first.
    select_row(m_window->m_list1, QStringLiteral("銀行"));
    select_row(m_window->m_list2, QStringLiteral("ゆうちょ"));
    pressNext();
    EXPECT_EQ(category(), QStringLiteral("(ALL)"));
    EXPECT_EQ(shownRecord(), QStringLiteral("Gmail=3"));
    EXPECT_TRUE(MessageBox::takeAsked().isEmpty());
}

TEST_F(FindTest, ALargeFileFoundInPartsGivesItsHitsInListOrder)
{
    // Enough records for the find to walk parts at once; every third holds
    // the word, names repeat in other cases across the parts.
    std::vector<CatgRecord> records;
    std::vector<std::pair<std::string, int>> holding; // key, index
    for (int i = 0; i < 12000; ++i) {
        const std::string name = (i % 2 ? "Name " : "name ") + std::to_string(i * 7919 % 2003);
        records.push_back(plain_record(1, 10, name, i % 3 ? "nothing" : "the word"));
        if (i % 3 == 0)
            holding.emplace_back(list_order::key_cp932(name), i);
    }
    writeDataFile({{10, sj("銀行")}}, records);
    std::sort(holding.begin(), holding.end(), [](const auto& a, const auto& b) {
        return list_order::row_before(a.first, a.second, b.first, b.second);
    });
    std::vector<FindHit> hits;
    ASSERT_TRUE(find_records(dataFile().c_str(), QStringLiteral("WORD"), hits));
    ASSERT_EQ(hits.size(), holding.size());
    for (size_t i = 0; i < hits.size(); ++i)
        ASSERT_EQ(hits[i].index, holding[i].second) << "hit " << i;
    EXPECT_EQ(hits[0].start, 4);
    // Placed by the record list's kept order, and by name again when that
    // order is not this file's: the same hits in the same order.
    const auto indices = [](const std::vector<FindHit>& found) {
        std::vector<int> out;
        for (const FindHit& hit : found)
            out.push_back(hit.index);
        return out;
    };
    ListIndex kept;
    const std::vector<int> other{0, 3};
    for (const std::vector<int>* listed : {kept.order(dataFile().c_str()), &other}) {
        std::vector<FindHit> placed;
        ASSERT_NE(listed, nullptr);
        ASSERT_TRUE(find_records(dataFile().c_str(), QStringLiteral("WORD"), placed, listed));
        EXPECT_EQ(indices(placed), indices(hits));
    }
    // The next hit after a record, and after the last one the first again.
    const std::string name = (std::string(records[1].name));
    const auto after = std::upper_bound(
        holding.begin(), holding.end(), std::pair(list_order::key_cp932(name), 1),
        [](const auto& a, const auto& b) { return list_order::row_before(a.first, a.second, b.first, b.second); });
    EXPECT_EQ(next_hit(dataFile().c_str(), hits, name, 1).index, after->second);
    EXPECT_EQ(next_hit(dataFile().c_str(), hits, records[holding.back().second].name, holding.back().second).index,
              holding.front().second);
}

} // namespace
