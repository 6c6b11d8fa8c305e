// The main window's editing paths beside the store operations they wrap, on
// record files of 10,000 and 100,000 records in 16 categories: Add (from the
// click, with the input dialog confirmed at once, to the row in the list)
// against sub_add_datafile alone, and a category selection (to the filled
// record list) against reading the same category's rows from the file.
#include "bench_support.h"

#include "app/DataInputDlg.h"
#include "app/kestrelDlg.h"
#include "app/message_box.h"
#include "store/app_config.h"
#include "store/kind_table.h"
#include "store/record_file.h"
#include "store/record_ops.h"
#include "store/sysdata.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace {

constexpr int64_t SIZES[] = {10000, 100000};

// A main window on the file, without the registry: its lists filled as at
// start-up. It leaves the file's header alone when it goes.
struct Window
{
    explicit Window(int64_t records, int kind_cursel)
    {
        bench::ensure_application();
        bench::use_record_file(records, kind_cursel);
        window = std::make_unique<kestrelDlg>();
        window->sub_redisplay_kind();
        window->sub_redisplay_catg();
    }
    ~Window()
    {
        g_app_config.datafile_changed = 1;
        window.reset();
    }
    std::unique_ptr<kestrelDlg> window;
};

// Row 3 of the category list: "(ALL)", "category 00", "category 01", "category 02" (id 30).
constexpr int CATEGORY_ROW = 3;
constexpr int CATEGORY_ID = 30;

void confirm_input_soon()
{
    QTimer::singleShot(0, [] {
        auto* dialog = dynamic_cast<DataInputDlg*>(QApplication::activeModalWidget());
        if (!dialog)
            return confirm_input_soon();
        dialog->edit()->setText(QStringLiteral("new account"));
        dialog->accept();
    });
}

void window_add(benchmark::State& state)
{
    Window w(state.range(0), CATEGORY_ROW);
    QListWidget* list = w.window->m_list2;
    for (auto _ : state) {
        confirm_input_soon();
        w.window->onAdd();
        state.PauseTiming();
        const QList<QListWidgetItem*> added = list->findItems(QStringLiteral("new account"), Qt::MatchExactly);
        if (added.size() != 1)
            state.SkipWithError("the new row is missing");
        for (QListWidgetItem* row : added) {
            sub_delete_datafile(row->data(Qt::UserRole).toInt());
            delete row;
        }
        state.ResumeTiming();
    }
}

void store_add_alone(benchmark::State& state)
{
    bench::use_record_file(state.range(0), CATEGORY_ROW);
    for (auto _ : state) {
        const int index = sub_add_datafile(CATEGORY_ID, "new account");
        state.PauseTiming();
        sub_delete_datafile(index);
        state.ResumeTiming();
    }
}

void window_select_category(benchmark::State& state)
{
    Window w(state.range(0), CATEGORY_ROW);
    QListWidget* categories = w.window->m_list1;
    int row = CATEGORY_ROW;
    for (auto _ : state) {
        // Two neighbouring categories in turn, so each selection is a change.
        row = row == CATEGORY_ROW ? CATEGORY_ROW + 1 : CATEGORY_ROW;
        categories->setCurrentRow(row);
        if (w.window->m_list2->count() == 0)
            state.SkipWithError("the record list stayed empty");
    }
}

void store_list_alone(benchmark::State& state)
{
    const std::string path = bench::use_record_file(state.range(0), CATEGORY_ROW);
    for (auto _ : state) {
        std::vector<std::pair<int, std::string>> rows;
        RecordReader reader(path.c_str());
        CatgRecord record;
        int index = 0;
        while (reader.next(record, index))
            if (record.flag == 1 && record.catg_kind == CATEGORY_ID)
                rows.emplace_back(index, record.name);
        benchmark::DoNotOptimize(rows.data());
    }
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (int64_t size : SIZES)
        b->Arg(size);
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(store_add_alone)->Apply(sizes);
BENCHMARK(window_add)->Apply(sizes);
BENCHMARK(store_list_alone)->Apply(sizes);
BENCHMARK(window_select_category)->Apply(sizes);

void print_ratio(const char* label, double value, double base)
{
    if (value <= 0 || base <= 0) {
        printf("  %-44s      (not run)\n", label);
        return;
    }
    const double ratio = value / base;
    printf("  %-44s %8.2f  (target <= 3)  %s\n", label, ratio, ratio <= 3 ? "ok" : "MISSED");
}

const bool registered = [] {
    bench::add_summary([] {
        printf("\nMain window editing against the store alone (ratio of times):\n");
        for (int64_t size : SIZES) {
            printf(" %lld records:\n", static_cast<long long>(size));
            print_ratio("Add click to listed row / sub_add_datafile", bench::time_of("window_add", size),
                        bench::time_of("store_add_alone", size));
            print_ratio("category selection to filled list / read", bench::time_of("window_select_category", size),
                        bench::time_of("store_list_alone", size));
        }
    });
    return true;
}();

} // namespace
