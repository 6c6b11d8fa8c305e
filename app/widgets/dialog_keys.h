// The keyboard of every window, as in the Windows dialogs: the focus starts on
// the first control of the template, Tab follows the template's control order,
// Enter presses the focused push button, else the default button, else runs
// the accept command, and Escape is the cancel command. A control without a
// text of its own is named for the label before it or the group box around
// it. Modal dialogs cannot be minimised.
#pragma once

#include <QList>

class QDialog;
class QPushButton;
class QWidget;

// `controls`: the template's controls in its order, labels included (group
// boxes are found by themselves). `defaultButton`: the template's default push button; null when it
// has none, and Enter outside a push button then runs the accept command.
void set_dialog_keys(QDialog* dialog, const QList<QWidget*>& controls, QPushButton* defaultButton);
