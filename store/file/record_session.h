// The run's hold on its record file, from before anything reads it until
// after the save at the end: the lock (one kestrel per file, whatever name
// it is opened by), the recovery of what an earlier run left half-done, the
// state of a change that failed half-way, whether this run may write the
// file at all, and the once-per-run backup.
#pragma once

#include <string>
#include <vector>

struct ByteChange;

enum class SessionStart {
    Ready,
    Busy,           // another kestrel has the file
    Unrecovered,    // a journal could not be applied: the run does not write the file
    ForeignJournal, // a journal that is not ours stands beside it: the run does not write the file
};

// Locks the record file at CP932 path `path`, then brings it back to a whole
// state from any journal a crash left, and removes left-over images of ours.
// Logs what it found.
SessionStart begin_record_session(const char* path);
// Removes the journals and gives the lock up.
void end_record_session();

// The side file this start would not use: the foreign journal, or a journal
// that did not describe the record file and was moved aside (where to).
// Empty when there was none.
const std::string& session_side_file();

// This run leaves the record file as it is from now on: every change and the
// save refuse (the load failed, or recovery could not finish).
void make_session_read_only();
bool session_read_only();

// Before a change: a change that failed half-way earlier in the run is
// finished first. False while that cannot be done (nothing may be written).
bool session_ready_for_change(const std::string& native);
// A change failed half-way and its journal is kept for recovery.
void session_change_pending();

// Starts the copy of the record file as this run found it in the background
// (the program does this once its window is up), so that the first change
// does not wait for a whole copy; without it, the first change copies.
void session_start_backup();
// The run's first change of the record file backs it up first (`fd` open on
// it). A change of some ranges (`overwritten`: their bytes now) hands them to
// the background copy, which goes on; a change of the whole file (none given)
// waits for the copy.
void session_back_up_before_change(const char* path, const std::string& native, int fd,
                                   const std::vector<ByteChange>* overwritten = nullptr);
// The record file was replaced by a new one (the save): the lock follows it,
// and the spent journals are removed first so that none describes the old file.
bool session_retire_journals(const std::string& native);
void session_file_replaced(const std::string& native);

// True for an image path that a journal of `record` may name: ours by place and name.
bool image_is_ours(const std::string& image, const std::string& record);
// "<folder>/.<name>.kestrel-image.XXXXXX" and its state-folder twin: where the save builds images.
std::string image_template(const std::string& record, bool in_state_folder);
