// The system calls through which kestrel changes its files and reads the
// record file's side files. Every open, read, write, sync, truncation, rename,
// link, unlink, folder creation and lock of the record file, its journal, its
// images, its backups and the registry's values goes through here, so that
// tests can fail any one of them, end the process just before it, or record
// it to rebuild what a power cut would leave. EINTR is retried everywhere.
#pragma once

#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

enum class FileCall { Open, Read, Stat, Write, Sync, Truncate, Rename, Link, Unlink, Mkdir, Lock };

// Called before each call, with the path the call names (null for calls on an
// open file) and the descriptor it works on (-1 for calls by path); a
// non-zero result makes the call fail with that errno value without doing
// anything.
using FileCallHook = int (*)(FileCall call, const char* path, int fd);
void set_file_call_hook(FileCallHook hook); // nullptr: no hook

namespace fc {

int open(const char* path, int flags, mode_t mode = 0600);
// Exactly `size` bytes at `offset`, or false (errno EIO for an early end).
bool pread_all(int fd, void* data, size_t size, off_t offset);
// Up to `size` bytes at `offset`: the count read, -1 on an error.
ssize_t pread_some(int fd, void* data, size_t size, off_t offset);
bool fstat(int fd, struct stat& st);
// The whole buffer or false; retries short writes.
bool pwrite_all(int fd, const void* data, size_t size, off_t offset);
bool write_all(int fd, const void* data, size_t size);
bool datasync(int fd);
bool fsync(int fd);
bool truncate(int fd, off_t size);
bool rename(const char* from, const char* to);
bool link(const char* from, const char* to);
bool unlink(const char* path);
// One folder (0700); true when it is there now, made by us or not.
bool mkdir(const char* path);
// flock(LOCK_EX | LOCK_NB); false with EWOULDBLOCK when another holds it.
bool lock(int fd);
// mkostemp: creates a new file (0600) from the template's XXXXXX.
int make_temp(std::string& templ);
// A read-only shared map of `size` bytes of `fd` from `offset` (a multiple of
// the page size), or null (then read it instead). Counts as a read for the hook.
const void* map_read(int fd, off_t offset, size_t size);
void unmap(const void* map, size_t size);
// Copies `size` bytes of `from` at `from_offset` to `to` at `to_offset`: by the
// kernel (copy_file_range), else read and written. False with errno set,
// also when `from` ends early.
bool copy_bytes(int from, off_t from_offset, int to, off_t to_offset, int64_t size);
// fsync of the folder that holds `path`, so that a new, renamed or removed
// name in it survives a power cut.
bool sync_folder_of(const std::string& path);

} // namespace fc
