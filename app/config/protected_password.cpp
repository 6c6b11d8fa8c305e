#include "app/config/protected_password.h"

#include "app/widgets/message_box.h"

#include "store/app_config.h"
#include "store/file/data_key.h"
#include "store/file/form_change.h"
#include "store/file/protected_form.h"

#include <cstring>

QString message_key_damaged()
{
    return QStringLiteral("データファイルの鍵の部分が壊れているため、パスワードを確かめられません");
}

QString message_password_kept()
{
    return QStringLiteral("暗号化されたデータファイルのパスワードは削除できません。"
                          "暗号化をやめるには kestrel-data unprotect を使ってください");
}

QString message_password_not_stored()
{
    return QStringLiteral("データファイルに書き込めなかったため、パスワードを更新できませんでした");
}

QString message_not_protected()
{
    return QStringLiteral("データファイルを暗号化できませんでした。パスワードは暗号化せずに設定します");
}

QString question_protect()
{
    return QStringLiteral("データファイルを暗号化しますか？\n"
                          "暗号化したデータファイルは、Windows版のプログラムでは開けません。"
                          "パスワードを忘れると、データは取り出せません。"
                          "元に戻すには kestrel-data unprotect を使います。"
                          "これまでのバックアップは暗号化したものに置き換え、置き換えられないものは削除します。");
}

bool datafile_protected()
{
    return record_file_protected(g_app_config.datafile);
}

bool password_is_set()
{
    return g_app_config.password[0] != '\0' || data_key::loaded();
}

PasswordCheck check_password(const char* typed)
{
    if (data_key::loaded())
        return data_key::matches(typed) ? PasswordCheck::Right : PasswordCheck::Wrong;
    if (datafile_protected()) {
        switch (unlock_record_file(g_app_config.datafile, typed)) {
        case FileUnlock::Ok:
            // The key alone guards the file: a password the registry still held goes.
            wipe_secret(g_app_config.password, sizeof g_app_config.password);
            return PasswordCheck::Right;
        case FileUnlock::WrongPassword:
            return PasswordCheck::Wrong;
        case FileUnlock::Damaged:
            return PasswordCheck::Damaged;
        }
    }
    return std::strcmp(typed, g_app_config.password) == 0 ? PasswordCheck::Right : PasswordCheck::Wrong;
}

bool store_new_password(const char* newpass, const char* path)
{
    if (data_key::loaded()) {
        if (newpass[0] == '\0') {
            MessageBox::message(message_password_kept());
            return false;
        }
        // The key is wrapped anew and stored at once: the settings command's
        // end does not save the file.
        if (rewrap_record_file(g_app_config.datafile, newpass))
            return true;
        MessageBox::message(message_password_not_stored());
        return false;
    }
    // A protected file's password is its key alone: the registry keeps none.
    bool protect = newpass[0] != '\0' && MessageBox::question(question_protect());
    if (protect && (path[0] == '\0' || !protect_open_record_file(path, newpass))) {
        MessageBox::message(message_not_protected());
        protect = false;
    }
    wipe_secret(g_app_config.password, sizeof g_app_config.password);
    if (!protect)
        std::memcpy(g_app_config.password, newpass, strnlen(newpass, sizeof g_app_config.password - 1));
    return true;
}
