// The record file: a plain 32-bit header count N, N scrambled category
// headers of 516 bytes, then scrambled record blocks of 4616 bytes up to the
// end of the file. Integers are 32-bit little-endian, text is CP932.
#pragma once

#include <cstdint>

constexpr int KIND_MAX = 128;     // categories a record file can hold
constexpr int NAME_SIZE = 512;    // name field: 511 bytes of text and the terminator
constexpr int DATA_SIZE = 4096;   // data field: 4095 bytes of text and the terminator
constexpr int KIND_ALL = -100;    // item data of the "(ALL)" row
constexpr int64_t COUNT_SIZE = 4; // the plain header count at offset 0

// One category header entry, 516 bytes on disk.
struct KindHeader
{
    int32_t kind_id;
    char name[NAME_SIZE];
};
static_assert(sizeof(KindHeader) == 516);

// One record block, 4616 bytes on disk. flag 1 = live, anything else = free.
struct CatgRecord
{
    int32_t flag;
    int32_t catg_kind;
    char name[NAME_SIZE];
    char data[DATA_SIZE];
};
static_assert(sizeof(CatgRecord) == 4616);

constexpr int64_t HEADER_SIZE = sizeof(KindHeader);
constexpr int64_t RECORD_SIZE = sizeof(CatgRecord);

// The self-inverse byte transform of every header entry and record block:
// swap the two 4-bit halves of each byte, then invert all bits. Both return 0;
// a length of 0 or less changes nothing.
int scramble_block(void* buffer, int length);
int unscramble_block(void* buffer, int length);

// Byte offset of record index i in a file whose header count is n.
constexpr int64_t record_offset(int32_t header_count, int64_t index)
{
    return COUNT_SIZE + header_count * HEADER_SIZE + index * RECORD_SIZE;
}

// Reads live and free records of the record file at a CP932 path one after
// the other, in file order. A missing or damaged file (header count outside
// 0..128, or shorter than its header) cannot be opened; a partial last block
// is never read.
class RecordReader
{
public:
    explicit RecordReader(const char* path);
    ~RecordReader();
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    bool isOpen() const;
    int32_t headerCount() const;
    // Next block, unscrambled; false at the end of the record area. index is
    // the block's record index.
    bool next(CatgRecord& record, int& index);
    // Next block with its flag and category alone unscrambled, for a walk
    // that looks at most blocks no further; name() decodes the name of the
    // block it returned last. false at the end of the record area.
    bool nextHead(int32_t& flag, int32_t& catg_kind, int& index);
    // The name of the block that nextHead() returned last, zero-terminated
    // (out holds NAME_SIZE + 1 bytes).
    void name(char* out) const;

private:
    struct Impl;
    Impl* m_impl;
};

// Reads record index `index` (unscrambled) from the record file, opened for
// update as the data pane does. -1 when the file is missing, damaged or has
// no such block.
int read_record(const char* path, int index, CatgRecord& record);

// Copies a field of `size` bytes into a zero-terminated buffer of size + 1,
// never reading past the field even when it holds no terminator.
void field_text(const char* field, int size, char* out);
// The same for a field still scrambled: only the bytes up to its terminator
// are unscrambled.
void scrambled_field_text(const char* field, int size, char* out);
