// The settings dialog: the record file path and the login password, changed
// in AppConfig only; they reach the registry when the program ends.
#pragma once

#include <QDialog>

class QLineEdit;

class SettingsDlg : public QDialog
{
    Q_OBJECT

public:
    SettingsDlg();

    int m_result = 0;               // 1 after a successful OK
    QLineEdit* m_path = nullptr;    // record file path
    QLineEdit* m_oldpass = nullptr; // current password, enabled only when one is set
    QLineEdit* m_newpass = nullptr; // new password

public slots:
    void accept() override;
    void reject() override;
    // The "..." button: the save-form file dialog.
    void onBrowse();

private:
    void applyPasswordStep();
};

// The message for a path that cannot be written in CP932.
QString message_path_not_cp932();
