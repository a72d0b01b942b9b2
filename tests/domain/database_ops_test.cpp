#include "items/database_ops.h"

#include "formats/date_format.h"
#include "items/item_schema.h"
#include "items/item_table.h"
#include "qstring_printer.h"
#include "scripted_prompter.h"
#include "test_files.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {
QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Field descriptors follow the 32-byte header, 32 bytes each, the name in the first 11.
constexpr int kDescriptorStart = 32;
constexpr int kDescriptorSize = 32;
constexpr int kFieldNameSize = 11;

QByteArray fieldName(const QByteArray& dbf, int index) {
    const QByteArray raw = dbf.mid(kDescriptorStart + index * kDescriptorSize, kFieldNameSize);
    return raw.left(raw.indexOf('\0') < 0 ? kFieldNameSize : raw.indexOf('\0'));
}
void setFieldName(QByteArray& dbf, int index, const QByteArray& name) {
    QByteArray padded = name.left(kFieldNameSize);
    padded.append(QByteArray(kFieldNameSize - padded.size(), '\0'));
    dbf.replace(kDescriptorStart + index * kDescriptorSize, kFieldNameSize, padded);
}

std::vector<dbase::FieldDef> itemDefs(int count) {
    std::vector<dbase::FieldDef> defs;
    for (int i = 0; i < count; ++i) {
        const ItemField& f = kItemFields[size_t(i % 22)];
        defs.push_back(dbase::FieldDef::character(i < 22 ? std::string(f.name) : "EXTRA", 10));
    }
    return defs;
}

// A new item table at dir/file with `records` items named Item 1, Item 2, ...
QString makeItems(const TestDir& dir, const QString& file, int records) {
    ScriptedPrompter p;
    const QString path = dir.file(file);
    EXPECT_TRUE(MakeNewDB(path, p));
    if (records > 0) {
        ItemTable items;
        items.setPaths(DatabasePaths::forTable(path));
        items.open();
        for (int i = 1; i <= records; ++i) {
            items.table().append();
            items.setText(item_field::Item, QStringLiteral("Item %1").arg(i));
            items.table().post();
        }
        items.close();
    }
    return path;
}

int liveRecords(const QString& path) {
    ItemTable items;
    items.setPaths(DatabasePaths::forTable(path));
    items.open(dbase::OpenMode::ReadOnly);
    return int(items.table().countVisible());
}
} // namespace

TEST(OwnTableCheck, AcceptsOurTablesInAnyLetterCaseAndRefusesOthers) {
    TestDir dir;
    const QString ours = makeItems(dir, "HOME.DBF", 0);
    {
        ScriptedPrompter p;
        EXPECT_TRUE(CheckDBaseFormat(ours, p));
    }

    QByteArray lower = readAll(ours);
    for (int i = 0; i < 22; ++i)
        setFieldName(lower, i, fieldName(lower, i).toLower());
    writeAll(dir.file("LOWER.DBF"), lower);
    {
        ScriptedPrompter p;
        EXPECT_TRUE(CheckDBaseFormat(dir.file("LOWER.DBF"), p));
    }

    QByteArray swapped = readAll(ours);
    const QByteArray second = fieldName(swapped, 1);
    setFieldName(swapped, 1, fieldName(swapped, 2));
    setFieldName(swapped, 2, second);
    writeAll(dir.file("SWAPPED.DBF"), swapped);
    dbase::Table::create(dir.path().toStdString(), "SHORT", itemDefs(21));
    dbase::Table::create(dir.path().toStdString(), "LONG", itemDefs(23));
    const QString foreign = dir.copyFixture("foreign-mdx/TB.DBF");
    dir.copyFixture("foreign-mdx/TB.MDX");
    for (const QString& path :
         {dir.file("SWAPPED.DBF"), dir.file("SHORT.DBF"), dir.file("LONG.DBF"), foreign}) {
        SCOPED_TRACE(path.toStdString());
        ScriptedPrompter p;
        p.expectMessage("Error", kNotOwnTableMessage);
        EXPECT_FALSE(CheckDBaseFormat(path, p));
    }
    // A file that is no table at all is the engine's error to report.
    writeAll(dir.file("JUNK.DBF"), "not a table");
    ScriptedPrompter p;
    EXPECT_THROW(CheckDBaseFormat(dir.file("JUNK.DBF"), p), dbase::DatabaseError);
}

TEST(OwnTableCheck, MissingIndexClearsOnlyByte28) {
    TestDir dir;
    const QString path = makeItems(dir, "HOME.DBF", 3);
    QByteArray flagged = readAll(path);
    flagged[28] = '\x01';
    writeAll(path, flagged);

    ScriptedPrompter p;
    EXPECT_TRUE(CheckDBaseFormat(path, p));
    QByteArray after = readAll(path);
    EXPECT_EQ(after[28], '\0');
    after[28] = '\x01';
    EXPECT_EQ(after, flagged); // every other byte as it was
    EXPECT_EQ(liveRecords(path), 3);

    // With NAME.MDX present the flag stays, and a damaged index makes the table neither
    // foreign nor busy.
    writeAll(path, flagged);
    writeAll(dir.file("HOME.MDX"), "garbage");
    EXPECT_TRUE(CheckDBaseFormat(path, p));
    EXPECT_EQ(readAll(path)[28], '\x01');
    EXPECT_FALSE(DBaseInUse(path));
    EXPECT_TRUE(MakeNewDB(path, p));
    EXPECT_EQ(liveRecords(path), 0);
}

TEST(OwnTableCheck, RemoveMDXByteLeavesShortAndMissingFilesAlone) {
    TestDir dir;
    RemoveMDXByte(dir.file("missing.DBF"));
    EXPECT_FALSE(QFile::exists(dir.file("missing.DBF")));
    writeAll(dir.file("short.DBF"), QByteArray(10, '\x03'));
    RemoveMDXByte(dir.file("short.DBF"));
    EXPECT_EQ(readAll(dir.file("short.DBF")), QByteArray(10, '\x03'));
    QByteArray header(40, '\x01');
    writeAll(dir.file("h.DBF"), header);
    RemoveMDXByte(dir.file("h.DBF"));
    header[28] = '\0';
    EXPECT_EQ(readAll(dir.file("h.DBF")), header);
}

TEST(OwnTableCheck, DottedNamesUseTheWholeFileAndNameUpToTheFirstDot) {
    TestDir dir;
    // MY.DBF beside MY.DATA.DBF is someone else's table: the check must look at the chosen one.
    dir.copyFixture("foreign-mdx/TB.DBF", "MY.DBF");
    const QString path = makeItems(dir, "MY.DATA.DBF", 1);
    QByteArray flagged = readAll(path);
    flagged[28] = '\x01';
    writeAll(path, flagged);

    ScriptedPrompter p;
    EXPECT_TRUE(CheckDBaseFormat(path, p)); // no MY.MDX: flag cleared
    EXPECT_EQ(readAll(path)[28], '\0');
    const DatabasePaths paths = DatabasePaths::forTable(path);
    EXPECT_EQ(paths.index, dir.file("MY.MDX"));
    EXPECT_EQ(paths.settings, dir.file("MY.INI"));
    EXPECT_EQ(liveRecords(path), 1);
}

TEST(NewDatabase, CreatesReplacesAndRefusesTablesInUse) {
    TestDir dir;
    const QString path = makeItems(dir, "HOME.DBF", 5);
    EXPECT_EQ(liveRecords(path), 5);
    EXPECT_FALSE(DBaseInUse(path));

    {
        // Nobody holds it: replaced by an empty table of ours.
        ScriptedPrompter p;
        EXPECT_TRUE(MakeNewDB(path, p));
        EXPECT_EQ(liveRecords(path), 0);
        EXPECT_TRUE(CheckDBaseFormat(path, p));
    }

    makeItems(dir, "BUSY.DBF", 2);
    ItemTable holder;
    holder.setPaths(DatabasePaths::forTable(dir.file("BUSY.DBF")));
    holder.open(dbase::OpenMode::Shared);
    EXPECT_TRUE(DBaseInUse(dir.file("BUSY.DBF")));
    const QByteArray before = readAll(dir.file("BUSY.DBF"));
    {
        ScriptedPrompter p;
        p.expectMessage("Error", "The table \"" + dir.file("BUSY.DBF") +
                                     "\" is currently in use by another program.  New table "
                                     "creation will be aborted.");
        EXPECT_FALSE(MakeNewDB(dir.file("BUSY.DBF"), p));
    }
    EXPECT_EQ(readAll(dir.file("BUSY.DBF")), before);
    holder.close();
    EXPECT_FALSE(DBaseInUse(dir.file("BUSY.DBF")));

    // A directory that is gone is the engine's error to report; nothing is created.
    ScriptedPrompter p;
    EXPECT_THROW(MakeNewDB(dir.file("gone/NEW.DBF"), p), dbase::DatabaseError);
    EXPECT_FALSE(QFile::exists(dir.file("gone")));

    // The physical layout holds what the editor accepts.
    ItemTable items;
    items.setPaths(DatabasePaths::forTable(path));
    items.open();
    items.table().append();
    items.setInteger(item_field::Quantity, 9999);
    items.setFloating(item_field::Cost, 999999999.99);
    items.setFloating(item_field::Value, -99999999.99);
    items.table().post();
    items.table().first();
    EXPECT_EQ(items.integer(item_field::Quantity), 9999);
    EXPECT_EQ(items.floating(item_field::Cost), 999999999.99);
    EXPECT_EQ(items.floating(item_field::Value), -99999999.99);
    EXPECT_EQ(items.table().field(9).type, dbase::FieldType::Date);
}

TEST(NewDatabase, CreatesExactlyTheChosenFileAndNeverItsNeighbour) {
    TestDir dir;
    const QString neighbour = makeItems(dir, "home.DBF", 3);
    const QByteArray before = readAll(neighbour);
    ScriptedPrompter p;
    EXPECT_TRUE(MakeNewDB(dir.file("home.dbf"), p));
    EXPECT_EQ(readAll(neighbour), before);
    EXPECT_EQ(liveRecords(dir.file("home.dbf")), 0);
    EXPECT_TRUE(CheckDBaseFormat(dir.file("home.dbf"), p));
    // Nothing of the work is left behind.
    QStringList files = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    files.sort(Qt::CaseSensitive);
    EXPECT_EQ(files.join(' ').toStdString(), "home.DBF home.dbf");
}

TEST(ItemTableAdapter, UnicodeNumbersDatesAndRefusedCharacters) {
    TestDir dir;
    const QString path = makeItems(dir, "HOME.DBF", 0);
    ItemTable items;
    items.setPaths(DatabasePaths::forTable(path));
    items.open();
    items.table().append();
    items.setText(item_field::Item, QString::fromUtf8("Küchenstuhl für 5 €"));
    items.setText(u"brand", "Acme");
    items.setDate(item_field::PurchDate, QDate(1997, 12, 31));
    items.setFloating(item_field::Cost, 12.5);
    items.table().post();

    items.table().first();
    EXPECT_EQ(items.text(item_field::Item), QString::fromUtf8("Küchenstuhl für 5 €"));
    EXPECT_EQ(items.text(u"BRAND"), "Acme");
    EXPECT_EQ(items.date(item_field::PurchDate), QDate(1997, 12, 31));
    EXPECT_EQ(items.displayText(item_field::PurchDate, *numberedDateFormat(5, true)), "31-12-97");
    EXPECT_FALSE(items.date(item_field::WarDate));
    EXPECT_EQ(items.displayText(item_field::WarDate, *numberedDateFormat(5, true)), "");
    EXPECT_FALSE(items.integer(item_field::Quantity)); // blank, not zero
    EXPECT_EQ(items.floating(item_field::Cost), 12.5);

    // A character Windows-1252 cannot hold is refused and the stored text stays.
    items.table().edit();
    try {
        items.setText(item_field::Item, QString::fromUtf8("Teekanne 日本"));
        ADD_FAILURE() << "no error";
    } catch (const dbase::DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("日"), std::string::npos) << e.what();
    }
    items.table().cancel();
    EXPECT_EQ(items.text(item_field::Item), QString::fromUtf8("Küchenstuhl für 5 €"));
    // Values copied as text between tables (the older-version conversion) arrive unchanged.
    items.table().edit();
    items.setText(item_field::WarDate, "19980102");
    items.setText(item_field::Quantity, "3");
    items.setText(item_field::Value, "1234.5");
    items.table().post();
    EXPECT_EQ(items.date(item_field::WarDate), QDate(1998, 1, 2));
    EXPECT_EQ(items.text(item_field::WarDate), "19980102");
    EXPECT_EQ(items.integer(item_field::Quantity), 3);
    EXPECT_EQ(items.floating(item_field::Value), 1234.5);
    EXPECT_EQ(items.text(item_field::Value), "1234.50");
    EXPECT_THROW(items.text(23), dbase::DatabaseError);
    EXPECT_THROW(items.text(u"Nope"), dbase::DatabaseError);
}

TEST(PackDatabase, AsksRemovesDeletedItemsAndReopensShared) {
    TestDir dir;
    const QString path = makeItems(dir, "HOME.DBF", 4);
    ItemTable items;
    items.setPaths(DatabasePaths::forTable(path));
    items.open();
    items.table().first();
    items.table().deleteRecord();
    ASSERT_EQ(items.table().recordCount(), 4u);

    int reapplied = 0;
    const auto reapply = [&] { ++reapplied; };
    {
        ScriptedPrompter p;
        p.expectMessage("Confirm", kPackQuestion, MsgButton::No);
        EXPECT_FALSE(packDatabase(items, p, reapply));
        EXPECT_EQ(items.table().recordCount(), 4u);
        EXPECT_EQ(reapplied, 0);
    }
    {
        ScriptedPrompter p;
        p.expectMessage("Confirm", kPackQuestion, MsgButton::Yes);
        EXPECT_TRUE(packDatabase(items, p, reapply));
    }
    EXPECT_TRUE(items.isOpen());
    EXPECT_EQ(items.openMode(), dbase::OpenMode::Shared);
    EXPECT_EQ(items.table().recordCount(), 3u);
    EXPECT_EQ(reapplied, 1);
    items.table().first();
    EXPECT_EQ(items.text(item_field::Item), "Item 2");
}

TEST(PackDatabase, AnotherHolderGetsTheMessageAndTheTableStaysUsable) {
    TestDir dir;
    const QString path = makeItems(dir, "HOME.DBF", 2);
    ItemTable items;
    items.setPaths(DatabasePaths::forTable(path));
    items.open();
    items.table().first();
    items.table().deleteRecord();

    ItemTable otherCopy;
    otherCopy.setPaths(DatabasePaths::forTable(path));
    otherCopy.open();

    int reapplied = 0;
    ScriptedPrompter p;
    p.expectMessage("Confirm", kPackQuestion, MsgButton::Yes);
    p.expectMessage("Error", kPackFailure);
    EXPECT_FALSE(packDatabase(items, p, [&] { ++reapplied; }));
    EXPECT_EQ(reapplied, 1);
    ASSERT_TRUE(items.isOpen());
    EXPECT_EQ(items.openMode(), dbase::OpenMode::Shared);
    EXPECT_EQ(items.table().recordCount(), 2u);
    items.table().append();
    items.setText(item_field::Item, "Still usable");
    items.table().post();
    EXPECT_EQ(items.table().countVisible(), 2u);
}
