#include "app/main_window/list_index.h"

#include "commons/commons.h"
#include "platform/file_calls.h"
#include "platform/list_order.h"
#include "store/file/record_io.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>

namespace {

struct Head
{
    int32_t flag;
    int32_t kind;
};

Head head_of(const CatgRecord& scrambled)
{
    int32_t head[2];
    memcpy(head, &scrambled, sizeof head);
    unscramble_block(head, sizeof head);
    return {head[0], head[1]};
}

} // namespace

std::string_view ListIndex::nameOf(int index) const
{
    const Entry& entry = m_entries[static_cast<size_t>(index)];
    return std::string_view(*m_names).substr(entry.name, entry.length);
}

bool ListIndex::rows(const char* path, int32_t filter, RecordRows& out)
{
    RecordFile file;
    if (file.openRead(path) != OpenStatus::Ok)
        return false;
    update(file);
    out.names = m_names; // shared, not copied
    out.rows.clear();
    if (filter <= 0)
        out.rows.reserve(m_order.size());
    for (int index : m_order) {
        const Entry& entry = m_entries[static_cast<size_t>(index)];
        if (filter <= 0 || entry.kind == filter)
            out.rows.push_back({entry.name, entry.length, index});
    }
    if (!m_kept) { // the rows read so far, nothing kept
        m_names = std::make_shared<std::string>();
        m_entries.clear();
        m_order.clear();
    }
    return true;
}

const std::vector<int>* ListIndex::order(const char* path)
{
    RecordFile file;
    if (file.openRead(path) != OpenStatus::Ok)
        return nullptr;
    update(file);
    return m_kept ? &m_order : nullptr;
}

void ListIndex::update(RecordFile& file)
{
    std::vector<int64_t> changed;
    const bool stands = m_follower.follow(file.native(), file.fd(), changed);
    m_kept = (m_kept && stands && follow(file, changed)) || walk(file);
}

namespace {

// Below this many blocks one thread walks the whole file.
constexpr int64_t SPLIT_FROM_BLOCKS = 8192;

} // namespace

// What a walk of part of the file found, besides the entries it filled: the
// names its entries point into, and its live records sorted by their keys.
struct ListIndex::Found
{
    struct Row
    {
        int index;
        uint32_t key; // in keys
        uint32_t length;
        std::string_view in(const std::string& keys) const { return std::string_view(keys).substr(key, length); }
    };
    std::string names;
    std::string keys;
    std::vector<Row> rows;
    bool failed = false;
};

namespace {

// After this many rows the buffers are sized for the whole part at once, from
// the sizes so far: grown step by step they would hold up to twice that.
constexpr size_t RESERVE_AFTER_ROWS = 2048;

template <typename Buffer> void reserve_like(Buffer& buffer, size_t rows, int64_t blocks)
{
    buffer.reserve(static_cast<size_t>(static_cast<double>(buffer.size()) / rows * blocks * 1.1));
}

} // namespace

void ListIndex::reserve_for(Found& found, int64_t blocks, int64_t nameBlocks)
{
    const size_t rows = found.rows.size();
    reserve_like(found.names, rows, nameBlocks);
    reserve_like(found.keys, rows, blocks);
    found.rows.reserve(static_cast<size_t>(blocks));
}

// Walks record indices first up to end: each live record's entry filled, its
// name kept in found.names, its sort key made, and the rows sorted by it. The
// front part's names have room for the back part's, which join them.
void ListIndex::findRows(const RecordFile& file, int64_t first, int64_t end, Found& found)
{
    BlockWalk blocks = file.walk(true, first, end);
    char name[NAME_SIZE + 1];
    while (const CatgRecord* block = blocks.next()) {
        const Head head = head_of(*block);
        if (head.flag != 1)
            continue;
        scrambled_field_text(block->name, NAME_SIZE, name);
        const std::string_view stored(name);
        m_entries[static_cast<size_t>(blocks.index())] = {head.kind, static_cast<uint32_t>(found.names.size()),
                                                          static_cast<uint16_t>(stored.size()), true};
        found.names.append(stored);
        const auto key = static_cast<uint32_t>(found.keys.size());
        list_order::append_key_cp932(stored, found.keys);
        found.rows.push_back({static_cast<int>(blocks.index()), key, static_cast<uint32_t>(found.keys.size() - key)});
        if (found.rows.size() == RESERVE_AFTER_ROWS)
            reserve_for(found, end - first, first == 0 ? static_cast<int64_t>(m_entries.size()) : end - first);
    }
    found.failed = blocks.failed();
    const std::string& keys = found.keys;
    list_order::sort_by_key(
        found.rows.data(), found.rows.size(), [&keys](const Found::Row& row) { return row.in(keys); },
        [](const Found::Row& row) { return row.index; });
}

bool ListIndex::walk(const RecordFile& file)
{
    // A large file is walked in two halves at once (each filling entries of
    // its own): reading the heads, converting the names and making their keys
    // cost far more than joining the two sorted halves.
    const int64_t blocks = file.area().blocks;
    const int64_t half = blocks >= SPLIT_FROM_BLOCKS ? blocks / 2 : blocks;
    m_entries.assign(static_cast<size_t>(blocks), Entry{});
    Found front;
    Found back;
    if (half < blocks) {
        std::thread other([&] { findRows(file, half, blocks, back); });
        findRows(file, 0, half, front);
        other.join();
    } else {
        findRows(file, 0, blocks, front);
    }

    m_order.clear();
    m_order.reserve(front.rows.size() + back.rows.size());
    auto a = front.rows.begin();
    auto b = back.rows.begin();
    while (a != front.rows.end() || b != back.rows.end()) {
        const bool fromBack =
            a == front.rows.end() ||
            (b != back.rows.end() && list_order::row_before(b->in(back.keys), b->index, a->in(front.keys), a->index));
        m_order.push_back(fromBack ? b++->index : a++->index);
    }
    // The keys go before the names are joined: the peak is the smaller.
    const bool failed = front.failed || back.failed;
    const auto shift = static_cast<uint32_t>(front.names.size());
    for (Found* part : {&front, &back}) {
        part->keys = std::string();
        part->rows = std::vector<Found::Row>();
    }
    // The back half's names follow the front's.
    for (size_t index = static_cast<size_t>(half); index < m_entries.size(); ++index)
        m_entries[index].name += shift;
    front.names.append(back.names);
    back.names = std::string();
    m_names = std::make_shared<std::string>(std::move(front.names));
    return !failed;
}

bool ListIndex::follow(RecordFile& file, const std::vector<int64_t>& indices)
{
    for (int64_t index : indices) {
        CatgRecord block;
        if (!file.readBlock(index, block))
            return false;
        take(index, block);
    }
    // Blocks past the end of the area (a shorter file) would have been noted as the whole file.
    return static_cast<int64_t>(m_entries.size()) <= file.area().blocks;
}

void ListIndex::take(int64_t index, const CatgRecord& scrambled)
{
    if (static_cast<size_t>(index) >= m_entries.size())
        m_entries.resize(static_cast<size_t>(index) + 1);
    const Head head = head_of(scrambled);
    const bool live = head.flag == 1;
    char name[NAME_SIZE + 1] = {};
    if (live)
        scrambled_field_text(scrambled.name, NAME_SIZE, name);
    Entry& entry = m_entries[static_cast<size_t>(index)];
    if (entry.live == live && (!live || (entry.kind == head.kind && nameOf(static_cast<int>(index)) == name)))
        return; // the head is as it was (a data text stored)
    // The keys of the rows a search meets, made as it meets them: a search meets few.
    const auto before = [this](int a, int b) {
        return list_order::row_before(list_order::key_cp932(nameOf(a)), a, list_order::key_cp932(nameOf(b)), b);
    };
    const int at = static_cast<int>(index);
    if (entry.live)
        m_order.erase(std::lower_bound(m_order.begin(), m_order.end(), at, before));
    // Appended to a copy while a list still shows the names as they were.
    std::string& names = RecordRows::own(m_names);
    entry = {head.kind, static_cast<uint32_t>(names.size()), static_cast<uint16_t>(strlen(name)), live};
    if (!live)
        return;
    names.append(name);
    m_order.insert(std::upper_bound(m_order.begin(), m_order.end(), at, before), at);
}
