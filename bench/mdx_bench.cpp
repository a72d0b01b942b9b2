// Production index timings on item-shaped tables.
//
//   mdx_bench                          run the benchmarks (tables are built in a temp dir)
//   mdx_bench --make-table DIR N       write DIR/ITEMSn.DBF with N records and
//                                      DIR/ITEMSn.keys with the Upper(Left(CATEGORY,80)) key
//                                      of every record, one a line, for timing `sort` and
//                                      ogr2ogr on the same data
#include "bench_tables.h"
#include "dbase/mdx_file.h"
#include "dbase/table.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace dbase;

namespace {

constexpr const char* kSortExpression = "Upper(Left(CATEGORY,80))";

// A household's categories as users type them: a few big ones in mixed letter case, and a
// long tail of one-off names.
const char* kCategories[] = {"Kitchen",  "electronics", "Furniture", "TOOLS",    "Jewellery",
                             "books",    "Clothing",    "Garden",    "Sports",   "Art",
                             "Toys",     "Music",       "Linen",     "Lighting", "Appliances",
                             "Antiques", "Computers",   "Cameras",   "Silver",   "Rugs"};

std::string categoryOf(std::uint32_t i) {
    const std::uint32_t h = i * 2654435761u;
    if (h % 4 == 0)
        return std::string(kCategories[(h >> 8) % 20]) + " " + std::to_string((h >> 12) % 5000);
    return kCategories[(h >> 8) % 20];
}

void fillItem(Table& t, std::uint32_t i) {
    const std::string n = std::to_string(i);
    t.setFieldText("Item", "Item number " + n);
    t.setFieldText("Brand", i % 3 ? "Acme" : "Globex");
    t.setFieldText("Descriptio", "A fairly ordinary description of item " + n);
    t.setFieldInteger("Quantity", 1 + i % 9);
    t.setFieldDate("PurchDate", {1990 + static_cast<int>(i % 35), 1 + static_cast<int>(i % 12),
                                 1 + static_cast<int>(i % 28)});
    t.setFieldText("Cost", std::to_string(i % 100000) + ".25");
    t.setFieldText("Category", categoryOf(i));
    t.setFieldText("Owner", i % 4 ? "Pat" : "Sam");
}

using bench::itemFields;
using bench::scratch;

fs::path makeTable(const fs::path& dir, std::uint32_t records) {
    return bench::makeTable(dir, records, fillItem);
}

// Tables shared by the read benchmarks, built on first use.
const fs::path& table(std::uint32_t records) {
    return bench::cachedTable(records, fillItem);
}

// The same table with the tag built, made once.
const fs::path& indexedTable(std::uint32_t records) {
    static std::vector<std::pair<std::uint32_t, fs::path>> made;
    for (const auto& [n, p] : made)
        if (n == records)
            return p;
    const fs::path dir = scratch().dir / ("indexed" + std::to_string(records));
    fs::create_directories(dir);
    const fs::path p = makeTable(dir, records);
    Table t;
    t.openFile(p, OpenMode::Exclusive);
    t.addIndex("NewIndex", kSortExpression);
    t.close();
    bench::flushTable(p);
    made.emplace_back(records, p);
    return made.back().second;
}

void BM_BuildTag(benchmark::State& state) {
    const auto records = static_cast<std::uint32_t>(state.range(0));
    Table t;
    t.openFile(table(records), OpenMode::Exclusive);
    for (auto _ : state) {
        t.addIndex("NewIndex", kSortExpression);
        state.PauseTiming();
        t.deleteIndex("NewIndex");
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * records);
}

void BM_WalkInKeyOrder(benchmark::State& state) {
    const auto records = static_cast<std::uint32_t>(state.range(0));
    Table t;
    t.openFile(indexedTable(records), OpenMode::Shared);
    t.setIndex("NewIndex");
    for (auto _ : state) {
        std::uint32_t seen = 0;
        for (t.first(); !t.eof(); t.next())
            ++seen;
        if (seen < records)
            state.SkipWithError("the walk missed records");
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * records);
}

// The yardstick for the key-order walk: the same table walked in record order.
void BM_WalkInRecordOrder(benchmark::State& state) {
    const auto records = static_cast<std::uint32_t>(state.range(0));
    Table t;
    t.openFile(indexedTable(records), OpenMode::Shared);
    for (auto _ : state) {
        std::uint32_t seen = 0;
        for (t.first(); !t.eof(); t.next())
            ++seen;
        if (seen < records)
            state.SkipWithError("the walk missed records");
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * records);
}

// What a viewer model needs to land on any row: the record numbers in key order, and the same
// with a search that matches one record in three.
void BM_RowMapInKeyOrder(benchmark::State& state) {
    const auto records = static_cast<std::uint32_t>(state.range(0));
    Table t;
    t.openFile(indexedTable(records), OpenMode::Shared);
    t.setIndex("NewIndex");
    if (state.range(1) != 0) {
        const int brand = t.fieldIndex("Brand");
        t.setFilter([brand](const Table& table) { return table.fieldBytes(brand)[0] == 'G'; });
    }
    const std::uint32_t expected = state.range(1) != 0 ? records / 3 : records;
    for (auto _ : state) {
        const std::vector<std::uint32_t> rows = t.visibleRecordNumbers();
        if (rows.size() != expected)
            state.SkipWithError("the row map missed records");
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * records);
}

// The program's own way: a shared table, the tag selected, append and post.
void BM_InsertIntoIndexedTable(benchmark::State& state) {
    const auto records = static_cast<std::uint32_t>(state.range(0));
    constexpr std::uint32_t kInserts = 10000;
    Table t;
    t.openFile(indexedTable(records), OpenMode::Shared);
    t.setIndex("NewIndex");
    std::uint32_t next = records + 1;
    for (auto _ : state) {
        for (std::uint32_t i = 0; i < kInserts; ++i) {
            t.append();
            fillItem(t, next++);
            t.post();
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kInserts);
}

// The same appends to a table without an index, to separate the index's share.
void BM_InsertIntoPlainTable(benchmark::State& state) {
    const auto records = static_cast<std::uint32_t>(state.range(0));
    constexpr std::uint32_t kInserts = 10000;
    Table t;
    t.openFile(table(records), OpenMode::Shared);
    std::uint32_t next = records + 1;
    for (auto _ : state) {
        for (std::uint32_t i = 0; i < kInserts; ++i) {
            t.append();
            fillItem(t, next++);
            t.post();
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kInserts);
}

// One key into the tag alone, through the index file.
void BM_IndexInsertKey(benchmark::State& state) {
    const auto records = static_cast<std::uint32_t>(state.range(0));
    const fs::path mdx = Table::indexPath(indexedTable(records));
    auto file = MdxFile::open(mdx.string(), true);
    std::uint32_t recno = 3000000;
    std::string key;
    for (auto _ : state) {
        key = categoryOf(recno);
        for (char& c : key)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        key.resize(20, ' ');
        file->insertKey("NEWINDEX", key, recno++);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

BENCHMARK(BM_BuildTag)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WalkInKeyOrder)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WalkInRecordOrder)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RowMapInKeyOrder)
    ->Args({1000000, 0})
    ->Args({1000000, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_InsertIntoIndexedTable)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_InsertIntoPlainTable)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_IndexInsertKey)->Arg(1000000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--make-table") {
        const auto n = static_cast<std::uint32_t>(std::stoul(argv[3]));
        const fs::path p = makeTable(argv[2], n);
        std::ofstream keys(fs::path(argv[2]) / ("ITEMS" + std::to_string(n) + ".keys"));
        for (std::uint32_t i = 1; i <= n; ++i) {
            std::string k = categoryOf(i);
            for (char& c : k)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            k.resize(20, ' ');
            keys << k << '\n';
        }
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
