// Every message box, question and save-file dialog of kestrel goes through
// here: caption "kestrel", the warning icon, OK or OK and Cancel. Tests switch
// on test mode, queue the answers in advance and read back what was asked, so
// no box ever waits for a person.
#pragma once

#include <QString>
#include <QStringList>

class QFontMetrics;
class QMessageBox;
class QWidget;

// A message split into lines at its phrase ends (after "、" and "。") so that
// no line is wider than `width`. A phrase wider than that breaks before "「"
// and after "」" with the kana that follow it, where it has them; a part
// still wider keeps a line of its own, which widens the box instead.
QString phrase_lines(const QString& text, const QFontMetrics& metrics, int width);
// Sets a box's text in those lines, with the box wide enough for its widest
// line, so that the toolkit breaks no line again.
void set_box_text(QMessageBox& box, const QString& text);

class MessageBox
{
public:
    enum class Answer { Ok, Cancel };

    // A message with an OK button.
    static void message(const QString& text);
    // A question with OK and Cancel; true only when the answer is OK.
    static bool question(const QString& text);
    // The system's file dialog in its save form; empty when cancelled.
    static QString saveFileName(QWidget* parent);

    // In test mode nothing is shown: messages are recorded, questions take the
    // next queued answer (OK when none is queued), the file dialog takes the
    // next queued name (cancelled when none is queued).
    static void setTestMode(bool on);
    static void setNextAnswer(Answer answer);
    static void setNextFileName(const QString& name);
    // Texts of the messages and questions since the last call, in order.
    static QStringList takeAsked();
};
