// Turning protection on and off: the record file rewritten whole in the other
// form through a complete new image renamed over it, so that it is the old
// file or the new one and never half of each. The store routines behind the
// save that turns protection on and behind `kestrel-data protect|unprotect`.
#pragma once

#include "store/file/data_key.h"
#include "store/file/record_io.h"

#include <string>

// The settings dialog turned protection on with `password`: a fresh data key
// is made now (the password is not kept) and the save at exit writes the
// protected form.
bool request_protection(const char* password, KeyCost cost = KeyCost::standard());
bool protection_requested();

// The save at exit of a run that turned protection on: `windows_header`
// (count and scrambled entries) and every block of the Windows-form file,
// sealed, through a new image. A missing file becomes the header alone.
SaveResult write_protected_form(const char* path, const std::string& windows_header);

// The run's backups of the record file at CP932 path `path` still in the
// Windows form are replaced by protected copies; one that cannot be is
// removed. The number removed, for telling the user.
int protect_backups(const char* path);

enum class Conversion {
    Done,
    Busy,          // a running kestrel holds the file's lock
    Missing,       // no such file, or it cannot be read
    Damaged,       // a damaged file, or a block or entry that does not open: nothing written
    WrongPassword, // unprotect: the password does not open the key
    AlreadyInForm, // protect of a protected file, unprotect of one in the Windows form
    Failed,        // the new file could not be written: the old one stands
};
// `kestrel-data protect FILE`: the Windows-form file at CP932 path `path`
// becomes the protected form under a new key wrapped with `password`.
Conversion protect_record_file(const char* path, const char* password, KeyCost cost = KeyCost::standard());
// `kestrel-data unprotect FILE`: the protected file becomes the Windows form
// that the Windows program reads, byte for byte what protect started from.
Conversion unprotect_record_file(const char* path, const char* password);
