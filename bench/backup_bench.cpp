// The backup a run makes at its first change, against a plain copy of the
// same record file with fsync (both after a sync), at 5,000 and 100,000
// records.
#include "bench_support.h"

#include "store/file/run_backup.h"
#include "store/file/side_files.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace {

const std::vector<int64_t> SIZES = {5000, 100000};

void backup_copy(benchmark::State& state)
{
    const std::string& path = bench::file_for("backup", state.range(0));
    const std::string copy = path + ".plain-copy";
    for (auto _ : state) {
        state.PauseTiming();
        sync();
        state.ResumeTiming();
        if (!bench::plain_copy(path, copy))
            state.SkipWithError("copy failed");
        state.PauseTiming();
        unlink(copy.c_str()); // a backup is a new file too
        state.ResumeTiming();
    }
}

void backup_run(benchmark::State& state)
{
    const std::string& path = bench::file_for("backup", state.range(0));
    const std::filesystem::path folder = make_state_folder("backups");
    for (auto _ : state) {
        state.PauseTiming();
        sync();
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        state.ResumeTiming();
        back_up_record_file(path.c_str(), path, fd);
        close(fd);
        state.PauseTiming();
        std::error_code ec;
        if (std::filesystem::is_empty(folder, ec))
            state.SkipWithError("no backup made");
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
            std::filesystem::remove(entry.path(), ec);
        state.ResumeTiming();
    }
}

BENCHMARK(backup_copy)->Apply([](benchmark::internal::Benchmark* b) { bench::sizes_of(b, SIZES); });
BENCHMARK(backup_run)->Apply([](benchmark::internal::Benchmark* b) { bench::sizes_of(b, SIZES); });

const bool registered = [] {
    bench::add_ratio_row("backup of a run", "backup_run", "", "backup_copy", 1.5, SIZES);
    return true;
}();

} // namespace
