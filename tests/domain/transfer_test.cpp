#include "../support/dbf_bytes.h"
#include "dbase/table_tools.h"
#include "formats/text_codec.h"
#include "items/database_ops.h"
#include "items/database_paths.h"
#include "items/item_schema.h"
#include "scripted_prompter.h"
#include "session/inventory_session.h"
#include "test_files.h"
#include "transfer/delimited_text.h"
#include "transfer/item_export.h"
#include "transfer/item_import.h"

#include "qstring_printer.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace {
namespace F = item_field;

const QDate kToday(2026, 6, 1);

DateFormat mdy() {
    return DateFormat{QLatin1Char('/'), QStringLiteral("mm/dd/yyyy")};
}

// A new item table made the way the program makes one.
struct Inventory {
    ScriptedPrompter prompter;
    InventorySession session;
    explicit Inventory(const QString& path) {
        EXPECT_TRUE(MakeNewDB(path, prompter));
        session.items.setPaths(DatabasePaths::forTable(path));
        session.items.open();
    }
    dbase::Table& table() { return session.items.table(); }
    ImportRun run(std::vector<int> mapping) {
        ImportRun r;
        r.items = &session.items;
        r.mapping = std::move(mapping);
        r.dates = mdy();
        r.today = kToday;
        return r;
    }
    // Every field of every record as the item table gives it, in record order.
    std::vector<QStringList> records() {
        std::vector<QStringList> all;
        for (table().first(); !table().eof() && !table().isEmpty(); table().next()) {
            QStringList r;
            for (int n = 1; n <= kItemFieldCount; ++n)
                r << session.items.text(n);
            all.push_back(r);
        }
        return all;
    }
};

// Identity mapping of the first n import fields onto fields 1..n.
std::vector<int> straight(int n) {
    std::vector<int> m;
    for (int i = 1; i <= n; ++i)
        m.push_back(i);
    return m;
}

QString readUtf8(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return QString::fromUtf8(f.readAll());
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
} // namespace

TEST(DelimitedText, FirstLineScanCodesAndNames) {
    auto names = [](const QString& text) { return GetFirstLine(text).names; };
    EXPECT_EQ(names(QStringLiteral("\"A\",\"B\",\"C\"\r\n\"x\"")), (QStringList{"A", "B", "C"}));
    // No quotes: one value holding the commas, and no closing quote.
    EXPECT_EQ(GetFirstLine(QStringLiteral("A,B,C\n")).code, 2);
    EXPECT_EQ(GetFirstLine(QString()).code, 2);
    EXPECT_EQ(GetFirstLine(QStringLiteral("\"A\",\"B")).code, 2);
    // A quoted line break does not carry the header into the next line.
    EXPECT_EQ(GetFirstLine(QStringLiteral("\"A\",\"B\nC\"\n")).code, 2);
    // Blanks before an opening quote belong to the value; empty values get a name; names
    // keep 20 characters.
    EXPECT_EQ(names(QStringLiteral("\"A\", \"B\",\"\",\"%1\"").arg(QString(30, u'n'))),
              (QStringList{"A", " B", "<BLANK FIELD>", QString(20, u'n')}));

    QStringList values;
    for (int i = 1; i <= 33; ++i)
        values << QStringLiteral("\"F%1\"").arg(i);
    EXPECT_EQ(GetFirstLine(values.mid(0, 32).join(u',')).names.size(), 32);
    EXPECT_EQ(GetFirstLine(values.join(u',')).code, 3);
    EXPECT_EQ(GetFirstLine(QStringLiteral("\"%1\"").arg(QString(255, u'x'))).code, 0);
    EXPECT_EQ(GetFirstLine(QStringLiteral("\"%1\"").arg(QString(256, u'x'))).code, 1);
    // The first problem met from the left wins.
    EXPECT_EQ(
        GetFirstLine(QStringLiteral("\"%1\",").arg(QString(300, u'x')) + values.join(u',')).code,
        1);

    EXPECT_EQ(firstLineMessage(3),
              QStringLiteral("The file selected does not appear to be an ASCII delimited text "
                             "file.  An ASCII delimited file requires a unique format of each "
                             "field being surrounded by double quotes and separated by a comma.  "
                             "The selected file has too many fields.  There are at least 10 more "
                             "fields than are required by Tallywick."));
}

TEST(DelimitedText, RecordsQuotesBreaksAndLongLines) {
    DelimitedReader r(QStringLiteral("\"say \"\"hi\"\"\",\"a,b\",\"two\r\nlines\"\r\n"
                                     "\"1\",\"2\",\"3\",\"4\",\"extra \"\"x\nstill extra\"\n"
                                     "\n"
                                     "\"q\"tail,\"w\"\r"
                                     "\"TV 55\" wide\",\"Den\"  \n"
                                     "\"A\" ,\"B\"\n"
                                     "\"Lamp\",\"Hall\"\n"
                                     "\"last\""));
    auto rec = r.read(3);
    EXPECT_EQ(rec.values, (QStringList{"say \"hi\"", "a,b", "two lines"}));
    EXPECT_EQ(rec.line, 1);
    // Values past the first line's count are dropped, quoted breaks in them included.
    rec = r.read(3);
    EXPECT_EQ(rec.values, (QStringList{"1", "2", "3"}));
    EXPECT_EQ(rec.line, 3);
    rec = r.read(3);
    EXPECT_TRUE(rec.blank);
    rec = r.read(3);
    EXPECT_EQ(rec.values, (QStringList{"q\"tail", "w"}));
    // A quote that closes nothing stays in the value and never carries it past the line end.
    rec = r.read(3);
    EXPECT_EQ(rec.values, (QStringList{"TV 55\" wide", "Den  "}));
    EXPECT_TRUE(rec.lastClosed);
    rec = r.read(3);
    EXPECT_EQ(rec.values, (QStringList{"A ", "B"}));
    rec = r.read(3);
    EXPECT_EQ(rec.values, (QStringList{"Lamp", "Hall"}));
    rec = r.read(3);
    EXPECT_EQ(rec.values, (QStringList{"last"}));
    EXPECT_TRUE(rec.lastClosed);
    EXPECT_TRUE(r.atEnd());

    std::string line;
    appendDelimitedValue(line, "  Lamp ", true);
    appendDelimitedValue(line, "12 \"inch\"", false);
    appendDelimitedValue(line, "", false);
    EXPECT_EQ(line, "\"Lamp\",\"12 \"\"inch\"\"\",\"\"");
}

TEST(Import, ValuesThatCannotBeStoredAreCountedNeverStopTheImport) {
    TestDir dir;
    Inventory inv(dir.file(QStringLiteral("HOME.DBF")));
    // Item, Quantity, PurchDate, Cost, Descriptio... by import field order.
    const std::vector<int> mapping{F::Item, F::Quantity, F::PurchDate, F::Cost, F::Brand};
    const QString text =
        QStringLiteral(
            "\"Lamp\",\"-3\",\"12/31/1997\",\"12.50\",\"Acme\"\n"         // first line, skipped
            "\"Chair\",\"-3\",\"12/31/1997\",\"1234.56\",\"Acme\"\n"      // all good
            "\n"                                                          // skipped, no record
            "\"Desk\",\"two\",\"Dec 31 1997\",\"$12\",\"%1\"\n"           // 3 emptied, 1 cut
            "\"Sofa\",\"$1F\",\"19971231\",\" 7 \",\"Arrow \u2192 Co\"\n" // 1 emptied, 1 cut
            "\"Bed\",\"99999999999999\",\"2/30/1997\",\"1e400\",\"\"\n"   // 3 emptied
            "\"Shelf\",\"1\",\"\",\"1000000000\",\"\"\n") // wider than an amount: 1 emptied
            .arg(QString(25, u'b'));
    const ImportReport report = importText(inv.run(mapping), text, true);
    EXPECT_EQ(report.imported, 5);
    EXPECT_EQ(report.emptied, 8);
    EXPECT_EQ(report.cut, 2);
    EXPECT_EQ(report.problemRecords, (std::vector<qint64>{4, 5, 6, 7}));
    EXPECT_EQ(importSummary(report, ImportFileType::Text),
              QStringLiteral("Import Complete.  5 records were imported.  Values the fields "
                             "cannot hold: 8 left empty, 2 cut, in lines 4, 5, 6, 7 of the file."));

    const auto recs = inv.records();
    ASSERT_EQ(recs.size(), 5u);
    EXPECT_EQ(recs[0][0], "Chair");
    EXPECT_EQ(recs[0][F::Quantity - 1], "-3");
    EXPECT_EQ(recs[0][F::PurchDate - 1], "19971231");
    EXPECT_EQ(recs[0][F::Cost - 1], "1234.56");
    EXPECT_EQ(recs[1][F::Quantity - 1], "");
    EXPECT_EQ(recs[1][F::PurchDate - 1], "");
    EXPECT_EQ(recs[1][F::Cost - 1], "");
    EXPECT_EQ(recs[1][F::Brand - 1], QString(20, u'b'));
    EXPECT_EQ(recs[2][F::Quantity - 1], "31"); // $1F is hexadecimal
    EXPECT_EQ(recs[2][F::Cost - 1], "7.00");
    EXPECT_EQ(recs[2][F::Brand - 1], "Arrow"); // cut before the character 1252 lacks
    EXPECT_EQ(recs[3][F::Quantity - 1], "");
    EXPECT_EQ(recs[3][F::Cost - 1], "");
    EXPECT_EQ(recs[4][F::Cost - 1], "");
    // The index followed every append.
    EXPECT_TRUE(inv.table().checkIndexes().empty());
}

TEST(Import, SpreadsheetFileWithByteOrderMarkCrLfAndAccents) {
    TestDir dir;
    Inventory inv(dir.file(QStringLiteral("HOME.DBF")));
    const QByteArray utf8 = "\xEF\xBB\xBF\"Item\",\"Description\",\"Cost\"\r\n"
                            "\"Caf\xC3\xA9 table\",\"Oak, 6 ft \"\"farmhouse\"\"\",\"450.00\"\r\n"
                            "\"Na\xC3\xAFve print\",\"framed\r\nsigned\",\"75.5\"\r\n";
    const QString path = dir.file(QStringLiteral("sheet.txt"));
    writeBytes(path, utf8);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = decodeTextFile(f.readAll());
    const FirstLineScan scan = GetFirstLine(text);
    ASSERT_EQ(scan.code, 0);
    EXPECT_EQ(scan.names, (QStringList{"Item", "Description", "Cost"}));
    const ImportReport report = importText(inv.run({F::Item, F::Descriptio, F::Cost}), text, true);
    EXPECT_EQ(importSummary(report, ImportFileType::Text), QStringLiteral("Import Complete."));
    auto recs = inv.records();
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[0][0], QStringLiteral("Caf\u00E9 table"));
    EXPECT_EQ(recs[0][F::Descriptio - 1], QStringLiteral("Oak, 6 ft \"farmhouse\""));
    EXPECT_EQ(recs[1][0], QStringLiteral("Na\u00EFve print"));
    EXPECT_EQ(recs[1][F::Descriptio - 1], QStringLiteral("framed signed"));
    EXPECT_EQ(recs[1][F::Cost - 1], QStringLiteral("75.50"));

    // The same file saved by a Windows program in its code page.
    QByteArray ansi = utf8.mid(3);
    ansi.replace("\xC3\xA9", "\xE9");
    ansi.replace("\xC3\xAF", "\xEF");
    const QString fromAnsi = decodeTextFile(ansi);
    EXPECT_EQ(fromAnsi, text);

    // ... and saved as "Unicode" (UTF-16 with a byte order mark), either byte order.
    const QString unicode = QString::fromUtf8(utf8.mid(3));
    QByteArray le("\xFF\xFE", 2);
    QByteArray be("\xFE\xFF", 2);
    for (const QChar c : unicode) {
        le.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
        be.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
    }
    EXPECT_EQ(decodeTextFile(le), text);
    EXPECT_EQ(decodeTextFile(be), text);
}

TEST(Import, MappingFollowsTheGridRowsOneToTwentyTwo) {
    const QStringList names{"A", "B", "<BLANK FIELD>", "<BLANK FIELD>", "E"};
    QStringList rowImport(22, QStringLiteral("<EMPTY>"));
    QStringList rowUse(22, QString());
    rowImport[0] = "B";
    rowUse[0] = "Yes";
    rowImport[4] = "A";
    rowUse[4] = "No";
    rowImport[6] = "<BLANK FIELD>";
    rowUse[6] = "Yes";
    // E stands in row 23: rows past the item fields never map.
    EXPECT_EQ(buildImportMapping(names, rowImport, rowUse), (std::vector<int>{0, 1, 7, 7, 0}));
}

TEST(Import, CancelKeepsWhatWasImported) {
    TestDir dir;
    Inventory inv(dir.file(QStringLiteral("HOME.DBF")));
    QString text;
    for (int i = 1; i <= 10; ++i)
        text += QStringLiteral("\"Item %1\"\r\n").arg(i);
    ImportRun run = inv.run({F::Item});
    run.progress = [](qint64 count) { return count < 3; };
    const ImportReport report = importText(run, text, false);
    EXPECT_TRUE(report.cancelled);
    EXPECT_EQ(report.imported, 3);
    EXPECT_EQ(inv.records().size(), 3u);
    EXPECT_EQ(importSummary(report, ImportFileType::Text),
              QStringLiteral("Import cancelled.  3 records were imported."));
    EXPECT_EQ(importCaption(report), QStringLiteral("Notice"));
}

TEST(Transfer, AllFieldsRoundTripThroughTextIntoANewDatabase) {
    TestDir dir;
    Inventory from(dir.file(QStringLiteral("FROM.DBF")));
    ItemTable& t = from.session.items;
    for (int r = 0; r < 5; ++r) {
        t.table().append();
        for (const ItemField& f : kItemFields) {
            switch (f.type) {
            case FieldType::Character:
                if (r != 4) // one record with every text empty
                    t.setText(
                        f.number,
                        QStringLiteral("%1 \"q\", %2 \u00E9").arg(f.qName()).arg(r).left(f.width));
                break;
            case FieldType::Integer:
                t.setInteger(f.number, r == 1 ? -7 : r * 100);
                break;
            case FieldType::Float:
                if (r != 2)
                    t.setFloating(f.number, 99999999.99 - r * 1000.5);
                break;
            case FieldType::Date:
                if (r != 3)
                    t.setDate(f.number, QDate(1931 + r * 20, 1 + r, 28));
                break;
            }
        }
        t.table().post();
    }
    const QString file = dir.file(QStringLiteral("all.txt"));
    const std::vector<int> all = straight(kItemFieldCount);
    const QStringList header = exportHeader(t.table(), all, from.session.db);
    // The program's own default, two-digit years: 1931 must not come back as 2031.
    const DateFormat shortYears{QLatin1Char('/'), QStringLiteral("m/d/yy")};
    const ExportResult out = exportText(t.table(), all, &header, shortYears, file);
    ASSERT_TRUE(out.error.isEmpty()) << out.error.toStdString();
    EXPECT_EQ(out.records, 5u);

    Inventory to(dir.file(QStringLiteral("TO.DBF")));
    const QString text = readUtf8(file);
    const FirstLineScan scan = GetFirstLine(text);
    ASSERT_EQ(scan.code, 0);
    EXPECT_EQ(scan.names.size(), 22);
    ImportRun run = to.run(all);
    run.dates = shortYears;
    const ImportReport in = importText(run, text, true);
    EXPECT_EQ(importSummary(in, ImportFileType::Text), QStringLiteral("Import Complete."));
    EXPECT_EQ(to.records(), from.records());
}

TEST(Export, TextLinesFollowTheListAndTheSearch) {
    TestDir dir;
    Inventory inv(dir.file(QStringLiteral("HOME.DBF")));
    ItemTable& t = inv.session.items;
    const auto add = [&](const QString& item, std::optional<double> cost, const QString& desc) {
        t.table().append();
        t.setText(F::Item, item);
        if (cost)
            t.setFloating(F::Cost, *cost);
        t.setText(F::Descriptio, desc);
        t.table().post();
    };
    add(QStringLiteral("Lamp"), 12345678.5, QStringLiteral("  a \"brass\" lamp"));
    add(QStringLiteral("Rug"), std::nullopt, QString());

    // Order: Item, Cost, PurchDate first, Descriptio switched off.
    std::array<int, 22> order{};
    std::array<bool, 22> flags{};
    for (int n = 1; n <= 22; ++n) {
        order[size_t(n - 1)] = n + 3;
        flags[size_t(n - 1)] = false;
    }
    order[F::Item - 1] = 1;
    order[F::Cost - 1] = 2;
    order[F::PurchDate - 1] = 3;
    order[F::Descriptio - 1] = 4;
    order[3] = 7; // Serial: 7 would be Descriptio's neighbour
    flags[F::Item - 1] = flags[F::Cost - 1] = flags[F::PurchDate - 1] = true;
    const std::vector<int> list = exportList(order, flags);
    EXPECT_EQ(list, (std::vector<int>{F::Item, F::Cost, F::PurchDate}));
    // Hidden in the viewer: the table's own name.
    inv.session.db.displayFields[F::Cost - 1] = false;
    inv.session.db.fieldNames[F::Item - 1] = QStringLiteral("Thing");
    const QStringList header = exportHeader(t.table(), list, inv.session.db);
    EXPECT_EQ(header, (QStringList{"Thing", "COST", "Purchase Date"}));

    const QString file = dir.file(QStringLiteral("out.txt"));
    ASSERT_TRUE(exportText(t.table(), list, &header, mdy(), file).error.isEmpty());
    EXPECT_EQ(readUtf8(file), QStringLiteral("\"Thing\",\"COST\",\"Purchase Date\"\n"
                                             "\"Lamp\",\"12345678.50\",\"\"\n"
                                             "\"Rug\",\"\",\"\"\n"));
    // The description keeps its quotes doubled and loses its leading blanks.
    ASSERT_TRUE(exportText(t.table(), {F::Descriptio}, nullptr, mdy(), file).error.isEmpty());
    EXPECT_EQ(readUtf8(file), QStringLiteral("\"a \"\"brass\"\" lamp\"\n\"\"\n"));

    // A filter on the table (a search) limits the records.
    t.table().setFilter([&t](const dbase::Table&) { return t.text(F::Item) == "Rug"; });
    ASSERT_TRUE(exportText(t.table(), {F::Item}, nullptr, mdy(), file).error.isEmpty());
    EXPECT_EQ(readUtf8(file), QStringLiteral("\"Rug\"\n"));
    t.table().clearFilter();

    // The files of the open database are never export targets; a missing directory is an
    // error that leaves nothing behind.
    EXPECT_TRUE(exportTargetProblem(dir.file(QStringLiteral("HOME.DBF")), t.paths(), {}));
    EXPECT_TRUE(exportTargetProblem(dir.file(QStringLiteral("HOME.INI")), t.paths(), {}));
    EXPECT_FALSE(exportTargetProblem(dir.file(QStringLiteral("HOME2.DBF")), t.paths(), {}));
    const ExportResult bad =
        exportText(t.table(), {F::Item}, nullptr, mdy(), dir.file(QStringLiteral("no/out.txt")));
    EXPECT_FALSE(bad.error.isEmpty());
}

namespace {
bool haveDbfread() {
    return QProcess::execute(QStringLiteral("/usr/bin/python3"),
                             {QStringLiteral("-c"), QStringLiteral("import dbfread")}) == 0;
}
} // namespace

TEST(Export, DbaseTableIsReadByDbfreadAndImportsBack) {
    TestDir dir;
    Inventory inv(dir.file(QStringLiteral("HOME.DBF")));
    ItemTable& t = inv.session.items;
    t.table().append();
    t.setText(F::Item, QStringLiteral("Caf\u00E9 chair"));
    t.setInteger(F::Quantity, 4);
    t.setFloating(F::Value, 1234.5);
    t.setDate(F::WarDate, QDate(1999, 12, 31));
    t.table().post();
    t.table().append();
    t.setText(F::Item, QStringLiteral("Blank"));
    t.table().post();

    const QString out = dir.file(QStringLiteral("OUT.DBF"));
    writeBytes(dir.file(QStringLiteral("OUT.MDX")), "stale index of an older OUT.DBF");
    const std::vector<int> list{F::WarDate, F::Item, F::Value, F::Quantity};
    const ExportResult r = exportDbase(t.table(), list, out);
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(r.records, 2u);
    EXPECT_FALSE(QFile::exists(dir.file(QStringLiteral("OUT.MDX"))));
    EXPECT_TRUE(QDir(dir.path())
                    .entryList({QStringLiteral(".OUT*")}, QDir::Hidden | QDir::Files)
                    .isEmpty());

    const dbase::CheckReport check = dbase::checkTable(QFile::encodeName(out).toStdString());
    EXPECT_TRUE(check.problems.empty());
    EXPECT_EQ(check.live, 2u);

    if (haveDbfread()) {
        QProcess py;
        py.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import sys, dbfread\n"
                                 "t = dbfread.DBF(sys.argv[1], encoding='cp1252')\n"
                                 "print([f.name + ':' + f.type for f in t.fields])\n"
                                 "for r in t: print(list(r.values()))\n"),
                  out});
        ASSERT_TRUE(py.waitForFinished(30000));
        EXPECT_EQ(py.exitCode(), 0) << py.readAllStandardError().toStdString();
        EXPECT_EQ(QString::fromUtf8(py.readAllStandardOutput()),
                  QStringLiteral("['WARDATE:D', 'ITEM:C', 'VALUE:N', 'QUANTITY:N']\n"
                                 "[datetime.date(1999, 12, 31), 'Caf\u00E9 chair', 1234.5, 4]\n"
                                 "[None, 'Blank', None, None]\n"));
    }

    // The exported table is a source: dates go across as dates, whatever the year.
    Inventory again(dir.file(QStringLiteral("AGAIN.DBF")));
    const auto names = dbaseImportFields(out);
    ASSERT_TRUE(names);
    EXPECT_EQ(*names, (QStringList{"WARDATE", "ITEM", "VALUE", "QUANTITY"}));
    DateFormat shortYears{QLatin1Char('/'), QStringLiteral("m/d/yy")};
    ImportRun run = again.run({F::PurchDate, F::Item, F::Cost, F::Quantity});
    run.dates = shortYears;
    const ImportReport in = importDbase(run, out);
    EXPECT_EQ(importSummary(in, ImportFileType::Dbase), QStringLiteral("Import Complete."));
    const auto recs = again.records();
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[0][F::PurchDate - 1], "19991231");
    EXPECT_EQ(recs[0][F::Cost - 1], "1234.50");
    EXPECT_EQ(recs[0][F::Quantity - 1], "4");
    EXPECT_EQ(recs[0][0], QStringLiteral("Caf\u00E9 chair"));
}

TEST(Import, DbaseSourcesOfOtherShapes) {
    TestDir dir;
    // 33 fields: refused.
    std::vector<dbase::FieldDef> wide;
    for (int i = 1; i <= 33; ++i)
        wide.push_back(dbase::FieldDef::character("F" + std::to_string(i), 5));
    const auto widePath =
        dbase::Table::create(QFile::encodeName(dir.path()).toStdString(), "WIDE", wide);
    EXPECT_FALSE(dbaseImportFields(QString::fromStdString(widePath.string())));
    wide.pop_back();
    const auto okPath =
        dbase::Table::create(QFile::encodeName(dir.path()).toStdString(), "OK32", wide);
    EXPECT_EQ(dbaseImportFields(QString::fromStdString(okPath.string()))->size(), 32);

    // A table whose production index has gone missing still imports.
    const auto src = dbase::Table::create(
        QFile::encodeName(dir.path()).toStdString(), "SRC",
        {dbase::FieldDef::character("NAME", 10), dbase::FieldDef::character("NOTE", 10)});
    {
        dbase::Table s;
        s.openFile(src, dbase::OpenMode::Exclusive);
        for (const char* n : {"b", "a"}) {
            s.append();
            s.setFieldText(0, n);
            s.post();
        }
        s.addIndex("BYNAME", "NAME");
    }
    QFile::remove(dir.file(QStringLiteral("SRC.MDX")));
    Inventory inv(dir.file(QStringLiteral("HOME.DBF")));
    const ImportReport r = importDbase(inv.run({F::Item, 0}), QString::fromStdString(src.string()));
    EXPECT_EQ(r.imported, 2);
    const auto recs = inv.records();
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[0][0], "b"); // file order
}

// Memo text comes across, not the memo's block number; FoxPro tables import, their binary
// objects counted as values that could not be stored.
TEST(Import, MemoTextAndFoxProTablesComeAcross) {
    using namespace dbfbytes;
    TestDir dir;
    std::vector<int> blocks;
    const std::string dbt = dbase3Memo({"Bought at the fair, 1998"}, blocks);
    TableDesc d3;
    d3.version = 0x83;
    d3.driver = 0x03;
    d3.fields = {{"NAME", 'C', 8}, {"NOTES", 'M', 10}};
    d3.records = {" " + left("Lamp", 8) + right(std::to_string(blocks[0]), 10),
                  " " + left("Vase", 8) + right("", 10)};
    const std::string d3Table = tableFile(d3);
    writeBytes(dir.file(QStringLiteral("OLD.DBF")),
               QByteArray(d3Table.data(), qsizetype(d3Table.size())));
    writeBytes(dir.file(QStringLiteral("OLD.DBT")), QByteArray(dbt.data(), qsizetype(dbt.size())));

    Inventory inv(dir.file(QStringLiteral("HOME.DBF")));
    ImportReport r =
        importDbase(inv.run({F::Item, F::Descriptio}), dir.file(QStringLiteral("OLD.DBF")));
    EXPECT_EQ(importSummary(r, ImportFileType::Dbase), QStringLiteral("Import Complete."));
    auto recs = inv.records();
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[0][F::Descriptio - 1], QStringLiteral("Bought at the fair, 1998"));
    EXPECT_EQ(recs[1][F::Descriptio - 1], QString());

    // Visual FoxPro: an integer, a date-time and an OLE object.
    std::vector<int> objects;
    const std::string fpt = foxMemo({std::string("\x01\x02", 2)}, objects, 64, 2);
    TableDesc vfp;
    vfp.version = 0x30;
    vfp.driver = 0x03;
    vfp.fields = {{"NAME", 'C', 8}, {"QTY", 'I', 4}, {"SEEN", 'T', 8}, {"PHOTO", 'G', 4}};
    vfp.records = {" " + left("Clock", 8) + le(3, 4) + le(2460374, 4) + le(45296000, 4) +
                   le(std::uint64_t(objects[0]), 4)};
    const std::string vfpTable = tableFile(vfp);
    writeBytes(dir.file(QStringLiteral("FOX.DBF")),
               QByteArray(vfpTable.data(), qsizetype(vfpTable.size())));
    writeBytes(dir.file(QStringLiteral("FOX.FPT")), QByteArray(fpt.data(), qsizetype(fpt.size())));
    EXPECT_EQ(*dbaseImportFields(dir.file(QStringLiteral("FOX.DBF"))),
              (QStringList{"NAME", "QTY", "SEEN", "PHOTO"}));
    r = importDbase(inv.run({F::Item, F::Quantity, F::PurchDate, F::UserDef1}),
                    dir.file(QStringLiteral("FOX.DBF")));
    EXPECT_EQ(r.imported, 1);
    EXPECT_EQ(r.emptied, 1);
    recs = inv.records();
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_EQ(recs[2][0], QStringLiteral("Clock"));
    EXPECT_EQ(recs[2][F::Quantity - 1], QStringLiteral("3"));
    EXPECT_EQ(recs[2][F::PurchDate - 1], QStringLiteral("20240304"));
    EXPECT_EQ(recs[2][F::UserDef1 - 1], QString());
}
