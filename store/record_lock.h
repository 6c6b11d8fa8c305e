// One kestrel per record file: an advisory lock held for the whole run. The
// lock belongs to the open file description, so it ends with the process,
// however the process ends.
#pragma once

enum class LockResult { Held, Busy, Failed };

// Takes the lock of the record file at CP932 path `path`: a lock file beside
// it, or the record file itself where its folder cannot be written.
// Busy when another process holds it. Failed only for a path that cannot be
// used at all; a file that cannot be locked for another reason is Held, so
// that the run is not refused for it.
LockResult lock_record_file(const char* path);
// Gives the lock up and removes the lock file (end of the run).
void unlock_record_file();
