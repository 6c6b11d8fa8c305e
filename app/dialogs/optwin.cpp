#include "app/dialogs/optwin.h"

#include "app/config/protected_password.h"
#include "app/widgets/dialog_keys.h"
#include "app/widgets/dialog_units.h"
#include "app/widgets/field_limit.h"
#include "app/widgets/message_box.h"
#include "app/widgets/password_field.h"
#include "app/widgets/text_edge.h"
#include "store/app_config.h"
#include "store/file/data_key.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cstring>
#include <string.h>

namespace {

QLabel* field_label(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

} // namespace

QString message_path_not_cp932()
{
    return QStringLiteral("データファイルのパスに使用できない文字が含まれています");
}

SettingsDlg::SettingsDlg()
{
    setWindowTitle(QStringLiteral("設定"));
    setFont(dialog_font(10));
    const DialogUnits units(font());
    setFixedSize(units.size(250, 98));

    auto* pathLabel = field_label(QStringLiteral("データファイル："), this);
    units.place(pathLabel, 7, 10, 60, 13);
    m_path = new QLineEdit(this);
    limit_field(m_path, CONFIG_TEXT_SIZE - 1);
    units.place(m_path, 70, 10, 150, 13);
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    units.place(browse, 223, 10, 20, 13);

    auto* oldLabel = field_label(QStringLiteral("旧パスワード："), this);
    units.place(oldLabel, 7, 30, 60, 13);
    m_oldpass = new_password_field(this);
    units.place(m_oldpass, 70, 30, 100, 13);
    auto* newLabel = field_label(QStringLiteral("新パスワード："), this);
    units.place(newLabel, 7, 50, 60, 13);
    m_newpass = new_password_field(this);
    units.place(m_newpass, 70, 50, 100, 13);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    units.place(ok, 66, 76, 50, 14);
    auto* cancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    units.place(cancel, 134, 76, 50, 14);

    set_dialog_keys(this, {pathLabel, m_path, browse, oldLabel, m_oldpass, newLabel, m_newpass, ok, cancel}, ok);

    connect(browse, &QPushButton::clicked, this, &SettingsDlg::onBrowse);
    connect(ok, &QPushButton::clicked, this, &SettingsDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &SettingsDlg::reject);

    m_path->setText(from_cp932(g_app_config.datafile));
    m_oldpass->setEnabled(password_is_set());
}

void SettingsDlg::onBrowse()
{
    const QString name = MessageBox::saveFileName(this);
    if (name.isEmpty())
        return;
    if (cp932_size(name) < 0) {
        MessageBox::message(message_path_not_cp932());
        return;
    }
    m_path->setText(name);
}

void SettingsDlg::applyPasswordStep()
{
    char newpass[CONFIG_TEXT_SIZE];
    take_field(m_newpass, newpass, sizeof newpass);
    // Protection turned on here is for the record file these settings name.
    char path[CONFIG_TEXT_SIZE] = {};
    if (!take_field(m_path, path, sizeof path))
        path[0] = '\0';
    if (m_oldpass->isEnabled()) {
        char oldpass[CONFIG_TEXT_SIZE];
        take_field(m_oldpass, oldpass, sizeof oldpass);
        const PasswordCheck check = check_password(oldpass);
        wipe_secret(oldpass, sizeof oldpass);
        if (check != PasswordCheck::Right) {
            MessageBox::message(QStringLiteral("旧パスワードが間違っています。パスワードを更新できませんでした"));
        } else if (store_new_password(newpass, path)) {
            MessageBox::message(QStringLiteral("パスワードが更新されました"));
        }
    } else if (newpass[0] != '\0' && store_new_password(newpass, path)) {
        MessageBox::message(QStringLiteral("パスワードが更新されました"));
    }
    wipe_secret(newpass, sizeof newpass);
}

void SettingsDlg::accept()
{
    applyPasswordStep();
    if (m_path->text().isEmpty()) {
        MessageBox::message(QStringLiteral("データファイルのパスを指定して下さい"));
        return;
    }
    char path[CONFIG_TEXT_SIZE];
    if (!take_field(m_path, path, sizeof path)) {
        MessageBox::message(message_path_not_cp932());
        return;
    }
    std::memset(g_app_config.datafile, 0, sizeof g_app_config.datafile);
    std::memcpy(g_app_config.datafile, path, std::strlen(path));
    m_result = 1;
    wipe_field(m_oldpass);
    wipe_field(m_newpass);
    QDialog::accept();
}

void SettingsDlg::reject()
{
    m_result = 0;
    wipe_field(m_oldpass);
    wipe_field(m_newpass);
    QDialog::reject();
}
