// Text crossing the screen edge: the system stores CP932 bytes, Qt holds
// UTF-16. Stored multi-line text uses CR LF; what the user sees uses LF.
#pragma once

#include <QString>
#include <QValidator>

#include <string>

class QWidget;

// CP932 bytes -> text to show. Bytes that are not valid CP932 show as U+FFFD.
QString from_cp932(const char* text);
// The same, appended to `out`.
void append_from_cp932(const char* text, QString& out);
// Text -> CP932 bytes. False when a character cannot be written in CP932.
bool to_cp932(const QString& text, std::string& out);
// Bytes the text takes in CP932, or -1 when it cannot be written in CP932.
int cp932_size(const QString& text);

// Multi-line forms: CR LF in storage, LF on screen.
QString pane_text_from_cp932(const char* text);
bool pane_text_to_cp932(const QString& text, std::string& out);

// A short notice beside a widget (a tool tip), used when typed or pasted text
// is refused; it covers no button of the window. Recorded for tests.
void show_notice(QWidget* near, const QString& text);
QStringList take_notices();
// The notice shown now; null when none is.
QWidget* notice_widget();

// Refuses input that CP932 cannot hold or that would exceed max_bytes CP932
// bytes. Connect QLineEdit::inputRejected to a notice.
class Cp932Validator : public QValidator
{
public:
    Cp932Validator(int max_bytes, QObject* parent);
    State validate(QString& input, int& pos) const override;

private:
    int m_maxBytes;
};

// The notice texts.
QString notice_not_cp932();
QString notice_too_long(int max_bytes);
