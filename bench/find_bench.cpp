// Finding records (Ctrl+F): one pass over the record file folding every live
// record's name and data text, beside the record list's fill and the
// store-only walk of the same file (app_list_bench.cpp), and once more over a
// file whose every text is Japanese. The summary gives the ratios.
#include "bench_support.h"

#include "app/record_find.h"
#include "platform/cp932.h"
#include "store/app_config.h"
#include "store/record_file.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int64_t SIZES[] = {10000, 100000};

// Full-width, so that the text is folded; a few records hold it.
const QString kNeedle = QStringLiteral("ＳＯＭＥＯＮＥ7777");

// The same number of blocks as the generated file of bench_support, but
// every name and text in Japanese: each record goes through the converter.
const std::string& japanese_file(int64_t records)
{
    static std::map<int64_t, std::string> files;
    if (auto found = files.find(records); found != files.end())
        return found->second;
    const std::string path = bench::scratch_folder() + "/japanese-" + std::to_string(records) + ".dat";
    FILE* file = std::fopen(path.c_str(), "wb");
    const int32_t count = 0;
    std::fwrite(&count, sizeof count, 1, file);
    std::string name, data;
    for (int64_t i = 0; i < records; ++i) {
        CatgRecord record{};
        record.flag = 1;
        record.catg_kind = 10;
        const std::string n = std::to_string(i);
        cp932::from_utf8("口座 " + n, name);
        cp932::from_utf8("ユーザー: ﾔﾏﾀﾞ" + n + "\r\nパスワード: ＰＡＳＳ" + n + "\r\n", data);
        std::snprintf(record.name, sizeof record.name, "%s", name.c_str());
        std::snprintf(record.data, sizeof record.data, "%s", data.c_str());
        scramble_block(&record, sizeof record);
        std::fwrite(&record, sizeof record, 1, file);
    }
    std::fclose(file);
    return files[records] = path;
}

void find_in(benchmark::State& state, const char* path, const QString& needle)
{
    std::vector<FindHit> hits;
    for (auto _ : state) {
        if (!find_records(path, needle, hits))
            state.SkipWithError("the record file cannot be read");
        benchmark::DoNotOptimize(hits.data());
    }
    if (hits.empty())
        state.SkipWithError("the search found nothing");
}

// The store-only walk of store_walk_all (app_list_bench.cpp), over the Japanese file.
void store_walk_japanese(benchmark::State& state)
{
    const std::string& path = japanese_file(state.range(0));
    for (auto _ : state) {
        std::vector<std::pair<int, std::string>> rows;
        RecordReader reader(path.c_str());
        CatgRecord record;
        int index = 0;
        while (reader.next(record, index))
            if (record.flag == 1)
                rows.emplace_back(index, record.name);
        benchmark::DoNotOptimize(rows.data());
    }
}

void app_find_all(benchmark::State& state)
{
    bench::ensure_application();
    bench::use_record_file(state.range(0), 0);
    find_in(state, g_app_config.datafile, kNeedle);
}

void app_find_japanese(benchmark::State& state)
{
    bench::ensure_application();
    find_in(state, japanese_file(state.range(0)).c_str(), QStringLiteral("ヤマダ7777"));
}

const bool registered = [] {
    for (int64_t size : SIZES) {
        benchmark::RegisterBenchmark("app_find_all", app_find_all)->Arg(size)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("store_walk_japanese", store_walk_japanese)
            ->Arg(size)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("app_find_japanese", app_find_japanese)->Arg(size)->Unit(benchmark::kMillisecond);
    }
    bench::add_summary([] {
        std::printf("\nFind over every record against the record-list walk (target: within 2x)\n");
        std::printf("%10s %10s %10s %10s %10s %10s %12s %10s %10s\n", "records", "walk ms", "list ms", "find ms",
                    "find/walk", "find/list", "jp walk ms", "jp ms", "jp/walk");
        for (int64_t size : SIZES) {
            const double walk = bench::time_of("store_walk_all", size);
            const double list = bench::time_of("app_list_all", size);
            const double find = bench::time_of("app_find_all", size);
            const double japaneseWalk = bench::time_of("store_walk_japanese", size);
            const double japanese = bench::time_of("app_find_japanese", size);
            if (walk > 0 && list > 0 && find > 0 && japaneseWalk > 0 && japanese > 0)
                std::printf("%10lld %10.1f %10.1f %10.1f %10.2f %10.2f %12.1f %10.1f %10.2f\n",
                            static_cast<long long>(size), walk / 1e6, list / 1e6, find / 1e6, find / walk, find / list,
                            japaneseWalk / 1e6, japanese / 1e6, japanese / japaneseWalk);
        }
    });
    return true;
}();

} // namespace
