#include "store/record_file.h"

#include "store/record_area.h"

#include <cstring>

int scramble_block(void* buffer, int length)
{
    auto* bytes = static_cast<unsigned char*>(buffer);
    int i = 0;
    // Eight bytes at a time: every listing and scan passes whole files through here.
    constexpr uint64_t LOW = 0x0F0F0F0F0F0F0F0FULL;
    for (; i + 8 <= length; i += 8) {
        uint64_t word;
        memcpy(&word, bytes + i, sizeof word);
        word = ~(((word & LOW) << 4) | ((word >> 4) & LOW));
        memcpy(bytes + i, &word, sizeof word);
    }
    for (; i < length; ++i) {
        const unsigned char b = bytes[i];
        bytes[i] = static_cast<unsigned char>(~((b << 4) | (b >> 4)));
    }
    return 0;
}

int unscramble_block(void* buffer, int length)
{
    // Inverting and swapping the halves commute: the transform is its own inverse.
    return scramble_block(buffer, length);
}

void field_text(const char* field, int size, char* out)
{
    const size_t length = strnlen(field, static_cast<size_t>(size));
    memcpy(out, field, length);
    out[length] = '\0';
}

struct RecordReader::Impl
{
    FILE* file = nullptr;
    RecordArea area;
    int64_t nextIndex = 0;
};

RecordReader::RecordReader(const char* path) : m_impl(new Impl)
{
    if (open_record_file(path, "rb", m_impl->file, m_impl->area) == OpenStatus::Ok) {
        use_walk_buffer(m_impl->file);
        if (fseeko(m_impl->file, m_impl->area.start, SEEK_SET) != 0) {
            fclose(m_impl->file);
            m_impl->file = nullptr;
        }
    }
}

RecordReader::~RecordReader()
{
    if (m_impl->file)
        fclose(m_impl->file);
    delete m_impl;
}

bool RecordReader::isOpen() const
{
    return m_impl->file != nullptr;
}

int32_t RecordReader::headerCount() const
{
    return m_impl->area.count;
}

bool RecordReader::next(CatgRecord& record, int& index)
{
    if (!m_impl->file || m_impl->nextIndex >= m_impl->area.blocks)
        return false;
    if (fread(&record, sizeof record, 1, m_impl->file) != 1)
        return false;
    unscramble_block(&record, sizeof record);
    index = static_cast<int>(m_impl->nextIndex++);
    return true;
}

int read_record(const char* path, int index, CatgRecord& record)
{
    FILE* file = nullptr;
    RecordArea area;
    // Opened for update like the original data pane, but never created here.
    if (open_record_file(path, "rb+", file, area) != OpenStatus::Ok)
        return -1;
    int result = -1;
    if (index >= 0 && index < area.blocks && read_block_at(file, area.start + index * RECORD_SIZE, record))
        result = 0;
    fclose(file);
    return result;
}
