// What the journal costs: a record added, updated and deleted, each synced
// with its journal before it returns, against the floor of one pwrite(2) of a
// block and an fdatasync(2), at 1,000 and 100,000 records. The adds reuse a
// free block at the start of the file, so that they measure the change and
// not the scan for a free block (the window benchmarks measure that).
#include "bench_support.h"

#include "store/app_config.h"
#include "store/record_file.h"
#include "store/record_ops.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const std::vector<int64_t> SIZES = {1000, 100000};

void sized(benchmark::internal::Benchmark* b)
{
    bench::sizes_of(b, SIZES);
}

void block_sync(benchmark::State& state)
{
    const std::string& path = bench::file_for("block_sync", state.range(0));
    const int fd = open(path.c_str(), O_RDWR);
    CatgRecord block{};
    const off_t offset = record_offset(bench::kCategories, state.range(0) / 2);
    for (auto _ : state) {
        if (pwrite(fd, &block, sizeof block, offset) != sizeof block || fdatasync(fd) != 0)
            state.SkipWithError("write failed");
    }
    close(fd);
}

void synced_add(benchmark::State& state)
{
    bench::use_record_file(bench::file_for("synced_add", state.range(0)), 0);
    sub_delete_datafile(0);
    for (auto _ : state) {
        if (sub_add_datafile(30, "new account") != 0)
            state.SkipWithError("the add did not reuse block 0");
        state.PauseTiming();
        sub_delete_datafile(0);
        state.ResumeTiming();
    }
}

void synced_update(benchmark::State& state)
{
    bench::use_record_file(bench::file_for("synced_update", state.range(0)), 0);
    // A text that differs each time: storing the same bytes again writes nothing.
    int n = 0;
    for (auto _ : state) {
        const std::string text = "user: changed " + std::to_string(n++) + "\r\n";
        if (sub_update_datafile(static_cast<int>(state.range(0) / 2), text.c_str(), -1) != 0)
            state.SkipWithError("update failed");
    }
}

void synced_delete(benchmark::State& state)
{
    bench::use_record_file(bench::file_for("synced_delete", state.range(0)), 0);
    sub_delete_datafile(0);
    for (auto _ : state) {
        state.PauseTiming();
        sub_add_datafile(30, "to delete"); // into block 0
        state.ResumeTiming();
        if (sub_delete_datafile(0) != 0)
            state.SkipWithError("delete failed");
    }
}

BENCHMARK(block_sync)->Apply(sized);
BENCHMARK(synced_add)->Apply(sized);
BENCHMARK(synced_update)->Apply(sized);
BENCHMARK(synced_delete)->Apply(sized);

const bool registered = [] {
    bench::add_ratio_row("add into a free block, synced", "synced_add", "", "block_sync", 3, SIZES);
    bench::add_ratio_row("update, synced", "synced_update", "", "block_sync", 3, SIZES);
    bench::add_ratio_row("delete, synced", "synced_delete", "", "block_sync", 3, SIZES);
    return true;
}();

} // namespace
