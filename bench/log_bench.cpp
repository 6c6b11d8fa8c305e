// One log call that writes nothing: the cost of reading the log settings from
// the registry stand-in, which every log call outside the loops pays.
#include "bench_support.h"

#include "commons/commons.h"

#include <benchmark/benchmark.h>

namespace {

// The shared key exists, as it does once the program has stored its
// configuration; log_type is set to the given text, or removed when null.
void use_log_type(const char* type)
{
    if (type)
        sub_regwrite("log_type", type);
    else
        sub_regremove("log_type"); // creates the key when missing
}

// Logging off: no log_type value.
void log_off(benchmark::State& state)
{
    use_log_type(nullptr);
    for (auto _ : state)
        logputd(1, __FILE_NAME__, __LINE__, "Adding Data ncnt=%d, nidx=%d, name=(%s)\n", 1, 0, "account");
}

// log_type 1 and a normal record: log_type is read, the record is not written.
void log_errors_only(benchmark::State& state)
{
    use_log_type("1");
    for (auto _ : state)
        logputd(1, __FILE_NAME__, __LINE__, "Adding Data ncnt=%d, nidx=%d, name=(%s)\n", 1, 0, "account");
    use_log_type(nullptr); // the other benchmarks run with logging off
}

const bool registered = [] {
    benchmark::RegisterBenchmark("logputd_log_off", log_off)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("logputd_type1_normal", log_errors_only)->Unit(benchmark::kMicrosecond);
    return true;
}();

} // namespace
