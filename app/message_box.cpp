#include "message_box.h"

#include <QFileDialog>
#include <QMessageBox>

#include <deque>

namespace {

bool g_testMode = false;
std::deque<MessageBox::Answer> g_answers;
std::deque<QString> g_fileNames;
QStringList g_asked;

const char* const kCaption = "kestrel";

QMessageBox::StandardButton show(const QString& text, QMessageBox::StandardButtons buttons)
{
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kCaption), text, buttons);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace

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
