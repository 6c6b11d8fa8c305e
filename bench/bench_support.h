// Shared pieces of the benchmarks: a scratch folder for the run, the times
// of finished benchmarks by name, and summaries printed after the run.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace bench {

// The run's scratch folder (created on first use, removed at exit), with the
// registry stand-in inside it and no log settings, so logging is off.
const std::string& scratch_folder();

// Real time per iteration in nanoseconds of every finished benchmark, by its
// full name ("store_list/1000").
const std::map<std::string, double>& times();
void record_time(const std::string& name, double nanoseconds);
// The time of benchmark `name` at argument `size`; 0 when it did not run.
double time_of(const std::string& name, int64_t size);

// Printed after all benchmarks ran, in the order added.
void add_summary(std::function<void()> print);
void print_summaries();

// A generated record file of `records` records (cached for the run): 16
// categories with ids 10 to 160, record i in category 10 x (i % 16 + 1),
// names in random order and mixed case so that lists really sort, and the
// block before the last free, so that an addition scans nearly the whole file.
constexpr int kCategories = 16;
const std::string& record_file(int64_t records);
// Points the configuration at that file (kind_cursel as given, no pane) and
// loads its category table, as the start-up does. Returns the path.
const std::string& use_record_file(int64_t records, int kind_cursel = 0);
// The one QApplication of the run (offscreen, message boxes in test mode).
void ensure_application();

// Peak resident set size of the process in KiB (since the last reset).
long peak_rss_kib();
// Starts a new peak at the current resident set size; returns that size in KiB.
long reset_peak_rss();

} // namespace bench
