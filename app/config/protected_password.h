// The login password of a protected record file is its key: the login and
// the settings dialog check a typed password by opening the file's wrapped
// key, a changed one rewraps the key at the save at exit, and the registry
// holds no password for such a file. For a file in the Windows form the
// stored password is compared as before, and a new password may turn
// protection on.
#pragma once

#include <QString>

enum class PasswordCheck { Right, Wrong, Damaged };

// The record file in AppConfig is protected: the login comes before the load.
bool datafile_protected();
// A password is set: one stored in AppConfig, or the key of a protected file.
bool password_is_set();
// Checks a typed password (CP932): against the run's key once one is loaded,
// against the protected file's wrapped key (loading it when right), else
// against AppConfig's password byte for byte.
PasswordCheck check_password(const char* typed);
// Takes the settings dialog's new password, after the old one was checked
// (or none was set): for a protected file the key is wrapped anew and stored
// at once, and removing the password is refused; for a file in the Windows
// form a non-empty one may protect the record file at `path` (the one the
// settings name) at once (asked once), else it becomes AppConfig's password.
// False, after saying why, when nothing changed.
bool store_new_password(const char* newpass, const char* path);

QString message_key_damaged();
QString message_password_kept();
QString message_password_not_stored();
QString message_not_protected();
QString question_protect();
