#include "app/dialogs/LoginDlg.h"

#include "app/config/protected_password.h"
#include "app/widgets/dialog_keys.h"
#include "app/widgets/dialog_units.h"
#include "app/widgets/field_limit.h"
#include "app/widgets/message_box.h"
#include "app/widgets/password_field.h"
#include "store/app_config.h"
#include "store/file/data_key.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cstring>
#include <string.h>

LoginDlg::LoginDlg()
{
    setWindowTitle(QStringLiteral("パスワードの入力"));
    setFont(dialog_font(10));
    const DialogUnits units(font());
    setFixedSize(units.size(186, 72));

    auto* label = new QLabel(QStringLiteral("ログインパスワードを入力してください"), this);
    label->setAlignment(Qt::AlignCenter);
    units.place(label, 7, 10, 172, 10);

    m_pass = new_password_field(this);
    units.place(m_pass, 30, 26, 126, 13);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    units.place(ok, 37, 50, 50, 14);
    auto* cancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    units.place(cancel, 99, 50, 50, 14);
    connect(ok, &QPushButton::clicked, this, &LoginDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &LoginDlg::reject);
    set_dialog_keys(this, {label, m_pass, ok, cancel}, ok);
}

void LoginDlg::accept()
{
    if (m_pass->text().isEmpty()) {
        MessageBox::message(QStringLiteral("パスワードを入力してください"));
        return;
    }
    char typed[CONFIG_TEXT_SIZE];
    take_field(m_pass, typed, sizeof typed);
    const PasswordCheck check = check_password(typed);
    wipe_secret(typed, sizeof typed);
    if (check == PasswordCheck::Damaged) {
        MessageBox::message(message_key_damaged());
        return;
    }
    if (check != PasswordCheck::Right) {
        MessageBox::message(QStringLiteral("パスワードが間違っています。ログインできません"));
        return;
    }
    m_result = 1;
    wipe_field(m_pass);
    QDialog::accept();
}

void LoginDlg::reject()
{
    m_result = 0;
    wipe_field(m_pass);
    QDialog::reject();
}
