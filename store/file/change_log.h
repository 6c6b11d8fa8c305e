// What this process changed in record files, so that whoever keeps part of
// one in memory (the record list's sorted names) can follow it without
// walking the file again. The module notes each change as it is made; a
// reader asks for the changes after the point it last looked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct FileChange
{
    std::string native; // the record file's native path
    int64_t index;      // the record index of a changed block; -1: the file may have changed anywhere
};

// The point reached now: every change noted later comes after it.
uint64_t file_changes_now();
// Appends the changes noted after `since` to `out`; false when they are no
// longer all known (too many since), so the reader starts afresh.
bool file_changes_since(uint64_t since, std::vector<FileChange>& out);

// Notes a change (the module's writers only).
void note_file_change(const std::string& native, int64_t index);
