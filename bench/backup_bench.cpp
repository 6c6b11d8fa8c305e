// The backup a run makes at its first change, beside a plain copy of the same
// record file (read and write in 64 KiB steps, then fsync) at 5,000 and
// 100,000 records. The summary gives the backup as a ratio to the copy.
#include "bench_support.h"

#include "store/run_backup.h"
#include "store/side_files.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace {

constexpr int64_t SIZES[] = {5000, 100000};

void backup_copy(benchmark::State& state)
{
    const std::string path = bench::record_file(state.range(0));
    const std::string copy = path + ".plain-copy";
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

void backup_run(benchmark::State& state)
{
    const std::string path = bench::record_file(state.range(0));
    const std::filesystem::path folder = state_folder("backups");
    for (auto _ : state) {
        // Each iteration is the first change of a new run.
        begin_run_backups();
        FILE* file = fopen(path.c_str(), "rb");
        back_up_before_change(path.c_str(), path, file);
        fclose(file);
        state.PauseTiming();
        std::error_code ec;
        if (std::filesystem::is_empty(folder, ec))
            state.SkipWithError("no backup made");
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
            std::filesystem::remove(entry.path(), ec);
        state.ResumeTiming();
    }
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (int64_t size : SIZES)
        b->Arg(size);
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(backup_copy)->Apply(sizes);
BENCHMARK(backup_run)->Apply(sizes);

const bool registered = [] {
    bench::add_summary([] {
        printf("\nBackup of a run against a plain copy with fsync (ratio of times):\n");
        for (int64_t size : SIZES) {
            const double copy = bench::time_of("backup_copy", size);
            const double backup = bench::time_of("backup_run", size);
            if (copy <= 0 || backup <= 0) {
                printf("  %6lld records: (not run)\n", static_cast<long long>(size));
                continue;
            }
            const double ratio = backup / copy;
            printf("  %6lld records: %8.2f  (target <= 1.5)  %s\n", static_cast<long long>(size), ratio,
                   ratio <= 1.5 ? "ok" : "MISSED");
        }
    });
    return true;
}();

} // namespace
