// The category table changes of the category editor: they work on KindTable,
// and touch the record file only to make sure it exists (add) and to free the
// records of a deleted category (delete).
#pragma once

#include <cstdint>
#include <set>

// Puts a new category into the lowest free slot with an id that no category
// and no live record carries, then makes sure the record file exists.
// Returns the slot, or -1 when all slots are in use (the file is still made sure of).
int kindedt_add(const char* name);
// Gives the category in `slot` a new name.
void kindedt_rename(int slot, const char* name);
// Clears `slot` and frees every live record of its category in the record
// file, all in one change. -1 when the records could not be freed: the slot
// is then kept as it was.
int kindedt_delete(int slot);

// The id a new category in `slot` gets: 10 x (slot + 1) unless a category or
// a live record carries it (in `used`), then the lowest free multiple of 10.
int32_t kind_id_for_slot(int slot, const std::set<int32_t>& used);
