#include "app/widgets/message_box.h"

#include <QFileDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QStyle>

#include <deque>

namespace {

bool g_testMode = false;
std::deque<MessageBox::Answer> g_answers;
std::deque<QString> g_fileNames;
QStringList g_asked;

const char* const kCaption = "kestrel";

QMessageBox::StandardButton show(const QString& text, QMessageBox::StandardButtons buttons)
{
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kCaption), QString(), buttons);
    set_box_text(box, text);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

bool is_hiragana(QChar c)
{
    return c.unicode() >= 0x3041 && c.unicode() <= 0x309F;
}

// The parts of a phrase between the places where a line may break inside
// it: before "「", and after "」" with the hiragana (particles) that follow it.
QStringList phrase_parts(const QString& phrase)
{
    QStringList parts;
    int start = 0;
    bool afterQuote = false; // on "」" or the hiragana after it
    for (int i = 0; i < phrase.size(); ++i) {
        const QChar c = phrase[i];
        if (i > start && (c == QChar(0x300C) || (afterQuote && !is_hiragana(c)))) {
            parts << phrase.mid(start, i - start);
            start = i;
        }
        if (c == QChar(0x300D))
            afterQuote = true;
        else if (!is_hiragana(c))
            afterQuote = false;
    }
    parts << phrase.mid(start);
    return parts;
}

} // namespace

QString phrase_lines(const QString& text, const QFontMetrics& metrics, int width)
{
    QStringList phrases;
    int start = 0;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == QChar(0x3001) || text[i] == QChar(0x3002)) { // "、" and "。"
            phrases << text.mid(start, i + 1 - start);
            start = i + 1;
        }
    }
    if (start < text.size())
        phrases << text.mid(start);
    QStringList pieces;
    for (const QString& phrase : phrases) {
        if (metrics.horizontalAdvance(phrase) <= width)
            pieces << phrase;
        else
            pieces << phrase_parts(phrase);
    }
    QStringList lines;
    for (const QString& piece : pieces) {
        if (!lines.isEmpty() && metrics.horizontalAdvance(lines.last() + piece) <= width)
            lines.last() += piece;
        else
            lines << piece;
    }
    return lines.join(QLatin1Char('\n'));
}

void set_box_text(QMessageBox& box, const QString& text)
{
    // Qt wraps a text wider than half the screen (500 pixels at most) at any
    // character; break it at phrase ends within that width instead.
    const QScreen* screen = box.screen() ? box.screen() : QGuiApplication::primaryScreen();
    const int limit = screen ? qMin(screen->availableGeometry().width() / 2, 500) : 500;
    const QStyle* style = box.style();
    const int reserve = style->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box) +
                        4 * style->pixelMetric(QStyle::PM_LayoutLeftMargin, nullptr, &box);
    const QString lines = phrase_lines(text, QFontMetrics(box.font()), limit - reserve);
    box.setText(lines);
    // A line wider than that widens the box: the label keeps room for it.
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        int widest = 0;
        for (const QString& line : lines.split(QLatin1Char('\n')))
            widest = qMax(widest, label->fontMetrics().horizontalAdvance(line));
        const QMargins margins = label->contentsMargins();
        label->setMinimumWidth(widest + margins.left() + margins.right() + 2 * label->margin() + 1);
    }
}

void MessageBox::message(const QString& text)
{
    g_asked << text;
    if (g_testMode)
        return;
    show(text, QMessageBox::Ok);
}

bool MessageBox::question(const QString& text)
{
    g_asked << text;
    if (g_testMode) {
        if (g_answers.empty())
            return true;
        Answer answer = g_answers.front();
        g_answers.pop_front();
        return answer == Answer::Ok;
    }
    return show(text, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

QString MessageBox::saveFileName(QWidget* parent)
{
    if (g_testMode) {
        if (g_fileNames.empty())
            return QString();
        QString name = g_fileNames.front();
        g_fileNames.pop_front();
        return name;
    }
    // The save form lets the user name a file that does not exist yet; Qt asks
    // before an existing file is chosen.
    return QFileDialog::getSaveFileName(parent);
}

void MessageBox::setTestMode(bool on)
{
    g_testMode = on;
    g_answers.clear();
    g_fileNames.clear();
    g_asked.clear();
}

void MessageBox::setNextAnswer(Answer answer)
{
    g_answers.push_back(answer);
}

void MessageBox::setNextFileName(const QString& name)
{
    g_fileNames.push_back(name);
}

QStringList MessageBox::takeAsked()
{
    QStringList asked;
    asked.swap(g_asked);
    return asked;
}
