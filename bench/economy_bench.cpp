// What the user's browsing and the run's first change cost the disk: the head
// walk (the floor of a list fill: a read-only map of the file, touching only
// each block's flag, category and name), five record selections with nothing
// edited (syncs and bytes written, counted through the file-call layer), the
// end of a run that changed no category (bytes written), and the first edit
// of a run against a later one, made a few seconds after the start while the
// backup is copied in the background.
#include "bench_support.h"

#include "platform/file_calls.h"
#include "store/app_config.h"
#include "store/file/record_session.h"
#include "store/record_file.h"
#include "store/record_ops.h"
#include "store/sysdata.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>
#include <unistd.h>

namespace {

int g_syncs = 0;
int g_writes = 0;
int counting(FileCall call, const char*, int)
{
    g_syncs += call == FileCall::Sync ? 1 : 0;
    g_writes += call == FileCall::Write ? 1 : 0;
    return 0;
}

void head_walk(benchmark::State& state)
{
    const std::string& path = bench::file_for("head_walk", state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(bench::head_walk_floor(path));
}

// Stores the same text into five records, as selecting them one after the
// other with nothing typed does; counts what reached the disk.
void browse_five(benchmark::State& state)
{
    const std::string& path = bench::file_for("browse_five", state.range(0));
    bench::use_record_file(path, 0);
    for (auto _ : state) {
        begin_record_session(path.c_str());
        g_syncs = g_writes = 0;
        set_file_call_hook(counting);
        for (int index : {1, 3, 5, 7, 9}) {
            CatgRecord record;
            read_record(path.c_str(), index, record);
            char data[DATA_SIZE + 1];
            field_text(record.data, DATA_SIZE, data);
            sub_update_datafile(index, data, -1);
        }
        set_file_call_hook(nullptr);
        end_record_session();
    }
    bench::record_figure("browse_five_syncs/" + std::to_string(state.range(0)), g_syncs);
    bench::record_figure("browse_five_writes/" + std::to_string(state.range(0)), g_writes);
}

void exit_unchanged(benchmark::State& state)
{
    const std::string& path = bench::file_for("exit_unchanged", state.range(0));
    bench::use_record_file(path, 0);
    for (auto _ : state) {
        g_syncs = g_writes = 0;
        set_file_call_hook(counting);
        sub_sysdata_save();
        set_file_call_hook(nullptr);
    }
    bench::record_figure("exit_unchanged_writes/" + std::to_string(state.range(0)), g_writes);
}

// One edit a few seconds after the start: `first` the run's first (it waits for
// what is left of the background backup), else a later one.
void edit_after_start(benchmark::State& state, bool first)
{
    const std::string& path = bench::file_for(first ? "first_edit" : "later_edit", state.range(0));
    bench::use_record_file(path, 0);
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        begin_record_session(path.c_str());
        session_start_backup();
        if (!first)
            sub_update_datafile(2, "warming up", -1);
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const std::string text = "edit " + std::to_string(n++);
        state.ResumeTiming();
        sub_update_datafile(1, text.c_str(), -1);
        state.PauseTiming();
        end_record_session();
        state.ResumeTiming();
    }
}

void first_edit(benchmark::State& state)
{
    edit_after_start(state, true);
}

void later_edit(benchmark::State& state)
{
    edit_after_start(state, false);
}

void once(benchmark::internal::Benchmark* b)
{
    for (int64_t size : bench::kScaleSizes)
        b->Arg(size);
    b->Iterations(1)->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(head_walk)->Apply(bench::scale_sizes);
BENCHMARK(browse_five)->Apply(once);
BENCHMARK(exit_unchanged)->Apply(once);
// Three runs each: one edit is one sample of a disk shared with the copy.
BENCHMARK(first_edit)->Apply(once)->Iterations(3);
BENCHMARK(later_edit)->Apply(once)->Iterations(3);

namespace {

[[maybe_unused]] const bool g_rows = [] {
    bench::add_scale_row("first edit of a run (backup behind it)", "first_edit", "later_edit", 2);
    for (int64_t size : bench::kScaleSizes) {
        bench::add_count_row("five selections, nothing edited: syncs", "browse_five_syncs", size, 0);
        bench::add_count_row("five selections, nothing edited: writes", "browse_five_writes", size, 0);
        bench::add_count_row("exit, no category changed: writes", "exit_unchanged_writes", size, 0);
    }
    return true;
}();

} // namespace
