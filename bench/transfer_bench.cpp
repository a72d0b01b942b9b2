// Import and export timings on item tables (22 fields, about 700 bytes a record).
//
//   transfer_bench                      run the benchmarks (tables are built in a temp dir)
//   transfer_bench --make-table DIR N   write DIR/ITEMSn.DBF with N records and exit, for
//                                       timing ogr2ogr on the same file
//   transfer_bench --export-text T.DBF OUT.TXT
//                                       export every field of T.DBF as the Export window
//                                       does, in record order, for timing beside ogr2ogr
#include "bench_tables.h"
#include "formats/date_format.h"
#include "formats/text_codec.h"
#include "items/database_ops.h"
#include "items/database_paths.h"
#include "items/item_table.h"
#include "silent_prompter.h"
#include "transfer/delimited_text.h"
#include "transfer/item_export.h"
#include "transfer/item_import.h"
#include "ui/prompter.h"

#include <QCoreApplication>
#include <QFile>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

// The dbf_bench filler: realistic lengths, commas and quotes in the descriptions, some blanks.

const fs::path& table(std::uint32_t records) {
    return bench::cachedTable(records, bench::fillOrdinaryItem);
}

// The program's default order: the tag on the category, as a new database gets it.
const char* const kSortTag = "NewIndex";
const char* const kSortExpression = "Upper(Left(Category,80))";

std::vector<int> allFields() {
    std::vector<int> v;
    for (int n = 1; n <= 22; ++n)
        v.push_back(n);
    return v;
}

DateFormat mdy() {
    return DateFormat{QLatin1Char('/'), QStringLiteral("mm/dd/yyyy")};
}

QString out(const char* name) {
    return QString::fromStdString((bench::scratch().dir / name).string());
}

void BM_ExportText(benchmark::State& state) {
    dbase::Table t;
    t.openFile(table(std::uint32_t(state.range(0))), dbase::OpenMode::Shared);
    const bool keyOrder = state.range(1) != 0;
    if (keyOrder) {
        if (!t.hasIndex())
            t.addIndex(kSortTag, kSortExpression);
        t.setIndex(kSortTag);
    }
    for (auto _ : state) {
        const ExportResult r = exportText(t, allFields(), nullptr, mdy(), out("export.txt"));
        if (!r.error.isEmpty())
            state.SkipWithError(r.error.toStdString().c_str());
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * state.range(0));
}

void BM_ExportDbase(benchmark::State& state) {
    dbase::Table t;
    t.openFile(table(std::uint32_t(state.range(0))), dbase::OpenMode::Shared, false);
    for (auto _ : state) {
        const ExportResult r = exportDbase(t, allFields(), out("EXPORT.DBF"));
        if (!r.error.isEmpty())
            state.SkipWithError(r.error.toStdString().c_str());
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * state.range(0));
}

// Import of n lines (exported from the n-record table) into a new database, with its sort tag
// (second argument 1) or without any index (0, to show the index's share), through the shared
// table, as the import window runs it.
void BM_ImportText(benchmark::State& state) {
    const auto records = std::uint32_t(state.range(0));
    {
        dbase::Table t;
        t.openFile(table(records), dbase::OpenMode::Shared, false);
        exportText(t, allFields(), nullptr, mdy(), out("import.txt"));
    }
    QFile f(out("import.txt"));
    f.open(QIODevice::ReadOnly);
    const QByteArray bytes = f.readAll();
    SilentPrompter silent;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString path =
            out("IMPORT.DBF")
                .replace(QStringLiteral("IMPORT"), QStringLiteral("IMPORT%1").arg(++round));
        MakeNewDB(path, silent);
        ItemTable items;
        items.setPaths(DatabasePaths::forTable(path));
        items.open();
        if (state.range(1) != 0) {
            items.table().addIndex(kSortTag, kSortExpression);
            items.setIndex(QString::fromLatin1(kSortTag));
        }
        state.ResumeTiming();

        ImportRun run;
        run.items = &items;
        run.mapping = allFields();
        run.dates = mdy();
        run.progress = [](qint64) { return true; };
        const QString text = decodeTextFile(bytes);
        const ImportReport r = importText(run, text, false);
        if (r.imported != records || r.emptied || r.cut)
            state.SkipWithError("not every line imported cleanly");

        state.PauseTiming();
        items.close();
        QFile::remove(path);
        QFile::remove(DatabasePaths::forTable(path).index);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * records);
}

} // namespace

BENCHMARK(BM_ExportText)
    ->Args({100000, 0})
    ->Args({1000000, 0})
    ->Args({1000000, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK(BM_ExportDbase)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK(BM_ImportText)
    ->Args({100000, 1})
    ->Args({100000, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 4 && std::string(argv[1]) == "--make-table") {
        const fs::path p =
            bench::makeTable(argv[2], std::uint32_t(std::stoul(argv[3])), bench::fillOrdinaryItem);
        std::printf("%s\n", p.c_str());
        return 0;
    }
    if (argc == 4 && std::string(argv[1]) == "--export-text") {
        dbase::Table t;
        t.openFile(argv[2], dbase::OpenMode::Shared, false);
        const ExportResult r =
            exportText(t, allFields(), nullptr, mdy(), QString::fromLocal8Bit(argv[3]));
        std::printf("%llu records%s%s\n", static_cast<unsigned long long>(r.records),
                    r.error.isEmpty() ? "" : ": ", r.error.toLocal8Bit().constData());
        return r.error.isEmpty() ? 0 : 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
