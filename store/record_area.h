// Internal helpers of the record operations: opening the record file, checking
// that it is whole, reading a block at a 64-bit offset and changing blocks in
// place under the journal.
#pragma once

#include "store/record_file.h"

#include <cstdio>
#include <functional>
#include <string>
#include <sys/types.h>

// Where the records of an opened record file lie.
struct RecordArea
{
    int32_t count = 0;  // header count N read from offset 0
    int64_t start = 0;  // offset of record index 0
    int64_t blocks = 0; // whole record blocks; a partial last block is not counted
    int64_t size = 0;   // the file's size
};

// Missing: the file could not be opened (errno tells why: ENOENT when it is
// not there). Damaged: see read_record_area.
enum class OpenStatus { Ok, Missing, Damaged };

// Reads the header count and checks the file against it. False for a damaged
// file: shorter than 4 bytes, a count outside 0..KIND_MAX, or shorter than its
// header entries.
bool read_record_area(FILE* file, RecordArea& area);

// Opens the record file with "rb" or "rb+", never creating it and never
// waiting: anything but a regular file (a FIFO, a device, a folder) counts
// as Missing with errno EINVAL. Before an update, a change left half-done by
// an earlier failure is rolled back (Missing with EIO when that fails).
OpenStatus open_record_file(const char* path, const char* mode, FILE*& file, RecordArea& area);

// Opens the record file for update as every record operation does. Only a
// file that is not there (ENOENT) is created, exclusively, holding a zero
// // header count; any other failure to open is Missing. A file that group or
// others can read is made 0600 (normal line in the unit `source`).
OpenStatus open_for_update(const char* source, const char* path, FILE*& file, RecordArea& area);

// The record file holds secrets: a mode that lets group or others in becomes
// 0600, told in a normal line of the unit `source`.
mode_t private_mode(const char* source, int line, const char* path, mode_t mode);
// Applies that to the open record file.
void make_private(const char* source, int line, const char* path, int fd);

// Reads one block at `offset` and unscrambles it.
bool read_block_at(FILE* file, int64_t offset, CatgRecord& plain);

// Reads record `index` of the record file for update, lets `change` edit the
// plain copy and writes it back in place, whole or not at all. Logs the unit's
// error line "Data File (%s) Open Error\n" at `open_line` when the file can
// be neither opened nor created. -1 when that happens, or the file is damaged,
// has no such block or cannot be written; the file is unchanged then.
int rewrite_record(const char* source, int open_line, const char* path, int index,
                   const std::function<void(CatgRecord&)>& change);

// True when the log settings let normal lines through. The loops over every
// block ask once per call, so that with trace off a block is not decoded only
// to build a line that is never written.
bool trace_lines_on();

// The error line of a damaged record file, for the unit `source`.
void log_damaged(const char* source, int line, const char* path);
// The error line of a failed write, for the unit `source`.
void log_write_error(const char* source, int line, const char* path);
