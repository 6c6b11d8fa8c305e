// Where the store keeps the files that belong to a record file: its journal,
// its lock and the new images of a save. Beside the record file when its
// folder can be written, else in kestrel's state folder under a name made
// from the record file's path.
#pragma once

#include <string>
#include <vector>

// $XDG_STATE_HOME/kestrel, else ~/.local/state/kestrel; `sub` below it when
// given. Created (0700) when missing; empty when it cannot be.
std::string state_folder(const char* sub = nullptr);

// "<folder>/.<name><suffix>" for the record file at native path `record`.
std::string beside(const std::string& record, const char* suffix);
// "<state folder>/<sub>/<the record file's path, escaped><suffix>".
std::string in_state(const std::string& record, const char* sub, const char* suffix);

// The journal of `record` beside it, and in the state folder (empty when
// there is no state folder).
std::string journal_beside(const std::string& record);
std::string journal_in_state(const std::string& record);
// The two places a journal of `record` can be, beside it first.
std::vector<std::string> journal_places(const std::string& record);

// The native path of a CP932 record file path with symbolic links followed,
// so that side files lie beside the file itself. Empty when not valid CP932.
std::string record_native_path(const char* cp932_path);
