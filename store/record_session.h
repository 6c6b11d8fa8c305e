// The run's hold on its record file: taken before anything reads the file,
// given up after the save at the end.
#pragma once

enum class SessionStart { Ready, Busy, Unrecovered };

// Locks the record file at CP932 path `path` (Busy: another kestrel has it),
// then brings it back to a whole state from a journal that a crash left and
// removes left-over images (Unrecovered: a journal could not be applied; the
// record file is not written then). Logs what it found.
SessionStart begin_record_session(const char* path);
// Removes the journal and the lock.
void end_record_session();
