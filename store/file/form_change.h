// Turning protection on and off: the record file rewritten whole in the other
// form through a complete new image renamed over it, so that it is the old
// file or the new one and never half of each. The store routines behind the
// save that turns protection on and behind `kestrel-data protect|unprotect`.
#pragma once

#include "store/file/data_key.h"
#include "store/file/record_io.h"

#include <string>

// The settings dialog turned protection on with `password`: a fresh data
// key, and the record file at `path` rewritten now in the protected form
// through a complete new image (a missing one is made empty and protected),
// its backups in the Windows form replaced. False when that fails: the file is
// as it was and no key is loaded.
bool protect_open_record_file(const char* path, const char* password, KeyCost cost = KeyCost::standard());
// The settings dialog changed the password of the protected file at `path`:
// its key wrapped anew and stored now, in place (the records are not sealed
// again). False when that fails: the file and the run keep the old wrap.
bool rewrap_record_file(const char* path, const char* password, KeyCost cost = KeyCost::standard());

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
// For a tool, outside a kestrel run: each takes the file's lock (and recovers
// what a crash left) for the conversion and gives it up again.
// `kestrel-data protect FILE`: the Windows-form file at CP932 path `path`
// becomes the protected form under a new key wrapped with `password`.
Conversion protect_record_file(const char* path, const char* password, KeyCost cost = KeyCost::standard());
// `kestrel-data unprotect FILE`: the protected file becomes the Windows form
// that the Windows program reads, byte for byte what protect started from.
Conversion unprotect_record_file(const char* path, const char* password);
