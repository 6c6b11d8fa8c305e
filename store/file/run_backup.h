// The backup of each run: the first change a run makes to a record file is
// preceded by a copy of the file as the run found it, kept in kestrel's state
// folder under "backups". Only the newest `kest_backups` copies (a registry
// value of digits, 5 when missing, 0 for none) of each record file are kept.
#pragma once

#include <string>
#include <vector>

struct ByteChange;

// Called just before the run's first change to the record file at CP932
// path `path` (native path `native`), open as `fd`. Copies it; a backup that
// cannot be made is a normal log line and never stops the change.
void back_up_record_file(const char* path, const std::string& native, int fd);

// The same copy started now in the background, at idle I/O priority, from
// the file open as `fd` (taken over): the run's first change then waits for
// none of it. False when no backup is to be made.
bool start_background_backup(const std::string& native, int fd);
// Before a change of `native` writes: while the background copy still reads
// the file, it takes the bytes the change overwrites and puts them back into
// the copy at its end, so that the copy stays the file as the run found it.
// False when no copy is reading the file.
bool background_backup_takes(const std::string& native, const std::vector<ByteChange>& overwritten);
// The background copy of `native`, if one was started, is to be kept as a
// backup: the run changes the file. With `wait`, the copy is finished and
// named now (the whole file is about to change in place); else at the end of
// the run. True when a copy was started, whether or not it can be kept.
bool keep_background_backup(const char* path, const std::string& native, bool wait);
// At the end of the run: a copy to be kept is finished and named, any other dropped.
void end_background_backup();

// "<record file's base name>-<8 hex digits of its absolute path's checksum>-",
// the start of the name of each of its backups, which then carries the local
// time as yyyymmdd-hhmmss (and "-2", "-3"... when that name is taken).
std::string backup_prefix(const std::string& native);
