#include "items/database_ops.h"
#include "items/item_schema.h"
#include "reports/print_dialogs.h"
#include "reports/report_catalogue.h"
#include "reports/report_design_rules.h"
#include "reports/report_designer.h"
#include "reports/report_file.h"
#include "reports/report_form.h"
#include "reports/report_layout.h"
#include "scripted_prompter.h"
#include "session/inventory_session.h"
#include "test_files.h"
#include "ui/window_context.h"

#include "qstring_printer.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {
namespace F = item_field;

// Runs `act` on the next modal window of type T, from the event loop of whoever shows it;
// a window the act left open is cancelled, and one that never came fails the test.
template <class T> void onModal(std::function<void(T&)> act) {
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, act] {
        auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
        if (window && window->isVisible()) {
            timer->stop();
            act(*window);
            if (window->isVisible())
                static_cast<QDialog*>(window)->reject();
        } else if (clock->elapsed() > 5000) {
            timer->stop();
            ADD_FAILURE() << "no " << T::staticMetaObject.className() << " was shown";
        } else {
            return;
        }
        timer->deleteLater();
        delete clock;
    });
    timer->start(10);
}

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

// Goes to the box, as the user's Tab would, and replaces its text.
void typeInto(QLineEdit* box, const QString& text) {
    box->setFocus(Qt::TabFocusReason);
    box->selectAll();
    box->setText(text);
}

// Clicks the middle of a part's cell in the drawn layout.
void clickPart(TRepLayout& layout, int line, int part, int chars) {
    const LayoutGeometry g = layout.geometry();
    const bool totals = line == kTotalsLineNumber;
    const ReportLine& l =
        totals ? layout.definition().totals : layout.definition().body[std::size_t(line - 1)];
    const std::vector<int> edges = cellRightEdges(l, chars, g);
    const int left = part == 1 ? g.left : edges[std::size_t(part - 2)];
    const int top = totals ? g.totalsTop : g.bodyTop + (line - 1) * g.rowHeight;
    QTest::mouseClick(&layout, Qt::LeftButton, {},
                      {(left + edges[std::size_t(part - 1)]) / 2, top + g.rowHeight / 2});
}

// Sets one part through the part window, which the click on its cell opens.
void setPart(TRepLayout& layout, int line, int part, int chars, PartKind kind, const QString& width,
             int field = -1, const QString& label = {}) {
    bool shown = false;
    onModal<TReportPart>([&](TReportPart& w) {
        shown = true;
        EXPECT_EQ(w.selPartLabel()->text(),
                  line == kTotalsLineNumber
                      ? QStringLiteral("Totals Line, Item %1").arg(part)
                      : QStringLiteral("Line %1, Item %2").arg(line).arg(part));
        (kind == PartKind::Label   ? w.radioLabel()
         : kind == PartKind::Field ? w.radioField()
                                   : w.radioFiller())
            ->click();
        if (field >= 0)
            w.fieldList()->setCurrentRow(field);
        if (!label.isEmpty())
            typeInto(w.labelName(), label);
        typeInto(w.fieldWidth(), width);
        QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("OkButton")), Qt::LeftButton);
        EXPECT_FALSE(w.isVisible());
    });
    clickPart(layout, line, part, chars);
    EXPECT_TRUE(shown);
}

struct Fixture {
    TestDir dir;
    ScriptedPrompter prompter;
    WindowContext context{prompter};
    InventorySession session;
    std::unique_ptr<TPrintSelect> printers;
    std::unique_ptr<TMyReport> catalogue;

    Fixture() {
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
        session.db.fieldNames[F::Item - 1] = QStringLiteral("What");
        for (int i = 1; i <= 6; ++i) {
            session.items.table().append();
            session.items.setText(F::Item, QStringLiteral("Thing %1").arg(i));
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

    ReportFile file() const { return ReportFile::inDirectory(dir.path()); }
    QStringList names() const { return file().names(); }
    void showWith(int row) {
        session.db.reports.lastReport = row;
        catalogue->show();
        catalogue->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(catalogue.get()));
    }
    QString selected() const {
        QListWidgetItem* item = catalogue->reportBox()->currentItem();
        return item && item->isSelected() ? item->text() : QString();
    }
};

// Focus moves, and with them the boxes' exits, only within the active window.
void activate(QWidget& w) {
    w.activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&w] { return QApplication::activeWindow() == &w; }));
}

} // namespace

// New Report, laid out through the layout and part windows, saved by Update, read back from
// TWKINV.URP and printed to a text file.
TEST(ReportDesigner, NewReportDesignedSavedReadBackAndPrinted) {
    Fixture f;
    f.showWith(0);
    onModal<TUserReport>([&](TUserReport& d) {
        activate(d);
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Report Definition"));
        EXPECT_EQ(d.focusWidget(), d.lineEdit("ReportName"));
        EXPECT_FALSE(d.button("DeleteButton")->isEnabled());
        EXPECT_TRUE(d.radioButton("Chars90")->isChecked());
        EXPECT_EQ(d.lineEdit("TopMargin")->text(), QStringLiteral("0.50"));
        EXPECT_EQ(d.lineEdit("TitleLineFont")->text(), QStringLiteral("Courier New 10pt"));
        EXPECT_TRUE(d.checkBox("VertLines")->isChecked());

        QTest::keyClicks(d.lineEdit("ReportName"), QStringLiteral("Garage Tools"));
        typeInto(d.lineEdit("Title1"), QStringLiteral("  The Garage "));
        d.checkBox("Level1Group")->click(); // no grouping
        EXPECT_FALSE(d.checkBox("Level2Group")->isEnabled());
        typeInto(d.lineEdit("LeftMargin"), QStringLiteral("0.75"));
        f.prompter.expectMessage(
            QStringLiteral("Notice"),
            QStringLiteral("The Report Body font size has been set to a 8 Point default size as."));
        QTest::mouseClick(d.radioButton("Chars120"), Qt::LeftButton);
        EXPECT_EQ(d.lineEdit("RepBodyDataFont")->text(), QStringLiteral("Courier New 8pt"));

        onModal<TRepLayout>([&](TRepLayout& layout) {
            EXPECT_EQ(layout.reportNameLabel()->text(), QStringLiteral("Report: Garage Tools"));
            EXPECT_TRUE(layout.bodyHeading()->isVisible());
            setPart(layout, 1, 1, 120, PartKind::Label, QStringLiteral("6"), -1,
                    QStringLiteral("Item:"));
            setPart(layout, 1, 2, 120, PartKind::Field, QStringLiteral("40"), F::Item - 1);
            setPart(layout, 1, 3, 120, PartKind::Field, QStringLiteral("0"), F::Cost - 1);
            setPart(layout, kTotalsLineNumber, 1, 120, PartKind::Label, QStringLiteral("52"), -1,
                    QStringLiteral("Total:"));
            setPart(layout, kTotalsLineNumber, 2, 120, PartKind::Field, QStringLiteral("0"),
                    TotalCost - 1);
            QTest::mouseClick(layout.findChild<QPushButton*>(QStringLiteral("OkButton")),
                              Qt::LeftButton);
        });
        QTest::mouseClick(d.button("SpecifyButton"), Qt::LeftButton);
        QTest::mouseClick(d.button("UpdateButton"), Qt::LeftButton);
        EXPECT_FALSE(d.isVisible());
    });
    QTest::mouseClick(f.catalogue->button("NewButton"), Qt::LeftButton);

    // Appended, listed and selected.
    ASSERT_EQ(f.names().size(), 9);
    EXPECT_EQ(f.catalogue->reportBox()->count(), 9);
    EXPECT_EQ(f.selected(), QStringLiteral("Garage Tools"));
    const auto saved = f.file().read(8);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->name, QStringLiteral("Garage Tools"));
    EXPECT_EQ(saved->titles[0], QStringLiteral("The Garage"));
    EXPECT_EQ(saved->charsPerLine, 120);
    EXPECT_EQ(saved->fonts[BodyFont].size, 8);
    EXPECT_DOUBLE_EQ(saved->leftMargin, 0.75);
    EXPECT_FALSE(saved->level1Group);
    const ReportLine& line = saved->body[0];
    EXPECT_EQ(line.usedParts(), 3);
    EXPECT_EQ(line.parts[0].label, QStringLiteral("Item:"));
    EXPECT_EQ(line.parts[1].kind, QStringLiteral("Item"));
    EXPECT_EQ(line.parts[1].fieldNumber, F::Item);
    EXPECT_EQ(line.parts[2].kind, QStringLiteral("Cost"));
    EXPECT_EQ(line.parts[2].width, 74);
    EXPECT_EQ(saved->totals.parts[1].fieldNumber, int(TotalCost));
    EXPECT_EQ(saved->totals.parts[1].width, 68);

    const QString out = f.dir.file(QStringLiteral("GARAGE.TXT"));
    f.prompter.expectSaveFile(out);
    closeStatusWhenDone();
    f.catalogue->FileClick();
    QFile text(out);
    ASSERT_TRUE(text.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(text.readAll()).split(QLatin1Char('\n'));
    EXPECT_EQ(lines.value(0), QStringLiteral("The Garage"));
    const QString first = QStringLiteral(" Item:") + QStringLiteral("Thing 1").leftJustified(40);
    EXPECT_EQ(lines.filter(first).size(), 1) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(lines.filter(first).value(0).contains(QStringLiteral("10.00")));
    const QStringList totals = lines.filter(QStringLiteral("Total:"));
    ASSERT_EQ(totals.size(), 2); // TOTALS and GRAND TOTALS
    EXPECT_TRUE(totals[0].startsWith(QStringLiteral("Total:").rightJustified(52)));
    EXPECT_TRUE(totals[0].contains(QStringLiteral("210.00")));
}

TEST(ReportDesigner, ModifyAsksAboutAChangedNameAndDeleteFollowsTheOpeningName) {
    Fixture f;
    const int warranty = int(f.names().indexOf(QStringLiteral("Warranty Report")));
    const QString changed =
        QStringLiteral("Report Title has changed!  Do you wish to save this as a new report?   "
                       "(YES saves as new report.  NO overwrites old report.  CANCEL aborts.)");
    f.showWith(warranty);
    onModal<TUserReport>([&](TUserReport& d) {
        activate(d);
        QLineEdit* name = d.lineEdit("ReportName");
        EXPECT_EQ(name->text(), QStringLiteral("Warranty Report"));
        EXPECT_TRUE(d.button("DeleteButton")->isEnabled());
        EXPECT_FALSE(d.checkBox("UseTotals")->isChecked());
        // Leaving the name box decides whether Delete applies.
        typeInto(name, QStringLiteral("Warranty List"));
        d.lineEdit("Title1")->setFocus(Qt::TabFocusReason);
        EXPECT_FALSE(d.button("DeleteButton")->isEnabled());
        name->setFocus(Qt::TabFocusReason);
        typeInto(name, QStringLiteral(" Warranty Report "));
        d.lineEdit("Title1")->setFocus(Qt::TabFocusReason);
        EXPECT_TRUE(d.button("DeleteButton")->isEnabled());

        // Cancel in the question: still open, nothing written; No: overwritten in place.
        typeInto(name, QStringLiteral("Warranty List"));
        f.prompter.expectMessage(QStringLiteral("Warning"), changed, MsgButton::Cancel);
        QTest::mouseClick(d.button("UpdateButton"), Qt::LeftButton);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(f.names().value(warranty), QStringLiteral("Warranty Report"));
        EXPECT_EQ(f.prompter.lastMessage().buttons,
                  MsgButton::Yes | MsgButton::No | static_cast<unsigned>(MsgButton::Cancel));
        f.prompter.expectMessage(QStringLiteral("Warning"), changed, MsgButton::No);
        QTest::mouseClick(d.button("UpdateButton"), Qt::LeftButton);
        EXPECT_FALSE(d.isVisible());
    });
    f.catalogue->ModifyClick();
    EXPECT_EQ(f.names().size(), 8);
    EXPECT_EQ(f.names().value(warranty), QStringLiteral("Warranty List"));
    EXPECT_EQ(f.selected(), QStringLiteral("Warranty List"));
    EXPECT_EQ(f.file().read(warranty)->body[0], builtInReports()[std::size_t(warranty)].body[0]);

    // Yes: saved as a new report at the end, the old one kept.
    onModal<TUserReport>([&](TUserReport& d) {
        typeInto(d.lineEdit("ReportName"), QStringLiteral("Warranty Copy"));
        f.prompter.expectMessage(QStringLiteral("Warning"), changed, MsgButton::Yes);
        d.UpdateButtonClick();
    });
    f.catalogue->action(QStringLiteral("&Options/&Modify Report"))->trigger();
    ASSERT_EQ(f.names().size(), 9);
    EXPECT_EQ(f.names().value(warranty), QStringLiteral("Warranty List"));
    EXPECT_EQ(f.selected(), QStringLiteral("Warranty Copy"));

    // Delete asks, No default; No keeps the report, Yes removes it and the list follows.
    const QString sure = QStringLiteral("Are you sure you want to delete this report?");
    onModal<TUserReport>([&](TUserReport& d) {
        f.prompter.expectMessage(QStringLiteral("Warning"), sure, MsgButton::No);
        QTest::mouseClick(d.button("DeleteButton"), Qt::LeftButton);
        EXPECT_EQ(f.prompter.lastMessage().defaultButton, MsgButton::No);
        EXPECT_TRUE(d.isVisible());
        f.prompter.expectMessage(QStringLiteral("Warning"), sure, MsgButton::Yes);
        QTest::mouseClick(d.button("DeleteButton"), Qt::LeftButton);
        EXPECT_FALSE(d.isVisible());
    });
    QTest::mouseClick(f.catalogue->button("ModifyButton"), Qt::LeftButton);
    EXPECT_EQ(f.names().size(), 8);
    EXPECT_FALSE(f.names().contains(QStringLiteral("Warranty Copy")));
    EXPECT_EQ(f.catalogue->reportBox()->count(), 8);
    EXPECT_EQ(f.selected(), QString());
    EXPECT_EQ(QFileInfo(f.file().path()).size(), 8 * kReportRecordSize);

    // Modify with nothing chosen says so and opens nothing.
    f.prompter.expectMessage(QStringLiteral("Error"),
                             QStringLiteral("No Report has been selected.  Please choose one."));
    f.catalogue->ModifyClick();
}

TEST(ReportDesigner, DeleteByItsKeyWithTheNameStillBeingTypedFollowsTheNewName) {
    Fixture f;
    const int warranty = int(f.names().indexOf(QStringLiteral("Warranty Report")));
    QFile file(f.file().path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    f.showWith(warranty);
    onModal<TUserReport>([&](TUserReport& d) {
        activate(d);
        QLineEdit* name = d.lineEdit("ReportName");
        ASSERT_EQ(d.focusWidget(), name);
        name->selectAll();
        // Renamed to another report's name and Alt+D pressed without leaving the box: the
        // report in the file is not the one the box names, so nothing is offered for deletion.
        QTest::keyClicks(name, QStringLiteral("Medium Report"));
        QTest::keyClick(name, Qt::Key_D, Qt::AltModifier);
        QTest::qWait(300); // a button's key clicks it a moment later
        EXPECT_TRUE(d.isVisible());
        EXPECT_FALSE(d.button("DeleteButton")->isEnabled());
        EXPECT_EQ(d.focusWidget(), name);
    });
    f.catalogue->ModifyClick();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
}

// The definition window's switches and checks, on a definition the catalogue would hand it.
TEST(ReportDesigner, WidthSwitchesFontsAndRefusalsChangeNothingOnDisk) {
    Fixture f;
    ReportDefinition def = ReportDefinition::newUserDefinition();
    def.numLines = 2;
    TUserReport d(def, f.dir.path(), std::nullopt, f.session.db.fieldNames,
                  f.session.db.colors(WindowKind::Report), f.context);
    d.show();
    activate(d);
    EXPECT_FALSE(d.checkBox("ColumnHeaders")->isEnabled());
    EXPECT_FALSE(d.checkBox("HorzLines")->isEnabled());
    typeInto(d.lineEdit("NumLines"), QStringLiteral(" 1"));
    d.lineEdit("Title2")->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(d.lineEdit("NumLines")->text(), QStringLiteral("1"));
    EXPECT_TRUE(d.checkBox("VertLines")->isEnabled());

    // 150 tells; going back to 90 asks first, and No keeps 150 as it was.
    f.prompter.expectMessage(QStringLiteral("Notice"), QString());
    QTest::mouseClick(d.radioButton("Chars150"), Qt::LeftButton);
    EXPECT_EQ(def.charsPerLine, 150);
    EXPECT_EQ(d.lineEdit("RepBodyDataFont")->text(), QStringLiteral("Courier New 6pt"));
    f.prompter.expectMessage(QStringLiteral("Warning"), charsSwitch(150, 90).question,
                             MsgButton::No);
    QTest::mouseClick(d.radioButton("Chars90"), Qt::LeftButton);
    EXPECT_TRUE(d.radioButton("Chars150")->isChecked());
    EXPECT_EQ(def.charsPerLine, 150);
    EXPECT_EQ(def.fonts[BodyFont].size, 6);
    EXPECT_EQ(f.prompter.lastMessage().defaultButton, MsgButton::No);
    EXPECT_EQ(f.prompter.lastMessage().icon, MsgIcon::Error);
    QTest::mouseClick(d.radioButton("Chars150"), Qt::LeftButton); // the current width: nothing

    // Fonts: a chosen font shows at once in both windows; a cancelled dialog changes nothing.
    onModal<TReportFonts>([&](TReportFonts& fonts) {
        EXPECT_EQ(fonts.fontBox(BodyFont)->text(), QStringLiteral("Courier New 6pt"));
        QFont chosen(QStringLiteral("DejaVu Serif"));
        chosen.setPointSize(9);
        chosen.setItalic(true);
        f.prompter.expectFont(chosen, QColor(Qt::red));
        QTest::mouseClick(fonts.findChild<QPushButton*>(QStringLiteral("BodyFontButton")),
                          Qt::LeftButton);
        EXPECT_EQ(fonts.fontBox(BodyFont)->text(), QStringLiteral("DejaVu Serif 9pt"));
        // The dialog offered the font's own colour, and the chosen one is kept.
        EXPECT_EQ(f.prompter.seen().back().fontColor, QColor(Qt::black));
        EXPECT_EQ(def.fonts[BodyFont].color, 0x0000FFu); // red in the low byte
        f.prompter.expectFont(std::nullopt);
        fonts.NewFontClick(TitleFont);
        QTest::mouseClick(fonts.findChild<QPushButton*>(QStringLiteral("OkButton")),
                          Qt::LeftButton);
    });
    QTest::mouseClick(d.button("SetFonts"), Qt::LeftButton);
    EXPECT_EQ(d.lineEdit("RepBodyDataFont")->text(), QStringLiteral("DejaVu Serif 9pt"));
    EXPECT_TRUE(def.fonts[BodyFont].italic);
    EXPECT_EQ(d.lineEdit("TitleLineFont")->text(), QStringLiteral("Courier New 10pt"));

    // Refusals: each names what to correct, puts the focus there and writes nothing.
    const QByteArray before = [&] {
        QFile file(f.file().path());
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }();
    typeInto(d.lineEdit("NumLines"), QStringLiteral("13"));
    f.prompter.expectMessage(QStringLiteral("Notice"), kNumLinesRangeMessage);
    f.prompter.expectMessage(QStringLiteral("Notice"), kNumLinesRangeMessage);
    d.SpecifyButtonClick();
    QTest::mouseClick(d.button("UpdateButton"), Qt::LeftButton);
    EXPECT_EQ(d.focusWidget(), d.lineEdit("NumLines"));
    typeInto(d.lineEdit("NumLines"), QStringLiteral("1"));
    typeInto(d.lineEdit("LeftMargin"), QStringLiteral("one"));
    f.prompter.expectMessage(
        QStringLiteral("Error"),
        QStringLiteral("The Left margin must be a number of inches, 0 or more.  Please correct."));
    QTest::mouseClick(d.button("UpdateButton"), Qt::LeftButton);
    EXPECT_EQ(d.focusWidget(), d.lineEdit("LeftMargin"));
    EXPECT_TRUE(d.isVisible());
    QFile file(f.file().path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
}

// What the layout window shows, and the part window's refusals.
TEST(ReportDesigner, LayoutShowsWhatIsUsedAndThePartWindowRefusesBrokenParts) {
    Fixture f;
    ReportDefinition def = builtInReports()[1]; // Short Wide Report: 8 fields on one line
    def.numLines = 0;
    std::array<QString, 22> captions = f.session.db.fieldNames;
    {
        TRepLayout layout(def, def.name, 120, false, captions,
                          f.session.db.colors(WindowKind::Report), f.context);
        layout.show();
        EXPECT_FALSE(layout.bodyHeading()->isVisible());
        EXPECT_FALSE(layout.totalsHeading()->isVisible());
    }

    def.numLines = 1;
    def.body[0].parts[1] = {kLabelKind, 0, 12, QStringLiteral("Brand:")};
    TRepLayout layout(def, def.name, 120, true, captions, f.session.db.colors(WindowKind::Report),
                      f.context);
    layout.show();
    activate(layout);
    EXPECT_TRUE(layout.bodyHeading()->isVisible());
    EXPECT_TRUE(layout.totalsHeading()->isVisible());
    // White cells, a field's caption in black, a label in red.
    const QImage image = layout.grab().toImage();
    const LayoutGeometry g = layout.geometry();
    const std::vector<int> edges = cellRightEdges(def.body[0], 120, g);
    auto inks = [&](int left, int right, int top) {
        QSet<QRgb> seen;
        for (int x = left + 2; x < right - 1; ++x)
            for (int y = top + 2; y < top + g.rowHeight - 2; ++y)
                seen.insert(image.pixel(x, y));
        return seen;
    };
    const QSet<QRgb> label = inks(edges[0], edges[1], g.bodyTop);
    EXPECT_TRUE(label.contains(qRgb(255, 255, 255)));
    EXPECT_TRUE(std::any_of(label.begin(), label.end(), [](QRgb c) {
        return qRed(c) > 200 && qGreen(c) < 120 && qBlue(c) < 120;
    }));
    const QSet<QRgb> field = inks(g.left, edges[0], g.bodyTop);
    EXPECT_TRUE(std::any_of(field.begin(), field.end(), [](QRgb c) { return qGray(c) < 60; }));

    // Part window: a field with no field chosen, then a width that is no whole number.
    onModal<TReportPart>([&](TReportPart& w) {
        EXPECT_TRUE(w.radioLabel()->isChecked());
        EXPECT_EQ(w.labelName()->text(), QStringLiteral("Brand:"));
        EXPECT_FALSE(w.fieldList()->isEnabled());
        EXPECT_EQ(w.fieldWidth()->text(), QStringLiteral("12"));
        w.radioField()->click();
        EXPECT_TRUE(w.fieldList()->isEnabled());
        EXPECT_FALSE(w.labelName()->isEnabled());
        EXPECT_EQ(w.fieldList()->item(0)->text(), QStringLiteral("What"));
        f.prompter.expectMessage(QStringLiteral("Error"), QString());
        w.OkButtonClick();
        EXPECT_EQ(w.focusWidget(), w.fieldList());
        w.fieldList()->setCurrentRow(F::Model - 1);
        typeInto(w.fieldWidth(), QStringLiteral("1x"));
        f.prompter.expectMessage(QStringLiteral("Error"), kInvalidWidthMessage);
        w.OkButtonClick();
        EXPECT_EQ(w.focusWidget(), w.fieldWidth());
        EXPECT_TRUE(w.isVisible());
        QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("CancelButton")),
                          Qt::LeftButton);
    });
    clickPart(layout, 1, 2, 120);
    EXPECT_EQ(layout.definition().body[0], def.body[0]);

    // A press on one part and a release on another opens nothing.
    QTest::mousePress(&layout, Qt::LeftButton, {}, {g.left + 5, g.bodyTop + 5});
    QTest::mouseRelease(&layout, Qt::LeftButton, {}, {edges[2] + 5, g.bodyTop + 5});
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // A totals line that ran over its width is cut to it once a part is edited.
    setPart(layout, kTotalsLineNumber, 1, 120, PartKind::Filler, QStringLiteral("0"));
    EXPECT_EQ(layout.definition().totals.usedParts(), 1);
    EXPECT_EQ(layout.definition().totals.parts[0].width, 120);
}
