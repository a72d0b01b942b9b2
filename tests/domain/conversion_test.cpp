#include "session/conversion.h"

#include "items/database_ops.h"
#include "items/item_schema.h"
#include "qstring_printer.h"
#include "scripted_prompter.h"
#include "session/inventory_session.h"
#include "test_files.h"

#include <QFile>
#include <gtest/gtest.h>

#include <set>

namespace {
namespace F = item_field;
using dbase::FieldDef;

using Row = std::vector<std::string>;

// An old table built the way the earlier versions laid it out; rows are field texts in table
// order (dates YYYYMMDD), and the rows numbered in `deleted` (from 1) are marked deleted.
QString makeOldTable(const TestDir& dir, const QString& file, const std::vector<FieldDef>& defs,
                     const std::vector<Row>& rows, const std::set<int>& deleted = {}) {
    dbase::Table::create(dir.path().toStdString(), file.toStdString(), defs);
    dbase::Table t;
    t.openFile(dir.file(file).toStdString(), dbase::OpenMode::Exclusive);
    for (const Row& row : rows) {
        t.append();
        for (size_t i = 0; i < row.size(); ++i)
            t.setFieldText(int(i), row[i]);
        t.post();
    }
    for (int n : deleted) {
        t.first();
        for (int i = 1; i < n; ++i)
            t.next();
        t.deleteRecord();
    }
    return dir.file(file);
}

std::vector<FieldDef> version2Fields(const std::string& first = "RECNO", int itemWidth = 40) {
    return {FieldDef::integer(first),
            FieldDef::character("ITEM", itemWidth),
            FieldDef::character("BRAND", 20),
            FieldDef::character("MODEL", 20),
            FieldDef::character("SERIAL", 20),
            FieldDef::character("LOCATION", 30),
            FieldDef::character("DESCRIPTIO", 110),
            FieldDef::character("BOUGHTFROM", 40),
            FieldDef::character("IDMARKS", 60),
            FieldDef::integer("QUANTITY"),
            FieldDef::date("PURCHDATE"),
            FieldDef::floating("COST"),
            FieldDef::character("CATEGORY", 20),
            FieldDef::floating("REPCOST"),
            FieldDef::character("WARRANTY", 3),
            FieldDef::date("WARDATE"),
            FieldDef::character("WARNOTES", 30),
            FieldDef::character("OWNER", 30),
            FieldDef::floating("VALUE")};
}

std::vector<FieldDef> version1Fields(int itemWidth = 40) {
    return {FieldDef::integer("ID"),
            FieldDef::character("Item", itemWidth),
            FieldDef::character("Brand", 20),
            FieldDef::character("Model", 20),
            FieldDef::character("Serial", 20),
            FieldDef::character("Room", 30),
            FieldDef::character("Descriptio", 110),
            FieldDef::character("BoughtFrom", 40),
            FieldDef::character("IDMarks", 60),
            FieldDef::integer("Quantity"),
            FieldDef::integer("PurchDay"),
            FieldDef::character("PurchMonth", 4),
            FieldDef::character("PurchYear", 6),
            FieldDef::floating("Cost"),
            FieldDef::character("Category", 20)};
}

Row version2Row(const std::string& item) {
    return {"7",        item,   "Acme",  "M1", "S1",  "Den",      "A lamp",    "Shop", "Mark", "2",
            "19960305", "12.5", "Light", "20", "Yes", "19990101", "Two years", "Ann",  "10"};
}

Row version1Row(const std::string& item, const std::string& day, const std::string& month,
                const std::string& year) {
    return {"1",       item, "Brand", "Model", "Serial", "Attic", "Old", "Fair",
            "Scratch", "3",  day,     month,   year,     "4.25",  "Toys"};
}

// The open database: MASTER.DBF in the program directory with one item of its own, shown in
// the user's day-first date format with "." between the parts.
struct Start {
    TestDir dir;
    ScriptedPrompter prompter;
    InventorySession session;
    DateFormat userDates{QLatin1Char('.'), QStringLiteral("dd.mm.yyyy")};
    int reapplied = 0;

    Start() {
        session.paths.programDir = dir.path();
        const QString path = dir.file(QStringLiteral("MASTER.DBF"));
        EXPECT_TRUE(MakeNewDB(path, prompter));
        session.items.setPaths(DatabasePaths::forTable(path));
        session.items.open();
        session.items.table().append();
        session.items.setText(F::Item, QStringLiteral("Own item"));
        session.items.table().post();
        session.formats.setCurrent(userDates);
        session.reapplyViewer = [this] { ++reapplied; };
    }
    // The items in record order, from the first appended one on.
    std::vector<std::uint32_t> liveRecords() {
        std::vector<std::uint32_t> out;
        dbase::Table& t = session.items.table();
        t.refresh();
        for (t.first(); !t.eof(); t.next())
            out.push_back(t.recordNumber());
        return out;
    }
    ItemTable& at(std::uint32_t recNo) {
        EXPECT_TRUE(session.items.goToRecord(recNo));
        return session.items;
    }
    QString question(const char* version, const QString& file) {
        return conversionQuestion(QString::fromLatin1(version), file);
    }
};
} // namespace

TEST(Conversion, OldTablesAreRecognisedByTheirFieldListsAlone) {
    TestDir dir;
    // Any first field; the others compared on 10 characters in any letter case.
    EXPECT_TRUE(CheckDBaseFormatV2(makeOldTable(dir, "A.DBF", version2Fields("WHATEVER"), {})));
    EXPECT_TRUE(CheckDBaseFormatV1(makeOldTable(dir, "B.DBF", version1Fields(), {})));
    EXPECT_FALSE(CheckDBaseFormatV1(dir.file("A.DBF")));
    EXPECT_FALSE(CheckDBaseFormatV2(dir.file("B.DBF")));

    auto fields = version2Fields();
    fields.pop_back(); // 18 fields
    EXPECT_FALSE(CheckDBaseFormatV2(makeOldTable(dir, "C.DBF", fields, {})));
    fields = version2Fields();
    fields.push_back(FieldDef::character("EXTRA", 5)); // 20 fields
    EXPECT_FALSE(CheckDBaseFormatV2(makeOldTable(dir, "D.DBF", fields, {})));
    fields = version2Fields();
    std::swap(fields[2], fields[3]); // Brand and Model swapped
    EXPECT_FALSE(CheckDBaseFormatV2(makeOldTable(dir, "E.DBF", fields, {})));
    // Our own 22-field table is no old one.
    ScriptedPrompter p;
    ASSERT_TRUE(MakeNewDB(dir.file("OURS.DBF"), p));
    EXPECT_FALSE(CheckDBaseFormatV2(dir.file("OURS.DBF")));
}

TEST(Conversion, BothVersionsAreOfferedInOrderConvertedAndDeleted) {
    Start s;
    const QString v2 =
        makeOldTable(s.dir, "H2LOG.DBF", version2Fields(),
                     {version2Row("Lamp"), version2Row("Gone"), version2Row("Desk")}, {2});
    {
        // An index of its own stays when the table goes.
        dbase::Table t;
        t.openFile(v2.toStdString(), dbase::OpenMode::Exclusive);
        t.addIndex("ITEM", "ITEM");
    }
    const QString v1 = makeOldTable(
        s.dir, "HLOG.DBF", version1Fields(),
        {version1Row("Name", "5", "Mar", "1996"), version1Row("Number", "5", "3", "1996"),
         version1Row("Lower", "5", "mar", "1996"), version1Row("Blank", "", "", ""),
         version1Row("Deleted", "1", "Jan", "1990"), version1Row("Cut", "5", "Mar", "1996xx")},
        {5});
    s.prompter.expectMessage("Convert", s.question("2.X", "H2LOG.DBF"), MsgButton::Yes)
        .expectMessage("Convert", s.question("1.X", "HLOG.DBF"), MsgButton::Yes)
        .expectMessage("Notice", QString());
    CheckForConversion(s.session, s.prompter);
    s.prompter.verifyDone();
    EXPECT_EQ(s.prompter.lastMessage().text,
              withoutDateMessage("HLOG.DBF", ConversionResult{true, 5, 2, {}}));

    EXPECT_FALSE(QFile::exists(v2));
    EXPECT_FALSE(QFile::exists(v1));
    EXPECT_TRUE(QFile::exists(s.dir.file("H2LOG.MDX")));
    EXPECT_EQ(s.session.formats.current(), s.userDates);
    EXPECT_GT(s.reapplied, 0);

    const auto records = s.liveRecords();
    ASSERT_EQ(records.size(), 1u + 2u + 5u); // own item, live old records
    // Version 2: fields 1-18 by position, the user fields empty.
    ItemTable& lamp = s.at(records[1]);
    EXPECT_EQ(lamp.text(F::Item), "Lamp");
    EXPECT_EQ(lamp.text(F::Descriptio), "A lamp");
    EXPECT_EQ(lamp.integer(F::Quantity), 2);
    EXPECT_EQ(lamp.date(F::PurchDate), QDate(1996, 3, 5));
    EXPECT_DOUBLE_EQ(*lamp.floating(F::Cost), 12.5);
    EXPECT_EQ(lamp.text(F::Warranty), "Yes");
    EXPECT_EQ(lamp.date(F::WarDate), QDate(1999, 1, 1));
    EXPECT_DOUBLE_EQ(*lamp.floating(F::Value), 10.0);
    EXPECT_TRUE(lamp.text(F::UserDef1).isEmpty());
    EXPECT_EQ(s.at(records[2]).text(F::Item), "Desk");

    // Version 1: Room is the location; the date parts read month first whatever the user's
    // format, a month name only as version 1 wrote it, each part cut to 4 characters.
    ItemTable& named = s.at(records[3]);
    EXPECT_EQ(named.text(F::Location), "Attic");
    EXPECT_EQ(named.text(F::Category), "Toys");
    EXPECT_DOUBLE_EQ(*named.floating(F::Cost), 4.25);
    EXPECT_EQ(named.date(F::PurchDate), QDate(1996, 3, 5));
    EXPECT_EQ(s.at(records[4]).date(F::PurchDate), QDate(1996, 3, 5));
    EXPECT_EQ(s.at(records[5]).text(F::Item), "Lower");
    EXPECT_FALSE(s.at(records[5]).date(F::PurchDate).has_value());
    EXPECT_EQ(s.at(records[6]).text(F::Item), "Blank");
    EXPECT_FALSE(s.at(records[6]).date(F::PurchDate).has_value());
    EXPECT_EQ(s.at(records[7]).text(F::Item), "Cut");
    EXPECT_EQ(s.at(records[7]).date(F::PurchDate), QDate(1996, 3, 5));

    // Nothing left to offer at the next start.
    CheckForConversion(s.session, s.prompter);
}

TEST(Conversion, NoKeepsTheFileAndItIsOfferedAgain) {
    Start s;
    // Copied from Windows in lower case.
    const QString v1 = s.dir.file("hlog.dbf");
    ASSERT_TRUE(QFile::rename(makeOldTable(s.dir, "HLOG.DBF", version1Fields(),
                                           {version1Row("Name", "5", "Mar", "1996")}),
                              v1));
    // A file of the other name that is not a table at all is passed over without a word.
    QFile junk(s.dir.file("H2LOG.DBF"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a table");
    junk.close();

    s.prompter.expectMessage("Convert", s.question("1.X", "HLOG.DBF"), MsgButton::No);
    CheckForConversion(s.session, s.prompter);
    s.prompter.verifyDone();
    EXPECT_TRUE(QFile::exists(v1));
    EXPECT_EQ(s.liveRecords().size(), 1u);

    s.prompter.expectMessage("Convert", s.question("1.X", "HLOG.DBF"), MsgButton::Yes);
    CheckForConversion(s.session, s.prompter);
    s.prompter.verifyDone();
    EXPECT_FALSE(QFile::exists(v1));
    EXPECT_EQ(s.liveRecords().size(), 2u);
    EXPECT_TRUE(QFile::exists(s.dir.file("H2LOG.DBF")));
}

TEST(Conversion, AConversionThatStopsKeepsTheOldTableAndAddsNothing) {
    Start s;
    // The third record's item is longer than the item field holds: never cut, so it stops.
    const std::string tooLong(50, 'x');
    const QString v2 = makeOldTable(
        s.dir, "H2LOG.DBF", version2Fields("RECNO", 60),
        {version2Row("One"), version2Row("Two"), version2Row(tooLong), version2Row("Four")});
    const QString v1 = makeOldTable(
        s.dir, "HLOG.DBF", version1Fields(60),
        {version1Row("Fine", "5", "Mar", "1996"), version1Row(tooLong, "5", "Mar", "1996")});
    s.prompter.expectMessage("Convert", s.question("2.X", "H2LOG.DBF"), MsgButton::Yes)
        .expectMessage("Error", QString())
        .expectMessage("Convert", s.question("1.X", "HLOG.DBF"), MsgButton::Yes)
        .expectMessage("Error", QString());
    CheckForConversion(s.session, s.prompter);
    s.prompter.verifyDone();

    const auto& seen = s.prompter.seen();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_TRUE(seen[1].message.text.startsWith(
        QStringLiteral("The conversion of \"H2LOG.DBF\" could not be finished.  Record 3: ")))
        << seen[1].message.text.toStdString();
    EXPECT_TRUE(seen[1].message.text.endsWith(
        QStringLiteral("Nothing was added to the database, and \"H2LOG.DBF\" was kept.")));
    EXPECT_TRUE(seen[3].message.text.contains(QStringLiteral("Record 2: ")));

    EXPECT_TRUE(QFile::exists(v2));
    EXPECT_TRUE(QFile::exists(v1));
    const auto records = s.liveRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(s.at(records[0]).text(F::Item), "Own item");
    EXPECT_EQ(s.session.formats.current(), s.userDates);

    // The direct call says the same and changes nothing either.
    const ConversionResult r = ConvertV2(s.session, v2);
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(r.converted, 0);
    EXPECT_EQ(s.liveRecords().size(), 1u);
}

TEST(Conversion, AReadOnlyDatabaseIsNotOffered) {
    Start s;
    makeOldTable(s.dir, "HLOG.DBF", version1Fields(), {version1Row("Name", "5", "Mar", "1996")});
    s.session.readOnly = true;
    CheckForConversion(s.session, s.prompter); // nothing scripted: no question may come
    EXPECT_TRUE(QFile::exists(s.dir.file("HLOG.DBF")));
}
