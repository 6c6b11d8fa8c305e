#include "text_edge.h"

#include "platform/cp932.h"

#include <QCursor>
#include <QStringList>
#include <QToolTip>
#include <QWidget>

#include <cstring>

namespace {

QStringList g_notices;

// Bytes with some byte of 0x80 or above, through the converter.
QString converted_from_cp932(const char* text)
{
    std::string utf8;
    if (cp932::to_utf8(text, utf8))
        return QString::fromStdString(utf8);
    // Not valid CP932: show what can be shown, byte by byte where needed.
    QString shown;
    const std::size_t length = std::strlen(text);
    for (std::size_t i = 0; i < length;) {
        const std::size_t width = cp932::is_lead_byte(static_cast<unsigned char>(text[i])) && i + 1 < length ? 2 : 1;
        if (cp932::to_utf8(std::string_view(text + i, width), utf8))
            shown += QString::fromStdString(utf8);
        else
            shown += QChar(QChar::ReplacementCharacter);
        i += width;
    }
    return shown;
}

} // namespace

void append_from_cp932(const char* text, QString& out)
{
    // CP932 keeps the ASCII bytes as they are: a name of those alone needs no
    // converter, which matters when a list fills with every record's name.
    const char* end = text;
    while (*end && static_cast<unsigned char>(*end) < 0x80)
        ++end;
    if (*end == '\0')
        out.append(QLatin1StringView(text, end - text));
    else
        out.append(converted_from_cp932(text));
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
    if (near && near->isVisible())
        QToolTip::showText(near->mapToGlobal(QPoint(0, near->height())), text, near);
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
