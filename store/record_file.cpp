#include "store/record_file.h"

#include "store/file/record_io.h"

#include <cstring>

int scramble_block(void* buffer, int length)
{
    auto* bytes = static_cast<unsigned char*>(buffer);
    int i = 0;
    // Sixteen bytes at a time: every listing and scan passes whole files through here.
    using Words = uint64_t __attribute__((vector_size(16)));
    constexpr Words LOW = {0x0F0F0F0F0F0F0F0FULL, 0x0F0F0F0F0F0F0F0FULL};
    for (; i + 16 <= length; i += 16) {
        Words words;
        memcpy(&words, bytes + i, sizeof words);
        words = ~(((words & LOW) << 4) | ((words >> 4) & LOW));
        memcpy(bytes + i, &words, sizeof words);
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

void scrambled_field_text(const char* field, int size, char* out)
{
    // A terminator is scrambled to 0xFF and no other byte is.
    const void* end = memchr(field, 0xFF, static_cast<size_t>(size));
    const size_t length = end ? static_cast<size_t>(static_cast<const char*>(end) - field) : static_cast<size_t>(size);
    memcpy(out, field, length);
    unscramble_block(out, static_cast<int>(length));
    out[length] = '\0';
}

struct RecordReader::Impl
{
    RecordFile file;
    bool open = false;
    std::unique_ptr<BlockWalk> walk;  // made by the first next() or nextHead(), which says what it needs
    const CatgRecord* head = nullptr; // the block nextHead() returned last, still scrambled
};

RecordReader::RecordReader(const char* path) : m_impl(new Impl)
{
    m_impl->open = m_impl->file.openRead(path) == OpenStatus::Ok;
}

RecordReader::~RecordReader()
{
    delete m_impl;
}

bool RecordReader::isOpen() const
{
    return m_impl->open;
}

int32_t RecordReader::headerCount() const
{
    return m_impl->file.area().count;
}
bool RecordReader::next(CatgRecord& record, int& index)
{
    if (m_impl->open && !m_impl->walk)
        m_impl->walk = std::make_unique<BlockWalk>(m_impl->file.walk());
    const CatgRecord* block = m_impl->walk ? m_impl->walk->next() : nullptr;
    if (!block)
        return false;
    record = *block;
    unscramble_block(&record, sizeof record);
    index = static_cast<int>(m_impl->walk->index());
    return true;
}

bool RecordReader::nextHead(int32_t& flag, int32_t& catg_kind, int& index)
{
    if (m_impl->open && !m_impl->walk)
        m_impl->walk = std::make_unique<BlockWalk>(m_impl->file.walk(true));
    m_impl->head = m_impl->walk ? m_impl->walk->next() : nullptr;
    if (!m_impl->head)
        return false;
    int32_t head[2];
    memcpy(head, m_impl->head, sizeof head);
    unscramble_block(head, sizeof head);
    flag = head[0];
    catg_kind = head[1];
    index = static_cast<int>(m_impl->walk->index());
    return true;
}

void RecordReader::name(char* out) const
{
    if (m_impl->head)
        scrambled_field_text(m_impl->head->name, NAME_SIZE, out);
    else
        out[0] = '\0';
}

int read_record(const char* path, int index, CatgRecord& record)
{
    RecordFile file;
    // Reading needs no more than read access; never created here.
    if (file.openRead(path) != OpenStatus::Ok || !file.readBlock(index, record))
        return -1;
    unscramble_block(&record, sizeof record);
    return 0;
}
