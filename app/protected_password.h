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
// The settings dialog's new password may be taken: for a protected file it
// may not be removed (after saying so).
bool new_password_allowed(const char* newpass);
// Takes the settings dialog's new password: rewraps the key of a protected
// file; for a file in the Windows form a non-empty one may turn protection on
// (asked once), else it becomes AppConfig's password.
void store_new_password(const char* newpass);

QString message_key_damaged();
QString message_password_kept();
QString question_protect();
