#include "bench_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

namespace bench {

namespace {

struct Scratch
{
    std::string folder;
    Scratch()
    {
        std::string templ = (std::filesystem::temp_directory_path() / "kestrel-bench-XXXXXX").string();
        if (!mkdtemp(templ.data()))
            abort();
        folder = templ;
        setenv("KESTREL_REGISTRY", (folder + "/registry").c_str(), 1);
    }
    ~Scratch()
    {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

std::map<std::string, double>& time_map()
{
    static std::map<std::string, double> map;
    return map;
}

std::vector<std::function<void()>>& summaries()
{
    static std::vector<std::function<void()>> list;
    return list;
}

} // namespace

const std::string& scratch_folder()
{
    static Scratch scratch;
    return scratch.folder;
}

const std::map<std::string, double>& times()
{
    return time_map();
}

void record_time(const std::string& name, double nanoseconds)
{
    time_map()[name] = nanoseconds;
}

void add_summary(std::function<void()> print)
{
    summaries().push_back(std::move(print));
}

void print_summaries()
{
    for (const auto& print : summaries())
        print();
}

namespace {

long status_kib(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == field && status >> value)
            return value;
        status.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return 0;
}

} // namespace

long peak_rss_kib()
{
    return status_kib("VmHWM:");
}

long reset_peak_rss()
{
    // "5" resets the peak to the current size (Linux clear_refs).
    std::ofstream("/proc/self/clear_refs") << "5";
    return status_kib("VmRSS:");
}

} // namespace bench
