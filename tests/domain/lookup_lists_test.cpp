#include "lists/lookup_lists.h"

#include "qstring_printer.h"
#include "scripted_prompter.h"
#include "test_files.h"

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
void expectCopiesEqual(const LookupLists& lists) {
    for (int n = 1; n <= 5; ++n)
        EXPECT_EQ(lists.editorList(n), lists.gridList(n)) << "list " << n;
}

const QString kSaveQuestion =
    "Your current Data Lists will become your default list values.  These values will be used "
    "when new databases are created.  Previous default values will be lost.  Do you want to "
    "proceed?";
const QString kLoadQuestion =
    "Your current Data Lists will be overridden with your default list values. Previous  values "
    "will be lost.  Do you want to proceed?";
} // namespace

TEST(LookupLists, FileRulesStripSkipAndKeepDuplicates) {
    TestDir dir;
    const QString longLine = QString(300, 'x');
    writeAll(dir.file("a.lst"), "  Sony  \r\n\r\nSony\r\n   \r\nMac line\rUnix line\n" +
                                    longLine.toLatin1() + "\r\nlast without end");
    const QStringList read = readListFile(dir.file("a.lst"));
    EXPECT_EQ(read, (QStringList{"Sony", "Sony", "Mac line", "Unix line", QString(255, 'x'),
                                 "last without end"}));
    EXPECT_TRUE(readListFile(dir.file("missing")).isEmpty());
    EXPECT_TRUE(readListFile(dir.path()).isEmpty());

    // Saving writes CR LF after every entry, as UTF-8.
    ASSERT_TRUE(writeListFile(dir.file("b.lst"), {"Küche", "Garage"}));
    EXPECT_EQ(readAll(dir.file("b.lst")), QString::fromUtf8("Küche\r\nGarage\r\n").toUtf8());
    // A file made on Windows reads as Windows-1252.
    writeAll(dir.file("c.lst"), "K\xFC"
                                "che\r\n");
    EXPECT_EQ(readListFile(dir.file("c.lst")), QStringList{QString::fromUtf8("Küche")});
}

TEST(LookupLists, DatabaseWithoutCategoryFileGetsTheDefaults) {
    TestDir dir;
    const QString base = dir.file("HOME");
    writeAll(base + ".001", "Own Brand\r\n");
    writeAll(dir.file("BRAND.LST"), "Default Brand\r\n");
    writeAll(dir.file("CATEGORY.LST"), "Furniture\r\nTools\r\n");

    LookupLists lists;
    lists.loadDatabaseLists(base, dir.path());
    EXPECT_EQ(lists.editorList(1), QStringList{"Default Brand"});
    EXPECT_EQ(lists.editorList(4), (QStringList{"Furniture", "Tools"}));
    EXPECT_TRUE(lists.editorList(5).isEmpty()); // no OWNER.LST
    expectCopiesEqual(lists);

    // With NAME.004 present the database's own files count, missing ones give empty lists.
    writeAll(base + ".004", "Jewellery\r\n");
    lists.loadDatabaseLists(base, dir.path());
    EXPECT_EQ(lists.editorList(1), QStringList{"Own Brand"});
    EXPECT_EQ(lists.editorList(4), QStringList{"Jewellery"});
    EXPECT_TRUE(lists.editorList(2).isEmpty());
    expectCopiesEqual(lists);
}

TEST(LookupLists, TypedValuesAreTrimmedAndCaseSensitive) {
    LookupLists lists;
    lists.setList(2, {"Kitchen"});
    EXPECT_FALSE(lists.addTypedValue(2, "  Kitchen "));
    EXPECT_FALSE(lists.addTypedValue(2, "   "));
    EXPECT_TRUE(lists.addTypedValue(2, "kitchen"));
    EXPECT_TRUE(lists.addTypedValue(2, " Attic "));
    EXPECT_EQ(lists.editorList(2), (QStringList{"Kitchen", "kitchen", "Attic"}));
    expectCopiesEqual(lists);
    EXPECT_THROW(lists.addTypedValue(6, "x"), std::out_of_range);
}

TEST(LookupLists, SaveAndLoadDatabaseListsRoundTrip) {
    TestDir dir;
    LookupLists lists;
    for (int n = 1; n <= 5; ++n)
        lists.setList(n, {QStringLiteral("Entry %1").arg(n), "Shared"});
    EXPECT_TRUE(lists.saveDatabaseLists(dir.file("MY")).isEmpty());
    EXPECT_EQ(readAll(dir.file("MY.003")), "Entry 3\r\nShared\r\n");

    LookupLists back;
    back.loadDatabaseLists(dir.file("MY"), dir.file("no-program-dir"));
    for (int n = 1; n <= 5; ++n)
        EXPECT_EQ(back.editorList(n), lists.editorList(n));

    // An unwritable target is skipped and named; the others are still written.
    const QStringList failed = lists.saveDatabaseLists(dir.file("gone/MY"));
    EXPECT_EQ(failed.size(), 5);
}

TEST(LookupLists, DefaultsCommandsAskFirst) {
    TestDir dir;
    LookupLists lists;
    lists.setList(1, {"Mine"});
    writeAll(dir.file("BRAND.LST"), "Old Default\r\n");

    {
        ScriptedPrompter p;
        p.expectMessage("Warning", kSaveQuestion, MsgButton::No);
        EXPECT_FALSE(lists.saveAsDefaults(p, dir.path()));
        EXPECT_EQ(p.lastMessage().defaultButton, MsgButton::No);
        EXPECT_EQ(p.lastMessage().icon, MsgIcon::Question);
        EXPECT_EQ(p.beeps(), 1);
    }
    EXPECT_EQ(readAll(dir.file("BRAND.LST")), "Old Default\r\n");
    {
        ScriptedPrompter p;
        p.expectMessage("Warning", kSaveQuestion, MsgButton::Yes);
        EXPECT_TRUE(lists.saveAsDefaults(p, dir.path()));
    }
    EXPECT_EQ(readAll(dir.file("BRAND.LST")), "Mine\r\n");
    EXPECT_EQ(readAll(dir.file("OWNER.LST")), "");

    writeAll(dir.file("BRAND.LST"), "Fresh\r\n");
    {
        ScriptedPrompter p;
        p.expectMessage("Warning", kLoadQuestion, MsgButton::No);
        EXPECT_FALSE(lists.loadInDefaults(p, dir.path()));
        EXPECT_EQ(lists.editorList(1), QStringList{"Mine"});
    }
    {
        ScriptedPrompter p;
        p.expectMessage("Warning", kLoadQuestion, MsgButton::Yes);
        EXPECT_TRUE(lists.loadInDefaults(p, dir.path()));
        EXPECT_EQ(p.lastMessage().defaultButton, MsgButton::No);
    }
    EXPECT_EQ(lists.editorList(1), QStringList{"Fresh"});
    expectCopiesEqual(lists);
}
