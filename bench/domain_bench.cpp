// Costs of the domain pieces that run per record or per start-up: the settings files (read at
// every database switch, written at every save), value formatting (every money cell of the
// viewer and of each report line) and date text in both directions.
#include "formats/date_format.h"
#include "formats/value_format.h"
#include "settings/ini_file.h"
#include "settings/settings.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

static void BM_DatabaseSettingsRead(benchmark::State& state) {
    IniFile ini;
    writeDatabaseSettings(DatabaseSettings(), ini);
    const QByteArray bytes = ini.toBytes();
    for (auto _ : state) {
        DatabaseSettings s = readDatabaseSettings(IniFile::fromBytes(bytes));
        benchmark::DoNotOptimize(s.sortKeys);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}
BENCHMARK(BM_DatabaseSettingsRead);

static void BM_DatabaseSettingsSave(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("BENCH.INI");
    DatabaseSettings s;
    for (auto _ : state) {
        s.sortKeys[0] = int(state.iterations() % 22) + 1;
        if (!saveDatabaseSettings(s, path))
            state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_DatabaseSettingsSave);

// A damaged settings file: one very long line of junk and thousands of duplicate keys.
static void BM_DamagedSettingsRead(benchmark::State& state) {
    QByteArray bytes = "[Field Width]\r\n" + QByteArray(1 << 20, 'x') + "\r\n";
    for (int i = 0; i < 20000; ++i)
        bytes += "Item=" + QByteArray::number(i) + "\r\n";
    for (auto _ : state) {
        DatabaseSettings s = readDatabaseSettings(IniFile::fromBytes(bytes));
        benchmark::DoNotOptimize(s.fieldWidth);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}
BENCHMARK(BM_DamagedSettingsRead);

static void BM_FormatMoney(benchmark::State& state) {
    const NumberFormatter f({QLatin1Char(','), QLatin1Char('.'), 2}, int(state.range(0)),
                            kUsFormat);
    double v = -5000000.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.formatMoney(v, 1));
        v += 12345.67;
    }
}
BENCHMARK(BM_FormatMoney)->Arg(kUsFormat)->Arg(kRegionalFormat);

static void BM_ReadMoneyText(benchmark::State& state) {
    const NumberFormatter f;
    const QString text = QStringLiteral(" 1,234,567.89 ");
    for (auto _ : state)
        benchmark::DoNotOptimize(f.moneyValue(text));
}
BENCHMARK(BM_ReadMoneyText);

static void BM_DateFormatAndParse(benchmark::State& state) {
    const DateFormat fmt = *numberedDateFormat(int(state.range(0)), true);
    const QDate today(2026, 12, 8);
    QDate d(1950, 1, 1);
    for (auto _ : state) {
        const QString text = fmt.format(d);
        benchmark::DoNotOptimize(fmt.parse(text, today));
        d = d.addDays(1);
    }
}
BENCHMARK(BM_DateFormatAndParse)->Arg(1)->Arg(12);

BENCHMARK_MAIN();
