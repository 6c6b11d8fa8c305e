// The backup of each run: the first change a run makes to a record file is
// preceded by a copy of the file as the run found it, kept in kestrel's state
// folder under "backups". Only the newest `kest_backups` copies (a registry
// value of digits, 5 when missing, 0 for none) of each record file are kept.
#pragma once

#include <string>

// Called just before the run's first change to the record file at CP932
// path `path` (native path `native`), open as `fd`. Copies it; a backup that
// cannot be made is a normal log line and never stops the change.
void back_up_record_file(const char* path, const std::string& native, int fd);

// The same copy started now in the background, at idle I/O priority, from
// the file open as `fd` (taken over): the run's first change then waits only
// for what is left of it. False when no backup is to be made.
bool start_background_backup(const std::string& native, int fd);
// The background copy of `native`, if one was started: kept as a backup (the
// run changes the file: waits for it, then names it; true when a copy was
// started, whether or not it could be kept), or dropped (the run ends unchanged).
bool keep_background_backup(const char* path, const std::string& native);
void drop_background_backup();

// "<record file's base name>-<8 hex digits of its absolute path's checksum>-",
// the start of the name of each of its backups, which then carries the local
// time as yyyymmdd-hhmmss (and "-2", "-3"... when that name is taken).
std::string backup_prefix(const std::string& native);
