#include "app/main_window/list_index.h"

#include "app/widgets/list_item.h"
#include "app/widgets/text_edge.h"
#include "commons/commons.h"
#include "platform/file_calls.h"
#include "platform/list_order.h"
#include "store/file/record_io.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

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

ListIndex::Identity ListIndex::identityOf(int fd)
{
    struct stat st;
    if (!fc::fstat(fd, st))
        return {};
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
}

QStringView ListIndex::textOf(int index) const
{
    const Entry& entry = m_entries[static_cast<size_t>(index)];
    return QStringView(m_texts).mid(entry.text, entry.length);
}

bool ListIndex::rows(const char* path, int32_t filter, RecordRows& out)
{
    RecordFile file;
    if (file.openRead(path) != OpenStatus::Ok)
        return false;
    const uint64_t now = file_changes_now();
    std::vector<FileChange> changes;
    std::vector<int64_t> ours;
    bool current = m_kept && m_native == file.native() && file_changes_since(m_seen, changes);
    for (const FileChange& change : changes)
        if (change.native == m_native)
            ours.push_back(change.index);
    // Changed from outside: the file is not the one last read, and this process did not change it.
    current = current && (ours.empty() ? identityOf(file.fd()) == m_identity : follow(file, ours));
    m_seen = now;
    m_native = file.native();
    m_identity = identityOf(file.fd());
    m_kept = current || walk(file);

    out.texts = m_texts; // shared, not copied
    out.rows.clear();
    if (filter <= 0)
        out.rows.reserve(m_order.size());
    for (int index : m_order) {
        const Entry& entry = m_entries[static_cast<size_t>(index)];
        if (filter <= 0 || entry.kind == filter)
            out.rows.push_back({entry.text, entry.length, index});
    }
    if (!m_kept) { // the rows read so far, nothing kept
        m_texts.clear();
        m_entries.clear();
        m_order.clear();
    }
    return true;
}

bool ListIndex::walk(RecordFile& file)
{
    m_texts.clear();
    m_entries.assign(static_cast<size_t>(file.area().blocks), Entry{});
    m_order.clear();
    // One key per row, in one buffer, for the one sort; freed after it.
    std::string keys;
    std::vector<std::pair<uint32_t, uint32_t>> keyAt(m_entries.size());
    BlockWalk blocks = file.walk(true);
    char name[NAME_SIZE + 1];
    while (const CatgRecord* block = blocks.next()) {
        const Head head = head_of(*block);
        if (head.flag != 1)
            continue;
        const auto index = static_cast<size_t>(blocks.index());
        scrambled_field_text(block->name, NAME_SIZE, name);
        Entry& entry = m_entries[index];
        entry = {head.kind, static_cast<uint32_t>(m_texts.size()), 0, true};
        append_from_cp932(name, m_texts);
        entry.length = static_cast<uint16_t>(m_texts.size() - entry.text);
        const size_t key = keys.size();
        list_order::append_key(list_text(textOf(static_cast<int>(index))), keys);
        keyAt[index] = {static_cast<uint32_t>(key), static_cast<uint32_t>(keys.size() - key)};
        m_order.push_back(static_cast<int>(index));
    }
    const std::string_view all(keys);
    std::sort(m_order.begin(), m_order.end(), [&](int a, int b) {
        return list_order::row_before(all.substr(keyAt[a].first, keyAt[a].second), a,
                                      all.substr(keyAt[b].first, keyAt[b].second), b);
    });
    return !blocks.failed();
}

bool ListIndex::follow(RecordFile& file, const std::vector<int64_t>& indices)
{
    for (int64_t index : indices) {
        CatgRecord block;
        if (index < 0 || !file.readBlock(index, block))
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
    char name[NAME_SIZE + 1];
    QString text;
    if (head.flag == 1) {
        scrambled_field_text(scrambled.name, NAME_SIZE, name);
        append_from_cp932(name, text);
    }
    Entry& entry = m_entries[static_cast<size_t>(index)];
    const bool live = head.flag == 1;
    if (entry.live == live && (!live || (entry.kind == head.kind && textOf(static_cast<int>(index)) == text)))
        return; // the head is as it was (a data text stored)
    // The keys of the rows a search meets, made as it meets them: a search meets few.
    const auto before = [this](int a, int b) {
        return list_order::row_before(list_key(textOf(a)), a, list_key(textOf(b)), b);
    };
    const int at = static_cast<int>(index);
    if (entry.live)
        m_order.erase(std::lower_bound(m_order.begin(), m_order.end(), at, before));
    entry = {head.kind, static_cast<uint32_t>(m_texts.size()), static_cast<uint16_t>(text.size()), live};
    if (!live)
        return;
    m_texts.append(text);
    m_order.insert(std::upper_bound(m_order.begin(), m_order.end(), at, before), at);
}
