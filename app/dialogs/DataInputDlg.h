// The one-line text entry that asks for record and category names.
#pragma once

#include <QDialog>

class QLineEdit;

class DataInputDlg : public QDialog
{
    Q_OBJECT

public:
    DataInputDlg();

    // The longest text a confirmed entry may hold, in CP932 bytes.
    static constexpr int TEXT_MAX = 1023;

    // Runs the dialog modally, showing m_text first.
    int exec() override;
    void accept() override;
    void reject() override;

    // 1 after a confirmed non-empty entry, 0 after any cancel.
    int m_result = 0;
    // In: the text to show first. Out: the confirmed text, CP932, zero-terminated.
    char m_text[TEXT_MAX + 1] = {};
    // Callers whose field holds less than TEXT_MAX bytes set their limit here:
    // a longer entry is refused with a message instead of being cut.
    int m_limit = TEXT_MAX;

    QLineEdit* edit() const { return m_edit; }

    // The message that refuses an entry longer than `limit` bytes.
    static QString tooLongMessage(int limit);

private:
    QLineEdit* m_edit;
    QString m_shown; // m_text as first shown, to hand back its exact bytes when confirmed unchanged
};
