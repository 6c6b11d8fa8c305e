// The backup of each run: the first change a run makes to a record file is
// preceded by a copy of the file as the run found it, kept in kestrel's state
// folder under "backups". Only the newest `kest_backups` copies (a registry
// value of digits, 5 when missing, 0 for none) of each record file are kept.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// Called just before a change to the record file at CP932 path `path`
// (native path `native`), open as `file`, or null when there is no file. The
// first call of a run for that file copies it; later calls do nothing. A
// backup that cannot be made is a normal log line and never stops the change.
void back_up_before_change(const char* path, const std::string& native, FILE* file);

// The save at exit writes `header` (the count and the category headers) and
// then the old file's whole blocks unchanged, so it changes the file only
// where that header differs from the file's own; only then is it backed up.
void back_up_before_save(const char* path, const std::string& native, FILE* file, const void* header, size_t size);

// A new run: every record file gets its backup again at its first change.
void begin_run_backups();

// "<record file's base name>-<8 hex digits of its absolute path's checksum>-",
// the start of the name of each of its backups, which then carries the local
// time as yyyymmdd-hhmmss (and "-2", "-3"... when that name is taken).
std::string backup_prefix(const std::string& native);
