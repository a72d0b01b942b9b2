#include "items/database_ops.h"
#include "items/database_paths.h"
#include "items/item_schema.h"
#include "items/item_table.h"
#include "items/sort_index.h"
#include "items/sort_string.h"
#include "reports/report_file.h"
#include "reports/report_generator.h"
#include "scripted_prompter.h"
#include "test_files.h"

#include "qstring_printer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {
namespace F = item_field;

struct Item {
    QString item, location, category, brand, owner;
    std::optional<double> cost, rep, value;
    std::optional<int> quantity;
    QString description;
    std::optional<QDate> bought;
    QString warranty;
};

// A small known inventory, sorted as the test asks.
struct Inventory {
    TestDir dir;
    ScriptedPrompter prompter;
    ItemTable items;

    Inventory() {
        const QString path = dir.file(QStringLiteral("HOME.DBF"));
        EXPECT_TRUE(MakeNewDB(path, prompter));
        items.setPaths(DatabasePaths::forTable(path));
        items.open();
    }
    void add(const Item& r) {
        items.table().append();
        items.setText(F::Item, r.item);
        items.setText(F::Location, r.location);
        items.setText(F::Category, r.category);
        items.setText(F::Brand, r.brand);
        items.setText(F::Owner, r.owner);
        items.setText(F::Descriptio, r.description);
        items.setText(F::Warranty, r.warranty);
        items.setDate(F::PurchDate, r.bought);
        if (r.cost)
            items.setFloating(F::Cost, *r.cost);
        if (r.rep)
            items.setFloating(F::RepCost, *r.rep);
        if (r.value)
            items.setFloating(F::Value, *r.value);
        if (r.quantity)
            items.setInteger(F::Quantity, *r.quantity);
        items.table().post();
    }
    void addStandard() {
        add({"Sofa", "Living Room", "Furniture", "Ashby", "Pat", 500, 650, 300, 1,
             "Three-seat, green", QDate(2019, 4, 2), "Yes"});
        add({"Chairs", "Kitchen", "Furniture", "Ashby", "Pat", 10, 12, 8, 3, {}, {}, "No"});
        add({"Lamp shade", "Kitchen", "Lighting", {}, "Sam", 10, {}, {}, {}, {}, {}, {}});
        add({"Television", "Living Room", "Electronics", "Vizor", "Sam", 1234.5, 1500, 900, 2,
             "55 inch", QDate(2022, 11, 30), "Yes"});
        add({"Table", "Kitchen", "Furniture", "Oakes", "Pat", 200, 250, 150, 1, {}, {}, {}});
    }
    void sortBy(std::array<int, 4> keys) {
        sortKeys = keys;
        selectSortIndex(items, BuildSortString(keys), SortIndexUse::Rebuild);
    }

    ReportSource source() {
        ReportSource s;
        s.items = &items;
        s.sortKeys = sortKeys;
        for (const ItemField& f : kItemFields)
            s.captions[std::size_t(f.number - 1)] = f.qLabel();
        s.today = QDate(2026, 12, 1);
        return s;
    }

    std::array<int, 4> sortKeys{};
};

QString readText(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return QString::fromUtf8(f.readAll());
}

ReportOutcome runToText(const ReportDefinition& d, const ReportSource& s, const QString& path) {
    ReportRun run(d, s, ReportDestination::TextFile, path);
    run.setPaperSize({8.5, 11});
    return run.run();
}

ReportDefinition builtIn(const QString& name) {
    for (const ReportDefinition& d : builtInReports())
        if (d.name == name)
            return d;
    ADD_FAILURE() << "no built-in " << name.toStdString();
    return {};
}

// A one-line report over these parts with the standard totals line plus quantity.
ReportDefinition oneLine(std::initializer_list<ReportPart> parts) {
    ReportDefinition d = builtIn(QStringLiteral("Short Wide Report"));
    d.body[0] = ReportLine();
    std::size_t i = 0;
    for (const ReportPart& p : parts)
        d.body[0].parts[i++] = p;
    return d;
}

} // namespace

// Each built-in report over the known inventory, as a text file, against the file kept in
// tests/data/reports (TW_UPDATE_EXPECTED=1 rewrites them after a deliberate change).
TEST(ReportGenerator, TextFileOfEachBuiltInMatchesTheExpectedFile) {
    Inventory inv;
    inv.addStandard();
    inv.sortBy({F::Location, F::Item, 0, 0});
    ReportSource src = inv.source();
    src.insurance = {QStringLiteral("Acme Mutual"), true, QStringLiteral("P-77"), true,
                     QStringLiteral("Pat Doe"),     true};
    const bool update = qEnvironmentVariableIntValue("TW_UPDATE_EXPECTED") == 1;
    for (const ReportDefinition& d : builtInReports()) {
        QString base = d.name;
        base.replace(QRegularExpression(QStringLiteral("[^A-Za-z]+")), QStringLiteral("_"));
        const QString out = inv.dir.file(base + QStringLiteral(".txt"));
        const ReportOutcome r = runToText(d, src, out);
        ASSERT_EQ(r.outcome, PageOutput::Outcome::Completed) << r.error.toStdString();
        const QString expectedPath =
            testDataPath(QStringLiteral("reports/") + base + QStringLiteral(".txt"));
        if (update) {
            QDir().mkpath(QFileInfo(expectedPath).path());
            QFile::remove(expectedPath);
            ASSERT_TRUE(QFile::copy(out, expectedPath));
        }
        EXPECT_EQ(readText(out), readText(expectedPath)) << d.name.toStdString();
    }
    // The walk leaves the viewer's record where it was.
    EXPECT_TRUE(inv.items.table().bof() || inv.items.table().recordNumber() > 0);
}

TEST(ReportGenerator, TotalsAreQuantityWeightedFromStoredNumbersInAnyLocale) {
    Inventory inv;
    inv.add({"Cups", "Kitchen", {}, {}, {}, 10.00, {}, {}, 3, {}, {}, {}});
    inv.add({"Saucers", "Kitchen", {}, {}, {}, 10.00, {}, {}, {}, {}, {}, {}});
    ReportDefinition d = builtIn(QStringLiteral("Statistics/Summary Report"));
    d.level1Group = false;
    d.totals.parts[9] = {QStringLiteral("Quantity"), TotalQuantity, 10, {}};

    ReportSource src = inv.source();
    const QString us = inv.dir.file("us.txt");
    ASSERT_EQ(runToText(d, src, us).outcome, PageOutput::Outcome::Completed);
    QStringList lines = readText(us).split(QLatin1Char('\n'));
    // Ungrouped: TOTALS and GRAND TOTALS both print, with equal figures.
    const qsizetype t = lines.indexOf(QRegularExpression(QStringLiteral("^ *TOTALS$")));
    const qsizetype g = lines.indexOf(QRegularExpression(QStringLiteral("^ *GRAND TOTALS$")));
    ASSERT_GE(t, 0);
    ASSERT_GT(g, t);
    EXPECT_EQ(lines[t + 1], lines[g + 1]);
    EXPECT_TRUE(lines[g + 1].startsWith(QStringLiteral("     Cost: 30.00       ")))
        << lines[g + 1].toStdString();
    EXPECT_TRUE(lines[g + 1].simplified().endsWith(QStringLiteral("Value: 0.00 3")))
        << lines[g + 1].toStdString();

    // A comma-decimal region changes how totals look, never what they add up to.
    src.numbers =
        NumberFormatter({QLatin1Char(','), QLatin1Char('.'), 2}, kRegionalFormat, kRegionalFormat);
    const QString eu = inv.dir.file("eu.txt");
    ASSERT_EQ(runToText(d, src, eu).outcome, PageOutput::Outcome::Completed);
    lines = readText(eu).split(QLatin1Char('\n'));
    EXPECT_TRUE(lines[g + 1].startsWith(QStringLiteral("     Cost: 30,00       ")))
        << lines[g + 1].toStdString();
}

TEST(ReportGenerator, LevelTwoGroupsHeadByBothValuesAndOpenOnALevelTwoChange) {
    Inventory inv;
    inv.add({"Chairs", "Kitchen", {}, {}, {}, 10, {}, {}, 4, {}, {}, {}});
    inv.add({"Chairs", "Kitchen", {}, {}, {}, 15, {}, {}, 2, {}, {}, {}});
    inv.add({"Table", "Kitchen", {}, {}, {}, 100, {}, {}, 1, {}, {}, {}});
    inv.add({"Chairs", "Porch", {}, {}, {}, 5, {}, {}, 1, {}, {}, {}});
    inv.sortBy({F::Location, F::Item, 0, 0});
    ReportDefinition d = builtIn(QStringLiteral("Location & Owner Report"));
    d.level2Group = true;
    const QString out = inv.dir.file("groups.txt");
    ASSERT_EQ(runToText(d, inv.source(), out).outcome, PageOutput::Outcome::Completed);
    const QStringList lines = readText(out).split(QLatin1Char('\n'));
    QStringList headings, subtotals;
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        const QString t = lines[i].trimmed();
        if (!t.isEmpty() && lines[i - 1].trimmed() == QString(t.size(), QLatin1Char('-')) &&
            lines[i + 1].trimmed() == lines[i - 1].trimmed())
            headings << t;
        if (t == QStringLiteral("TOTALS"))
            subtotals << lines[i + 1].simplified();
    }
    EXPECT_EQ(headings, (QStringList{"Kitchen, Chairs", "Kitchen, Table", "Porch, Chairs"}));
    // Each group's subtotal, then the end block's TOTALS of the last group.
    ASSERT_EQ(subtotals.size(), 3);
    EXPECT_TRUE(subtotals[0].startsWith(QStringLiteral("Cost: 70.00 ")))
        << subtotals[0].toStdString();
    EXPECT_TRUE(subtotals[1].startsWith(QStringLiteral("Cost: 100.00 ")));
    EXPECT_TRUE(subtotals[2].startsWith(QStringLiteral("Cost: 5.00 ")));
}

TEST(ReportGenerator, TextCellsCutAndPadToTheirWidths) {
    Inventory inv;
    inv.add({"Lamp shade", "Den", {}, {}, {}, {}, {}, {}, 1, {}, {}, {}});
    ReportDefinition d = oneLine({{QStringLiteral("Item"), F::Item, 5, {}},
                                  {kLabelKind, 0, 11, QStringLiteral("Location:")},
                                  {QStringLiteral("Location"), F::Location, 10, {}}});
    d.columnHeaders = false;
    d.useTotals = false;
    const QString out = inv.dir.file("cells.txt");
    ASSERT_EQ(runToText(d, inv.source(), out).outcome, PageOutput::Outcome::Completed);
    EXPECT_TRUE(readText(out).startsWith(QStringLiteral("Lamp   Location:Den       \n")))
        << readText(out).toStdString();
}

// An amount too wide for its column is never cut like a text (12,345,678.9 or 1,234,5 would
// be a wrong figure): it drops the cents, then fills the column with "#".
TEST(ReportGenerator, AmountsTooWideForTheirColumnsDropTheCentsButNeverDigits) {
    Inventory inv;
    inv.add({"Painting", "Den", {}, {}, {}, 12345678.9, 99999999.99, 23456789.01, 9, {}, {}, {}});
    // Printed: the built-in Medium Report has no room for eight digits and the cents.
    ReportRun run(builtIn(QStringLiteral("Medium Report")), inv.source(), ReportDestination::View);
    run.setPaperSize({8.5, 11});
    ASSERT_EQ(run.run().outcome, PageOutput::Outcome::Completed);
    const QStringList texts = run.takePages()->page(0).texts();
    EXPECT_TRUE(texts.contains(QStringLiteral("12,345,679"))) << texts.join('|').toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("111,111,110"))) << texts.join('|').toStdString();
    for (const QString& t : texts)
        EXPECT_FALSE(QRegularExpression(QStringLiteral("^[0-9,]+\\.[0-9]?$")).match(t).hasMatch())
            << t.toStdString();

    // Text file: cells of 14, 10 and 5 characters.
    ReportDefinition d = oneLine({{QStringLiteral("Cost"), F::Cost, 14, {}},
                                  {QStringLiteral("Cost"), F::Cost, 10, {}},
                                  {QStringLiteral("Quantity"), F::Quantity, 1, {}},
                                  {QStringLiteral("Cost"), F::Cost, 5, {}}});
    d.columnHeaders = false;
    d.useTotals = false;
    const QString out = inv.dir.file("amounts.txt");
    ASSERT_EQ(runToText(d, inv.source(), out).outcome, PageOutput::Outcome::Completed);
    EXPECT_TRUE(readText(out).startsWith(QStringLiteral("12,345,678.90 12,345,6799#####\n")))
        << readText(out).toStdString();
}

namespace {
// n items in two locations, sorted by location.
void addMany(Inventory& inv, int n) {
    for (int i = 1; i <= n; ++i)
        inv.add({QStringLiteral("Item %1").arg(i, 4, 10, QLatin1Char('0')),
                 i <= n / 2 ? QStringLiteral("Attic") : QStringLiteral("Basement"),
                 {},
                 {},
                 {},
                 1.0,
                 2.0,
                 3.0,
                 1,
                 QStringLiteral("Description %1").arg(i),
                 {},
                 {}});
    inv.sortBy({F::Location, F::Item, 0, 0});
}
} // namespace

TEST(ReportGenerator, PagesNeverSplitAnItemAndCarryFootersAndTheEndBlock) {
    Inventory inv;
    addMany(inv, 60);
    ReportSource src = inv.source();
    src.insurance.printStatement = true;
    src.insurance.yourName = QStringLiteral("Pat Doe");
    ReportDefinition d = builtIn(QStringLiteral("Full Report"));

    ReportRun view(d, src, ReportDestination::View);
    view.setPaperSize({8.5, 11});
    QStringList statuses;
    view.output().setStatusListener([&](const QString& s) { statuses << s; });
    const ReportOutcome r = view.run();
    ASSERT_EQ(r.outcome, PageOutput::Outcome::Completed) << r.error.toStdString();
    auto pages = view.takePages();
    ASSERT_TRUE(pages);
    ASSERT_GT(pages->pageCount(), 3);
    EXPECT_EQ(r.pages, pages->pageCount());
    EXPECT_EQ(statuses.front(), QStringLiteral("Printing Page 1"));
    EXPECT_EQ(statuses.back(), QStringLiteral("Printing Page %1").arg(pages->pageCount()));

    int items = 0;
    for (int p = 0; p < pages->pageCount(); ++p) {
        const QStringList texts = pages->page(p).texts();
        // Every item that starts on a page ends there: as many first as last lines.
        EXPECT_EQ(texts.count(QStringLiteral("Item:")), texts.count(QStringLiteral("ID Marks:")))
            << "page " << p + 1;
        items += int(texts.count(QStringLiteral("Item:")));
        EXPECT_TRUE(texts.contains(QStringLiteral("Page %1").arg(p + 1)));
        EXPECT_TRUE(texts.contains(QStringLiteral("12/1/26")));
    }
    EXPECT_EQ(items, 60);
    const QStringList last = pages->page(pages->pageCount() - 1).texts();
    EXPECT_TRUE(last.contains(QStringLiteral("GRAND TOTALS")));
    EXPECT_TRUE(last.contains(QStringLiteral("Pat Doe")));
    EXPECT_TRUE(last.contains(QStringLiteral("60.00")));

    // The text file breaks its pages exactly where the recorded pages break.
    const QString out = inv.dir.file("full.txt");
    ASSERT_EQ(runToText(d, src, out).outcome, PageOutput::Outcome::Completed);
    const QStringList textPages = readText(out).split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    ASSERT_EQ(textPages.size(), pages->pageCount());
    for (int p = 0; p < pages->pageCount(); ++p)
        EXPECT_EQ(textPages[p].count(QStringLiteral("Item: Item ")),
                  pages->page(p).texts().count(QStringLiteral("Item:")));

    // Without page numbers the footer has none.
    d.pageNumbers = false;
    ASSERT_EQ(runToText(d, src, out).outcome, PageOutput::Outcome::Completed);
    EXPECT_FALSE(readText(out).contains(QStringLiteral("Page 1")));
    EXPECT_TRUE(readText(out).contains(QStringLiteral("\n12/1/26\n\f")));
}

TEST(ReportGenerator, PrintedColumnsFitTheirTextsAndTheTopMarginMovesTheBands) {
    Inventory inv;
    inv.add({QString(40, QLatin1Char('W')), "Den", {}, {}, {}, 1, 1, 1, 1, {}, {}, {}});
    ReportDefinition d = builtIn(QStringLiteral("Short Narrow Report"));
    d.titles[0] = QStringLiteral("My Inventory");
    auto render = [&](double top) {
        d.topMargin = top;
        ReportRun run(d, inv.source(), ReportDestination::View);
        run.setPaperSize({8.5, 11});
        EXPECT_EQ(run.run().outcome, PageOutput::Outcome::Completed);
        return run.takePages();
    };
    auto titleY = [](const PageStream& s) {
        for (const auto& step : s.page(0).steps())
            if (step.op == RecordedPage::Op::Text && s.page(0).textAt(step) == "My Inventory")
                return double(step.y1);
        return -1.0;
    };
    auto plain = render(0);
    auto moved = render(1.5);
    EXPECT_NEAR(titleY(*moved) - titleY(*plain), 1.5 * kUnitsPerInch, 0.5);

    // 40 W's do not fit in 32 of 90 characters of 7.5 inches at 10 points: cut from the right.
    const QStringList texts = plain->page(0).texts();
    auto it = std::find_if(texts.begin(), texts.end(),
                           [](const QString& t) { return t.startsWith(QLatin1Char('W')); });
    ASSERT_NE(it, texts.end());
    EXPECT_LT(it->size(), 40);
    EXPECT_GT(it->size(), 10);
    QFontMetricsF fm(OutputFont{QStringLiteral("Arial"), 10}.toQFont());
    EXPECT_LE(fm.horizontalAdvance(*it) / kUnitsPerInch, 32.0 / 90 * 7.5 - 0.04 + 1e-6);
}

TEST(ReportGenerator, CancelledRunsStopAndKeepWhatTheyWrote) {
    Inventory inv;
    addMany(inv, 60);
    const ReportDefinition d = builtIn(QStringLiteral("Full Report"));

    const QString out = inv.dir.file("cancelled.txt");
    ReportRun text(d, inv.source(), ReportDestination::TextFile, out);
    text.setPaperSize({8.5, 11});
    text.output().setStatusListener([&](const QString& s) {
        if (s == QStringLiteral("Printing Page 2"))
            text.output().abort();
    });
    const ReportOutcome r = text.run();
    EXPECT_EQ(r.outcome, PageOutput::Outcome::Aborted);
    const QString written = readText(out);
    EXPECT_TRUE(written.contains(QStringLiteral("Item: Item 0001")));
    EXPECT_FALSE(written.contains(QStringLiteral("Item: Item 0060")));
    EXPECT_FALSE(written.contains(QStringLiteral("GRAND TOTALS")));

    ReportRun view(d, inv.source(), ReportDestination::View);
    view.output().setStatusListener([&](const QString&) { view.output().abort(); });
    EXPECT_EQ(view.run().outcome, PageOutput::Outcome::Aborted);
}

TEST(ReportGenerator, ALayoutThatCannotFitAPageFailsInsteadOfLooping) {
    Inventory inv;
    addMany(inv, 2);
    ReportDefinition d = builtIn(QStringLiteral("Full Report"));
    d.bottomMargin = 8.5; // leaves less than one item's lines
    const QString out = inv.dir.file("never.txt");
    QFile old(out);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("earlier report\n");
    old.close();
    const ReportOutcome r = runToText(d, inv.source(), out);
    EXPECT_EQ(r.outcome, PageOutput::Outcome::Failed);
    EXPECT_EQ(r.error, QStringLiteral("One item of this report does not fit on a page.  Use "
                                      "fewer lines per item, a smaller font or smaller "
                                      "margins."));
    EXPECT_EQ(readText(out), QStringLiteral("earlier report\n"));

    // An unwritable file name fails with the system's reason.
    const ReportOutcome bad = runToText(d, inv.source(), inv.dir.file("no/such/dir/report.txt"));
    EXPECT_EQ(bad.outcome, PageOutput::Outcome::Failed);
    EXPECT_FALSE(bad.error.isEmpty());
}

TEST(ReportGenerator, PdfRunReadsBackWithPdftotext) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (tool.isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    Inventory inv;
    inv.addStandard();
    inv.sortBy({F::Location, 0, 0, 0});
    ReportSource src = inv.source();
    src.insurance.printCompany = true;
    src.insurance.company = QStringLiteral("Acme Mutual");
    const QString pdf = inv.dir.file("report.pdf");
    ReportRun run(builtIn(QStringLiteral("Short Wide Report")), src, ReportDestination::Pdf, pdf);
    ASSERT_EQ(run.run().outcome, PageOutput::Outcome::Completed);

    QProcess p;
    p.start(tool, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(p.waitForFinished(30000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    for (const char* expected : {"Television", "1,234.50", "Living Room", "GRAND TOTALS",
                                 "3,199.00", "Acme Mutual", "Page 1", "Location"})
        EXPECT_TRUE(text.contains(QLatin1String(expected))) << expected << "\n"
                                                            << text.toStdString();
}

TEST(ReportGenerator, AnEmptyTableGivesOnePageOfZeroTotals) {
    Inventory inv;
    const QString out = inv.dir.file("empty.txt");
    const ReportOutcome r =
        runToText(builtIn(QStringLiteral("Short Wide Report")), inv.source(), out);
    ASSERT_EQ(r.outcome, PageOutput::Outcome::Completed) << r.error.toStdString();
    EXPECT_EQ(r.pages, 1);
    EXPECT_TRUE(readText(out).contains(QStringLiteral("GRAND TOTALS\n     Cost: 0.00  ")));
}

TEST(ReportGenerator, ASearchInForceLimitsTheReportAndStaysInForce) {
    Inventory inv;
    inv.addStandard();
    inv.sortBy({F::Item, 0, 0, 0});
    inv.items.table().setFilter(
        [&](const dbase::Table&) { return inv.items.text(F::Location) == "Kitchen"; });
    inv.items.table().first();
    const QString out = inv.dir.file("search.txt");
    ReportDefinition d = builtIn(QStringLiteral("Location & Owner Report"));
    d.level1Group = false;
    ASSERT_EQ(runToText(d, inv.source(), out).outcome, PageOutput::Outcome::Completed);
    const QString text = readText(out);
    for (const char* in : {"Chairs", "Lamp shade", "Table", "Cost: 230.00"})
        EXPECT_TRUE(text.contains(QLatin1String(in))) << in;
    EXPECT_FALSE(text.contains(QStringLiteral("Sofa")));
    EXPECT_FALSE(text.contains(QStringLiteral("Television")));
    EXPECT_TRUE(inv.items.table().hasFilter());
    EXPECT_EQ(inv.items.text(F::Item), QStringLiteral("Chairs")); // the viewer's record
}
