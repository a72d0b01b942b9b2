// Costs of searching and ordering a large inventory: a two-level search over 1,000,000 items,
// timed from Ok until the first screen of matches could be shown and until every match is
// counted. The table is written straight to disk once, so setting up stays quick.
#include "big_inventory.h"
#include "find/search_criteria.h"
#include "find/search_session.h"
#include "find/sort_order_ops.h"

#include <QDate>
#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

constexpr std::uint32_t kItems = 1'000'000;
constexpr int kScreenRows = 30;

// A million-item database: eight brands, four owners, costs from 0.50 to 999.50, dates over
// 25 years.
bench::BigInventory& inventory() {
    static bench::BigInventory big(
        kItems, [](std::string& record, const std::vector<dbase::Field>& fields, std::uint32_t i) {
            static const char* brands[] = {"Sonar", "PARSONS", "mason",  "Acme",
                                           "Sony",  "Zenith",  "Philco", "RCA"};
            static const char* owners[] = {"Ann", "Bob", "Cy", "Dee"};
            static const char* categories[] = {"Electronics", "Kitchen", "tools",     "Books",
                                               "jewelry",     "Garden",  "Furniture", "art"};
            char buf[64];
            std::snprintf(buf, sizeof buf, "Item %07u", i);
            bench::putCell(record, fields[0], buf, false);
            bench::putCell(record, fields[1], brands[(i * 7) % 8], false);
            bench::putCell(record, fields[16], owners[(i / 3) % 4], false);
            bench::putCell(record, fields[11], categories[(i * 5) % 8], false);
            std::snprintf(buf, sizeof buf, "%u", i % 5);
            bench::putCell(record, fields[8], buf, true);
            std::snprintf(buf, sizeof buf, "%.2f", double((i * 37) % 1000) + 0.5);
            bench::putCell(record, fields[10], buf, true);
            const QDate d = QDate(2000, 1, 1).addDays(i % 9000);
            std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year(), d.month(), d.day());
            bench::putCell(record, fields[9], buf, false);
        });
    return big;
}

SearchItem textItem(int field, const char* text, bool end) {
    SearchItem item;
    item.text = QString::fromLatin1(text);
    item.field = field;
    item.kind = SearchKind::Contains;
    item.endOfLevel = end;
    return item;
}

SearchItem numberItem(int field, double value, SearchKind kind, bool end) {
    SearchItem item;
    item.number = value;
    item.field = field;
    item.kind = kind;
    item.endOfLevel = end;
    return item;
}

// Level 1: Brand contains SON and Cost between 100 and 200; level 2: Owner contains ANN.
SearchItems twoLevels() {
    return {textItem(item_field::Brand, "SON", false),
            numberItem(item_field::Cost, 100, SearchKind::Greater, false),
            numberItem(item_field::Cost, 200, SearchKind::Less, true),
            textItem(item_field::Owner, "ANN", true)};
}

// The same shape, but only the last few items match: the first screen needs a long walk.
SearchItems twoLevelsRare() {
    return {textItem(item_field::Item, "ITEM 09999", false),
            numberItem(item_field::Cost, 0, SearchKind::Greater, true),
            textItem(item_field::Owner, "NOBODY", true)};
}

void endAfterIteration(bench::BigInventory& big) {
    big.session.items.table().clearFilter();
    big.session.searchOn = false;
}

void searchFirstScreen(benchmark::State& state, const SearchItems& items) {
    bench::BigInventory& big = inventory();
    dbase::Table& t = big.session.items.table();
    std::uint32_t last = 0;
    for (auto _ : state) {
        if (!applySearch(big.session, items, {}))
            state.SkipWithError("no matches");
        t.first();
        for (int i = 1; i < kScreenRows && !t.eof(); ++i)
            t.next();
        last = t.recordNumber();
        state.PauseTiming();
        endAfterIteration(big);
        state.ResumeTiming();
    }
    state.counters["30th match"] = double(last);
}

} // namespace

static void BM_TwoLevelSearchFirstScreen(benchmark::State& state) {
    searchFirstScreen(state, twoLevels());
}
BENCHMARK(BM_TwoLevelSearchFirstScreen)->Unit(benchmark::kMillisecond);

static void BM_TwoLevelSearchFirstScreenRareMatches(benchmark::State& state) {
    searchFirstScreen(state, twoLevelsRare());
}
BENCHMARK(BM_TwoLevelSearchFirstScreenRareMatches)->Unit(benchmark::kMillisecond);

static void BM_TwoLevelSearchCountAll(benchmark::State& state) {
    bench::BigInventory& big = inventory();
    std::uint32_t matches = 0;
    for (auto _ : state) {
        if (!applySearch(big.session, twoLevels(), {}))
            state.SkipWithError("no matches");
        matches = big.session.items.table().countVisible();
        state.PauseTiming();
        endAfterIteration(big);
        state.ResumeTiming();
    }
    state.counters["matches"] = double(matches);
}
BENCHMARK(BM_TwoLevelSearchCountAll)->Unit(benchmark::kMillisecond);

// The predicate alone over the raw records, without the cursor around it.
static void BM_PredicateOverRawRecords(benchmark::State& state) {
    bench::BigInventory& big = inventory();
    const SearchPredicate predicate(twoLevels(), big.session.items);
    dbase::Table& t = big.session.items.table();
    const std::string block = [&] {
        std::string all;
        for (std::uint32_t r = 1; r <= 10000; ++r)
            all += t.readRecord(r);
        return all;
    }();
    const size_t length = size_t(t.recordLength());
    for (auto _ : state) {
        std::uint32_t n = 0;
        for (size_t at = 0; at < block.size(); at += length)
            n += predicate.matches(std::string_view(block).substr(at, length));
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 10000);
}
BENCHMARK(BM_PredicateOverRawRecords);

// Sort Order's Ok on a million items: sole use, "NewIndex" rebuilt, settings written, the
// table reopened in the new order. Two orders take turns so every run rebuilds.
static void BM_NewSortOrder(benchmark::State& state) {
    bench::BigInventory& big = inventory();
    const std::array<int, 4> orders[2] = {{item_field::Category, item_field::Cost, 0, 0},
                                          {item_field::Brand, item_field::PurchDate, 0, 0}};
    int turn = 0;
    for (auto _ : state) {
        if (applySortOrder(big.session, orders[turn], big.prompter, {}) !=
            SortOrderOutcome::Applied)
            state.SkipWithError("sort order failed");
        turn = 1 - turn;
    }
    dbase::Table& t = big.session.items.table();
    t.first();
    state.counters["first record"] = double(t.recordNumber());
}
BENCHMARK(BM_NewSortOrder)->Unit(benchmark::kMillisecond)->Iterations(4);

BENCHMARK_MAIN();
