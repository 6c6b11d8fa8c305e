#include "tools/data/no_core_dumps.h"

#include <sys/prctl.h>
#include <sys/resource.h>

namespace kdata {

void disable_core_dumps()
{
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    const rlimit none = {0, 0};
    setrlimit(RLIMIT_CORE, &none);
}

} // namespace kdata
