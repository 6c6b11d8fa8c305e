// Shared pieces of the benchmarks: a scratch folder for the run, the times
// of finished benchmarks by name, and summaries printed after the run.
#pragma once

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

// Printed after all benchmarks ran, in the order added.
void add_summary(std::function<void()> print);
void print_summaries();

// Peak resident set size of the process in KiB (since the last reset).
long peak_rss_kib();
// Starts a new peak at the current resident set size; returns that size in KiB.
long reset_peak_rss();

} // namespace bench
