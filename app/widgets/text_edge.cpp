#include "app/widgets/text_edge.h"

#include "platform/cp932.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QStringList>
#include <QToolTip>
#include <QWidget>

#include <cstring>

namespace {

QStringList g_notices;

// Bytes that are not valid CP932: what can be shown, character by character,
// and U+FFFD for the rest.
void append_invalid_cp932(std::string_view bytes, QString& out)
{
    char16_t unit;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t width =
            cp932::is_lead_byte(static_cast<unsigned char>(bytes[i])) && i + 1 < bytes.size() ? 2 : 1;
        if (cp932::to_utf16(bytes.substr(i, width), &unit) == 1)
            out += QChar(unit);
        else
            out += QChar(QChar::ReplacementCharacter);
        i += width;
    }
}

// The place of a notice of `size` beside `near`: under it, else above it,
// else to its right, whichever first covers no button of its window.
QPoint notice_place(const QWidget* near, QSize size)
{
    const QRect control(near->mapToGlobal(QPoint(0, 0)), near->size());
    const QRect places[] = {QRect(control.bottomLeft() + QPoint(0, 2), size),
                            QRect(control.topLeft() - QPoint(0, size.height() + 2), size),
                            QRect(control.topRight() + QPoint(2, 0), size)};
    const QList<QAbstractButton*> buttons = near->window()->findChildren<QAbstractButton*>();
    for (const QRect& place : places) {
        bool covers = false;
        for (const QAbstractButton* button : buttons)
            covers = covers || (button->isVisible() &&
                                place.intersects(QRect(button->mapToGlobal(QPoint(0, 0)), button->size())));
        if (!covers)
            return place.topLeft();
    }
    return places[0].topLeft();
}

} // namespace

void append_from_cp932(const char* text, QString& out)
{
    // Straight into the string's own buffer: a list fills with every record's name.
    const std::string_view bytes(text);
    const qsizetype at = out.size();
    out.resize(at + static_cast<qsizetype>(bytes.size()));
    const std::size_t units = cp932::to_utf16(bytes, reinterpret_cast<char16_t*>(out.data()) + at);
    if (units != std::string_view::npos) {
        out.truncate(at + static_cast<qsizetype>(units));
        return;
    }
    out.truncate(at);
    append_invalid_cp932(bytes, out);
}

QString from_cp932(const char* text)
{
    QString shown;
    append_from_cp932(text, shown);
    return shown;
}

bool to_cp932(const QString& text, std::string& out)
{
    return cp932::from_utf8(text.toStdString(), out);
}

int cp932_size(const QString& text)
{
    std::string bytes;
    if (!to_cp932(text, bytes))
        return -1;
    return static_cast<int>(bytes.size());
}

QString pane_text_from_cp932(const char* text)
{
    QString shown = from_cp932(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

bool pane_text_to_cp932(const QString& text, std::string& out)
{
    QString stored = text;
    stored.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    stored.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return to_cp932(stored, out);
}

void show_notice(QWidget* near, const QString& text)
{
    g_notices << text;
    if (!near || !near->isVisible())
        return;
    QToolTip::showText(near->mapToGlobal(QPoint(0, near->height())), text, near);
    // Qt places a tool tip under the mouse pointer's height; a notice must not hide a button.
    if (QWidget* tip = notice_widget())
        tip->move(notice_place(near, tip->size()));
}

QWidget* notice_widget()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->inherits("QTipLabel") && widget->isVisible())
            return widget;
    return nullptr;
}

QStringList take_notices()
{
    QStringList notices;
    notices.swap(g_notices);
    return notices;
}

Cp932Validator::Cp932Validator(int max_bytes, QObject* parent) : QValidator(parent), m_maxBytes(max_bytes)
{
}

QValidator::State Cp932Validator::validate(QString& input, int&) const
{
    const int size = cp932_size(input);
    if (size < 0 || size > m_maxBytes)
        return Invalid;
    return Acceptable;
}

QString notice_not_cp932()
{
    return QStringLiteral("この文字は使用できません");
}

QString notice_too_long(int max_bytes)
{
    return QStringLiteral("%1バイトを超える文字は入力できません").arg(max_bytes);
}
