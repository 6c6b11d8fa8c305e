// Runs every registered benchmark, keeps each one's time for the summaries,
// and prints the summaries (ratio tables) at the end.
#include "bench_support.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

namespace {

class TimeKeepingReporter : public benchmark::ConsoleReporter
{
public:
    TimeKeepingReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                bench::record_time(run.benchmark_name(),
                                   run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9);
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    bench::scratch_folder();
    TimeKeepingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    bench::print_summaries();
    benchmark::Shutdown();
    return 0;
}
