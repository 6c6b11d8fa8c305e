// Filling the main window's record list for "(ALL)" - the real QListWidget,
// sorted, with item data and the trace lines - beside the store-only walk of
// the same file with RecordReader. The summary gives the fill as a ratio to
// the walk.
#include "bench_support.h"

#include "app/kestrelDlg.h"
#include "commons/commons.h"
#include "store/app_config.h"
#include "store/record_file.h"
#include "store/sysdata.h"

#include <QApplication>
#include <QListWidget>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int64_t SIZES[] = {10000, 100000};

// Live records of the file: the store benchmarks before this one may have
// freed some of the generated ones.
int live_records(const char* path)
{
    RecordReader reader(path);
    CatgRecord record;
    int index = 0;
    int live = 0;
    while (reader.next(record, index))
        live += record.flag == 1;
    return live;
}

void app_list_all(benchmark::State& state)
{
    bench::ensure_application();
    bench::use_record_file(state.range(0), 0); // "(ALL)"
    auto window = std::make_unique<kestrelDlg>();
    window->sub_redisplay_kind();
    for (auto _ : state) {
        window->sub_redisplay_catg();
        benchmark::DoNotOptimize(window->m_list2->count());
    }
    if (window->m_list2->count() != live_records(g_app_config.datafile))
        state.SkipWithError("the list does not hold every record");
    // The window's end saves; keep the generated file as it is.
    g_app_config.datafile_changed = 1;
}

void store_walk_all(benchmark::State& state)
{
    bench::use_record_file(state.range(0), 0); // "(ALL)"
    for (auto _ : state) {
        std::vector<std::pair<int, std::string>> rows;
        RecordReader reader(g_app_config.datafile);
        CatgRecord record;
        int index = 0;
        while (reader.next(record, index))
            if (record.flag == 1)
                rows.emplace_back(index, record.name);
        benchmark::DoNotOptimize(rows.data());
    }
}

// The trace lines alone: one logputd per listed record, with logging off (the
// log facility reads its settings from the registry on every call).
void log_lines_all(benchmark::State& state)
{
    for (auto _ : state)
        for (int64_t i = 0; i < state.range(0); ++i)
            logputd(1, __FILE_NAME__, __LINE__, "Adding Data ncnt=%d, nidx=%d, name=(%s)\n", static_cast<int>(i), 0,
                    "account");
}

const bool registered = [] {
    for (int64_t size : SIZES) {
        benchmark::RegisterBenchmark("store_walk_all", store_walk_all)->Arg(size)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("app_list_all", app_list_all)->Arg(size)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("log_lines_all", log_lines_all)->Arg(size)->Unit(benchmark::kMillisecond);
    }
    bench::add_summary([] {
        std::printf("\nRecord list fill for (ALL) against the store-only walk (target: within 3x)\n");
        std::printf("%10s %12s %12s %12s %8s %16s\n", "records", "walk ms", "list ms", "log ms", "ratio",
                    "ratio w/o log");
        for (int64_t size : SIZES) {
            const double walk = bench::time_of("store_walk_all", size);
            const double list = bench::time_of("app_list_all", size);
            const double log = bench::time_of("log_lines_all", size);
            if (walk > 0 && list > 0)
                std::printf("%10lld %12.1f %12.1f %12.1f %8.2f %16.2f\n", static_cast<long long>(size), walk / 1e6,
                            list / 1e6, log / 1e6, list / walk, (list - log) / walk);
        }
    });
    return true;
}();

} // namespace
