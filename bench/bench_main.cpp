// Runs every registered benchmark, keeps each one's median time for the
// table, and prints the table at the end. With --rss-probe it is instead the
// child that measures the peak memory of one start-up (see window_bench.cpp).
#include "bench_support.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <unistd.h>

int rss_probe(const char* path);
int find_probe(const char* path);

namespace {

class TimeKeepingReporter : public benchmark::ConsoleReporter
{
public:
    TimeKeepingReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            // A run without repetitions has no median: its own time stands.
            if (median || (run.run_type == Run::RT_Iteration && run.repetitions <= 1))
                bench::record_time(run.run_name.function_name + "/" + run.run_name.args,
                                   run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--rss-probe") == 0)
        return rss_probe(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--find-probe") == 0)
        return find_probe(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    bench::scratch_folder();
    TimeKeepingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    bench::print_table();
    benchmark::Shutdown();
    return 0;
}
