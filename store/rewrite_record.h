// The shared step of the record operations that change one record in place.
#pragma once

#include "store/record_file.h"

#include <functional>

// Reads record `index` of the record file for update, lets `change` edit the
// plain copy and writes it back in place, whole or not at all (nothing when
// it did not change). Logs the unit's error line "Data File (%s) Open Error\n"
// at `open_line` when the file can be neither opened nor created. -1 when
// that happens, or the file is damaged or read-only for this run, has no
// such block or cannot be written; the file is unchanged then.
int rewrite_record(const char* source, int open_line, const char* path, int index,
                   const std::function<void(CatgRecord&)>& change);
