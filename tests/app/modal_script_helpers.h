// Driving nested modal dialogs from a test: an action waits until a dialog of
// the wanted class is the active modal widget and then fills it in, from
// inside that dialog's own modal run.
#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class DataInputDlg;

// Runs `action` on the first active modal widget for which `matches` holds.
void when_modal_widget(const std::function<bool(QWidget*)>& matches, const std::function<void(QWidget*)>& action);

template <class Dialog> void when_modal(const std::function<void(Dialog*)>& action)
{
    when_modal_widget([](QWidget* w) { return dynamic_cast<Dialog*>(w) != nullptr; },
                      [action](QWidget* w) { action(static_cast<Dialog*>(w)); });
}

// Actions still waiting for their dialog.
int pending_modal_actions();
// Drops every waiting action, so none acts on a later test's dialogs.
void drop_modal_actions();

// Types text into a widget key by key, each key carrying its character as
// an input method would (QTest::keyClicks knows only ASCII); '\n' is Enter.
void type_text(QWidget* widget, const QString& text);

// Clears the entry field of the data input dialog, types `text` and presses Enter.
void type_and_enter(DataInputDlg* dialog, const QString& text);
// The next data input dialog gets `text` and Enter / gets Escape.
void answer_input(const QString& text);
void cancel_input();
