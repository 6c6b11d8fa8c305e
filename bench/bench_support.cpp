#include "bench_support.h"

#include "app/message_box.h"
#include "store/app_config.h"
#include "store/record_file.h"
#include "store/sysdata.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
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
        // Journals and backups of the run stay in the scratch folder too.
        setenv("XDG_STATE_HOME", (folder + "/state").c_str(), 1);
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

double time_of(const std::string& name, int64_t size)
{
    const auto found = time_map().find(name + "/" + std::to_string(size));
    return found == time_map().end() ? 0.0 : found->second;
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

const std::string& record_file(int64_t records)
{
    static std::map<int64_t, std::string> files;
    if (auto found = files.find(records); found != files.end())
        return found->second;
    const std::string path = scratch_folder() + "/records-" + std::to_string(records) + ".dat";
    FILE* file = std::fopen(path.c_str(), "wb");
    const int32_t count = kCategories;
    std::fwrite(&count, sizeof count, 1, file);
    for (int k = 0; k < kCategories; ++k) {
        KindHeader header{};
        header.kind_id = 10 * (k + 1);
        std::snprintf(header.name, sizeof header.name, "category %02d", k);
        scramble_block(&header, sizeof header);
        std::fwrite(&header, sizeof header, 1, file);
    }
    std::mt19937 random(42);
    for (int64_t i = 0; i < records; ++i) {
        CatgRecord record{};
        if (i != records - 2) {
            record.flag = 1;
            record.catg_kind = static_cast<int32_t>(10 * (i % kCategories + 1));
            std::snprintf(record.name, sizeof record.name, "%s %u", i % 2 ? "Account" : "account",
                          static_cast<unsigned>(random()));
            std::snprintf(record.data, sizeof record.data, "user: someone%lld\r\npassword: secret%lld\r\n",
                          static_cast<long long>(i), static_cast<long long>(i));
        }
        scramble_block(&record, sizeof record);
        std::fwrite(&record, sizeof record, 1, file);
    }
    std::fclose(file);
    return files[records] = path;
}

const std::string& use_record_file(int64_t records, int kind_cursel)
{
    const std::string& path = record_file(records);
    std::memset(&g_app_config, 0, sizeof g_app_config);
    std::snprintf(g_app_config.datafile, sizeof g_app_config.datafile, "%s", path.c_str());
    g_app_config.kind_cursel = kind_cursel;
    g_app_config.ncursel = -1;
    sub_sysdata_load();
    return path;
}

void ensure_application()
{
    MessageBox::setTestMode(true);
    if (QApplication::instance())
        return;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "kestrel-bench";
    static char* argv[] = {name, nullptr};
    // Made once and never destroyed: tearing Qt down among the static
    // destructors at exit would crash.
    new QApplication(argc, argv);
}

} // namespace bench
