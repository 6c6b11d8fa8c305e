// Finding records (Ctrl+F): one pass over the record file folding every live
// record's name and data text, the hits placed in the record list's kept
// order as the window places them, against read(2) of the same file: a word few
// records hold, a word every record holds (and the peak memory of that find,
// in a process of its own), and a word in a file whose every text is
// Japanese. The table gives the ratios.
#include "bench_support.h"

#include "app/main_window/list_index.h"
#include "app/main_window/record_find.h"
#include "platform/cp932.h"
#include "store/app_config.h"
#include "store/record_file.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int64_t SIZES[] = {10000, 100000};

// Full-width, so that the text is folded; a few records hold it.
const QString kNeedle = QStringLiteral("ＳＯＭＥＯＮＥ7777");
// Every generated record's text holds this.
const QString kEveryRecord = QStringLiteral("ＰＡＳＳＷＯＲＤ");

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

// As the window finds: with the record list's kept order, made at its start-up.
void find_in(benchmark::State& state, const char* name, const char* path, const QString& needle)
{
    std::vector<FindHit> hits;
    ListIndex listed;
    listed.order(path);
    for (auto _ : state) {
        state.PauseTiming();
        bench::floors_beside(name, state.range(0), path);
        state.ResumeTiming();
        if (!find_records(path, needle, hits, listed.order(path)))
            state.SkipWithError("the record file cannot be read");
        benchmark::DoNotOptimize(hits.data());
    }
    if (hits.empty())
        state.SkipWithError("the search found nothing");
}

// The finds share one generated file.
const std::string& shared_file(int64_t records)
{
    return bench::file_for("find", records);
}

void app_find_all(benchmark::State& state)
{
    bench::ensure_application();
    find_in(state, "app_find_all", shared_file(state.range(0)).c_str(), kNeedle);
}

void app_find_every_hit(benchmark::State& state)
{
    bench::ensure_application();
    find_in(state, "app_find_every_hit", shared_file(state.range(0)).c_str(), kEveryRecord);
}

// Runs this program again as the probe of one find where every record is a hit.
void find_peak_rss(benchmark::State& state)
{
    const std::string& path = shared_file(state.range(0));
    long kib = 0;
    for (auto _ : state)
        kib = bench::probe_peak_rss("--find-probe", path);
    if (kib <= 0)
        state.SkipWithError("the probe reported nothing");
    bench::record_figure("find_peak_rss/" + std::to_string(state.range(0)), static_cast<double>(kib));
}

void app_find_japanese(benchmark::State& state)
{
    bench::ensure_application();
    find_in(state, "app_find_japanese", japanese_file(state.range(0)).c_str(), QStringLiteral("ヤマダ7777"));
}

BENCHMARK(app_find_all)->Apply(bench::scale_sizes);
BENCHMARK(app_find_every_hit)->Apply(bench::scale_sizes);
BENCHMARK(find_peak_rss)->Arg(100000)->Arg(300000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(app_find_japanese)->Apply(bench::sizes);

const bool registered = [] {
    // read(2) measured beside each find, on the same file.
    bench::add_scale_row("find, a word few records hold", "app_find_all", "raw_read", 1.5);
    bench::add_scale_row("find, every record a hit", "app_find_every_hit", "raw_read", 2);
    bench::add_memory_row("peak RSS of a find, every record a hit", "find_peak_rss", 100000, 64);
    bench::add_memory_row("peak RSS of a find, every record a hit", "find_peak_rss", 300000, 64);
    bench::add_ratio_row("find, every text Japanese", "app_find_japanese", "", "raw_read", 2);
    return true;
}();

} // namespace

// The child of find_peak_rss: one find on the file, as the window finds (with
// the record list's kept order, made first), its peak printed.
int find_probe(const char* path)
{
    bench::ensure_application();
    std::vector<FindHit> hits;
    ListIndex listed;
    listed.order(path);
    find_records(path, kEveryRecord, hits, listed.order(path));
    std::printf("%ld\n", hits.empty() ? 0L : bench::peak_rss_kib());
    std::fflush(stdout);
    _exit(0);
}
