#include "bench_support.h"

#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>
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

long peak_rss_kib()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace bench
