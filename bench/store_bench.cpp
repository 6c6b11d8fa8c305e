// The record store alone, without the window, each benchmark on a fresh file:
// where the window's time goes when the table shows a ratio out of line.
#include "bench_support.h"

#include "store/app_config.h"
#include "store/record_file.h"
#include "store/record_ops.h"

#include <benchmark/benchmark.h>

#include <string>
#include <utility>
#include <vector>

namespace {

void store_list(benchmark::State& state)
{
    const std::string& path = bench::file_for("store_list", state.range(0));
    // The record list fill without the list: every live record of one category, with its index.
    for (auto _ : state)
        benchmark::DoNotOptimize(bench::list_walk(path, 50).data());
}

void store_add(benchmark::State& state)
{
    bench::use_record_file(bench::file_for("store_add", state.range(0)), 0);
    for (auto _ : state) {
        const int index = sub_add_datafile(30, "new account");
        state.PauseTiming();
        sub_delete_datafile(index);
        state.ResumeTiming();
    }
}

void store_read_one(benchmark::State& state)
{
    const std::string& path = bench::file_for("store_read_one", state.range(0));
    CatgRecord record;
    for (auto _ : state)
        benchmark::DoNotOptimize(read_record(path.c_str(), static_cast<int>(state.range(0) / 2), record));
}

void store_update(benchmark::State& state)
{
    bench::use_record_file(bench::file_for("store_update", state.range(0)), 0);
    for (auto _ : state)
        sub_update_datafile(static_cast<int>(state.range(0) / 2), "user: changed\r\n", -1);
}

BENCHMARK(store_list)->Apply(bench::sizes);
BENCHMARK(store_add)->Apply(bench::sizes);
BENCHMARK(store_read_one)->Apply(bench::sizes);
BENCHMARK(store_update)->Apply(bench::sizes);

} // namespace
