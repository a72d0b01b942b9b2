// Report generation timings: the "Full Report" over 100,000 items in index order to a text
// file, to recorded pages and to PDF; and the key-order walk a report makes over 1,000,000
// records beside a record-order walk of the same table.
#include "bench_tables.h"
#include "dbase/table.h"
#include "items/database_paths.h"
#include "items/item_table.h"
#include "items/sort_index.h"
#include "items/sort_string.h"
#include "reports/report_generator.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

namespace fs = std::filesystem;

namespace {

const char* kLocations[] = {"Kitchen",   "Living Room", "Garage", "Attic", "Bedroom 1",
                            "Bedroom 2", "Basement",    "Study",  "Porch", "Shed"};

void fillItem(dbase::Table& t, std::uint32_t i) {
    const std::string n = std::to_string(i);
    t.setFieldText("Item", "Item number " + n);
    t.setFieldText("Brand", i % 3 ? "Acme" : "Globex");
    t.setFieldText("Model", "M-" + std::to_string(i % 977));
    t.setFieldText("Serial", "SN" + std::to_string(i * 7919u));
    t.setFieldText("Location", kLocations[(i * 2654435761u >> 8) % 10]);
    t.setFieldText("Descriptio", "A fairly ordinary description of item " + n);
    t.setFieldText("BoughtFrom", i % 2 ? "Hardware Store" : "Department Store");
    t.setFieldInteger("Quantity", 1 + i % 9);
    t.setFieldDate("PurchDate", {1990 + static_cast<int>(i % 35), 1 + static_cast<int>(i % 12),
                                 1 + static_cast<int>(i % 28)});
    t.setFieldText("Cost", std::to_string(i % 100000) + ".25");
    t.setFieldText("RepCost", std::to_string(i % 120000) + ".50");
    t.setFieldText("Value", std::to_string(i % 50000) + ".75");
    t.setFieldText("Category", i % 5 ? "Furniture" : "Electronics");
    t.setFieldText("Warranty", i % 4 ? "No" : "Yes");
    t.setFieldText("Owner", i % 4 ? "Pat" : "Sam");
}

// The table of n items with the sort index on Location, Item.
ItemTable& items(std::uint32_t n) {
    static std::vector<std::pair<std::uint32_t, std::unique_ptr<ItemTable>>> open;
    for (auto& [count, t] : open)
        if (count == n)
            return *t;
    const fs::path path = bench::cachedTable(n, fillItem);
    auto t = std::make_unique<ItemTable>();
    t->setPaths(DatabasePaths::forTable(QString::fromStdString(path.string())));
    t->open();
    selectSortIndex(*t, BuildSortString({5, 1, 0, 0}), SortIndexUse::Rebuild);
    bench::flushTable(path);
    open.emplace_back(n, std::move(t));
    return *open.back().second;
}

ReportDefinition fullReport() {
    for (const ReportDefinition& d : builtInReports())
        if (d.name == QLatin1String("Full Report"))
            return d;
    std::abort();
}

void runFull(benchmark::State& state, ReportDestination destination, const char* file) {
    ItemTable& t = items(static_cast<std::uint32_t>(state.range(0)));
    ReportSource src;
    src.items = &t;
    src.sortKeys = {5, 1, 0, 0};
    const std::string out = (bench::scratch().dir / file).string();
    int pages = 0;
    for (auto _ : state) {
        ReportRun run(fullReport(), src, destination, QString::fromStdString(out));
        run.setPaperSize({8.5, 11});
        const ReportOutcome r = run.run();
        if (r.outcome != PageOutput::Outcome::Completed)
            state.SkipWithError(r.error.toStdString().c_str());
        pages = r.pages;
    }
    state.counters["pages"] = pages;
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_FullReportToText(benchmark::State& state) {
    runFull(state, ReportDestination::TextFile, "full.txt");
}
void BM_FullReportToPages(benchmark::State& state) {
    runFull(state, ReportDestination::View, "unused");
}
void BM_FullReportToPdf(benchmark::State& state) {
    runFull(state, ReportDestination::Pdf, "full.pdf");
}

// A report's walk: every record, one field read from each, in key order or record order.
// A first walk maps the table's pages as it reaches them; later walks find them mapped until
// other reads give them back (`cold` starts every walk with none mapped).
void walk(benchmark::State& state, bool keyOrder, bool cold) {
    const auto n = static_cast<std::uint32_t>(state.range(0));
    ItemTable& t = items(n);
    t.setIndex(keyOrder ? QStringLiteral("NewIndex") : QString());
    dbase::Table& table = t.table();
    table.setIndex(keyOrder ? "NewIndex" : "");
    const auto once = [&] {
        std::uint32_t seen = 0;
        std::size_t bytes = 0;
        for (table.first(); !table.eof(); table.next()) {
            bytes += table.fieldBytes(4).size();
            ++seen;
        }
        benchmark::DoNotOptimize(bytes);
        if (seen != n)
            state.SkipWithError("the walk missed records");
    };
    if (!cold)
        once();
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            table.refresh(); // gives the mapped pages back
            state.ResumeTiming();
        }
        once();
    }
    table.setIndex("NewIndex");
    t.setIndex(QStringLiteral("NewIndex"));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * n);
}

void BM_WalkRecordOrder(benchmark::State& state) {
    walk(state, false, false);
}
void BM_WalkKeyOrder(benchmark::State& state) {
    walk(state, true, false);
}
void BM_WalkKeyOrderFirst(benchmark::State& state) {
    walk(state, true, true);
}

} // namespace

BENCHMARK(BM_FullReportToText)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_FullReportToPages)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_FullReportToPdf)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_WalkRecordOrder)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WalkKeyOrder)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WalkKeyOrderFirst)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // fonts measure text for the page layout
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
