// What this process changed in record files, so that whoever keeps part of
// one in memory (the record list's sorted names) can follow it without
// walking the file again. The module notes each change as it is made; a
// reader asks for the changes after the point it last looked.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
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

// Follows one record file for a caller that keeps part of it in memory.
class FileFollower
{
public:
    // For the file at `native`, open as `fd`: whether what was kept at the
    // last call still stands, given the blocks this process changed since
    // (their record indices appended to `changed`). False when the caller
    // starts afresh: the first call, another file, a change of the whole file,
    // more changes than are kept, or a file changed from outside (another
    // identity with no change of ours to tell why). Remembers the file as it
    // is now either way.
    bool follow(const std::string& native, int fd, std::vector<int64_t>& changed);

private:
    struct Identity
    {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        int64_t modified = 0; // ns
        bool operator==(const Identity&) const = default;
    };
    static Identity identityOf(int fd);

    bool m_known = false;
    std::string m_native;
    Identity m_identity;
    uint64_t m_seen = 0;
};
