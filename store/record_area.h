// Internal helpers of the record operations: opening the record file, checking
// that it is whole, and reading or writing one block at a 64-bit offset.
#pragma once

#include "store/record_file.h"

#include <cstdio>
#include <functional>

// Where the records of an opened record file lie.
struct RecordArea
{
    int32_t count = 0;  // header count N read from offset 0
    int64_t start = 0;  // offset of record index 0
    int64_t blocks = 0; // whole record blocks; a partial last block is not counted
};

enum class OpenStatus { Ok, Missing, Damaged };

// Reads the header count and checks the file against it. False for a damaged
// file: shorter than 4 bytes, a count outside 0..KIND_MAX, or shorter than its
// header entries.
bool read_record_area(FILE* file, RecordArea& area);

// Opens the record file with `mode` (never creating it) and reads its area.
OpenStatus open_record_file(const char* path, const char* mode, FILE*& file, RecordArea& area);

// Opens the record file for update as every record operation does: "rb+", or,
// when it cannot be opened, a new file ("wb+") holding a zero header count.
OpenStatus open_for_update(const char* path, FILE*& file, RecordArea& area);

// Reads one block at `offset` and unscrambles it.
bool read_block_at(FILE* file, int64_t offset, CatgRecord& plain);
// Scrambles a copy of `plain`, writes it at `offset` and flushes it to the file.
bool write_block_at(FILE* file, int64_t offset, const CatgRecord& plain);

// Closes the file; false when buffered data could not be written.
bool close_file(FILE* file);

// Reads record `index` of the record file for update, lets `change` edit the
// plain copy and writes it back in place. Logs the unit's error line
// "Data File (%s) Open Error\n" at `open_line` when the file can be neither
// opened nor created. -1 when that happens, or the file is damaged, has no such
// block or cannot be written; nothing is written then.
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
