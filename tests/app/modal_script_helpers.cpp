#include "modal_script_helpers.h"

#include "app/dialogs/DataInputDlg.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

int g_pending = 0;
int g_generation = 0;
constexpr int kMaxTries = 2000; // polls 5 ms apart: ten seconds at most

void poll(std::function<bool(QWidget*)> matches, std::function<void(QWidget*)> action, int generation, int tries)
{
    QTimer::singleShot(tries == 0 ? 0 : 5, [=] {
        if (generation != g_generation)
            return;
        QWidget* widget = QApplication::activeModalWidget();
        if (widget && matches(widget)) {
            --g_pending;
            action(widget);
        } else if (tries < kMaxTries) {
            poll(matches, action, generation, tries + 1);
        } else {
            --g_pending;
            ADD_FAILURE() << "the expected dialog never opened";
        }
    });
}

} // namespace

void when_modal_widget(const std::function<bool(QWidget*)>& matches, const std::function<void(QWidget*)>& action)
{
    ++g_pending;
    poll(matches, action, g_generation, 0);
}

int pending_modal_actions()
{
    return g_pending;
}

void drop_modal_actions()
{
    ++g_generation;
    g_pending = 0;
}

void type_and_enter(DataInputDlg* dialog, const QString& text)
{
    dialog->edit()->clear();
    type_text(dialog->edit(), text);
    QTest::keyClick(dialog->edit(), Qt::Key_Return);
}

void answer_input(const QString& text)
{
    when_modal<DataInputDlg>([text](DataInputDlg* dialog) { type_and_enter(dialog, text); });
}

void cancel_input()
{
    when_modal<DataInputDlg>([](DataInputDlg* dialog) { QTest::keyClick(dialog->edit(), Qt::Key_Escape); });
}
