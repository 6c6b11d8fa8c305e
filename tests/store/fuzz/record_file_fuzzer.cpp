// libFuzzer driver: every input is one record file case in a scratch folder.
#include "record_file_fuzz.h"

#include <cstdlib>
#include <string>

namespace {
std::string g_folder;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // TMPDIR=/dev/shm keeps the save's fsync off the disk while fuzzing.
    const char* tmp = getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/kestrel-fuzz-XXXXXX";
    if (!mkdtemp(templ.data()))
        abort();
    g_folder = templ;
    // Keep the registry stand-in (log settings) inside the scratch folder.
    setenv("KESTREL_REGISTRY", (g_folder + "/registry").c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    run_record_file_case(g_folder, data, size);
    return 0;
}
