// A test-only build of kestrel: the same application object and windows as
// the real program, with a scripted user in place of a person. The script,
// chosen by the first argument, waits for each expected window (message box,
// dialog, main window) to become the active modal widget and acts on it as a
// user would: typing keys, selecting rows, clicking buttons. The real program
// reads no command line; only this variant does.
#include "app/dialogs/CatgChangeDlg.h"
#include "app/dialogs/DataInputDlg.h"
#include "app/dialogs/KindEditDlg.h"
#include "app/dialogs/optwin.h"
#include "app/kestrel.h"
#include "app/main_window/data_pane.h"
#include "app/main_window/kestrelDlg.h"
#include "app/main_window/record_list.h"
#include "key_typing_helpers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

kestrelApp theApp;

namespace {

struct Step
{
    std::string what;
    // Acts when `widget` is the window this step expects; false to wait.
    std::function<bool(QWidget*)> act;
};

class ScriptedUser : public QObject
{
public:
    explicit ScriptedUser(std::vector<Step> steps) : m_steps(std::move(steps)) { schedule(); }
    bool finished() const { return m_next == m_steps.size(); }

private:
    void schedule() { QTimer::singleShot(10, this, &ScriptedUser::tick); }
    void tick()
    {
        if (finished())
            return;
        QWidget* widget = QApplication::activeModalWidget();
        if (widget && m_steps[m_next].act(widget)) {
            ++m_next;
            m_idle = 0;
        } else if (++m_idle > 3000) {
            std::fprintf(stderr, "scripted user stuck at step %zu: %s\n", m_next, m_steps[m_next].what.c_str());
            _exit(3);
        }
        schedule();
    }

    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    int m_idle = 0;
};

// Clicks after the current step has returned, so that a dialog opened by the
// click runs its modal loop outside the script's own call.
void click_later(QAbstractButton* button)
{
    QTimer::singleShot(0, button, &QAbstractButton::click);
}

QPushButton* button_named(QWidget* window, const QString& text)
{
    for (QPushButton* button : window->findChildren<QPushButton*>())
        if (button->text() == text)
            return button;
    std::fprintf(stderr, "no button %s\n", text.toUtf8().constData());
    _exit(4);
}

void select_row(QListWidget* list, const QString& text)
{
    const QList<QListWidgetItem*> items = list->findItems(text, Qt::MatchExactly);
    if (items.size() != 1) {
        std::fprintf(stderr, "no single row %s\n", text.toUtf8().constData());
        _exit(4);
    }
    list->setCurrentItem(items.first());
}

void select_row(RecordList* list, const QString& text)
{
    int found = -1;
    for (int row = 0; row < list->count(); ++row) {
        if (list->text(row) != text)
            continue;
        if (found >= 0) {
            found = -1;
            break;
        }
        found = row;
    }
    if (found < 0) {
        std::fprintf(stderr, "no single row %s\n", text.toUtf8().constData());
        _exit(4);
    }
    list->setCurrentRow(found);
}

template <class Window> Step on(const std::string& what, std::function<void(Window*)> action)
{
    return {what, [action](QWidget* widget) {
                auto* window = dynamic_cast<Window*>(widget);
                if (!window)
                    return false;
                action(window);
                return true;
            }};
}

Step message(const QString& text)
{
    return {"message " + text.toStdString(), [text](QWidget* widget) {
                auto* box = dynamic_cast<QMessageBox*>(widget);
                if (!box || box->text() != text)
                    return false;
                click_later(box->button(QMessageBox::Ok));
                return true;
            }};
}

Step input(const QString& text)
{
    return on<DataInputDlg>("input " + text.toStdString(), [text](DataInputDlg* dialog) {
        type_text(dialog->edit(), text);
        click_later(button_named(dialog, QStringLiteral("OK")));
    });
}

std::vector<Step> first_run(const QString& datafile)
{
    return {
        message(QStringLiteral("構成データがありませんので、初期設定してください")),
        on<SettingsDlg>("settings",
                        [datafile](SettingsDlg* dialog) {
                            dialog->m_path->clear();
                            type_text(dialog->m_path, datafile);
                            click_later(button_named(dialog, QStringLiteral("OK")));
                        }),
        message(QStringLiteral("設定を変更しましたので、起動しなおしてください")),
    };
}

// Two categories, three records with multi-line texts; one record moves to
// the other category, another is deleted; then the Close button.
std::vector<Step> work()
{
    const QString bank = QStringLiteral("銀行口座");
    const QString web = QStringLiteral("ウェブサービス");
    auto click_main = [](const char* what, const QString& name) {
        return on<kestrelDlg>(what, [name](kestrelDlg* w) { click_later(button_named(w, name)); });
    };
    auto add_in = [](const QString& category) {
        return on<kestrelDlg>("add", [category](kestrelDlg* w) {
            select_row(w->m_list1, category);
            click_later(button_named(w, QStringLiteral("追加")));
        });
    };
    return {
        click_main("category editor", QStringLiteral("カテゴリ編集")),
        on<KindEditDlg>("editor add 1", [](KindEditDlg* d) { click_later(d->addButton()); }),
        input(bank),
        on<KindEditDlg>("editor add 2", [](KindEditDlg* d) { click_later(d->addButton()); }),
        input(web),
        on<KindEditDlg>("editor close", [](KindEditDlg* d) { click_later(button_named(d, QStringLiteral("閉じる"))); }),
        add_in(bank),
        input(QStringLiteral("みずほ銀行")),
        add_in(bank),
        input(QStringLiteral("ゆうちょ銀行")),
        add_in(web),
        input(QStringLiteral("メール")),
        on<kestrelDlg>("type texts, then move one",
                       [bank](kestrelDlg* w) {
                           select_row(w->m_list2, QStringLiteral("メール"));
                           type_text(w->m_edit1, QStringLiteral("ID: taro\nPW: 秘密"));
                           select_row(w->m_list1, bank);
                           select_row(w->m_list2, QStringLiteral("みずほ銀行"));
                           type_text(w->m_edit1, QStringLiteral("支店：本店\n口座：1234567"));
                           select_row(w->m_list2, QStringLiteral("ゆうちょ銀行"));
                           type_text(w->m_edit1, QStringLiteral("記号：10000\n番号：9876"));
                           // Double click without storing first: the command stores the typed text itself.
                           RecordList* list = w->m_list2;
                           const QPoint at = list->rowRect(list->currentRow()).center();
                           QTimer::singleShot(0, list, [list, at] {
                               QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
                               QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
                           });
                       }),
        on<CatgChangeDlg>("move to web",
                          [web](CatgChangeDlg* d) {
                              select_row(d->m_list, web);
                              click_later(button_named(d, QStringLiteral("OK")));
                          }),
        on<kestrelDlg>("delete mail",
                       [web](kestrelDlg* w) {
                           select_row(w->m_list1, web);
                           select_row(w->m_list2, QStringLiteral("メール"));
                           click_later(button_named(w, QStringLiteral("削除")));
                       }),
        message(QStringLiteral("レコードを削除します。よろしいですか？")),
        click_main("close", QStringLiteral("閉じる")),
    };
}

// A category added and text typed into the pane, not yet stored; then the
// process ends without the window's end. "display-loss" says "typed" on its
// output and goes on running until its test ends the X server under it;
// "exit" calls exit() from the event loop, as Qt does when it loses the display.
std::vector<Step> lose_display(bool exitNow)
{
    return {
        on<kestrelDlg>("category editor",
                       [](kestrelDlg* w) { click_later(button_named(w, QStringLiteral("カテゴリ編集"))); }),
        on<KindEditDlg>("editor add", [](KindEditDlg* d) { click_later(d->addButton()); }),
        input(QStringLiteral("新規")),
        on<KindEditDlg>("editor close", [](KindEditDlg* d) { click_later(button_named(d, QStringLiteral("閉じる"))); }),
        on<kestrelDlg>("type into the pane",
                       [exitNow](kestrelDlg* w) {
                           select_row(w->m_list2, QStringLiteral("口座"));
                           w->m_edit1->moveCursor(QTextCursor::End);
                           type_text(w->m_edit1, QStringLiteral("\n追記"));
                           if (exitNow) {
                               QTimer::singleShot(0, [] { std::exit(1); });
                               return;
                           }
                           std::printf("typed\n");
                           std::fflush(stdout);
                       }),
    };
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString script = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    std::vector<Step> steps;
    if (script == QLatin1String("first-run") && argc > 2)
        steps = first_run(QString::fromLocal8Bit(argv[2]));
    else if (script == QLatin1String("work"))
        steps = work();
    else if (script == QLatin1String("display-loss") || script == QLatin1String("exit"))
        steps = lose_display(script == QLatin1String("exit"));
    else
        return 2;
    ScriptedUser user(std::move(steps));
    theApp.InitInstance();
    return user.finished() ? 0 : 1;
}
