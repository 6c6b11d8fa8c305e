// The record store on generated record files of 1,000, 10,000 and 100,000
// records in 16 categories, beside raw read and copy baselines on the same
// files. The summary gives every store operation as a ratio to its baseline.
#include "bench_support.h"

#include "store/app_config.h"
#include "store/kind_table.h"
#include "store/record_file.h"
#include "store/record_ops.h"
#include "store/sysdata.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <unistd.h>
#include <vector>

namespace {

constexpr int64_t SIZES[] = {1000, 10000, 100000};

// Growth of the peak resident set size during one benchmark, by its name.
std::map<std::string, long>& memory_growth()
{
    static std::map<std::string, long> growth;
    return growth;
}

// Measures how far one store benchmark raises the peak resident set size.
class MemoryWatch
{
public:
    MemoryWatch(benchmark::State& state, const char* name)
        : m_state(state), m_name(std::string(name) + "/" + std::to_string(state.range(0))),
          m_before(bench::reset_peak_rss())
    {
    }
    ~MemoryWatch()
    {
        const long growth = bench::peak_rss_kib() - m_before;
        m_state.counters["peak_rss_growth_KiB"] = static_cast<double>(growth);
        memory_growth()[m_name] = growth;
    }

private:
    benchmark::State& m_state;
    std::string m_name;
    long m_before;
};

void store_list(benchmark::State& state)
{
    const std::string path = bench::use_record_file(state.range(0));
    MemoryWatch memory(state, "store_list");
    for (auto _ : state) {
        // The record list fill: every live record of one category, with its index.
        std::vector<std::pair<int, std::string>> rows;
        RecordReader reader(path.c_str());
        CatgRecord record;
        int index = 0;
        while (reader.next(record, index))
            if (record.flag == 1 && record.catg_kind == 50)
                rows.emplace_back(index, record.name);
        benchmark::DoNotOptimize(rows.data());
    }
}

void store_read_one(benchmark::State& state)
{
    const std::string path = bench::use_record_file(state.range(0));
    MemoryWatch memory(state, "store_read_one");
    CatgRecord record;
    for (auto _ : state)
        benchmark::DoNotOptimize(read_record(path.c_str(), static_cast<int>(state.range(0) / 2), record));
}

void store_add(benchmark::State& state)
{
    bench::use_record_file(state.range(0));
    MemoryWatch memory(state, "store_add");
    for (auto _ : state) {
        const int index = sub_add_datafile(30, "new account");
        state.PauseTiming();
        sub_delete_datafile(index);
        state.ResumeTiming();
    }
}

void store_change(benchmark::State& state)
{
    bench::use_record_file(state.range(0));
    MemoryWatch memory(state, "store_change");
    for (auto _ : state)
        sub_change_datafile(static_cast<int>(state.range(0) / 2), "renamed");
}

void store_update(benchmark::State& state)
{
    bench::use_record_file(state.range(0));
    MemoryWatch memory(state, "store_update");
    for (auto _ : state)
        sub_update_datafile(static_cast<int>(state.range(0) / 2), "user: changed\r\n", -1);
}

void store_delete(benchmark::State& state)
{
    bench::use_record_file(state.range(0));
    MemoryWatch memory(state, "store_delete");
    for (auto _ : state)
        sub_delete_datafile(static_cast<int>(state.range(0) / 2));
}

void store_save(benchmark::State& state)
{
    bench::use_record_file(state.range(0));
    MemoryWatch memory(state, "store_save");
    for (auto _ : state)
        sub_sysdata_save();
}

void raw_read(benchmark::State& state)
{
    const std::string path = bench::record_file(state.range(0));
    std::vector<char> buffer(64 * 1024);
    for (auto _ : state) {
        const int fd = open(path.c_str(), O_RDONLY);
        while (read(fd, buffer.data(), buffer.size()) > 0) {
        }
        close(fd);
    }
}

void raw_copy(benchmark::State& state)
{
    const std::string path = bench::record_file(state.range(0));
    const std::string copy = path + ".copy";
    std::vector<char> buffer(64 * 1024);
    for (auto _ : state) {
        const int in = open(path.c_str(), O_RDONLY);
        const int out = open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ssize_t got;
        while ((got = read(in, buffer.data(), buffer.size())) > 0)
            if (write(out, buffer.data(), static_cast<size_t>(got)) != got)
                state.SkipWithError("copy failed");
        fsync(out);
        close(out);
        close(in);
        state.PauseTiming();
        unlink(copy.c_str());
        state.ResumeTiming();
    }
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (int64_t size : SIZES)
        b->Arg(size);
    b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(raw_read)->Apply(sizes);
BENCHMARK(raw_copy)->Apply(sizes);
BENCHMARK(store_list)->Apply(sizes);
BENCHMARK(store_add)->Apply(sizes);
BENCHMARK(store_save)->Apply(sizes);
BENCHMARK(store_read_one)->Apply(sizes);
BENCHMARK(store_change)->Apply(sizes);
BENCHMARK(store_update)->Apply(sizes);
BENCHMARK(store_delete)->Apply(sizes);

void print_ratio(const char* label, double value, double base, double target)
{
    if (value <= 0 || base <= 0) {
        printf("  %-34s      (not run)\n", label);
        return;
    }
    const double ratio = value / base;
    printf("  %-34s %8.2f  (target <= %.0f)  %s\n", label, ratio, target, ratio <= target ? "ok" : "MISSED");
}

const bool registered = [] {
    bench::add_summary([] {
        printf("\nRecord store against its baselines (ratio of times):\n");
        for (int64_t size : SIZES) {
            printf(" %lld records:\n", static_cast<long long>(size));
            const double read = bench::time_of("raw_read", size);
            const double copy = bench::time_of("raw_copy", size);
            print_ratio("list one category / raw read", bench::time_of("store_list", size), read, 3);
            print_ratio("add (scan to the end) / raw read", bench::time_of("store_add", size), read, 3);
            print_ratio("save / raw copy with fsync", bench::time_of("store_save", size), copy, 3);
        }
        printf(" one-record operations, 100,000 records / 1,000 records:\n");
        for (const char* name : {"store_read_one", "store_change", "store_update", "store_delete"})
            print_ratio(name, bench::time_of(name, 100000), bench::time_of(name, 1000), 2);
        long growth = 0;
        std::string worst;
        for (const auto& [name, kib] : memory_growth())
            if (name.ends_with("/100000") && kib >= growth) {
                growth = kib;
                worst = name;
            }
        printf(" largest peak RSS growth of a store operation at 100,000 records: %ld KiB (%s)\n", growth,
               worst.c_str());
    });
    return true;
}();

} // namespace
