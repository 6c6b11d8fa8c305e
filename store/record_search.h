// One pass over the live records of the record file, for finding records by
// their text. The walk reads the file once, in file order, as the record list
// does; what counts as a match is the caller's.
#pragma once

#include <cstdint>
#include <functional>

// A live record as the walk hands it over. name and data are zero-terminated
// within their fields' sizes and valid only during the call.
struct LiveRecord
{
    int index;    // record index
    int32_t kind; // catg_kind
    const char* name;
    const char* data;
};

// Calls `visit` for every live record of the record file at the CP932 path
// `path`, in file order. -1 when the file is missing or damaged (nothing is
// visited), else the number of live records visited.
int walk_live_records(const char* path, const std::function<void(const LiveRecord&)>& visit);

// The same with a large file cut into `parts` parts (at most) walked at once,
// each on a thread of its own: `visit` gets the part's number (0 for the
// first records), and is called in file order within each part. The number of
// parts walked is returned in `walked`.
int walk_live_records(const char* path, int parts, int& walked,
                      const std::function<void(int part, const LiveRecord&)>& visit);
