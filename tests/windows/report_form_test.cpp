#include "items/database_ops.h"
#include "items/database_paths.h"
#include "items/item_schema.h"
#include "items/item_table.h"
#include "mainwindow/main_window.h"
#include "reports/report_file.h"
#include "reports/report_form.h"
#include "scripted_prompter.h"
#include "settings/app_paths.h"
#include "test_files.h"
#include "ui/window_context.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {
namespace F = item_field;

struct Fixture {
    TestDir dir;
    ScriptedPrompter prompter;
    WindowContext context{prompter};
    ItemTable items;

    explicit Fixture(int count = 40) {
        const QString path = dir.file(QStringLiteral("HOME.DBF"));
        EXPECT_TRUE(MakeNewDB(path, prompter));
        items.setPaths(DatabasePaths::forTable(path));
        items.open();
        for (int i = 1; i <= count; ++i) {
            items.table().append();
            items.setText(F::Item, QStringLiteral("Thing %1").arg(i));
            items.setFloating(F::Cost, 2.5);
            items.setInteger(F::Quantity, 2);
            items.table().post();
        }
        items.table().first();
    }
    ReportRequest request(ReportDestination destination, const char* name = "Full Report") {
        ReportRequest r;
        for (const ReportDefinition& d : builtInReports())
            if (d.name == QLatin1String(name))
                r.definition = d;
        r.source.items = &items;
        r.source.today = QDate(2026, 12, 1);
        r.destination = destination;
        r.waitForClose = false;
        return r;
    }
};

} // namespace

TEST(ReportForm, ViewRunShowsThePagesAndCompletion) {
    Fixture f;
    const QString before = f.items.text(F::Item);
    ReportRequest r = f.request(ReportDestination::View);
    TReportForm* seen = nullptr; // found while the run goes on
    QString captionDuringRun, buttonDuringRun;
    QTimer::singleShot(0, [&] {
        seen = qobject_cast<TReportForm*>(QApplication::activeModalWidget());
        if (seen) {
            captionDuringRun = seen->windowTitle();
            buttonDuringRun = seen->button()->text();
        }
    });
    ReportResult result = generateReport(f.context, nullptr, std::move(r));
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.outcome.outcome, PageOutput::Outcome::Completed);
    ASSERT_TRUE(result.pages);
    EXPECT_EQ(result.pages->pageCount(), result.outcome.pages);
    EXPECT_GT(result.pages->pageCount(), 1);
    EXPECT_EQ(captionDuringRun, QStringLiteral("Report Status Screen"));
    EXPECT_EQ(buttonDuringRun, QStringLiteral("Cancel"));
    // The viewer's record is where it was, and nothing reached the user as a message.
    EXPECT_EQ(f.items.text(F::Item), before);
    f.prompter.verifyDone();
}

TEST(ReportForm, StatusWindowEndsWithCompletedOrCanceledAndAnOkButton) {
    Fixture f;
    ReportRun run(f.request(ReportDestination::View).definition,
                  f.request(ReportDestination::View).source, ReportDestination::View);
    TReportForm form(f.context);
    EXPECT_EQ(form.statusLabel()->text(), QStringLiteral("Printing Status"));
    const ReportOutcome done = form.runReport(run);
    EXPECT_EQ(done.outcome, PageOutput::Outcome::Completed);
    EXPECT_EQ(form.statusLabel()->text(),
              QStringLiteral("Printing Page %1\nReport Completed!").arg(done.pages));
    EXPECT_EQ(form.button()->text(), QStringLiteral("OK"));
    EXPECT_TRUE(form.isVisible());
    QTest::mouseClick(form.button(), Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());

    // Cancel pressed while the first page is produced.
    ReportRun second(f.request(ReportDestination::View).definition,
                     f.request(ReportDestination::View).source, ReportDestination::View);
    TReportForm again(f.context);
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(again.running());
        QTest::mouseClick(again.button(), Qt::LeftButton);
        // Still running: the press only asked the run to stop.
        EXPECT_TRUE(again.isVisible());
    });
    const ReportOutcome cancelled = again.runReport(second);
    EXPECT_EQ(cancelled.outcome, PageOutput::Outcome::Aborted);
    EXPECT_EQ(again.statusLabel()->text(), QStringLiteral("Printing Page 1\nReport Canceled!"));
    EXPECT_EQ(again.button()->text(), QStringLiteral("OK"));
    f.prompter.verifyDone();
}

TEST(ReportForm, CancelledViewRunGivesNoPagesAndClosingTheWindowCancels) {
    Fixture f;
    QTimer::singleShot(0, [] {
        if (auto* w = QApplication::activeModalWidget())
            w->close();
    });
    ReportResult result = generateReport(f.context, nullptr, f.request(ReportDestination::View));
    EXPECT_EQ(result.outcome.outcome, PageOutput::Outcome::Aborted);
    EXPECT_FALSE(result.pages);
    f.prompter.verifyDone();
}

TEST(ReportForm, PrinterRunWithoutPrintersIsRefusedBeforeItStarts) {
    if (anyPrinterInstalled())
        GTEST_SKIP() << "a printer is installed on this machine";
    Fixture f;
    f.prompter.expectMessage(QStringLiteral("Error"),
                             QStringLiteral("No printers are defined, aborting print job."));
    const ReportResult result =
        generateReport(f.context, nullptr, f.request(ReportDestination::Printer));
    EXPECT_FALSE(result.started);
    EXPECT_EQ(f.prompter.lastMessage().icon, MsgIcon::Error);
    f.prompter.verifyDone();
}

TEST(ReportForm, TextFileThatCannotBeWrittenSaysWhyAndKeepsTheOldFile) {
    Fixture f(3);
    // A directory where the file should be: the system refuses to write it.
    const QString target = f.dir.file(QStringLiteral("REPORT.TXT"));
    ASSERT_TRUE(QDir().mkpath(target));
    f.prompter.expectMessage(QStringLiteral("Error"), QString());
    ReportRequest r = f.request(ReportDestination::TextFile, "Short Wide Report");
    r.fileName = target;
    const ReportResult result = generateReport(f.context, nullptr, std::move(r));
    EXPECT_EQ(result.outcome.outcome, PageOutput::Outcome::Failed);
    EXPECT_FALSE(f.prompter.lastMessage().text.isEmpty());
    EXPECT_TRUE(QFileInfo(target).isDir());
    f.prompter.verifyDone();

    // The same request to a good name writes the report and waits for OK.
    r = f.request(ReportDestination::TextFile, "Short Wide Report");
    r.fileName = f.dir.file(QStringLiteral("GOOD.TXT"));
    r.waitForClose = true;
    QString label;
    // Press OK once the run has ended and the window waits for it.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* form = qobject_cast<TReportForm*>(QApplication::activeModalWidget());
        if (!form || form->running())
            return;
        poll.stop();
        label = form->statusLabel()->text();
        QTest::mouseClick(form->button(), Qt::LeftButton);
    });
    poll.start(10);
    EXPECT_EQ(generateReport(f.context, nullptr, std::move(r)).outcome.outcome,
              PageOutput::Outcome::Completed);
    EXPECT_EQ(label, QStringLiteral("Printing Page 1\nReport Completed!"));
    QFile out(f.dir.file(QStringLiteral("GOOD.TXT")));
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_TRUE(out.readAll().contains("Thing 3"));
}

// Start-up makes the report definitions file and says what the old file's conversion lost.
TEST(ReportForm, StartUpPreparesTheReportFileAndReportsTheConversion) {
    TestDir dir;
    AppPaths paths;
    paths.programDir = dir.file("prog");
    paths.settingsDir = dir.file("cfg");
    paths.currentDir = dir.path();
    ASSERT_TRUE(QDir().mkpath(paths.programDir));
    QByteArray home(kHomeRecordSize, '\0');
    home[0] = 3;
    home.replace(1, 3, "Den");
    home[31] = char(120);
    home[86] = 1;
    home[1831] = 5;
    home.replace(1832, 5, "Gizmo"); // no such field
    home[1831 + 32] = char(120);
    QFile f(paths.programDir + "/HOME.URP");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(home);
    f.close();

    ScriptedPrompter prompter;
    prompter.expectMessage(QStringLiteral("Notice"),
                           QStringLiteral("1 report parts converted from HOME.URP name no known "
                                          "field and were left as empty space."));
    TMain w(prompter, paths, {1024, 768});
    ASSERT_TRUE(w.startedUp());
    const QStringList names = ReportFile::inDirectory(paths.programDir).names();
    ASSERT_EQ(names.size(), 9);
    EXPECT_EQ(names.first(), QStringLiteral("Short Narrow Report"));
    EXPECT_EQ(names.last(), QStringLiteral("Den"));
    EXPECT_FALSE(QFile::exists(paths.programDir + "/HOME.URP"));
    w.close();
    prompter.verifyDone();
}
