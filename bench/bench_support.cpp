#include "bench_support.h"

#include "app/main_window/kestrelDlg.h"
#include "app/main_window/record_list.h"
#include "app/widgets/message_box.h"
#include "store/app_config.h"
#include "store/file/form_change.h"
#include "store/file/protected_form.h"
#include "store/record_file.h"
#include "store/sysdata.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QListWidget>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
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

std::map<std::string, double>& figure_map()
{
    static std::map<std::string, double> map;
    return map;
}

std::string full_name(const std::string& name, int64_t size)
{
    return name + "/" + std::to_string(size);
}

double since(const std::chrono::steady_clock::time_point& start)
{
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

double read_floor(const std::string& path)
{
    const auto start = std::chrono::steady_clock::now();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::vector<char> buffer(128 * 1024);
    while (fd >= 0 && read(fd, buffer.data(), buffer.size()) > 0) {
    }
    if (fd >= 0)
        close(fd);
    return since(start);
}

double head_walk_floor(const std::string& path)
{
    const auto start = std::chrono::steady_clock::now();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || st.st_size < 4)
        abort();
    const auto* map = static_cast<const char*>(mmap(nullptr, st.st_size, PROT_READ, MAP_SHARED, fd, 0));
    if (map == MAP_FAILED)
        abort();
    int32_t count;
    memcpy(&count, map, sizeof count);
    size_t live = 0, names = 0;
    for (int64_t at = record_offset(count, 0); at + RECORD_SIZE <= st.st_size; at += RECORD_SIZE) {
        const auto* block = reinterpret_cast<const CatgRecord*>(map + at);
        live += static_cast<unsigned char>(reinterpret_cast<const char*>(block)[0]) == 0xEF;
        const void* end = memchr(block->name, 0xFF, NAME_SIZE);
        names += end ? static_cast<size_t>(static_cast<const char*>(end) - block->name) : NAME_SIZE;
    }
    benchmark::DoNotOptimize(live + names);
    munmap(const_cast<char*>(map), st.st_size);
    close(fd);
    return since(start);
}

void floors_beside(const std::string& subject, int64_t size, const std::string& path)
{
    static std::map<std::string, std::vector<double>> samples;
    const auto take = [&](const std::string& floor, double ns) {
        std::vector<double>& kept = samples[full_name(floor + "@" + subject, size)];
        kept.push_back(ns);
        std::vector<double> sorted = kept;
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
        record_figure(floor + "@" + full_name(subject, size), sorted[sorted.size() / 2]);
    };
    take("raw_read", read_floor(path));
    take("head_walk", head_walk_floor(path));
}

const std::string& scratch_folder()
{
    static Scratch scratch;
    return scratch.folder;
}

void record_time(const std::string& name, double nanoseconds)
{
    time_map()[name] = nanoseconds;
}

double time_of(const std::string& name, int64_t size)
{
    const auto found = time_map().find(full_name(name, size));
    return found == time_map().end() ? 0.0 : found->second;
}

void record_figure(const std::string& name, double value)
{
    figure_map()[name] = value;
}

double figure_of(const std::string& name, int64_t size)
{
    const auto found = figure_map().find(full_name(name, size));
    return found == figure_map().end() ? 0.0 : found->second;
}

FreshFile::FreshFile(int64_t records)
{
    static int made = 0;
    m_path = scratch_folder() + "/records-" + std::to_string(records) + "-" + std::to_string(++made) + ".dat";
    FILE* file = std::fopen(m_path.c_str(), "wb");
    if (!file)
        abort();
    static char buffer[1 << 20];
    std::setvbuf(file, buffer, _IOFBF, sizeof buffer);
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
            // A third of the names Japanese ("口座" in CP932): they go through the converter.
            const char* word = i % 3 == 0 ? "\x8C\xFB\x8D\xC0" : i % 2 ? "Account" : "account";
            std::snprintf(record.name, sizeof record.name, "%s %u", word, static_cast<unsigned>(random()));
            std::snprintf(record.data, sizeof record.data, "user: someone%lld\r\npassword: secret%lld\r\n",
                          static_cast<long long>(i), static_cast<long long>(i));
        }
        scramble_block(&record, sizeof record);
        std::fwrite(&record, sizeof record, 1, file);
    }
    std::fclose(file);
    sync();
    read_floor(m_path);
}

FreshFile::~FreshFile()
{
    unlink(m_path.c_str());
}

const std::string& file_for(const std::string& benchmark, int64_t records, bool sealed)
{
    static std::unique_ptr<FreshFile> current;
    static std::string owner;
    const std::string key = full_name(benchmark, records);
    if (!current || owner != key) {
        current.reset(); // one generated file at a time: they are large
        current = std::make_unique<FreshFile>(records);
        owner = key;
        if (sealed && protect_record_file(current->path().c_str(), "bench", KeyCost::least()) != Conversion::Done)
            std::fprintf(stderr, "%s: the file could not be protected\n", key.c_str());
    }
    data_key::forget();
    if (sealed && unlock_record_file(current->path().c_str(), "bench") != FileUnlock::Ok)
        std::fprintf(stderr, "%s: the protected file does not open\n", key.c_str());
    return current->path();
}

void use_record_file(const std::string& path, int kind_cursel)
{
    std::memset(&g_app_config, 0, sizeof g_app_config);
    std::snprintf(g_app_config.datafile, sizeof g_app_config.datafile, "%s", path.c_str());
    g_app_config.kind_cursel = kind_cursel;
    g_app_config.ncursel = -1;
    sub_sysdata_load();
}

void ensure_application()
{
    MessageBox::setTestMode(true);
    if (QApplication::instance())
        return;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt holds a repaint back up to 5 ms after it was asked for, to merge
    // requests: a wait, not work, and the same for every benchmark.
    setenv("QT_QPA_UPDATE_IDLE_TIME", "0", 1);
    static int argc = 1;
    static char name[] = "kestrel-bench";
    static char* argv[] = {name, nullptr};
    // Made once and never destroyed: tearing Qt down among the static
    // destructors at exit would crash.
    new QApplication(argc, argv);
}

namespace {

class PaintWatch : public QObject
{
public:
    bool painted = false;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void until_list_painted(kestrelDlg& window, const std::function<void()>& act)
{
    if (act)
        act();
    PaintWatch watch;
    window.m_list2->viewport()->installEventFilter(&watch);
    if (!window.isVisible())
        window.show();
    QElapsedTimer waited;
    waited.start();
    // A paint event is handled in full before processEvents returns.
    while (!watch.painted && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    window.m_list2->viewport()->removeEventFilter(&watch);
    MessageBox::takeAsked();
}

std::vector<std::pair<int, std::string>> list_walk(const std::string& path, int32_t kind)
{
    std::vector<std::pair<int, std::string>> rows;
    RecordReader reader(path.c_str());
    int32_t flag = 0;
    int32_t blockKind = 0;
    int index = 0;
    char name[NAME_SIZE + 1];
    while (reader.nextHead(flag, blockKind, index))
        if (flag == 1 && (kind == 0 || blockKind == kind)) {
            reader.name(name);
            rows.emplace_back(index, name);
        }
    return rows;
}

bool plain_copy(const std::string& from, const std::string& to)
{
    std::vector<char> buffer(128 * 1024);
    const int in = open(from.c_str(), O_RDONLY);
    const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    bool ok = in >= 0 && out >= 0;
    ssize_t got;
    while (ok && (got = read(in, buffer.data(), buffer.size())) > 0)
        ok = write(out, buffer.data(), static_cast<size_t>(got)) == got;
    ok = ok && fsync(out) == 0;
    if (out >= 0)
        close(out);
    if (in >= 0)
        close(in);
    return ok;
}

long peak_rss_kib()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmHWM:" && status >> value)
            return value;
        status.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return 0;
}

namespace {

struct Row
{
    std::string label;
    std::string subject;
    std::string fixed;
    std::string baseline;
    double target;
    int64_t size; // memory and count rows only
    bool memory;
    std::vector<int64_t> at;
    bool count = false;
    int64_t target_from = 0; // smaller sizes are shown without a target
};

std::vector<Row>& rows()
{
    static std::vector<Row> list;
    return list;
}

} // namespace

long probe_peak_rss(const char* probe_flag, const std::string& path)
{
    // Named by its real path: in the shell that popen starts, /proc/self is the shell.
    // Built by appending: GCC 12 warns (-Wrestrict) on a chain of + from a literal.
    std::string command = "'";
    command += std::filesystem::read_symlink("/proc/self/exe").string();
    command += "' ";
    command += probe_flag;
    command += " '";
    command += path;
    command += "'";
    long kib = 0;
    if (FILE* child = popen(command.c_str(), "r")) {
        if (fscanf(child, "%ld", &kib) != 1)
            kib = 0;
        pclose(child);
    }
    return kib;
}

void add_ratio_row(const std::string& label, const std::string& subject, const std::string& fixed,
                   const std::string& baseline, double target, std::vector<int64_t> at)
{
    if (at.empty())
        at.assign(std::begin(kSizes), std::end(kSizes));
    rows().push_back({label, subject, fixed, baseline, target, 0, false, std::move(at)});
}

void add_memory_row(const std::string& label, const std::string& figure, int64_t size, double limit_mib)
{
    rows().push_back({label, figure, {}, {}, limit_mib, size, true, {}});
}

void add_count_row(const std::string& label, const std::string& figure, int64_t size, double limit)
{
    rows().push_back({label, figure, {}, {}, limit, size, true, {}, true});
}

void add_scale_row(const std::string& label, const std::string& subject, const std::string& baseline, double target,
                   const std::string& fixed)
{
    add_ratio_row(label, subject, fixed, baseline, target, {std::begin(kScaleSizes), std::end(kScaleSizes)});
    rows().back().target_from = kScaleSizes[1];
}

void scale_sizes(benchmark::internal::Benchmark* b)
{
    sizes_of(b, {std::begin(kScaleSizes), std::end(kScaleSizes)});
}

void sizes(benchmark::internal::Benchmark* b)
{
    sizes_of(b, std::vector<int64_t>(std::begin(kSizes), std::end(kSizes)));
}

void sizes_of(benchmark::internal::Benchmark* b, const std::vector<int64_t>& at)
{
    // Fixed counts: a guessed count would run each benchmark again and again.
    // The median of the repetitions goes into the table.
    for (int64_t size : at)
        b->Arg(size);
    b->Iterations(3)->Repetitions(3)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);
}

void print_table()
{
    std::printf("\nkestrel against the floor (medians of this run; ratio = time / baseline time;\n"
                "* the floor measured beside the operation, once per iteration of the same repetitions)\n");
    std::printf("%-46s %8s %10s %-16s %10s %7s %7s  %s\n", "operation", "records", "ms", "baseline", "base ms", "ratio",
                "target", "");
    for (const Row& row : rows()) {
        if (row.count) {
            if (!figure_map().contains(full_name(row.subject, row.size))) {
                std::printf("%-46s %8lld %10s\n", row.label.c_str(), static_cast<long long>(row.size), "(not run)");
                continue;
            }
            const double n = figure_of(row.subject, row.size);
            std::printf("%-46s %8lld %10.0f %-16s %10s %7s %7.0f  %s\n", row.label.c_str(),
                        static_cast<long long>(row.size), n, "(count)", "", "", row.target,
                        n <= row.target ? "ok" : "MISSED");
            continue;
        }
        if (row.memory) {
            const double mib = figure_of(row.subject, row.size) / 1024.0;
            if (mib <= 0) {
                std::printf("%-46s %8lld %10s\n", row.label.c_str(), static_cast<long long>(row.size), "(not run)");
                continue;
            }
            std::printf("%-46s %8lld %7.1f MiB %-16s %10s %7s %4.0f MiB  %s\n", row.label.c_str(),
                        static_cast<long long>(row.size), mib, "", "", "", row.target,
                        mib <= row.target ? "ok" : "MISSED");
            continue;
        }
        for (int64_t size : row.at) {
            const double subject = time_of(row.subject, size);
            const double fixed = row.fixed.empty() ? 0.0 : time_of(row.fixed, 0);
            // A floor measured beside the operation, in its own repetitions, where there is one.
            const std::string beside = row.baseline + "@" + full_name(row.subject, size);
            const bool besideIt = figure_map().contains(beside);
            const double base = besideIt ? figure_map()[beside] : time_of(row.baseline, size);
            if (subject <= 0 || base <= 0 || (!row.fixed.empty() && fixed <= 0)) {
                std::printf("%-46s %8lld %10s\n", row.label.c_str(), static_cast<long long>(size), "(not run)");
                continue;
            }
            const double ms = (subject - fixed) / 1e6;
            const double ratio = (subject - fixed) / base;
            const std::string floor = row.baseline + (besideIt ? "*" : "");
            if (size < row.target_from) {
                std::printf("%-46s %8lld %10.1f %-16s %10.1f %7.2f %7s\n", row.label.c_str(),
                            static_cast<long long>(size), ms, floor.c_str(), base / 1e6, ratio, "-");
                continue;
            }
            std::printf("%-46s %8lld %10.1f %-16s %10.1f %7.2f %7.1f  %s\n", row.label.c_str(),
                        static_cast<long long>(size), ms, floor.c_str(), base / 1e6, ratio, row.target,
                        ratio <= row.target ? "ok" : "MISSED");
        }
    }
}

} // namespace bench
