// Table engine timings on item-shaped tables (22 fields, about 700 bytes a record).
//
//   dbf_bench                          run the benchmarks (tables are built in a temp dir)
//   dbf_bench --make-table DIR N       write DIR/ITEMSn.DBF with N records and exit, for
//                                      timing other tools on the same file
#include "bench_tables.h"
#include "dbase/table.h"
#include "dbase/table_tools.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace dbase;

namespace {

using bench::itemFields;
using bench::scratch;

fs::path makeTable(const fs::path& dir, std::uint32_t records) {
    return bench::makeTable(dir, records, bench::fillOrdinaryItem);
}

// Tables shared by the read benchmarks, built on first use.
const fs::path& table(std::uint32_t records) {
    return bench::cachedTable(records, bench::fillOrdinaryItem);
}

void BM_CreateAndAppend(benchmark::State& state) {
    const auto records = static_cast<std::uint32_t>(state.range(0));
    const fs::path dir = scratch().dir / "create";
    fs::create_directories(dir);
    for (auto _ : state) {
        const fs::path p = makeTable(dir, records);
        state.PauseTiming();
        fs::remove(p);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * records);
}

void BM_CreateAndAppendShared(benchmark::State& state) {
    // The program's own way: a shared table, so every append takes the append lock.
    const auto records = static_cast<std::uint32_t>(state.range(0));
    for (auto _ : state) {
        const fs::path p = Table::create(scratch().dir, "SHARED", itemFields());
        Table t;
        t.open(scratch().dir, "SHARED", OpenMode::Shared);
        for (std::uint32_t i = 1; i <= records; ++i) {
            t.append();
            bench::fillOrdinaryItem(t, i);
            t.post();
        }
        t.close();
        state.PauseTiming();
        fs::remove(p);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * records);
}

void BM_OpenAndReadEveryFieldAsText(benchmark::State& state) {
    const auto records = static_cast<std::uint32_t>(state.range(0));
    const fs::path& p = table(records);
    for (auto _ : state) {
        Table t;
        t.openFile(p, OpenMode::Shared);
        std::size_t bytes = 0;
        for (t.first(); !t.eof(); t.next())
            for (int i = 0; i < t.fieldCount(); ++i)
                bytes += t.fieldText(i).size();
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * records);
}

void BM_FilteredScan(benchmark::State& state) {
    // One record in ten passes, as with a search on one category.
    const auto records = static_cast<std::uint32_t>(state.range(0));
    const fs::path& p = table(records);
    Table t;
    t.openFile(p, OpenMode::Shared);
    const int category = t.fieldIndex("Category");
    t.setFilter([category](const Table& tt) { return tt.fieldText(category) == "Tools"; });
    for (auto _ : state) {
        std::uint32_t seen = 0;
        for (t.first(); !t.eof(); t.next())
            ++seen;
        if (seen != records / 10)
            state.SkipWithError("filter saw the wrong number of records");
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * records);
}

void BM_DumpCsv(benchmark::State& state) {
    const auto records = static_cast<std::uint32_t>(state.range(0));
    const fs::path& p = table(records);
    const fs::path out = scratch().dir / "dump.csv";
    for (auto _ : state) {
        Table t;
        t.openFile(p, OpenMode::ReadOnly);
        std::FILE* f = std::fopen(out.c_str(), "wb");
        benchmark::DoNotOptimize(dumpCsv(t, f, out.string()));
        std::fclose(f);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * records);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(fs::file_size(p)));
}

BENCHMARK(BM_CreateAndAppend)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CreateAndAppendShared)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OpenAndReadEveryFieldAsText)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilteredScan)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DumpCsv)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--make-table") {
        const fs::path p = makeTable(argv[2], static_cast<std::uint32_t>(std::stoul(argv[3])));
        std::printf("%s\n", p.c_str());
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
