// Runs the built tallywick-cli over a small database, as a script would.

#include "items/database_ops.h"
#include "items/item_schema.h"
#include "items/item_table.h"
#include "qstring_printer.h"
#include "scripted_prompter.h"
#include "settings/ini_file.h"
#include "settings/settings.h"
#include "test_files.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

namespace {
namespace F = item_field;

struct Outcome {
    int code = -1;
    QString out;
    QString err;
};

QString readText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// HOME.DBF with three items and export settings that write Cost, then Item, and nothing else.
struct Database {
    TestDir dir;
    QString program = dir.file(QStringLiteral("program"));
    QString path = dir.file(QStringLiteral("HOME.DBF"));

    Database() {
        QDir().mkpath(program);
        ScriptedPrompter p;
        EXPECT_TRUE(MakeNewDB(path, p));
        ItemTable items;
        items.setPaths(DatabasePaths::forTable(path));
        items.open();
        const auto add = [&](const char* item, const char* brand, double cost) {
            items.table().append();
            items.setText(F::Item, QString::fromLatin1(item));
            items.setText(F::Brand, QString::fromLatin1(brand));
            items.setFloating(F::Cost, cost);
            items.table().post();
        };
        add("Lamp", "Acme", 10);
        add("Desk", "Other", 200);
        add("Chair", "Acme", 50);
        items.close();

        DatabaseSettings db = readDatabaseSettings(IniFile());
        db.exportFields.fill(false);
        db.exportFields[F::Cost - 1] = true;
        db.exportFields[F::Item - 1] = true;
        db.exportOrder[F::Cost - 1] = 1; // Item and Cost swap places
        db.exportOrder[F::Item - 1] = F::Cost;
        EXPECT_TRUE(saveDatabaseSettings(db, dir.file(QStringLiteral("HOME.INI"))));
    }

    Outcome run(const QStringList& args) const {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral(TW_CLI), QStringList{QStringLiteral("--program-dir"), program,
                                                    QStringLiteral("--settings-dir"), dir.path()} +
                                            args);
        EXPECT_TRUE(p.waitForFinished(60000));
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromLocal8Bit(p.readAllStandardOutput()),
                QString::fromLocal8Bit(p.readAllStandardError())};
    }

    int liveItems() const {
        ItemTable items;
        items.setPaths(DatabasePaths::forTable(path));
        items.open(dbase::OpenMode::ReadOnly);
        return int(items.table().countVisible());
    }
};
} // namespace

TEST(Cli, ReportsRunToTextAndPdfWithASearch) {
    Database d;
    Outcome r = d.run({"reports"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("1  Short Narrow Report")));

    const QString text = d.dir.file(QStringLiteral("acme.txt"));
    r = d.run({"report", d.path, "Short Narrow Report", "-o", text, "--search", "brand=acme"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QString report = readText(text);
    EXPECT_TRUE(report.contains(QStringLiteral("Lamp")));
    EXPECT_TRUE(report.contains(QStringLiteral("Chair")));
    EXPECT_FALSE(report.contains(QStringLiteral("Desk")));

    // Two levels are OR-ed; a number criterion takes an operator.
    r = d.run(
        {"report", d.path, "1", "-o", text, "--search", "Brand=Other", "--search", "Cost=< 20"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(readText(text).contains(QStringLiteral("Desk")));
    EXPECT_TRUE(readText(text).contains(QStringLiteral("Lamp")));
    EXPECT_FALSE(readText(text).contains(QStringLiteral("Chair")));

    const QString pdf = d.dir.file(QStringLiteral("full.pdf"));
    r = d.run({"report", d.path, "full report", "-o", pdf});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(readText(pdf).startsWith(QStringLiteral("%PDF")));

    // Refusals write nothing and say why on standard error.
    const QString none = d.dir.file(QStringLiteral("none.txt"));
    r = d.run({"report", d.path, "No Such Report", "-o", none});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("No Such Report")));
    r = d.run({"report", d.path, "1", "-o", none, "--search", "Cost=> abc"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("not a valid number")));
    EXPECT_FALSE(QFile::exists(none));
}

TEST(Cli, ExportAndImportFollowTheStoredOrderAndTheMapping) {
    Database d;
    const QString text = d.dir.file(QStringLiteral("items.txt"));
    Outcome r = d.run({"export", d.path, "-o", text});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList lines = readText(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], QStringLiteral("\"Cost\",\"Item\""));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(",\"Lamp\""))) << lines[1].toStdString();

    const QString table = d.dir.file(QStringLiteral("COPY.DBF"));
    r = d.run({"export", d.path, "-o", table});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    {
        dbase::Table copy;
        copy.openFile(table.toStdString(), dbase::OpenMode::ReadOnly);
        ASSERT_EQ(copy.fieldCount(), 2);
        EXPECT_EQ(copy.field(0).name, "COST");
        EXPECT_EQ(copy.recordCount(), 3u);
    }

    // Back in: by names without a mapping (the first line is skipped), then with one.
    r = d.run({"import", d.path, text});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(d.liveItems(), 6);
    r = d.run({"import", d.path, table});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(d.liveItems(), 9);
    r = d.run({"import", d.path, text, "--map", "Brand=#2", "--map", "Item=cost"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    {
        ItemTable items;
        items.setPaths(DatabasePaths::forTable(d.path));
        items.open(dbase::OpenMode::ReadOnly);
        items.table().last();
        EXPECT_EQ(items.text(F::Brand), "Chair");
        EXPECT_TRUE(items.text(F::Item).startsWith(QStringLiteral("50")));
    }
    r = d.run({"import", d.path, text, "--map", "Brand=Nothing"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Cost, Item")));
    EXPECT_EQ(d.liveItems(), 12);
}

TEST(Cli, BackupCopiesTheFilesAndRefusalsExitNonZero) {
    Database d;
    const QString target = d.dir.file(QStringLiteral("saved"));
    QDir().mkpath(target);
    Outcome r = d.run({"backup", d.path, target});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(QFile::exists(target + QStringLiteral("/HOME.DBF")));
    EXPECT_TRUE(QFile::exists(target + QStringLiteral("/HOME.INI")));
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("HOME backed up to "))) << r.out.toStdString();
    // A copy over itself is refused.
    r = d.run({"backup", d.path, d.dir.path()});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Destination File and Source File are identical")));

    // A new database to import into; one that another program holds open is not replaced.
    const QString fresh = d.dir.file(QStringLiteral("FRESH.DBF"));
    r = d.run({"new", fresh});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = d.run({"import", fresh, d.dir.file(QStringLiteral("HOME.DBF"))});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    {
        ItemTable holder;
        holder.setPaths(DatabasePaths::forTable(fresh));
        holder.open();
        EXPECT_EQ(holder.table().countVisible(), 3u);
        r = d.run({"new", fresh});
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.err.contains(QStringLiteral("is currently in use by another program")));
    }

    // A database that is missing or not ours, a bad command: told on standard error.
    r = d.run({"export", d.dir.file(QStringLiteral("NONE.DBF")), "-o", "x.txt"});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.err.contains(QStringLiteral("does not exist")));
    dbase::Table::create(d.dir.path().toStdString(), "OTHER.DBF",
                         {dbase::FieldDef::character("NAME", 10)});
    r = d.run({"export", d.dir.file(QStringLiteral("OTHER.DBF")), "-o", "x.txt"});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.err.contains(QStringLiteral("was not created with Tallywick Inventory 97")));
    r = d.run({"frobnicate"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("unknown command")));
    for (const char* command : {"reports", "report", "export", "import", "backup", "new"}) {
        r = d.run({command, "--help"});
        EXPECT_EQ(r.code, 0);
        EXPECT_TRUE(r.out.startsWith(QStringLiteral("Usage: tallywick-cli ") +
                                     QString::fromLatin1(command)))
            << r.out.toStdString();
    }
}
