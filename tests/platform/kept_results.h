// Shared by the tests of kept registry reads (the registry's own and the log
// facility's).
#pragma once

#include <chrono>
#include <thread>

// A read keeps its result only once the last change lies beyond the file
// system's coarse clock: wait that long, so that the next read is kept.
inline void settle()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
}
