// The record file's live records as the record list shows them, kept between
// list fills: each record's category and name, and all of them in list
// order. A fill then filters that order instead of walking the file and
// sorting again. What this process changes in the file is followed block by
// block (the record file module notes each change); anything else (another
// file, a file changed from outside, more changes than the module keeps)
// walks the file afresh.
#pragma once

#include "app/main_window/record_list.h"
#include "store/file/change_log.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class RecordFile;
struct CatgRecord;

class ListIndex
{
public:
    // The rows of category `filter` (0: of every category) in list order.
    // False when the file does not open (out untouched); a walk that fails
    // halfway gives the rows read so far and keeps nothing.
    bool rows(const char* path, int32_t filter, RecordRows& out);
    // Every live record's index in list order, brought up to date as rows()
    // does; null when the file does not open or its walk failed.
    const std::vector<int>* order(const char* path);

private:
    struct Entry
    {
        int32_t kind = 0;
        uint32_t name = 0; // offset in m_names
        uint16_t length = 0;
        bool live = false;
    };
    struct Found;
    // Brings what is kept up to date with the file open as `file`.
    void update(RecordFile& file);
    bool walk(const RecordFile& file);
    void findRows(const RecordFile& file, int64_t first, int64_t end, Found& found);
    static void reserve_for(Found& found, int64_t blocks, int64_t nameBlocks);
    bool follow(RecordFile& file, const std::vector<int64_t>& indices);
    // Takes record `index`'s head into its entry and its place in the order.
    void take(int64_t index, const CatgRecord& scrambled);
    std::string_view nameOf(int index) const;

    bool m_kept = false; // what follows is the file m_follower follows
    FileFollower m_follower;
    std::shared_ptr<std::string> m_names = std::make_shared<std::string>(); // shared with the list's rows
    std::vector<Entry> m_entries;                                           // by record index
    std::vector<int> m_order;                                               // live record indices in list order
};
