// Finding records (Ctrl+F): one pass over the record file folding every live
// record's name and data text, against the record list's walk over every live
// record of the same file, and once more over a file whose every text is
// Japanese. The table gives the ratios.
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

// The walk of the record list for "(ALL)": every live record's index and name.
void walk_live(benchmark::State& state, const std::string& path)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(bench::list_walk(path, 0).data());
}

// Both walks of a kind read the same generated file.
const std::string& shared_file(int64_t records)
{
    return bench::file_for("find", records);
}

void store_walk_all(benchmark::State& state)
{
    walk_live(state, shared_file(state.range(0)));
}

void store_walk_japanese(benchmark::State& state)
{
    walk_live(state, japanese_file(state.range(0)));
}

void app_find_all(benchmark::State& state)
{
    bench::ensure_application();
    find_in(state, shared_file(state.range(0)).c_str(), kNeedle);
}

void app_find_japanese(benchmark::State& state)
{
    bench::ensure_application();
    find_in(state, japanese_file(state.range(0)).c_str(), QStringLiteral("ヤマダ7777"));
}

BENCHMARK(store_walk_all)->Apply(bench::sizes);
BENCHMARK(app_find_all)->Apply(bench::sizes);
BENCHMARK(store_walk_japanese)->Apply(bench::sizes);
BENCHMARK(app_find_japanese)->Apply(bench::sizes);

const bool registered = [] {
    bench::add_ratio_row("find, every record", "app_find_all", "", "store_walk_all", 2);
    bench::add_ratio_row("find, every text Japanese", "app_find_japanese", "", "store_walk_japanese", 2);
    return true;
}();

} // namespace
