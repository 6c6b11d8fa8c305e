// Where the store keeps the files that belong to a record file (its journal,
// its lock, the images of a save) and the one rule for opening them: a side
// file is used only when it is ours.
#pragma once

#include <string>
#include <vector>

// $XDG_STATE_HOME/kestrel, else ~/.local/state/kestrel, and `sub` below it
// when given; empty when there is no such place. Nothing is created.
std::string state_folder_path(const char* sub = nullptr);
// The same folder, created (0700) where missing, each new level's name synced
// into its parent; empty when it cannot be made or is not ours.
std::string make_state_folder(const char* sub = nullptr);

// "<folder>/.<name><suffix>" for the record file at native path `record`.
std::string beside(const std::string& record, const char* suffix);
// "<state folder>/<sub>/<the record file's path, escaped><suffix>"; the folder
// is made when `make` is set. Empty when there is no state folder.
std::string in_state(const std::string& record, const char* sub, const char* suffix, bool make);

// The two places a journal of `record` can be, beside it first (the state
// folder's only when that folder exists or `make` is set).
std::vector<std::string> journal_places(const std::string& record, bool make = false);

// The native path of a CP932 record file path with symbolic links followed,
// so that side files lie beside the file itself. Empty when not valid CP932.
std::string record_native_path(const char* cp932_path);
// The file that `path` finally names after following symbolic links (a link
// to a missing file gives that missing file's path).
std::string resolve_links(const std::string& path);

enum class Own { Ok, Missing, NotOurs, Failed };
// Opens a side file with O_NOFOLLOW (creating it 0600 with O_CREAT in
// `flags`). Ok only for a regular file that belongs to this user, that group
// and others cannot write, with one link; NotOurs for anything else that
// stands there (nothing of it is read or written); Missing when absent.
int open_own(const std::string& path, int flags, Own& how);
