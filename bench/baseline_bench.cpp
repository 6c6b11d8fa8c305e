// The floors every ratio of the table is taken against, each on a file of its
// own: read(2) of the whole record file from the page cache, and a plain copy
// of it with fsync over an earlier copy (as cp over an existing file, and as
// the save replaces the record file: the old blocks are freed), started after
// a sync so that it waits on no earlier write-back.
#include "bench_support.h"

#include <benchmark/benchmark.h>

#include <string>
#include <unistd.h>

namespace {

void raw_read(benchmark::State& state)
{
    const std::string& path = bench::file_for("raw_read", state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(bench::read_floor(path));
}

void raw_copy(benchmark::State& state)
{
    const std::string& path = bench::file_for("raw_copy", state.range(0));
    const std::string copy = path + ".copy";
    bench::plain_copy(path, copy); // the earlier copy the measured ones replace
    for (auto _ : state) {
        state.PauseTiming();
        sync();
        state.ResumeTiming();
        if (!bench::plain_copy(path, copy))
            state.SkipWithError("copy failed");
    }
    unlink(copy.c_str());
}

BENCHMARK(raw_read)->Apply(bench::scale_sizes);
BENCHMARK(raw_copy)->Apply(bench::sizes);

} // namespace
