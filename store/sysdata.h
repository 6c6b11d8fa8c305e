// Category table load (at start) and save (at the end) through the record file
// named by g_app_config.datafile. Both return 0, or -1 on failure.
#pragma once

#include "store/file/record_io.h"

#include <string>
#include <vector>

int sub_sysdata_load();
int sub_sysdata_save();

// The category header built from KindTable, written now (when the category
// editor closes), quietly: in place when the count is the file's own, else
// through a new image; nothing when the file holds it already.
SaveResult store_category_header();

// A category of KindTable whose header differs from the file's, or one the
// file has and KindTable no longer: what a failed save leaves unsaved.
struct CategoryChange
{
    enum Kind { Added, Renamed, Deleted } kind;
    std::string name; // CP932
};
std::vector<CategoryChange> unsaved_category_changes();
