// The one-line entry of the text to find, built like the data input dialog.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

class FindDlg : public QDialog
{
    Q_OBJECT

public:
    FindDlg();

    // Runs the dialog modally, showing m_text first, selected.
    int exec() override;
    void accept() override;
    void reject() override;

    // 1 after a confirmed non-empty entry, 0 after any cancel.
    int m_result = 0;
    // In: the text to show first (the last search). Out: the confirmed text.
    QString m_text;

    QLineEdit* edit() const { return m_edit; }

private:
    QLineEdit* m_edit;
};
