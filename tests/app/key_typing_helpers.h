// Typing as an input method delivers keys: one key event per character, each
// carrying its text (QTest::keyClicks knows only Latin-1); '\n' is Enter.
// Header only: the scripted program types the same way.
#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

inline void type_text(QWidget* widget, const QString& text)
{
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\n')) {
            QTest::keyClick(widget, Qt::Key_Return);
            continue;
        }
        // A character outside the BMP arrives as one key with both halves.
        const int width = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text.mid(i, width));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, text.mid(i, width));
        QApplication::sendEvent(widget, &release);
        i += width - 1;
    }
}
