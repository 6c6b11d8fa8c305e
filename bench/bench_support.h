// Shared pieces of the benchmarks: a scratch folder for the run, record files
// generated afresh for each benchmark, the main window shown and painted, the
// times of finished benchmarks by name, and the one table of ratios printed
// after the run.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

class QWidget;
class kestrelDlg;
namespace benchmark::internal {
class Benchmark;
}

namespace bench {

// The run's scratch folder (created on first use, removed at exit), with the
// registry stand-in inside it and no log settings, so logging is off.
const std::string& scratch_folder();

// Real time per iteration in nanoseconds of every finished benchmark, by its
// full name ("raw_read/10000").
void record_time(const std::string& name, double nanoseconds);
// The time of benchmark `name` at argument `size`; 0 when it did not run.
double time_of(const std::string& name, int64_t size);
// A figure a benchmark reports besides its time (peak memory), by full name.
void record_figure(const std::string& name, double value);
double figure_of(const std::string& name, int64_t size);

// A record file generated for one benchmark alone and removed when it goes:
// 16 categories with ids 10 to 160, record i in category 10 x (i % 16 + 1),
// names in random order and mixed case, a third of them Japanese, so that
// lists really sort and convert, and the
// block before the last free, so that an addition scans nearly the whole
// file. The file is written, flushed to disk with everything else (sync, so
// that no write-back is left for a measurement to wait on) and read once, so
// that every benchmark reads it from the page cache. 0 records: the header alone.
constexpr int kCategories = 16;
class FreshFile
{
public:
    explicit FreshFile(int64_t records);
    ~FreshFile();
    FreshFile(const FreshFile&) = delete;
    FreshFile& operator=(const FreshFile&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// The fresh file of benchmark `benchmark` at `records`: made when that
// benchmark first asks (its repetitions share it), and the previous
// benchmark's file removed then.
// `sealed`: the same file in the protected form (its key, of the least
// Argon2id cost, loaded; key derivation is a benchmark of its own); else no
// key is loaded.
const std::string& file_for(const std::string& benchmark, int64_t records, bool sealed = false);
// Points the configuration at the file (kind_cursel as given, no pane) and
// loads its category table, as the start-up does.
void use_record_file(const std::string& path, int kind_cursel);
// The one QApplication of the run (offscreen, message boxes in test mode).
void ensure_application();

// Runs `act`, shows the window if it is hidden and processes events until the
// record list has been painted after `act` returned: the rows laid out and
// drawn. A paint while `act` ran its own dialog does not count.
void until_list_painted(kestrelDlg& window, const std::function<void()>& act = {});

// The record list's walk without the list: index and name of every live
// record of category `kind` (0: of every category), in file order.
std::vector<std::pair<int, std::string>> list_walk(const std::string& path, int32_t kind);

// A plain copy of `from` over `to` in 128 KiB steps, then fsync: the floor
// of every copy kestrel makes. False when a write failed.
bool plain_copy(const std::string& from, const std::string& to);

// The floors, once each, in nanoseconds: read(2) of the whole file from the
// page cache in 128 KiB reads, and the head walk (a read-only map of the
// file, touching each block's flag and name: what a list fill must read).
double read_floor(const std::string& path);
double head_walk_floor(const std::string& path);
// Measures both floors on `path` beside benchmark `subject` at `size`: call
// it with the timing paused, once per iteration. A ratio row of that subject
// then takes the median of these as its raw_read or head_walk.
void floors_beside(const std::string& subject, int64_t size, const std::string& path);

// Peak resident set size of the process in KiB.
long peak_rss_kib();
// Runs this program again as `probe_flag PATH` (a process of its own, so
// that nothing of this one counts) and takes the peak RSS it prints; 0 when
// it printed none.
long probe_peak_rss(const char* probe_flag, const std::string& path);

// One row of the table printed after the run: benchmark `subject` (less
// benchmark `fixed` at size 0, when given) as a ratio to benchmark `baseline`, at each
// size, against the target ratio.
// `at`: the sizes of the row, kSizes when empty.
void add_ratio_row(const std::string& label, const std::string& subject, const std::string& fixed,
                   const std::string& baseline, double target, std::vector<int64_t> at = {});
// The same at every size of kScaleSizes, the target holding from the second on.
void add_scale_row(const std::string& label, const std::string& subject, const std::string& baseline, double target,
                   const std::string& fixed = "");
// A row of an absolute figure (MiB of peak memory) against its limit.
void add_memory_row(const std::string& label, const std::string& figure, int64_t size, double limit_mib);
// A row of a count (syncs, writes) against its limit.
void add_count_row(const std::string& label, const std::string& figure, int64_t size, double limit);
void print_table();

// Sizes of the window and baseline benchmarks.
constexpr int64_t kSizes[] = {10000, 100000};
// The sizes of the rows that must hold at scale too.
constexpr int64_t kScaleSizes[] = {10000, 100000, 300000};
void scale_sizes(benchmark::internal::Benchmark* b);
// Every size in kSizes, the same repetitions for all, milliseconds.
void sizes(benchmark::internal::Benchmark* b);
// The same with sizes of its own.
void sizes_of(benchmark::internal::Benchmark* b, const std::vector<int64_t>& at);

} // namespace bench
