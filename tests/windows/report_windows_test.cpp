#include "appearance/color_sets.h"
#include "items/database_ops.h"
#include "items/item_schema.h"
#include "mainwindow/main_window.h"
#include "modal_helper.h"
#include "output/page_stream.h"
#include "output/printer_sink.h"
#include "reports/print_dialogs.h"
#include "reports/report_catalogue.h"
#include "reports/report_file.h"
#include "reports/report_form.h"
#include "reports/report_preview.h"
#include "scripted_prompter.h"
#include "session/inventory_session.h"
#include "settings/settings.h"
#include "test_files.h"
#include "ui/window_context.h"

#include "qstring_printer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {
namespace F = item_field;

// Closes the report status window once its run has ended, as the user pressing OK.
void closeStatusWhenDone() {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer] {
        auto* form = qobject_cast<TReportForm*>(QApplication::activeModalWidget());
        if (form && !form->running()) {
            timer->stop();
            timer->deleteLater();
            form->accept();
        }
    });
    timer->start();
}

struct Fixture {
    TestDir dir;
    ScriptedPrompter prompter;
    WindowContext context{prompter};
    InventorySession session;
    std::unique_ptr<TPrintSelect> printers;
    std::unique_ptr<TMyReport> catalogue;

    explicit Fixture(int items = 6) {
        context.screen = QSize(1024, 768);
        session.paths.programDir = dir.path();
        session.paths.currentDir = dir.path();
        EXPECT_TRUE(ReportFile::inDirectory(dir.path()).createIfMissing());
        const QString path = dir.file(QStringLiteral("HOME.DBF"));
        EXPECT_TRUE(MakeNewDB(path, prompter));
        session.items.setPaths(DatabasePaths::forTable(path));
        session.items.open();
        for (int n = 1; n <= kFieldCount; ++n)
            session.db.fieldNames[size_t(n - 1)] = itemField(n)->qLabel();
        session.formats.setCurrent({QLatin1Char('/'), QStringLiteral("mm/dd/yyyy")});
        for (int i = 1; i <= items; ++i) {
            session.items.table().append();
            session.items.setText(F::Item, QStringLiteral("Thing %1").arg(i));
            session.items.setText(F::Category,
                                  i % 3 == 0 ? QStringLiteral("Tools") : QStringLiteral("Books"));
            session.items.setFloating(F::Cost, 10.0 * i);
            session.items.setInteger(F::Quantity, 1);
            session.items.table().post();
        }
        session.items.table().first();
        printers = std::make_unique<TPrintSelect>(session.db.reports,
                                                  session.db.colors(WindowKind::Report), context);
        catalogue = std::make_unique<TMyReport>(session, context, *printers);
    }
    ~Fixture() { prompter.verifyDone(); }

    void searchCategory(const QString& category) {
        ItemTable* items = &session.items;
        session.items.table().setFilter([items, category](const dbase::Table&) {
            return items->text(F::Category) == category;
        });
        session.items.table().refresh();
        session.searchOn = true;
    }
    int visibleItems() {
        int n = 0;
        dbase::Table& t = session.items.table();
        for (t.first(); !t.eof() && !t.isEmpty(); t.next())
            ++n;
        return n;
    }
    int row(const char* name) {
        const auto found =
            catalogue->reportBox()->findItems(QString::fromLatin1(name), Qt::MatchExactly);
        return found.isEmpty() ? -1 : catalogue->reportBox()->row(found.first());
    }
    void showWith(const char* name) {
        session.db.reports.lastReport = row(name);
        show();
    }
    void show() {
        catalogue->show();
        catalogue->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(catalogue.get()));
    }
    QString read(const QString& path) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return QString::fromUtf8(f.readAll());
    }
};

QString pdfText(const QString& pdf) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    EXPECT_TRUE(p.waitForFinished(30000));
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

TEST(ReportCatalogue, ShowingFollowsTheSearchTheSortOrderAndTheRememberedReport) {
    Fixture f;
    EXPECT_EQ(f.catalogue->reportBox()->count(), int(builtInReports().size()));
    f.session.db.sortKeys = {F::Category, F::Item, 0, 0};
    f.session.db.reports.lastReport = 99; // definitions deleted since
    f.show();
    EXPECT_FALSE(f.catalogue->exportSearch()->isEnabled());
    EXPECT_TRUE(f.catalogue->exportEntire()->isChecked());
    EXPECT_EQ(f.catalogue->reportBox()->selectedItems().size(), 0);
    EXPECT_EQ(f.catalogue->sortOrderLabel()->text(), itemField(F::Category)->qLabel() +
                                                         QStringLiteral(", ") +
                                                         itemField(F::Item)->qLabel());
    EXPECT_EQ(QApplication::focusWidget(), f.catalogue->reportBox());

    // Nothing chosen: every run and the menu's View say so, with the beep, and start nothing.
    f.prompter.expectMessage(QStringLiteral("Error"),
                             QStringLiteral("No Report has been selected.  Please choose one."));
    f.prompter.expectMessage(QStringLiteral("Error"),
                             QStringLiteral("No Report has been selected.  Please choose one."));
    QTest::mouseClick(f.catalogue->button("PrintButton"), Qt::LeftButton);
    f.catalogue->action(QStringLiteral("&File/&View"))->trigger();
    EXPECT_EQ(f.prompter.beeps(), 2);
    EXPECT_EQ(f.prompter.seen().back().message.icon, MsgIcon::Warning);

    // The menu's Exit closes the window like the button; the position is kept (-1: none).
    f.catalogue->action(QStringLiteral("&File/E&xit"))->trigger();
    EXPECT_FALSE(f.catalogue->isVisible());
    EXPECT_EQ(f.session.db.reports.lastReport, -1);

    f.searchCategory(QStringLiteral("Tools"));
    f.session.db.sortKeys = {0, 0, 0, 0};
    f.showWith("Full Report");
    EXPECT_TRUE(f.catalogue->exportSearch()->isEnabled());
    EXPECT_TRUE(f.catalogue->exportSearch()->isChecked());
    EXPECT_EQ(f.catalogue->reportBox()->currentItem()->text(), QStringLiteral("Full Report"));
    EXPECT_EQ(f.catalogue->sortOrderLabel()->text(), QStringLiteral("No Sort Order Selected"));
    f.catalogue->close();
    EXPECT_EQ(f.session.db.reports.lastReport, f.row("Full Report"));
}

TEST(ReportCatalogue, EntireDatabaseWhileSearchingCoversEveryItemAndKeepsTheSearch) {
    Fixture f(9);
    f.searchCategory(QStringLiteral("Tools")); // things 3, 6 and 9
    f.showWith("Full Report");
    f.catalogue->exportEntire()->setChecked(true);
    const QString whole = f.dir.file(QStringLiteral("WHOLE.TXT"));
    f.prompter.expectSaveFile(whole);
    closeStatusWhenDone();
    QTest::mouseClick(f.catalogue->button("FileButton"), Qt::LeftButton);
    const FileDialogRequest& asked = f.prompter.seen().back().file;
    EXPECT_EQ(asked.caption, QStringLiteral("Save Report As a Text File"));
    EXPECT_TRUE(asked.confirmOverwrite);
    const QString all = f.read(whole);
    for (int i = 1; i <= 9; ++i)
        EXPECT_TRUE(all.contains(QStringLiteral("Thing %1").arg(i))) << i;
    EXPECT_TRUE(f.session.searchOn);
    EXPECT_EQ(f.visibleItems(), 3);

    // The search result only.
    f.catalogue->exportSearch()->setChecked(true);
    const QString part = f.dir.file(QStringLiteral("PART.TXT"));
    f.prompter.expectSaveFile(part);
    closeStatusWhenDone();
    f.catalogue->FileClick();
    const QString some = f.read(part);
    EXPECT_TRUE(some.contains(QStringLiteral("Thing 6")));
    EXPECT_FALSE(some.contains(QStringLiteral("Thing 5")));

    // Cancelled in the save dialog: no run, no message, no file.
    f.prompter.expectSaveFile(std::nullopt);
    f.catalogue->FileClick();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// Print To File replaces the file it is given: never the open table, its lists or the reports.
TEST(ReportCatalogue, PrintToFileRefusesTheProgramsOwnFiles) {
    Fixture f;
    f.showWith("Full Report");
    const QString table = f.dir.file(QStringLiteral("HOME.DBF"));
    const QString definitions = ReportFile::inDirectory(f.dir.path()).path();
    const QString list = f.dir.file(QStringLiteral("HOME.001"));
    QFile(list).open(QIODevice::WriteOnly);
    const QString tableBytes = f.read(table);
    const QString reportBytes = f.read(definitions);
    // Were a run to start, its status window is closed when it ends, as the user would.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        auto* form = qobject_cast<TReportForm*>(QApplication::activeModalWidget());
        if (form && !form->running())
            form->accept();
    });
    closer.start(10);
    for (const QString& target : {table, definitions, list}) {
        f.prompter.expectSaveFile(target).expectMessage(
            QStringLiteral("Error"),
            QStringLiteral("The file %1 holds this program's own data.  Choose another name for "
                           "the report.")
                .arg(target));
        QTest::mouseClick(f.catalogue->button("FileButton"), Qt::LeftButton);
    }
    // Nor does the preview's Save as PDF.
    f.catalogue->setPreviewHook([&](TMyPreview& preview) {
        f.prompter.expectSaveFile(table).expectMessage(
            QStringLiteral("Error"),
            QStringLiteral("The file %1 holds this program's own data.  Choose another name for "
                           "the report.")
                .arg(table));
        preview.saveAsPdf();
    });
    f.catalogue->ViewClick();
    EXPECT_TRUE(f.read(table) == tableBytes);
    EXPECT_TRUE(f.read(definitions) == reportBytes);
    EXPECT_TRUE(f.read(list).isEmpty());
    // The table is still the open database and takes a new item.
    f.session.items.table().append();
    f.session.items.setText(F::Item, QStringLiteral("After"));
    f.session.items.table().post();
    EXPECT_EQ(f.visibleItems(), 7);
}

TEST(ReportCatalogue, MissingReportFileIsReportedAndNothingRuns) {
    Fixture f;
    f.showWith("Full Report");
    QFile::remove(ReportFile::inDirectory(f.dir.path()).path());
    f.prompter.expectMessage(QStringLiteral("Error"),
                             QStringLiteral("Report format could not be located."));
    f.catalogue->ViewClick();
    EXPECT_EQ(f.prompter.beeps(), 1);
    EXPECT_EQ(QApplication::focusWidget(), f.catalogue->reportBox());
}

TEST(ReportCatalogue, PrintingWithNoPrinterSaysSoAndRunsNothing) {
    if (anyPrinterInstalled())
        GTEST_SKIP() << "a printer is installed";
    Fixture f;
    f.showWith("Full Report");
    f.prompter.expectMessage(QStringLiteral("Error"), kNoPrinters);
    f.catalogue->PrintClick();
}

// The preview draws the pages a View run recorded; a PDF of the same report printed from the
// catalogue has as many pages and the same text.
TEST(ReportCatalogue, ViewedPagesMatchThePrintedPdf) {
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    Fixture f(120);
    f.showWith("Full Report");
    int pages = 0;
    QStringList texts;
    QImage first;
    const QString saved = f.dir.file(QStringLiteral("SAVED.PDF"));
    f.catalogue->setPreviewHook([&](TMyPreview& preview) {
        preview.show();
        pages = preview.pageLabel()->text().section(QLatin1Char(' '), 3).toInt();
        EXPECT_EQ(preview.pageLabel()->text(), QStringLiteral("Page 1 of %1").arg(pages));
        EXPECT_EQ(preview.windowTitle(), QStringLiteral("Full Report"));
        first = preview.pageView()->grab().toImage();
        f.prompter.expectSaveFile(saved);
        preview.saveAsPdf();
        preview.close();
    });
    closeStatusWhenDone();
    f.catalogue->ViewClick();
    ASSERT_GT(pages, 1);
    // Something was drawn on the white page.
    int dark = 0;
    for (int y = 0; y < first.height(); y += 2)
        for (int x = 0; x < first.width(); x += 2)
            dark += qGray(first.pixel(x, y)) < 128;
    EXPECT_GT(dark, 100);

    const QString printed = f.dir.file(QStringLiteral("PRINTED.PDF"));
    f.prompter.expectSaveFile(printed);
    closeStatusWhenDone();
    f.catalogue->FileClick();
    const QString fromRun = pdfText(printed);
    const QString fromPreview = pdfText(saved);
    EXPECT_EQ(fromRun.count(QLatin1Char('\f')), pages);
    EXPECT_EQ(fromPreview.count(QLatin1Char('\f')), pages);
    EXPECT_EQ(fromRun, fromPreview);
    for (int i : {1, 60, 120})
        EXPECT_TRUE(fromRun.contains(QStringLiteral("Thing %1").arg(i))) << i;
}

namespace {
struct PreviewFixture {
    ScriptedPrompter prompter;
    WindowContext context{prompter};
    ReportSettings settings;
    ColorSet colors;
    PageStream pages;
    std::vector<std::pair<int, int>> printed;
    std::unique_ptr<TMyPreview> preview;

    explicit PreviewFixture(int count) {
        for (int n = 1; n <= count; ++n) {
            RecordedPage page;
            page.setFont(pages.fontIndex(OutputFont{}));
            page.text(720, 720, QStringLiteral("Page text %1").arg(n));
            pages.addPage(std::move(page));
        }
        settings.viewingWindowLeft = 30;
        settings.viewingWindowTop = 40;
        preview =
            std::make_unique<TMyPreview>(pages, QStringLiteral("Mine"), settings, colors, context);
        preview->setPrintFunction([this](int first, int last, QString*) {
            printed.emplace_back(first, last);
            return true;
        });
    }
    ~PreviewFixture() { prompter.verifyDone(); }
    void click(const char* name) { QTest::mouseClick(preview->toolButton(name), Qt::LeftButton); }
    void type(QLineEdit* edit, const QString& text) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }
};
} // namespace

TEST(ReportPreview, ZoomIsClampedAndShownWithOneDecimal) {
    PreviewFixture p(1);
    p.preview->show();
    EXPECT_EQ(p.preview->zoomEdit()->text(), QStringLiteral("100.0"));
    const int width100 = p.preview->pageView()->width();
    p.type(p.preview->zoomEdit(), QStringLiteral("15"));
    p.click("SBZoomOut");
    EXPECT_EQ(p.preview->zoom(), 10.0);
    EXPECT_EQ(p.preview->zoomEdit()->text(), QStringLiteral("10.0"));
    EXPECT_NEAR(p.preview->pageView()->width(), width100 / 10.0, 1.0);
    p.type(p.preview->zoomEdit(), QStringLiteral("195"));
    p.click("SBZoomIn");
    EXPECT_EQ(p.preview->zoom(), 200.0);
    p.preview->action(QStringLiteral("&View/Zoom &Out/1 : &3"))->trigger();
    EXPECT_EQ(p.preview->zoomEdit()->text(), QStringLiteral("33.3"));
    // Not a number: nothing changes; out of range: clamped.
    p.type(p.preview->zoomEdit(), QStringLiteral("abc"));
    EXPECT_EQ(p.preview->zoomEdit()->text(), QStringLiteral("33.3"));
    p.type(p.preview->zoomEdit(), QStringLiteral("900"));
    EXPECT_EQ(p.preview->zoom(), 200.0);

    // Whole page fits the scroll box both ways; page width fills its width.
    p.click("SBZoomPage");
    const QSize box = p.preview->scrollBox()->maximumViewportSize();
    EXPECT_LE(p.preview->pageView()->width(), box.width());
    EXPECT_LE(p.preview->pageView()->height(), box.height());
    p.click("SBZoomPageWidth");
    EXPECT_LE(p.preview->pageView()->width(), box.width());
    EXPECT_GE(p.preview->pageView()->width(), box.width() - 30);
}

TEST(ReportPreview, PagesStepWithinTheReportAndColourIsCheckedFromTheStart) {
    PreviewFixture p(3);
    p.preview->show();
    EXPECT_EQ(p.preview->pageLabel()->text(), QStringLiteral("Page 1 of 3"));
    p.click("SBPrevPage");
    EXPECT_EQ(p.preview->currentPage(), 1);
    p.preview->action(QStringLiteral("&Navigate/&Last Page"))->trigger();
    p.click("SBNextPage");
    EXPECT_EQ(p.preview->pageLabel()->text(), QStringLiteral("Page 3 of 3"));
    p.type(p.preview->pageEdit(), QStringLiteral("2"));
    EXPECT_EQ(p.preview->pageLabel()->text(), QStringLiteral("Page 2 of 3"));
    p.type(p.preview->pageEdit(), QStringLiteral("7"));
    EXPECT_EQ(p.preview->currentPage(), 2);
    EXPECT_EQ(p.preview->pageEdit()->text(), QStringLiteral("2"));

    QAction* color = p.preview->action(QStringLiteral("&View/Use Color"));
    EXPECT_TRUE(color->isChecked());
    color->trigger();
    EXPECT_FALSE(color->isChecked());
    EXPECT_FALSE(p.preview->colorInUse());
    color->trigger();
    EXPECT_TRUE(color->isChecked() && p.preview->colorInUse());

    // The window's place is taken from the settings and kept on Done.
    EXPECT_EQ(p.preview->x(), 30);
    p.preview->move(50, 60);
    p.preview->resize(900, 600);
    p.click("SBDone");
    EXPECT_FALSE(p.preview->isVisible());
    EXPECT_EQ(p.settings.viewingWindowLeft, 50);
    EXPECT_EQ(p.settings.viewingWindowTop, 60);
    EXPECT_EQ(p.settings.viewingWindowWidth, 900);
    EXPECT_EQ(p.settings.viewingWindowHeight, 600);
}

TEST(ReportPreview, PrintingPagesARangeAndAJobStillRunning) {
    PreviewFixture p(5);
    p.preview->show();
    p.preview->goToPage(4);
    p.click("SBPrint");
    p.preview->action(QStringLiteral("&File/Print &Report"))->trigger();
    EXPECT_EQ(p.printed, (std::vector<std::pair<int, int>>{{4, 4}, {1, 5}}));

    // The range dialog refuses what no page has, and keeps the focus in the box to correct.
    p.prompter.expectMessage(QStringLiteral("Error"),
                             QStringLiteral("Invalid Ending Page specified.  Please correct."));
    p.prompter.expectMessage(QStringLiteral("Error"),
                             QStringLiteral("Invalid Starting Page specified. Please correct."));
    QTimer::singleShot(0, [&p] {
        auto* range = qobject_cast<TPrintRange*>(QApplication::activeModalWidget());
        ASSERT_TRUE(range);
        EXPECT_EQ(range->windowTitle(), QStringLiteral("Page Printing"));
        EXPECT_EQ(range->startPage()->text(), QStringLiteral("1"));
        EXPECT_EQ(range->endPage()->text(), QStringLiteral("5"));
        EXPECT_EQ(range->startPage()->maxLength(), 3);
        auto* print = range->findChild<QPushButton*>(QStringLiteral("PrintButton"));
        range->startPage()->setText(QStringLiteral(" 2 "));
        range->endPage()->setText(QStringLiteral("1"));
        QTest::mouseClick(print, Qt::LeftButton);
        EXPECT_TRUE(range->isVisible());
        EXPECT_EQ(range->focusWidget(), range->endPage());
        range->startPage()->setText(QStringLiteral("x"));
        QTest::mouseClick(print, Qt::LeftButton);
        EXPECT_EQ(range->focusWidget(), range->startPage());
        range->startPage()->setText(QStringLiteral("2"));
        range->endPage()->setText(QStringLiteral("5"));
        QTest::mouseClick(print, Qt::LeftButton);
    });
    p.preview->printRange();
    EXPECT_EQ(p.printed.back(), std::make_pair(2, 5));

    // A print command while a job from this window still runs is refused.
    p.prompter.expectMessage(
        QStringLiteral("Error"),
        QStringLiteral("Previous print job has not yet finished.  Try again later."));
    p.preview->setPrintFunction([&p](int first, int last, QString*) {
        p.printed.emplace_back(first, last);
        p.preview->printReport(); // while this job is still going
        return true;
    });
    p.preview->printPage();
    EXPECT_EQ(p.printed.back(), std::make_pair(4, 4));
}

// A report of more than 999 pages offers its whole range, and its last page can be typed.
TEST(ReportPreview, RangeOfAThousandPagesOrMoreIsNotCutShort) {
    ScriptedPrompter prompter;
    WindowContext context{prompter};
    ColorSet colors;
    TPrintRange range(1243, colors, context);
    range.show();
    EXPECT_EQ(range.endPage()->text(), QStringLiteral("1243"));
    range.startPage()->clear();
    QTest::keyClicks(range.startPage(), QStringLiteral("1200"));
    EXPECT_EQ(range.startPage()->text(), QStringLiteral("1200"));
    QTest::mouseClick(range.findChild<QPushButton*>(QStringLiteral("PrintButton")), Qt::LeftButton);
    EXPECT_TRUE(range.requested());
    EXPECT_EQ(range.first(), 1200);
    EXPECT_EQ(range.last(), 1243);
}

TEST(ReportPreview, WithNoPrinterThePrintCommandsSaySo) {
    if (anyPrinterInstalled())
        GTEST_SKIP() << "a printer is installed";
    ScriptedPrompter prompter;
    WindowContext context{prompter};
    ReportSettings settings;
    ColorSet colors;
    PageStream pages;
    pages.addPage(RecordedPage());
    TMyPreview preview(pages, QStringLiteral("Mine"), settings, colors, context);
    prompter.expectMessage(QStringLiteral("Error"), kNoPrinters);
    preview.printPage();
    prompter.verifyDone();
}

TEST(ReportDialogs, InsuranceStoresOnTheCloseBoxAndPrinterChoiceOnOkOnly) {
    ScriptedPrompter prompter;
    WindowContext context{prompter};
    ReportSettings settings;
    ColorSet colors;
    settings.insuranceCompany = QStringLiteral("Acme Mutual");
    settings.printPolicyNumber = true;
    TMyInsurance insurance(settings, colors, context);
    insurance.show();
    EXPECT_EQ(insurance.company()->text(), QStringLiteral("Acme Mutual"));
    EXPECT_TRUE(insurance.printPolicy()->isChecked());
    EXPECT_EQ(insurance.policy()->maxLength(), 20);
    insurance.yourName()->setText(QStringLiteral(" Pat Jones "));
    insurance.printStatement()->setChecked(true);
    insurance.printPolicy()->setChecked(false);
    insurance.close(); // the close box
    EXPECT_EQ(settings.yourName, QStringLiteral(" Pat Jones "));
    EXPECT_TRUE(settings.printStatement);
    EXPECT_FALSE(settings.printPolicyNumber);

    settings.defaultPrinter = false;
    settings.printerIndex = 5;
    TPrintSelect select(settings, colors, context);
    select.show();
    EXPECT_TRUE(select.otherPrinter()->isChecked());
    EXPECT_EQ(select.printerList()->count(), installedPrinters().size());
    select.defaultPrinter()->setChecked(true);
    QTest::mouseClick(select.findChild<QPushButton*>(QStringLiteral("CancelButton")),
                      Qt::LeftButton);
    EXPECT_FALSE(settings.defaultPrinter);
    select.show();
    select.defaultPrinter()->setChecked(true);
    QTest::mouseClick(select.findChild<QPushButton*>(QStringLiteral("OkButton")), Qt::LeftButton);
    EXPECT_TRUE(settings.defaultPrinter);
    EXPECT_EQ(settings.printerIndex, select.printerList()->currentIndex());

    // A chosen printer that is gone: the default printer, never an index past the list.
    settings.defaultPrinter = false;
    settings.printerIndex = 40;
    if (anyPrinterInstalled())
        prompter.expectMessage(QStringLiteral("Printer Selection"), QString());
    const PrinterChoice c = select.choice();
    EXPECT_TRUE(c.useDefault);
    EXPECT_TRUE(settings.defaultPrinter);
    prompter.verifyDone();
}

// Print, Reports, the speed button and the lettered button all open the one report list,
// made at start-up, with the built-in reports.
// On a dark colour set the captions of the small report dialogs take the title colour, so
// they do not vanish black on black.
TEST(ReportDialogs, CaptionsStayReadableOnADarkColourSet) {
    ScriptedPrompter prompter;
    WindowContext context{prompter};
    ReportSettings settings;
    ColorSet colors;
    SetBlackKnight(colors);
    const QColor title = toQColor(colors[ColorSet::MinorTitle]);
    const auto textOf = [](QWidget& dialog, const char* name) {
        auto* l = dialog.findChild<QLabel*>(QString::fromLatin1(name));
        return l ? l->palette().color(QPalette::Active, QPalette::WindowText) : QColor();
    };
    TMyInsurance insurance(settings, colors, context);
    insurance.show();
    for (const char* name : {"Label1", "Label2", "Label3"})
        EXPECT_EQ(textOf(insurance, name), title) << name;
    TPrintRange range(3, colors, context);
    range.show();
    for (const char* name : {"Label1", "Label2"})
        EXPECT_EQ(textOf(range, name), title) << name;
}

TEST(ReportCatalogue, MainWindowCommandsOpenTheReportList) {
    TestDir dir;
    AppPaths paths;
    paths.programDir = dir.file("prog");
    paths.settingsDir = dir.file("cfg");
    paths.currentDir = dir.path();
    {
        ScriptedPrompter first;
        TMain w(first, paths, {1024, 768});
        w.session().global.showTips = false;
        w.close();
    }
    ScriptedPrompter prompter;
    TMain w(prompter, paths, {1024, 768});
    w.show();
    ASSERT_NE(w.reports(), nullptr);
    ASSERT_NE(w.printSelect(), nullptr);
    EXPECT_EQ(w.reports()->reportBox()->count(), int(builtInReports().size()));
    w.action("&Options/&Screen Access/&Lettered Buttons")->trigger();
    int opened = 0;
    const auto expectList = [&] {
        whenModalShown([&](QWidget* modal) {
            EXPECT_EQ(modal, w.reports());
            ++opened;
        });
    };
    expectList();
    w.action("&File/&Print")->trigger();
    expectList();
    w.action("Navi&gate/&Reports")->trigger();
    expectList();
    QTest::mouseClick(w.letteredButton("ReportButton"), Qt::LeftButton);
    w.action("&Options/&Screen Access/&Speed Buttons")->trigger();
    expectList();
    QTest::mouseClick(w.speedButton("ReportSpeed"), Qt::LeftButton);
    EXPECT_EQ(opened, 4);
    w.close();
}

// A new database has no items yet: the report still runs, to one page, and nothing is said.
TEST(ReportCatalogue, EmptyTableViewsOnePage) {
    Fixture f(0);
    f.showWith("Full Report");
    QString label;
    f.catalogue->setPreviewHook([&](TMyPreview& preview) {
        label = preview.pageLabel()->text();
        preview.close();
    });
    closeStatusWhenDone();
    f.catalogue->ViewClick();
    EXPECT_EQ(label, QStringLiteral("Page 1 of 1"));
}
