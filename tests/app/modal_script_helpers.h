// Driving nested modal dialogs from a test: an action waits until a dialog of
// the wanted class is the active modal widget and then fills it in, from
// inside that dialog's own modal run.
#pragma once

#include "key_typing_helpers.h"

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

// Runs `command`, rejecting any dialog of this class it opens; true when one opened.
template <class Dialog> bool opens_modal(const std::function<void()>& command)
{
    when_modal<Dialog>([](Dialog* dialog) { dialog->reject(); });
    const int waiting = pending_modal_actions();
    command();
    // A dialog that opened ran its modal loop inside the command, and the action with it.
    const bool opened = pending_modal_actions() < waiting;
    drop_modal_actions();
    return opened;
}

// Clears the entry field of the data input dialog, types `text` and presses Enter.
void type_and_enter(DataInputDlg* dialog, const QString& text);
// The next data input dialog gets `text` and Enter / gets Escape.
void answer_input(const QString& text);
void cancel_input();
