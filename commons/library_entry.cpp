// Load and unload hooks of libcommons.so itself; kept out of the static build
// so that tests decide when start-up runs.
#include "commons/commons_internal.h"

namespace {

__attribute__((constructor)) void on_load()
{
    commons::library_load();
}

__attribute__((destructor)) void on_unload()
{
    commons::library_unload();
}

} // namespace
