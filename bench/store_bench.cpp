// The record store alone, without the window, each benchmark on a fresh file:
// where the window's time goes when the table shows a ratio out of line.
#include "bench_support.h"

#include "store/app_config.h"
#include "store/file/data_key.h"
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

// Opening a protected file's key with its password: Argon2id at the cost a new
// password gets, which the start-up of a protected file adds to its time.
void key_derivation(benchmark::State& state)
{
    if (!data_key::create("bench", KeyCost::standard()))
        state.SkipWithError("no key could be made");
    const KeyWrap wrap = data_key::wrap();
    for (auto _ : state)
        if (data_key::unlock(wrap, "bench") != Unlock::Ok)
            state.SkipWithError("the key does not open");
    data_key::forget();
}

BENCHMARK(key_derivation)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(store_list)->Apply(bench::sizes);
BENCHMARK(store_add)->Apply(bench::sizes);
BENCHMARK(store_read_one)->Apply(bench::sizes);
BENCHMARK(store_update)->Apply(bench::sizes);

} // namespace
