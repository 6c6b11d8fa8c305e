#include "app/widgets/dialog_keys.h"

#include <QDialog>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

namespace {

bool takes_tab(const QWidget* widget)
{
    return (widget->focusPolicy() & Qt::TabFocus) != 0;
}

// The name a screen reader gives a control: the label right before it in the
// template, else the group box that frames it, else the window's caption.
QString control_name(const QList<QWidget*>& controls, int index, const QWidget* dialog)
{
    if (index > 0)
        if (const auto* label = qobject_cast<const QLabel*>(controls[index - 1]))
            return label->text();
    const QRect place = controls[index]->geometry();
    for (const QGroupBox* box : dialog->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly))
        if (box->geometry().contains(place))
            return box->title();
    return dialog->windowTitle();
}

class DialogKeys : public QObject
{
public:
    DialogKeys(QDialog* dialog, const QList<QWidget*>& controls, QPushButton* defaultButton)
        : QObject(dialog), m_dialog(dialog), m_default(defaultButton)
    {
        for (QWidget* control : controls)
            if (takes_tab(control))
                m_order.append(control);
        dialog->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_dialog)
            return false;
        switch (event->type()) {
        case QEvent::Show:
            setInitialFocus();
            break;
        case QEvent::KeyPress:
            return enterPressed(static_cast<QKeyEvent*>(event));
        case QEvent::WindowStateChange:
            // A minimised modal dialog would leave a blocked window and nothing to click.
            if (m_dialog->windowType() == Qt::Dialog && m_dialog->isMinimized())
                QTimer::singleShot(0, m_dialog, [dialog = m_dialog] {
                    if (dialog)
                        dialog->setWindowState(dialog->windowState() & ~Qt::WindowMinimized);
                });
            break;
        default:
            break;
        }
        return false;
    }

private:
    // The platform's default focus: the first control that can take it.
    // Entering by Tab selects an edit's text, as the dialog manager does.
    void setInitialFocus()
    {
        for (QWidget* control : m_order) {
            if (control->isEnabled() && !control->isHidden()) {
                control->setFocus(Qt::TabFocusReason);
                return;
            }
        }
    }

    // Sees Enter only when the focused control left it unused: a multi-line
    // edit keeps it for a line break, a push button that takes it presses itself.
    bool enterPressed(QKeyEvent* key)
    {
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            return false;
        if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        if (auto* button = qobject_cast<QPushButton*>(m_dialog->focusWidget())) {
            if (button->isEnabled() && button->isVisible())
                button->click();
            return true;
        }
        if (m_default)
            return false; // the dialog presses its default button
        m_dialog->accept();
        return true;
    }

    QPointer<QDialog> m_dialog;
    QPointer<QPushButton> m_default;
    QList<QWidget*> m_order; // controls that Tab reaches, in template order
};

} // namespace

void set_dialog_keys(QDialog* dialog, const QList<QWidget*>& controls, QPushButton* defaultButton)
{
    if (dialog->windowType() == Qt::Dialog)
        dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowCloseButtonHint);
    QWidget* previous = nullptr;
    for (int i = 0; i < controls.size(); ++i) {
        QWidget* control = controls[i];
        if (auto* button = qobject_cast<QPushButton*>(control)) {
            // With a default button the focused button takes over its frame and
            // its Enter; without one no button may be picked as a default.
            button->setAutoDefault(defaultButton != nullptr);
            button->setDefault(button == defaultButton);
        } else if (takes_tab(control) && control->accessibleName().isEmpty()) {
            control->setAccessibleName(control_name(controls, i, dialog));
        }
        if (!takes_tab(control))
            continue;
        if (previous)
            QWidget::setTabOrder(previous, control);
        previous = control;
    }
    new DialogKeys(dialog, controls, defaultButton);
}
