#include "output/page_output.h"
#include "test_files.h"

#include "qstring_printer.h"

#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

double inches(float units) {
    return units / kUnitsPerInch;
}

// A run of `pages` pages, each with its number as text on the first body line.
PageOutput::Outcome runPages(PageOutput& out, int pages, QStringList* statuses = nullptr) {
    int page = 0;
    out.setStatusFormat(QStringLiteral("Printing Page %p%0%1"));
    out.setStatusLines(QStringLiteral(" of "), QString::number(pages));
    if (statuses)
        out.setStatusListener([statuses](const QString& s) { *statuses << s; });
    PageOutput::Callbacks cb;
    cb.pageBody = [&] {
        out.setBand(1, 2);
        out.home();
        out.print(QStringLiteral("P%1").arg(++page));
        out.endLine();
        return page < pages;
    };
    return out.run(cb);
}

} // namespace

TEST(PageOutput, ColumnsPlaceTextInsideTheirMarginsAndRuleTheirCells) {
    StreamSink sink;
    PageOutput out(sink);
    out.setPageSize({8.5, 11});
    int left = -1;
    PageOutput::Callbacks cb;
    cb.pageBody = [&] {
        out.setBand(1.0, 2.0);
        out.home();
        out.selectFont({QStringLiteral("Arial"), 10});
        out.addColumn(JustifyLeft, 2.0, 2, RuleLeft | RuleRight | RuleTop | RuleBottom, 0);
        out.addColumn(JustifyRight, 2.0, 2, RuleBottom, 0);
        out.addColumn(JustifyCenter, 1.0, 0, 0, 100);
        EXPECT_NEAR(out.columnWidth(1), 1.96, 1e-9);
        out.print(QStringLiteral("lead\tLeft\tRight\tMid"));
        out.endLine();
        left = out.linesLeft();
        return false;
    };
    ASSERT_EQ(out.run(cb), PageOutput::Outcome::Completed);
    // A one-inch band: whole lines that start inside it, less the one used.
    EXPECT_EQ(left, int(1.0 / out.lineHeight()) + 1 - 1);

    const RecordedPage& page = sink.stream().page(0);
    std::map<QString, RecordedPage::Step> texts;
    int lines = 0, fills = 0;
    for (const auto& s : page.steps()) {
        if (s.op == RecordedPage::Op::Text)
            texts[page.textAt(s)] = s;
        lines += s.op == RecordedPage::Op::Line;
        fills += s.op == RecordedPage::Op::Fill;
    }
    EXPECT_EQ(lines, 5); // a full box and one rule under the second cell
    EXPECT_EQ(fills, 1);
    EXPECT_NEAR(inches(texts["lead"].x1), 0.5, 1e-4); // before the first tab: the margin
    EXPECT_NEAR(inches(texts["Left"].x1), 0.52, 1e-4);
    QFontMetricsF fm(OutputFont{QStringLiteral("Arial"), 10}.toQFont());
    EXPECT_NEAR(inches(texts["Right"].x1) + fm.horizontalAdvance("Right") / kUnitsPerInch, 4.48,
                1e-3);
    EXPECT_NEAR(inches(texts["Mid"].x1) + fm.horizontalAdvance("Mid") / kUnitsPerInch / 2, 5.0,
                1e-3);
    // Baselines sit one ascent below the band's first line.
    EXPECT_NEAR(inches(texts["Left"].y1), 1.0 + fm.ascent() / kUnitsPerInch, 1e-3);
}

TEST(PageOutput, OutputRangeStatusAndReplayByPageRange) {
    StreamSink sink;
    PageOutput out(sink);
    out.setOutputRange(2, 3);
    QStringList statuses;
    ASSERT_EQ(runPages(out, 5, &statuses), PageOutput::Outcome::Completed);
    EXPECT_EQ(out.pageNumber(), 5);
    ASSERT_EQ(sink.stream().pageCount(), 2); // pages 1, 4 and 5 composed, not kept
    EXPECT_EQ(sink.stream().page(0).texts(), QStringList{"P2"});
    EXPECT_EQ(sink.stream().page(1).texts(), QStringList{"P3"});
    EXPECT_EQ(statuses.first(), QStringLiteral("Printing Page 1 of 5"));
    EXPECT_EQ(statuses.last(), QStringLiteral("Printing Page 5 of 5"));

    // The whole run again, then pages 2 to 4 of it replayed to a PDF.
    StreamSink all;
    PageOutput again(all);
    ASSERT_EQ(runPages(again, 5), PageOutput::Outcome::Completed);
    ASSERT_EQ(all.stream().pageCount(), 5);
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (tool.isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    TestDir dir;
    const QString pdf = dir.file(QStringLiteral("range.pdf"));
    ASSERT_TRUE(writePdf(all.stream(), pdf, 2, 4));
    QProcess p;
    p.start(tool, {pdf, QStringLiteral("-")});
    ASSERT_TRUE(p.waitForFinished(30000));
    const QStringList pages =
        QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    ASSERT_EQ(pages.size(), 3);
    EXPECT_EQ(pages[0].trimmed(), QStringLiteral("P2"));
    EXPECT_EQ(pages[2].trimmed(), QStringLiteral("P4"));
}

TEST(PageOutput, RecordedPagesDrawAtAnyZoom) {
    StreamSink sink;
    PageOutput out(sink);
    out.setPageSize({8.5, 11});
    PageOutput::Callbacks cb;
    cb.pageBody = [&] {
        out.setBand(2, 3);
        out.home();
        out.addColumn(JustifyLeft, 1.0, 0, 0, 100, 2.0); // a black cell at 2 in, 2 in
        out.print(QStringLiteral("\t"));
        return false;
    };
    ASSERT_EQ(out.run(cb), PageOutput::Outcome::Completed);
    for (double zoom : {50.0, 100.0, 200.0}) {
        const double px = 72.0 * zoom / 100; // pixels per inch at this zoom, 72 dpi device
        QImage image(int(8.5 * px), int(11 * px), QImage::Format_RGB32);
        image.fill(Qt::red);
        QPainter painter(&image);
        sink.stream().drawAtZoom(painter, 0, zoom, 72.0);
        painter.end();
        EXPECT_EQ(image.pixelColor(int(2.5 * px), int(2.05 * px)), QColor(Qt::black)) << zoom;
        EXPECT_EQ(image.pixelColor(int(1.5 * px), int(2.05 * px)), QColor(Qt::white)) << zoom;
    }
}

TEST(PageOutput, FailingSinkAndAbortEndTheLoopAndStillCallAfterRun) {
    struct Refusing : DiscardSink {
        bool output(const PageStream&, int, QString* error) override {
            *error = QStringLiteral("paper jam");
            return false;
        }
    } sink;
    PageOutput out(sink);
    int after = 0, bodies = 0;
    PageOutput::Callbacks cb;
    cb.pageBody = [&] { return ++bodies < 10; };
    cb.afterRun = [&] { ++after; };
    EXPECT_EQ(out.run(cb), PageOutput::Outcome::Failed);
    EXPECT_EQ(out.error(), QStringLiteral("paper jam"));
    EXPECT_EQ(bodies, 1);
    EXPECT_EQ(after, 1);

    DiscardSink fine;
    PageOutput second(fine);
    bodies = 0;
    cb.pageBody = [&] {
        if (++bodies == 3)
            second.abort();
        return true;
    };
    EXPECT_EQ(second.run(cb), PageOutput::Outcome::Aborted);
    EXPECT_EQ(bodies, 3);
    EXPECT_EQ(after, 2);
}
