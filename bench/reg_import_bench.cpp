// kestrel-reg import of a .reg file with many values into a key of its own:
// the whole file checked, then read again and stored, synced.
#include "bench_support.h"

#include "platform/registry.h"
#include "tools/reg/reg_commands.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <unistd.h>

namespace {

const char* const kSubkey = "SOFTWARE\\kestrel_bench_import";

// A REGEDIT4 file of `values` text values, as an export of a big key would be.
std::string reg_file(int64_t values)
{
    const std::string path = bench::scratch_folder() + "/import-" + std::to_string(values) + ".reg";
    std::ofstream out(path, std::ios::binary);
    out << "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\" << kSubkey << "]\r\n";
    for (int64_t i = 0; i < values; ++i)
        out << "\"value_" << i << "\"=\"text of value " << i << " in the imported key\"\r\n";
    return path;
}

void reg_import(benchmark::State& state)
{
    const std::string file = reg_file(state.range(0));
    std::ostringstream warnings;
    for (auto _ : state) {
        state.PauseTiming();
        reg::delete_key_tree(reg::Hive::LocalMachine, kSubkey);
        state.ResumeTiming();
        kreg::import_file(file, {}, kreg::kDefaultKey, std::cin, warnings);
    }
    reg::delete_key_tree(reg::Hive::LocalMachine, kSubkey);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The floor: as many small files written into a new folder through a
// temporary name each and renamed, with one sync, as the import stores.
void reg_import_floor(benchmark::State& state)
{
    const std::string folder = bench::scratch_folder() + "/floor";
    const std::string bytes(40, 'x');
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(folder);
        std::filesystem::create_directory(folder);
        state.ResumeTiming();
        for (int64_t i = 0; i < state.range(0); ++i) {
            const std::string temp = folder + "/.tmp-" + std::to_string(i);
            const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            benchmark::DoNotOptimize(write(fd, bytes.data(), bytes.size()));
            close(fd);
            rename(temp.c_str(), (folder + "/=value_" + std::to_string(i)).c_str());
        }
        sync();
    }
    std::filesystem::remove_all(folder);
}

const bool registered = [] {
    benchmark::RegisterBenchmark("reg_import", reg_import)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("reg_import_floor", reg_import_floor)
        ->Arg(10000)
        ->Arg(100000)
        ->Unit(benchmark::kMillisecond);
    return true;
}();

} // namespace
