#include "items/database_ops.h"
#include "items/item_schema.h"
#include "mainwindow/main_window.h"
#include "mainwindow/viewer_model.h"
#include "modal_helper.h"
#include "scripted_prompter.h"
#include "session/inventory_session.h"
#include "test_files.h"
#include "transfer/export_window.h"
#include "transfer/import_window.h"
#include "ui/window_context.h"

#include "qstring_printer.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {
namespace F = item_field;

struct Fixture {
    TestDir dir;
    ScriptedPrompter prompter;
    WindowContext context{prompter};
    InventorySession session;

    Fixture() {
        context.screen = QSize(1024, 768);
        const QString path = dir.file(QStringLiteral("HOME.DBF"));
        EXPECT_TRUE(MakeNewDB(path, prompter));
        session.items.setPaths(DatabasePaths::forTable(path));
        session.items.open();
        for (int n = 1; n <= kFieldCount; ++n) {
            session.db.fieldNames[size_t(n - 1)] = itemField(n)->qLabel();
            session.db.displayFields[size_t(n - 1)] = true;
            session.db.exportFields[size_t(n - 1)] = true;
            session.db.exportOrder[size_t(n - 1)] = n;
        }
        session.formats.setCurrent({QLatin1Char('/'), QStringLiteral("mm/dd/yyyy")});
    }
    ~Fixture() { prompter.verifyDone(); }
    void add(const QString& item, const QString& category) {
        session.items.table().append();
        session.items.setText(F::Item, item);
        session.items.setText(F::Category, category);
        session.items.table().post();
    }
    // A search in force, as the search window leaves it: the filter on the table.
    void searchCategory(const QString& category) {
        ItemTable* items = &session.items;
        session.items.table().setFilter([items, category](const dbase::Table&) {
            return items->text(F::Category) == category;
        });
        session.items.table().refresh();
        session.searchOn = true;
    }
    QString read(const QString& name) {
        QFile f(dir.file(name));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return QString::fromUtf8(f.readAll());
    }
    QStringList items() {
        QStringList names;
        dbase::Table& t = session.items.table();
        for (t.first(); !t.eof() && !t.isEmpty(); t.next())
            names << session.items.text(F::Item);
        return names;
    }
};

void onlyFields(InventorySession& s, std::initializer_list<int> numbers) {
    s.db.exportFields.fill(false);
    for (int n : numbers)
        s.db.exportFields[size_t(n - 1)] = true;
}
} // namespace

TEST(ExportWindow, EntireDatabaseDuringASearchKeepsTheSearch) {
    Fixture f;
    f.add(QStringLiteral("Lamp"), QStringLiteral("Light"));
    f.add(QStringLiteral("Sofa"), QStringLiteral("Seat"));
    f.add(QStringLiteral("Torch"), QStringLiteral("Light"));
    f.searchCategory(QStringLiteral("Light"));
    onlyFields(f.session, {F::Item});
    f.session.db.exportFirstRow = false;

    {
        TMyExport w(f.session, f.context);
        w.FormShow();
        EXPECT_TRUE(w.searchButton()->isEnabled());
        EXPECT_TRUE(w.searchButton()->isChecked());
        f.prompter.expectSaveFile(f.dir.file(QStringLiteral("found.txt")))
            .expectMessage(QStringLiteral("Ok"), QStringLiteral("Export Complete."));
        w.StartButtonClick();
        EXPECT_EQ(f.read(QStringLiteral("found.txt")), QStringLiteral("\"Lamp\"\n\"Torch\"\n"));
        EXPECT_EQ(f.prompter.seen()[0].file.caption, QStringLiteral("Export Data"));
        EXPECT_TRUE(f.prompter.seen()[0].file.confirmOverwrite);
    }
    {
        TMyExport w(f.session, f.context);
        w.FormShow();
        w.entireButton()->setChecked(true);
        f.prompter.expectSaveFile(f.dir.file(QStringLiteral("all.txt")))
            .expectMessage(QStringLiteral("Ok"), QStringLiteral("Export Complete."));
        w.StartButtonClick();
        EXPECT_EQ(f.read(QStringLiteral("all.txt")),
                  QStringLiteral("\"Lamp\"\n\"Sofa\"\n\"Torch\"\n"));
    }
    // The viewer's table still shows the search.
    EXPECT_TRUE(f.session.searchOn);
    EXPECT_EQ(f.items(), (QStringList{"Lamp", "Torch"}));

    f.session.searchOn = false;
    TMyExport w(f.session, f.context);
    w.FormShow();
    EXPECT_FALSE(w.searchButton()->isEnabled());
    EXPECT_TRUE(w.entireButton()->isChecked());
}

TEST(ExportWindow, GridOrderFlagsAndFileTypeReachTheFileAndTheSettings) {
    Fixture f;
    f.add(QStringLiteral("Lamp"), QStringLiteral("Light"));
    onlyFields(f.session, {F::Item, F::Brand, F::Model});
    f.session.db.fieldNames[F::Brand - 1] = QStringLiteral("Make");

    TMyExport w(f.session, f.context);
    w.FormShow();
    QTableWidget* g = w.grid();
    EXPECT_EQ(g->rowCount(), 22);
    EXPECT_EQ(g->item(1, 0)->text(), QStringLiteral("Make"));
    EXPECT_EQ(g->item(3, 1)->text(), QStringLiteral("No"));
    // Item moves below Brand; Model switched off.
    g->setCurrentCell(0, 0);
    w.DownButtonClick();
    EXPECT_EQ(g->currentRow(), 1);
    g->setCurrentCell(2, 1);
    w.ExportGridDblClick();
    EXPECT_EQ(g->item(2, 1)->text(), QStringLiteral("No"));

    w.textButton()->setChecked(true);
    w.firstRow()->click();
    w.firstRow()->click(); // back on; each click is stored
    EXPECT_TRUE(f.session.db.exportFirstRow);
    // Never over the report definitions beside the program.
    f.session.paths.programDir = f.dir.path();
    const QString definitions = f.dir.file(QStringLiteral("TWKINV.URP"));
    {
        QFile urp(definitions);
        ASSERT_TRUE(urp.open(QIODevice::WriteOnly));
        urp.write("reports");
    }
    f.prompter.expectSaveFile(definitions)
        .expectMessage(QStringLiteral("Error"),
                       QStringLiteral("The file %1 holds the report definitions.  Choose another "
                                      "name for the export.")
                           .arg(definitions))
        .expectSaveFile(f.dir.file(QStringLiteral("out.txt")))
        .expectMessage(QStringLiteral("Ok"), QStringLiteral("Export Complete."));
    w.StartButtonClick();
    EXPECT_EQ(f.read(QStringLiteral("TWKINV.URP")), QStringLiteral("reports"));
    w.StartButtonClick();
    EXPECT_EQ(f.read(QStringLiteral("out.txt")),
              QStringLiteral("\"Make\",\"Item\"\n\"\",\"Lamp\"\n"));
    EXPECT_EQ(f.session.db.exportOrder[F::Item - 1], 2);
    EXPECT_EQ(f.session.db.exportOrder[F::Brand - 1], 1);
    EXPECT_FALSE(f.session.db.exportFields[F::Model - 1]);

    // dBase: the check box goes; a name without .DBF and the open database are refused.
    TMyExport d(f.session, f.context);
    d.FormShow();
    d.dbaseButton()->setChecked(true);
    EXPECT_FALSE(d.firstRow()->isVisibleTo(&d));
    f.prompter.expectSaveFile(f.dir.file(QStringLiteral("out.dat")))
        .expectMessage(QStringLiteral("Error"), QStringLiteral("Invalid file type selected."))
        .expectSaveFile(f.dir.file(QStringLiteral("HOME.DBF")))
        .expectMessage(QStringLiteral("Error"), {});
    d.StartButtonClick();
    d.StartButtonClick();
    EXPECT_EQ(f.items(), QStringList{"Lamp"});
    d.reject();
    EXPECT_EQ(f.session.db.exportFileType, 2);

    onlyFields(f.session, {});
    TMyExport none(f.session, f.context);
    f.prompter.expectMessage(QStringLiteral("Error"),
                             QStringLiteral("No fields selected for export."));
    none.StartButtonClick();
}

// Without the mouse: Space in the grid switches the current row's field in or out, and
// Enter starts the export with what the grid shows.
TEST(ExportWindow, SpaceTogglesTheCurrentRowAndTheFileFollows) {
    Fixture f;
    f.add(QStringLiteral("Lamp"), QStringLiteral("Light"));
    onlyFields(f.session, {F::Item, F::Brand});
    f.session.db.exportFileType = 1;
    f.session.db.exportFirstRow = true;

    TMyExport w(f.session, f.context);
    w.show();
    QApplication::setActiveWindow(&w);
    QTableWidget* g = w.grid();
    EXPECT_TRUE(QTest::qWaitFor([&] { return g->hasFocus(); }));
    QTest::keyClick(g, Qt::Key_Down); // Brand, on its name
    QTest::keyClick(g, Qt::Key_Space);
    QTest::keyClick(g, Qt::Key_Down); // Model
    QTest::keyClick(g, Qt::Key_Space);
    EXPECT_EQ(g->item(1, 1)->text(), QStringLiteral("No"));
    EXPECT_EQ(g->item(2, 1)->text(), QStringLiteral("Yes"));

    f.prompter.expectSaveFile(f.dir.file(QStringLiteral("out.txt")))
        .expectMessage(QStringLiteral("Ok"), QStringLiteral("Export Complete."));
    QTest::keyClick(g, Qt::Key_Return);
    EXPECT_EQ(f.read(QStringLiteral("out.txt")),
              QStringLiteral("\"Item\",\"Model\"\n\"Lamp\",\"\"\n"));
    w.reject();
}

TEST(ImportWindow, FormatWindowOpensTheMappingAndTheImportReachesTheTable) {
    Fixture f;
    f.add(QStringLiteral("Old"), QString());
    const QString file = f.dir.file(QStringLiteral("in.txt"));
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(
            "\"Name\",\"Make\",\"Junk\"\r\n\"Lamp\",\"Acme\",\"x\"\r\n\"Rug\",\"Tuft\",\"y\"\r\n");
    }
    f.session.db.importFileType = 1;
    f.session.db.importSkipFirst = true;
    f.prompter.expectOpenFile(file).expectMessage(QStringLiteral("Ok"),
                                                  QStringLiteral("Import Complete."));
    QString caption;
    QStringList column1;
    whenModalShown([&](QWidget* modal) {
        // The format window first; Select File opens the import window over it.
        auto* format = qobject_cast<TImportFormat*>(modal);
        ASSERT_NE(format, nullptr);
        EXPECT_TRUE(format->textButton()->isChecked());
        whenModalShown([&](QWidget* inner) {
            auto* w = qobject_cast<TMyImport*>(inner);
            ASSERT_NE(w, nullptr);
            caption = w->windowTitle();
            QTableWidget* g = w->grid();
            EXPECT_EQ(g->rowCount(), 22);
            EXPECT_EQ(g->item(0, 0)->text(), QStringLiteral("Item"));
            EXPECT_EQ(g->item(3, 1)->text(), QStringLiteral("<EMPTY>"));
            EXPECT_EQ(g->item(3, 2)->text(), QString());
            // Junk switched off; Make moved down to Brand... and past it to Model, then back.
            g->setCurrentCell(2, 2);
            w->ImportGridDblClick();
            EXPECT_EQ(g->item(2, 2)->text(), QStringLiteral("No"));
            g->setCurrentCell(1, 1);
            w->DownButtonClick();
            EXPECT_EQ(g->item(2, 1)->text(), QStringLiteral("Make"));
            EXPECT_EQ(g->item(1, 1)->text(), QStringLiteral("Junk"));
            w->UpButtonClick();
            for (int r = 0; r < 3; ++r)
                column1 << g->item(r, 1)->text();
            EXPECT_TRUE(w->skipFirst()->isChecked());
            w->StartButtonClick();
            EXPECT_EQ(w->countLabel()->text(), QStringLiteral("2"));
        });
        format->SelectFileClick();
    });
    TImportFormat::run(f.session, f.context, nullptr);
    EXPECT_EQ(caption, QStringLiteral("Ascii Delimited Text Import"));
    EXPECT_EQ(column1, (QStringList{"Name", "Make", "Junk"}));
    EXPECT_EQ(f.items(), (QStringList{"Old", "Lamp", "Rug"}));
    f.session.items.table().last();
    EXPECT_EQ(f.session.items.text(F::Brand), QStringLiteral("Tuft"));
    EXPECT_EQ(f.session.items.text(F::Model), QString());
    EXPECT_EQ(f.prompter.seen()[0].file.caption, QStringLiteral("Import Data"));
    EXPECT_EQ(f.session.global.lastImportFile, file);
}

TEST(ImportWindow, RefusedSourcesKeepTheFormatWindowOpen) {
    Fixture f;
    const QString plain = f.dir.file(QStringLiteral("plain.txt"));
    {
        QFile out(plain);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("A,B,C\n");
    }
    TImportFormat w(f.session, f.context);
    w.FormShow();
    f.prompter.expectOpenFile(plain).expectMessage(
        QStringLiteral("Error"),
        QStringLiteral("The file selected does not appear to be an ASCII delimited "
                       "text file.  An ASCII delimited file requires a unique format "
                       "of each field being surrounded by double quotes and "
                       "separated by a comma.  The selected file had an unexpected "
                       "end of a line most likely due to an unmatched quote."));
    w.SelectFileClick();
    EXPECT_EQ(w.result(), 0);

    w.dbaseButton()->setChecked(true);
    f.prompter.expectOpenFile(plain).expectMessage(QStringLiteral("Error"),
                                                   QStringLiteral("Invalid file type selected."));
    w.SelectFileClick();
    // A damaged table: the engine's report, nothing imported.
    const QString damaged = f.dir.file(QStringLiteral("BAD.DBF"));
    {
        QFile out(damaged);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("\x03\x7a\x01\x01garbage");
    }
    f.prompter.expectOpenFile(damaged).expectMessage(QStringLiteral("Error"), {});
    w.SelectFileClick();
    w.reject();
    EXPECT_EQ(f.session.db.importFileType, 2);
    EXPECT_EQ(f.items(), QStringList{});
}

TEST(ImportWindow, EscapeStopsBetweenRecordsAndKeepsWhatWasImported) {
    Fixture f;
    QString text;
    for (int i = 1; i <= 500; ++i)
        text += QStringLiteral("\"Item %1\"\r\n").arg(i);
    TMyImport w(f.session, f.context, ImportFileType::Text, {QStringLiteral("Item")}, {}, text);
    w.show();
    w.skipFirst()->setChecked(false);
    // Escape arrives while the import runs: it is seen after the first record.
    QTimer::singleShot(0, &w, [&w] {
        EXPECT_TRUE(w.importing());
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&w, &esc);
    });
    f.prompter.expectMessage(QStringLiteral("Notice"),
                             QStringLiteral("Import cancelled.  1 record was imported."));
    w.StartButtonClick();
    EXPECT_EQ(f.items(), QStringList{"Item 1"});
    EXPECT_FALSE(w.isVisible());
}

TEST(MainWindowTransfer, ImportSpeedButtonAddsItemsTheViewerAndCountShow) {
    TestDir dir;
    AppPaths paths;
    paths.programDir = dir.file(QStringLiteral("prog"));
    paths.settingsDir = dir.file(QStringLiteral("cfg"));
    paths.currentDir = dir.path();
    const QString file = dir.file(QStringLiteral("in.txt"));
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("\"Desk lamp\"\n\"Rug\"\n");
    }
    ScriptedPrompter prompter;
    {
        TMain w(prompter, paths, {1024, 768});
        w.session().global.showTips = false;
        w.show();
        EXPECT_TRUE(w.action(QStringLiteral("&Records/E&xport"))->isEnabled());
        EXPECT_TRUE(w.speedButton(QStringLiteral("ExportSpeed"))->isEnabled());
        prompter.expectOpenFile(file).expectMessage(QStringLiteral("Ok"),
                                                    QStringLiteral("Import Complete."));
        whenModalShown([](QWidget* format) {
            whenModalShown([](QWidget* import) {
                auto* w = qobject_cast<TMyImport*>(import);
                ASSERT_NE(w, nullptr);
                w->skipFirst()->setChecked(false);
                w->StartButtonClick();
            });
            qobject_cast<TImportFormat*>(format)->SelectFileClick();
        });
        w.speedButton(QStringLiteral("ImportSpeed"))->click();
        EXPECT_EQ(w.countLabel()->text(), QStringLiteral("2"));
        EXPECT_EQ(w.viewerModel()->rowCount(), 2);
        w.close();
    }
    prompter.verifyDone();
    TMain browse(prompter, paths, {1024, 768}, {QStringLiteral("/BROWSE")});
    EXPECT_FALSE(browse.action(QStringLiteral("&Records/&Import"))->isEnabled());
    EXPECT_FALSE(browse.speedButton(QStringLiteral("ImportSpeed"))->isEnabled());
    EXPECT_TRUE(browse.action(QStringLiteral("&Records/E&xport"))->isEnabled());
    browse.close();
}
