// The main window as the user meets it, shown offscreen and measured until the
// record list has been painted: start-up with "(ALL)" remembered, a category
// switch each way, a delete (OK to the refilled list), an add (the input
// dialog confirmed at once, to the new row painted), and the save at exit. A
// child process measures the peak memory of one start-up. The same over a
// protected file, against the Windows form.
#include "bench_support.h"

#include "app/dialogs/DataInputDlg.h"
#include "app/main_window/kestrelDlg.h"
#include "app/main_window/record_list.h"
#include "store/app_config.h"
#include "store/kind_table.h"
#include "store/record_ops.h"
#include "store/sysdata.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

// Row 3 of the category list: "(ALL)", "category 00", "category 01", "category 02" (id 30).
constexpr int ALL_ROW = 0;
constexpr int CATEGORY_ROW = 3;

// The start-up of the main window: the table loaded, both lists filled, the
// window shown and painted.
std::unique_ptr<kestrelDlg> start_window(const std::string& path, int kind_cursel)
{
    bench::use_record_file(path, kind_cursel);
    auto window = std::make_unique<kestrelDlg>();
    window->sub_redisplay_kind();
    window->sub_redisplay_catg();
    bench::until_list_painted(*window);
    return window;
}

// The window's end saves the configuration and the header: keep the file as
// it was generated.
void close_window(std::unique_ptr<kestrelDlg>& window)
{
    g_app_config.datafile_changed = 1;
    window.reset();
}

// Makes the run's first change, which waits for the run's backup (a row of
// its own: first_edit), so that the changes measured after it do not. A new
// text each time: a store of the text already there is no change.
void warm_up(kestrelDlg& window)
{
    static int n = 0;
    sub_update_datafile(window.m_list2->recordIndex(0), ("warming up " + std::to_string(n++)).c_str(), -1);
}

void startup_on(benchmark::State& state, const char* name, bool sealed)
{
    bench::ensure_application();
    const std::string& path = bench::file_for(name, state.range(0), sealed);
    for (auto _ : state) {
        std::unique_ptr<kestrelDlg> window = start_window(path, ALL_ROW);
        state.PauseTiming();
        if (window->m_list2->count() != state.range(0) - (state.range(0) > 0 ? 1 : 0))
            state.SkipWithError("the list does not hold every live record");
        close_window(window);
        if (state.range(0) > 0)
            bench::floors_beside(name, state.range(0), path);
        state.ResumeTiming();
    }
}

void select_category(kestrelDlg& window, int row)
{
    if (window.m_list1->currentRow() != row)
        bench::until_list_painted(window, [&] { window.m_list1->setCurrentRow(row); });
}

void switch_between(benchmark::State& state, const char* name, int from, int to, bool sealed = false)
{
    bench::ensure_application();
    const std::string& path = bench::file_for(name, state.range(0), sealed);
    std::unique_ptr<kestrelDlg> window = start_window(path, from);
    for (auto _ : state) {
        state.PauseTiming();
        bench::floors_beside(name, state.range(0), path);
        select_category(*window, from);
        state.ResumeTiming();
        select_category(*window, to);
    }
    if (window->m_list2->count() == 0)
        state.SkipWithError("the record list stayed empty");
    close_window(window);
}

void delete_on(benchmark::State& state, const char* name, bool sealed)
{
    bench::ensure_application();
    const std::string& path = bench::file_for(name, state.range(0), sealed);
    std::unique_ptr<kestrelDlg> window = start_window(path, ALL_ROW);
    warm_up(*window);
    int before = window->m_list2->count();
    for (auto _ : state) {
        state.PauseTiming();
        bench::floors_beside(name, state.range(0), path);
        bench::until_list_painted(*window, [&] { window->m_list2->setCurrentRow(before / 2); });
        state.ResumeTiming();
        // The question is answered OK (message boxes are in test mode).
        bench::until_list_painted(*window, [&] { window->onDelete(); });
        state.PauseTiming();
        if (window->m_list2->count() != before - 1)
            state.SkipWithError("the record was not deleted");
        before = window->m_list2->count();
        state.ResumeTiming();
    }
    close_window(window);
}

// Confirms the input dialog with `text` once it is open; `confirmed` gets the time of the OK.
void confirm_input_soon(std::chrono::steady_clock::time_point& confirmed, const QString& text)
{
    QTimer::singleShot(0, [&confirmed, text] {
        auto* dialog = dynamic_cast<DataInputDlg*>(QApplication::activeModalWidget());
        if (!dialog)
            return confirm_input_soon(confirmed, text);
        dialog->edit()->setText(text);
        confirmed = std::chrono::steady_clock::now();
        dialog->accept();
    });
}

void add_on(benchmark::State& state, const char* name, bool sealed)
{
    bench::ensure_application();
    const std::string& path = bench::file_for(name, state.range(0), sealed);
    std::unique_ptr<kestrelDlg> window = start_window(path, CATEGORY_ROW);
    warm_up(*window);
    RecordList* list = window->m_list2;
    const QString added = QStringLiteral("new account");
    for (auto _ : state) {
        bench::floors_beside(name, state.range(0), path);
        // Timed from the OK, as the user counts: opening the dialog is not the add.
        std::chrono::steady_clock::time_point confirmed;
        bench::until_list_painted(*window, [&] {
            confirm_input_soon(confirmed, added);
            window->onAdd();
        });
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - confirmed).count());
        // Undone, so that every addition takes the same free block.
        const int row = list->currentRow();
        if (list->text(row) != added)
            state.SkipWithError("the new row is missing");
        sub_delete_datafile(list->recordIndex(row));
        window->sub_redisplay_catg();
    }
    close_window(window);
}

// A rename of the selected record: the question answered OK (message boxes are
// in test mode), timed from the input dialog's OK to the refilled list painted.
void rename_on(benchmark::State& state, const char* name)
{
    bench::ensure_application();
    const std::string& path = bench::file_for(name, state.range(0));
    std::unique_ptr<kestrelDlg> window = start_window(path, ALL_ROW);
    warm_up(*window);
    const int row = window->m_list2->count() / 2;
    const int index = window->m_list2->recordIndex(row);
    int n = 0;
    for (auto _ : state) {
        bench::floors_beside(name, state.range(0), path);
        bench::until_list_painted(*window, [&] { window->m_list2->setCurrentRow(window->m_list2->rowOf(index)); });
        const QString renamed = QStringLiteral("renamed %1").arg(n++);
        std::chrono::steady_clock::time_point confirmed;
        bench::until_list_painted(*window, [&] {
            confirm_input_soon(confirmed, renamed);
            window->onRename();
        });
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - confirmed).count());
        if (window->m_list2->text(window->m_list2->rowOf(index)) != renamed)
            state.SkipWithError("the record was not renamed");
    }
    close_window(window);
}

void exit_save(benchmark::State& state)
{
    bench::use_record_file(bench::file_for("exit_save", state.range(0)), ALL_ROW);
    for (auto _ : state) {
        state.PauseTiming();
        // A category added or removed in the run: the count changes, so every
        // block moves and the file is rewritten (the save of an unchanged
        // count writes the header alone, or nothing).
        KindSlot& last = KindTable[KIND_MAX - 1];
        last = last.in_use == 1 ? KindSlot{} : KindSlot{1, 10 * KIND_MAX, "added"};
        sync(); // as for the copy it is compared with
        state.ResumeTiming();
        sub_sysdata_save();
    }
}

// Runs this program again as the probe on a fresh file and takes the peak it reports.
void startup_peak_rss(benchmark::State& state)
{
    const std::string& path = bench::file_for("startup_peak_rss", state.range(0));
    long kib = 0;
    for (auto _ : state)
        kib = bench::probe_peak_rss("--rss-probe", path);
    if (kib <= 0)
        state.SkipWithError("the probe reported nothing");
    state.counters["peak_rss_KiB"] = static_cast<double>(kib);
    bench::record_figure("startup_peak_rss/" + std::to_string(state.range(0)), static_cast<double>(kib));
}

const bool registered = [] {
    for (const bool sealed : {false, true}) {
        const char* startup = sealed ? "protected_startup" : "window_startup";
        const char* toCategory = sealed ? "protected_to_category" : "window_to_category";
        const char* toAll = sealed ? "protected_to_all" : "window_to_all";
        const char* deletion = sealed ? "protected_delete" : "window_delete";
        const char* addition = sealed ? "protected_add" : "window_add";
        // The Windows form at scale too; the protected form against it.
        const auto sizes = sealed ? bench::sizes : bench::scale_sizes;
        benchmark::RegisterBenchmark(startup, [=](benchmark::State& s) { startup_on(s, startup, sealed); })
            ->Arg(0)
            ->Apply(sizes);
        benchmark::RegisterBenchmark(toCategory, [=](benchmark::State& s) {
            switch_between(s, toCategory, ALL_ROW, CATEGORY_ROW, sealed);
        })->Apply(sizes);
        benchmark::RegisterBenchmark(toAll, [=](benchmark::State& s) {
            switch_between(s, toAll, CATEGORY_ROW, ALL_ROW, sealed);
        })->Apply(sizes);
        benchmark::RegisterBenchmark(deletion, [=](benchmark::State& s) {
            delete_on(s, deletion, sealed);
        })->Apply(sizes);
        benchmark::RegisterBenchmark(addition, [=](benchmark::State& s) { add_on(s, addition, sealed); })
            ->Apply(sizes)
            ->UseManualTime();
    }
    benchmark::RegisterBenchmark("window_rename", [](benchmark::State& s) { rename_on(s, "window_rename"); })
        ->Apply(bench::scale_sizes)
        ->UseManualTime();
    benchmark::RegisterBenchmark("exit_save", exit_save)->Apply(bench::sizes);
    benchmark::RegisterBenchmark("startup_peak_rss", startup_peak_rss)
        ->Arg(100000)
        ->Arg(300000)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);

    // Against the floor of a list fill, measured beside each operation.
    bench::add_scale_row("start-up, (ALL), against the head walk", "window_startup", "head_walk", 1.5,
                         "window_startup");
    bench::add_scale_row("start-up, (ALL), against read(2)", "window_startup", "raw_read", 1.0, "window_startup");
    bench::add_scale_row("(ALL) -> a category, against the head walk", "window_to_category", "head_walk", 1.5);
    bench::add_scale_row("a category -> (ALL), against the head walk", "window_to_all", "head_walk", 1.5);
    bench::add_scale_row("delete, against the head walk", "window_delete", "head_walk", 1.5);
    bench::add_scale_row("add, against the head walk", "window_add", "head_walk", 1.5);
    bench::add_scale_row("add, against read(2)", "window_add", "raw_read", 1.0);
    bench::add_scale_row("rename, against the head walk", "window_rename", "head_walk", 1.5);
    bench::add_memory_row("peak RSS of a start-up (whole process)", "startup_peak_rss", 300000, 64);

    bench::add_ratio_row("start-up, (ALL), less start-up on empty file", "window_startup", "window_startup", "raw_read",
                         3);
    bench::add_ratio_row("(ALL) -> a category", "window_to_category", "", "raw_read", 3);
    bench::add_ratio_row("a category -> (ALL)", "window_to_all", "", "raw_read", 3);
    bench::add_ratio_row("delete (OK -> list refilled)", "window_delete", "", "raw_read", 3);
    bench::add_ratio_row("add (OK -> row listed)", "window_add", "", "raw_read", 1.5);
    bench::add_ratio_row("exit save (sub_sysdata_save)", "exit_save", "", "raw_copy", 1.5);
    bench::add_memory_row("peak RSS of a start-up (whole process)", "startup_peak_rss", 100000, 64);
    // The protected form against the Windows form; its key is loaded before the start-up.
    bench::add_ratio_row("protected: start-up, less key derivation", "protected_startup", "", "window_startup", 1.5);
    bench::add_ratio_row("protected: (ALL) -> a category", "protected_to_category", "", "window_to_category", 1.5);
    bench::add_ratio_row("protected: a category -> (ALL)", "protected_to_all", "", "window_to_all", 1.5);
    bench::add_ratio_row("protected: delete", "protected_delete", "", "window_delete", 1.5);
    bench::add_ratio_row("protected: add", "protected_add", "", "window_add", 1.5);
    return true;
}();

} // namespace

// The child of startup_peak_rss: one start-up on the file, its peak printed.
int rss_probe(const char* path)
{
    bench::ensure_application();
    std::unique_ptr<kestrelDlg> window = start_window(path, ALL_ROW);
    std::printf("%ld\n", bench::peak_rss_kib());
    std::fflush(stdout);
    _exit(0); // no save, no teardown
}
