#include "platform/ids.h"

#include <unistd.h>

namespace ids {

long process_id()
{
    return static_cast<long>(getpid());
}

long thread_id()
{
    return static_cast<long>(gettid());
}

} // namespace ids
