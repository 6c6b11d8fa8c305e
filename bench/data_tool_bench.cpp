// kestrel-data check and export over a whole record file, against the record
// list's walk of the same file.
#include "bench_support.h"

#include "tools/data/data_commands.h"
#include "tools/data/data_tool.h"

#include <benchmark/benchmark.h>

#include <sstream>

namespace {

// The three read the same generated file.
const std::string& data_file(int64_t records)
{
    return bench::file_for("data", records);
}

void data_walk(benchmark::State& state)
{
    const std::string& path = data_file(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(bench::list_walk(path, 0).data());
}

void data_check(benchmark::State& state)
{
    const std::string& path = data_file(state.range(0));
    for (auto _ : state) {
        std::ostringstream report;
        if (!kdata::check_file(path, report))
            state.SkipWithError("the generated file is not whole");
    }
}

// Standard output as a pipe to another program takes it: bytes counted and dropped.
class CountingSink : public std::streambuf
{
public:
    size_t count = 0;

protected:
    int overflow(int c) override
    {
        ++count;
        return c == traits_type::eof() ? 0 : c;
    }
    std::streamsize xsputn(const char*, std::streamsize n) override
    {
        count += static_cast<size_t>(n);
        return n;
    }
};

void data_export(benchmark::State& state)
{
    std::string path = data_file(state.range(0));
    std::string command = "kestrel-data", export_ = "export", format = "--format=keepass-xml";
    char* argv[] = {command.data(), export_.data(), format.data(), path.data(), nullptr};
    for (auto _ : state) {
        std::istringstream in;
        CountingSink sink;
        std::ostream out(&sink);
        std::ostringstream err;
        if (kdata::run_data_tool(4, argv, in, out, err) != 0 || sink.count == 0)
            state.SkipWithError(err.str().c_str());
    }
}

BENCHMARK(data_walk)->Apply(bench::sizes);
BENCHMARK(data_check)->Apply(bench::sizes);
BENCHMARK(data_export)->Apply(bench::sizes);

const bool registered = [] {
    bench::add_ratio_row("kestrel-data check", "data_check", "", "data_walk", 2);
    bench::add_ratio_row("kestrel-data export (KeePass XML)", "data_export", "", "data_walk", 2);
    return true;
}();

} // namespace
