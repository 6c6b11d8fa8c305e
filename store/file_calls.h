// The system calls through which the store changes files. Every open, write,
// sync, truncation and rename of the record file, its journal and its images
// goes through here, so that tests can fail any one of them or end the
// process just before it.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

enum class FileCall { Open, Write, Sync, Truncate, Rename, Link, Unlink };

// Called before each call, with the path the call names (null for calls on
// an open file); a non-zero result makes the call fail with that errno value
// without doing anything.
using FileCallHook = int (*)(FileCall call, const char* path);
void set_file_call_hook(FileCallHook hook); // nullptr: no hook

namespace fc {

int open(const char* path, int flags, mode_t mode = 0600);
// The whole buffer or false; retries short writes and EINTR.
bool pwrite_all(int fd, const void* data, size_t size, off_t offset);
bool write_all(int fd, const void* data, size_t size);
bool datasync(int fd);
bool fsync(int fd);
bool truncate(int fd, off_t size);
bool rename(const char* from, const char* to);
bool link(const char* from, const char* to);
bool unlink(const char* path);
// mkostemp: creates a new file from the template's XXXXXX.
int make_temp(std::string& templ);
// Copies `size` bytes of `from` at `from_offset` to `to` at `to_offset`: by the
// kernel (copy_file_range), else read and written. False with errno set,
// also when `from` ends early.
bool copy_bytes(int from, off_t from_offset, int to, off_t to_offset, int64_t size);
// fsync of the folder that holds `path`, so that a new, renamed or removed
// name in it survives a crash.
bool sync_folder_of(const std::string& path);

} // namespace fc
