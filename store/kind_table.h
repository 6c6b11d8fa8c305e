// KindTable: the in-memory mirror of the record file's category headers, the
// only copy of file data held during a run.
#pragma once

#include "record_file.h"

struct KindSlot
{
    int32_t in_use; // 1 = the slot holds a category
    int32_t kind_id;
    char name[NAME_SIZE];
};

// The process-wide table of exactly KIND_MAX slots.
extern KindSlot KindTable[KIND_MAX];
