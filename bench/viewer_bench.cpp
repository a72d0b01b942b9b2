// The Inventory Viewer at scale: from the navigator's Last, from Ctrl+End and from dragging the
// scroll bar to the middle until the grid has painted its rows, on 1,000,000 items in record
// order, in index order and with a search that matches one record in three. Also the time to
// read the rows afresh (after a search, a new order or a switch) and the memory they take.
//
//   viewer_bench                   run the benchmarks (the table is built in a temp dir)
//   viewer_bench --table FILE.DBF  use an existing item table (with the tag NewIndex)
#include "bench_tables.h"
#include "find/search_criteria.h"
#include "items/database_paths.h"
#include "items/item_table.h"
#include "mainwindow/viewer_model.h"

#include <QApplication>
#include <QScrollBar>
#include <QTableView>
#include <QTest>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kRecords = 1000000;
constexpr const char* kTag = "NewIndex";
constexpr const char* kSortExpression = "Upper(Left(CATEGORY,80))";

const char* kCategories[] = {"Kitchen",  "electronics", "Furniture", "TOOLS",    "Jewellery",
                             "books",    "Clothing",    "Garden",    "Sports",   "Art",
                             "Toys",     "Music",       "Linen",     "Lighting", "Appliances",
                             "Antiques", "Computers",   "Cameras",   "Silver",   "Rugs"};

void fillItem(dbase::Table& t, std::uint32_t i) {
    const std::uint32_t h = i * 2654435761u;
    std::string category = kCategories[(h >> 8) % 20];
    if (h % 4 == 0)
        category += " " + std::to_string((h >> 12) % 5000);
    const std::string n = std::to_string(i);
    t.setFieldText("Item", "Item number " + n);
    t.setFieldText("Brand", i % 3 ? "Acme" : "Globex"); // the search matches one in three
    t.setFieldText("Descriptio", "A fairly ordinary description of item " + n);
    t.setFieldInteger("Quantity", 1 + i % 9);
    t.setFieldDate("PurchDate", {1990 + static_cast<int>(i % 35), 1 + static_cast<int>(i % 12),
                                 1 + static_cast<int>(i % 28)});
    t.setFieldText("Cost", std::to_string(i % 100000) + ".25");
    t.setFieldText("Category", category);
    t.setFieldText("Owner", i % 4 ? "Pat" : "Sam");
}

fs::path g_tablePath;

const fs::path& itemTablePath() {
    if (g_tablePath.empty()) {
        g_tablePath = bench::cachedTable(kRecords, fillItem);
        dbase::Table t;
        t.openFile(g_tablePath, dbase::OpenMode::Exclusive);
        t.addIndex(kTag, kSortExpression);
    }
    return g_tablePath;
}

// VmRSS (now) or VmHWM (the most the process ever had) in MB.
double statusMb(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word)
        if (word == key + ":") {
            double kb = 0;
            status >> kb;
            return kb / 1000.0;
        }
    return 0;
}
double residentMb() {
    return statusMb("VmRSS");
}

enum Mode { RecordOrder, IndexOrder, Searched };

// The grid over the table as the program shows it: every column, a screenful of rows.
struct Viewer {
    ItemTable items;
    ViewerModel model;
    QTableView view;

    explicit Viewer(Mode mode) {
        items.setPaths(DatabasePaths::forTable(QString::fromStdString(itemTablePath().string())));
        items.open();
        if (mode != RecordOrder)
            items.table().setIndex(kTag);
        if (mode == Searched) {
            SearchItem brand;
            brand.text = QStringLiteral("GLOBEX");
            brand.field = 2;
            brand.kind = SearchKind::Contains;
            brand.endOfLevel = true;
            items.table().setFilter(BuildFilter({brand}, items));
        }
        std::vector<ViewerColumn> columns;
        for (int n = 1; n <= 22; ++n)
            columns.push_back({n, QStringLiteral("Field %1").arg(n), 12});
        model.setColumns(columns);
        model.setTable(&items.table());
        view.setModel(&model);
        view.resize(1000, 700);
        view.show();
        paint();
    }
    ~Viewer() { model.setTable(nullptr); }

    void paint() {
        view.viewport()->repaint();
        QApplication::processEvents();
    }
    // Back to the top with nothing cached, so each timed step reads its rows from the file.
    void reset() {
        items.table().first();
        view.scrollToTop();
        view.setCurrentIndex(model.index(0, 0));
        model.setDateFormat([](const dbase::Date& d) { return QString::number(d.year); }, {});
        paint();
    }
};

void check(benchmark::State& state, bool ok, const char* what) {
    if (!ok)
        state.SkipWithError(what);
}

void BM_Last(benchmark::State& state) {
    Viewer v(static_cast<Mode>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        v.reset();
        state.ResumeTiming();
        // The navigator's Last, as the main window runs it.
        v.items.table().last();
        const int row = v.model.currentRow();
        v.view.setCurrentIndex(v.model.index(row, 0));
        v.view.scrollTo(v.model.index(row, 0));
        v.paint();
        check(state, row == v.model.rowCount() - 1, "Last did not reach the last row");
    }
    state.counters["rows"] = v.model.rowCount();
}

void BM_CtrlEnd(benchmark::State& state) {
    Viewer v(static_cast<Mode>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        v.reset();
        v.view.setFocus();
        state.ResumeTiming();
        QTest::keyClick(&v.view, Qt::Key_End, Qt::ControlModifier);
        v.paint();
        check(state, v.view.currentIndex().row() == v.model.rowCount() - 1,
              "Ctrl+End did not reach the last row");
    }
}

void BM_DragToMiddle(benchmark::State& state) {
    Viewer v(static_cast<Mode>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        v.reset();
        state.ResumeTiming();
        QScrollBar* bar = v.view.verticalScrollBar();
        bar->setSliderDown(true);
        bar->setSliderPosition(bar->maximum() / 2);
        bar->setSliderDown(false);
        v.paint();
        check(state, v.view.rowAt(0) >= v.model.rowCount() / 3, "the drag did not land");
    }
}

// Reading the rows afresh: after a search, a new sort order, a switch or Refresh.
void BM_Reload(benchmark::State& state) {
    Viewer v(static_cast<Mode>(state.range(0)));
    for (auto _ : state)
        v.model.reload();
    state.counters["rows"] = v.model.rowCount();
}

// Resident memory of the viewer over 1,000,000 items after Ctrl+End and a drag, against the
// same viewer over an empty table. The peak is the process's high-water mark, so it means
// something only when one mode runs alone (--benchmark_filter=BM_ResidentMemory/1).
void BM_ResidentMemory(benchmark::State& state) {
    const fs::path emptyDir = bench::scratch().dir / "empty";
    fs::create_directories(emptyDir);
    const fs::path empty = dbase::Table::create(emptyDir, "EMPTY", bench::itemFields());
    double before = 0;
    {
        ItemTable items;
        items.setPaths(DatabasePaths::forTable(QString::fromStdString(empty.string())));
        items.open();
        ViewerModel model;
        model.setTable(&items.table());
        before = residentMb();
        model.setTable(nullptr);
    }
    const Mode mode = static_cast<Mode>(state.range(0));
    double after = 0;
    for (auto _ : state) {
        Viewer v(mode);
        QTest::keyClick(&v.view, Qt::Key_End, Qt::ControlModifier);
        v.view.verticalScrollBar()->setValue(v.view.verticalScrollBar()->maximum() / 2);
        v.paint();
        after = residentMb();
    }
    state.counters["MB_over_empty"] = after - before;
    state.counters["MB_peak_over_empty"] = statusMb("VmHWM") - before;
}

#define VIEWER_MODES ->Arg(RecordOrder)->Arg(IndexOrder)->Arg(Searched)

BENCHMARK(BM_Last) VIEWER_MODES->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CtrlEnd) VIEWER_MODES->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_DragToMiddle) VIEWER_MODES->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Reload) VIEWER_MODES->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ResidentMemory) VIEWER_MODES->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--table") {
        g_tablePath = argv[2];
        argv[2] = argv[0];
        argc -= 2;
        argv += 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
