// Locate and search and replace over 1,000,000 items: a locate that walks every record without
// finding one, and a search and replace that changes 100,000 of them, sort index rebuilt
// afterwards as the command does. The table is written straight to disk once.
#include "big_inventory.h"
#include "find/locate.h"
#include "find/search_replace_ops.h"

#include <QDate>
#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

constexpr std::uint32_t kItems = 1'000'000;

// Ten categories, one item in ten of each; brands, costs and dates spread out. Ordered by
// category, as a new database is.
bench::BigInventory& inventory() {
    static bench::BigInventory big(
        kItems,
        [](std::string& record, const std::vector<dbase::Field>& fields, std::uint32_t i) {
            static const char* brands[] = {"Sonar", "PARSONS", "mason",  "Acme",
                                           "Sony",  "Zenith",  "Philco", "RCA"};
            static const char* categories[] = {"Electronics", "Kitchen", "tools",  "Books",
                                               "jewelry",     "Garden",  "Linens", "art",
                                               "Toys",        "Music"};
            char buf[64];
            std::snprintf(buf, sizeof buf, "Item %07u", i);
            bench::putCell(record, fields[0], buf, false);
            bench::putCell(record, fields[1], brands[(i * 7) % 8], false);
            bench::putCell(record, fields[11], categories[i % 10], false);
            std::snprintf(buf, sizeof buf, "%.2f", double((i * 37) % 1000) + 0.5);
            bench::putCell(record, fields[10], buf, true);
            const QDate d = QDate(2000, 1, 1).addDays(i % 9000);
            std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year(), d.month(), d.day());
            bench::putCell(record, fields[9], buf, false);
        },
        {item_field::Category, 0, 0, 0});
    return big;
}

void locateWithoutMatch(benchmark::State& state, const char* field, TMyLocateMatchType match) {
    bench::BigInventory& big = inventory();
    big.session.items.table().first();
    for (auto _ : state) {
        const LocateOutcome outcome = locateValue(
            big.session.items,
            {QString::fromLatin1(field), QStringLiteral("no such value"), true, false, match},
            big.session.formats.current());
        if (outcome != LocateOutcome::NotFound)
            state.SkipWithError("found something");
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * kItems);
}

} // namespace

static void BM_LocateScansAllWithoutMatch_ItemPartialStart(benchmark::State& state) {
    locateWithoutMatch(state, "Item", mtPartialMatchStart);
}
BENCHMARK(BM_LocateScansAllWithoutMatch_ItemPartialStart)->Unit(benchmark::kMillisecond);

static void BM_LocateScansAllWithoutMatch_ItemAnywhere(benchmark::State& state) {
    locateWithoutMatch(state, "Item", mtPartialMatchAny);
}
BENCHMARK(BM_LocateScansAllWithoutMatch_ItemAnywhere)->Unit(benchmark::kMillisecond);

static void BM_LocateScansAllWithoutMatch_PurchDateExact(benchmark::State& state) {
    locateWithoutMatch(state, "PurchDate", mtExactMatch);
}
BENCHMARK(BM_LocateScansAllWithoutMatch_PurchDateExact)->Unit(benchmark::kMillisecond);

// Kitchen becomes Cooking and back on alternate runs: 100,000 records written each time.
static void BM_SearchAndReplace100kOf1M(benchmark::State& state) {
    bench::BigInventory& big = inventory();
    bool forth = true;
    std::int64_t changed = 0;
    for (auto _ : state) {
        const ReplaceCheckResult check = checkReplaceInput(
            {item_field::Category, forth ? "kitchen" : "cooking", forth ? "Cooking" : "Kitchen"},
            big.session.formats.current());
        const ReplaceResult r =
            runSearchAndReplace(big.session, check.values, false, big.prompter, {});
        if (r.outcome != ReplaceOutcome::Completed || r.counters.changed != 100'000)
            state.SkipWithError("the pass did not change 100,000 records");
        changed += r.counters.changed;
        forth = !forth;
    }
    state.counters["changed"] = double(changed) / double(state.iterations());
}
BENCHMARK(BM_SearchAndReplace100kOf1M)->Unit(benchmark::kSecond)->Iterations(2);

BENCHMARK_MAIN();
