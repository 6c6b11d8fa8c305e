// The floors every ratio of the table is taken against, each on a file of its
// own: read(2) of the whole record file from the page cache, and a plain copy
// of it with fsync over an earlier copy (as cp over an existing file, and as
// the save replaces the record file: the old blocks are freed), started after
// a sync so that it waits on no earlier write-back.
#include "bench_support.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void raw_read(benchmark::State& state)
{
    const std::string& path = bench::file_for("raw_read", state.range(0));
    std::vector<char> buffer(128 * 1024);
    for (auto _ : state) {
        const int fd = open(path.c_str(), O_RDONLY);
        while (read(fd, buffer.data(), buffer.size()) > 0) {
        }
        close(fd);
    }
}

void raw_copy(benchmark::State& state)
{
    const std::string& path = bench::file_for("raw_copy", state.range(0));
    const std::string copy = path + ".copy";
    std::vector<char> buffer(128 * 1024);
    auto copy_once = [&] {
        const int in = open(path.c_str(), O_RDONLY);
        const int out = open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ssize_t got;
        while ((got = read(in, buffer.data(), buffer.size())) > 0)
            if (write(out, buffer.data(), static_cast<size_t>(got)) != got)
                state.SkipWithError("copy failed");
        fsync(out);
        close(out);
        close(in);
    };
    copy_once(); // the earlier copy the measured ones replace
    for (auto _ : state) {
        state.PauseTiming();
        sync();
        state.ResumeTiming();
        copy_once();
    }
    unlink(copy.c_str());
}

BENCHMARK(raw_read)->Apply(bench::sizes);
BENCHMARK(raw_copy)->Apply(bench::sizes);

} // namespace
