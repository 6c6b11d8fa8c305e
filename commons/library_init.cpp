#include "commons/commons_internal.h"

#include "platform/sockets.h"

#include <cstdio>
#include <cstdlib>

namespace commons {

void library_load()
{
    if (sockets::startup(1, 1) == 0)
        return;
    std::fprintf(stderr, "%s\n", kMessage101);
    std::fflush(stderr);
    std::exit(EXIT_FAILURE);
}

void library_unload()
{
    sockets::cleanup();
}

} // namespace commons
