// The login dialog: asks for the password before the main window is used.
#pragma once

#include <QDialog>

class QLineEdit;

class LoginDlg : public QDialog
{
    Q_OBJECT

public:
    LoginDlg();

    int m_result = 0;            // 1 after the right password was entered
    QLineEdit* m_pass = nullptr; // masked password field

public slots:
    void accept() override;
    void reject() override;
};
