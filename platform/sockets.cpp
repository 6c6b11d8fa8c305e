#include "platform/sockets.h"

#include <atomic>

namespace sockets {

namespace {
std::atomic<bool> g_failStartup{false};
std::atomic<int> g_startups{0};
} // namespace

int startup(int major, int minor)
{
    if (g_failStartup || major != 1 || minor != 1)
        return -1;
    ++g_startups;
    return 0;
}

int cleanup()
{
    // As on Windows, every release must match an earlier start-up.
    int count = g_startups.load();
    while (count > 0) {
        if (g_startups.compare_exchange_weak(count, count - 1))
            return 0;
    }
    return -1;
}

void set_fail_startup(bool fail)
{
    g_failStartup = fail;
}

} // namespace sockets
