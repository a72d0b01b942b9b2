// Locate and search and replace over 1,000,000 items: a locate that walks every record without
// finding one, and a search and replace that changes 100,000 of them, sort index rebuilt
// afterwards as the command does. The table is written straight to disk once.
#include "find/locate.h"
#include "find/search_replace_ops.h"
#include "items/database_ops.h"
#include "items/item_schema.h"
#include "items/sort_index.h"
#include "items/sort_string.h"
#include "session/inventory_session.h"
#include "silent_prompter.h"

#include <QDate>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr std::uint32_t kItems = 1'000'000;

void put(std::string& record, const dbase::Field& f, const std::string& text, bool right) {
    std::string cell(size_t(f.length), ' ');
    const size_t n = std::min(text.size(), cell.size());
    if (right)
        std::memcpy(cell.data() + cell.size() - n, text.data(), n);
    else
        std::memcpy(cell.data(), text.data(), n);
    std::memcpy(record.data() + f.offset, cell.data(), cell.size());
}

// Ten categories, one item in ten of each; brands, costs and dates spread out. Ordered by
// category, as a new database is.
struct BigInventory {
    QTemporaryDir dir;
    SilentPrompter prompter;
    InventorySession session;
    QString path;

    BigInventory() {
        path = dir.filePath(QStringLiteral("BIG.DBF"));
        if (!MakeNewDB(path, prompter))
            std::abort();
        session.items.setPaths(DatabasePaths::forTable(path));
        session.items.open();
        const dbase::Table& t = session.items.table();
        std::vector<dbase::Field> fields;
        for (int n = 1; n <= kItemFieldCount; ++n)
            fields.push_back(t.field(t.fieldIndex(itemField(n)->name)));
        const size_t recordLength = size_t(t.recordLength());
        session.items.close();

        static const char* brands[] = {"Sonar", "PARSONS", "mason",  "Acme",
                                       "Sony",  "Zenith",  "Philco", "RCA"};
        static const char* categories[] = {"Electronics", "Kitchen", "tools", "Books", "jewelry",
                                           "Garden",      "Linens",  "art",   "Toys",  "Music"};
        std::string records;
        records.reserve(recordLength * kItems + 1);
        std::string record(recordLength, ' ');
        const QDate base(2000, 1, 1);
        char buf[64];
        for (std::uint32_t i = 0; i < kItems; ++i) {
            std::fill(record.begin(), record.end(), ' ');
            std::snprintf(buf, sizeof buf, "Item %07u", i);
            put(record, fields[0], buf, false);
            put(record, fields[1], brands[(i * 7) % 8], false);
            put(record, fields[11], categories[i % 10], false);
            std::snprintf(buf, sizeof buf, "%.2f", double((i * 37) % 1000) + 0.5);
            put(record, fields[10], buf, true);
            const QDate d = base.addDays(i % 9000);
            std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year(), d.month(), d.day());
            put(record, fields[9], buf, false);
            records += record;
        }
        records += char(0x1A);

        QFile file(path);
        if (!file.open(QIODevice::ReadWrite))
            std::abort();
        const QByteArray header = file.read(12);
        const std::uint32_t headerBytes =
            std::uint8_t(header[8]) | std::uint32_t(std::uint8_t(header[9])) << 8;
        file.seek(headerBytes);
        file.write(records.data(), qint64(records.size()));
        file.seek(4);
        const char count[4] = {char(kItems & 0xff), char((kItems >> 8) & 0xff),
                               char((kItems >> 16) & 0xff), char((kItems >> 24) & 0xff)};
        file.write(count, 4);
        file.close();
        session.items.open(dbase::OpenMode::Exclusive);
        session.db.sortKeys = {item_field::Category, 0, 0, 0};
        session.sortExpression = BuildSortString(session.db.sortKeys);
        selectSortIndex(session.items, session.sortExpression, SortIndexUse::Rebuild);
        session.items.close();
        session.items.open();
    }
};

BigInventory& inventory() {
    static BigInventory big;
    return big;
}

void locateWithoutMatch(benchmark::State& state, const char* field, TMyLocateMatchType match) {
    BigInventory& big = inventory();
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
    BigInventory& big = inventory();
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
