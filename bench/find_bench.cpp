// Finding records (Ctrl+F): one pass over the record file folding every live
// record's name and data text, beside the record list's fill and the
// store-only walk of the same file (app_list_bench.cpp). The summary gives
// the search as a ratio to both.
#include "bench_support.h"

#include "app/record_find.h"
#include "store/app_config.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

namespace {

constexpr int64_t SIZES[] = {10000, 100000};

// Full-width, so that the text is folded; a few records hold it.
const QString kNeedle = QStringLiteral("ＳＯＭＥＯＮＥ7777");

void app_find_all(benchmark::State& state)
{
    bench::ensure_application();
    bench::use_record_file(state.range(0), 0);
    std::vector<FindHit> hits;
    for (auto _ : state) {
        if (!find_records(g_app_config.datafile, kNeedle, hits))
            state.SkipWithError("the record file cannot be read");
        benchmark::DoNotOptimize(hits.data());
    }
    if (hits.empty())
        state.SkipWithError("the search found nothing");
}

const bool registered = [] {
    for (int64_t size : SIZES)
        benchmark::RegisterBenchmark("app_find_all", app_find_all)->Arg(size)->Unit(benchmark::kMillisecond);
    bench::add_summary([] {
        std::printf("\nFind over every record against the record-list walk (target: within 2x)\n");
        std::printf("%10s %12s %12s %12s %12s %12s\n", "records", "walk ms", "list ms", "find ms", "find/walk",
                    "find/list");
        for (int64_t size : SIZES) {
            const double walk = bench::time_of("store_walk_all", size);
            const double list = bench::time_of("app_list_all", size);
            const double find = bench::time_of("app_find_all", size);
            if (walk > 0 && list > 0 && find > 0)
                std::printf("%10lld %12.1f %12.1f %12.1f %12.2f %12.2f\n", static_cast<long long>(size), walk / 1e6,
                            list / 1e6, find / 1e6, find / walk, find / list);
        }
    });
    return true;
}();

} // namespace
