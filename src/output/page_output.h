#pragma once

#include "output/page_stream.h"

#include <QFontMetricsF>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Where finished pages go: kept in memory, drawn into a PDF, sent to a printer, or dropped
// (a text-file report only needs the pagination).
class PageSink {
public:
    virtual ~PageSink() = default;
    // False, with the reason, when the job cannot start.
    virtual bool start(const QString& title, QSizeF pageInches, QString* error) = 0;
    virtual bool output(const PageStream& stream, int index, QString* error) = 0;
    virtual bool finish(QString* error) = 0;
    virtual void abort() = 0;
    // The sink that keeps pages also holds the stream they are recorded into.
    virtual PageStream* keptStream() { return nullptr; }
};

// Keeps every page: the recorded page stream the preview draws and replays.
class StreamSink : public PageSink {
public:
    bool start(const QString&, QSizeF pageInches, QString*) override {
        m_stream.clear();
        m_stream.setPageSize(pageInches);
        return true;
    }
    bool output(const PageStream&, int, QString*) override { return true; }
    bool finish(QString*) override { return true; }
    void abort() override {}
    PageStream* keptStream() override { return &m_stream; }
    PageStream& stream() { return m_stream; }

private:
    PageStream m_stream;
};

// Counts pages and forgets them.
class DiscardSink : public PageSink {
public:
    bool start(const QString&, QSizeF, QString*) override { return true; }
    bool output(const PageStream&, int, QString*) override { return true; }
    bool finish(QString*) override { return true; }
    void abort() override {}
};

// A PDF file, written beside the target and renamed over it when the job finishes, so an
// aborted or failed job leaves any earlier file as it was.
class PdfSink : public PageSink {
public:
    explicit PdfSink(QString fileName);
    ~PdfSink() override;
    bool start(const QString& title, QSizeF pageInches, QString* error) override;
    bool output(const PageStream& stream, int index, QString* error) override;
    bool finish(QString* error) override;
    void abort() override;

private:
    struct Job;
    QString m_fileName;
    std::unique_ptr<Job> m_job;
};

// Writes pages first..last (from 1) of recorded pages to a PDF file.
bool writePdf(const PageStream& pages, const QString& fileName, int first, int last,
              QString* error = nullptr);

struct OutputColumn {
    double position = 0;   // inches from the paper's left edge
    double width = 0;      // inches
    int justification = 1; // 0 centre, 1 left, 2 right, 3 block
    int margin = 0;        // inner margin, hundredths of an inch
    int rules = 0;         // 1 left, 2 right, 4 top, 8 bottom
    int shading = 0;       // percent grey, 0 none
};

enum Justify : int { JustifyCenter = 0, JustifyLeft = 1, JustifyRight = 2, JustifyBlock = 3 };
enum Rule : int { RuleLeft = 1, RuleRight = 2, RuleTop = 4, RuleBottom = 8 };

// Composes pages in inches: a band that lines fill, the current font and its line height, a
// row of columns with justification and cell rules, and the page loop with its callbacks.
// Every page is recorded; the sink decides what becomes of it.
class PageOutput {
public:
    struct Callbacks {
        std::function<void()> beforeRun;
        std::function<void()> pageHeader;
        std::function<bool()> pageBody; // true: another page follows
        std::function<void()> pageFooter;
        std::function<void()> afterRun;
    };
    enum class Outcome { Completed, Aborted, Failed };

    explicit PageOutput(PageSink& sink);

    void setPageSize(QSizeF portraitInches) { m_paper = portraitInches; }
    void setLandscape(bool on) { m_landscape = on; }
    double pageWidth() const { return m_landscape ? m_paper.height() : m_paper.width(); }
    double pageHeight() const { return m_landscape ? m_paper.width() : m_paper.height(); }
    void setJobTitle(const QString& title) { m_title = title; }

    void setMargins(double top, double bottom, double left, double right);
    double leftMargin() const { return m_left; }
    double rightMargin() const { return m_right; }
    void setBand(double top, double bottom);
    void home();
    void selectFont(const OutputFont& font);
    double lineHeight() const { return m_lineHeight; }

    void clearColumns() { m_columns.clear(); }
    // With no position the column starts where the previous one ends (the first at the left
    // margin).
    void addColumn(int justification, double width, int margin, int rules, int shading,
                   std::optional<double> position = std::nullopt);
    int columnCount() const { return int(m_columns.size()); }
    double columnWidth(int i) const; // from 1, less the inner margins
    double textWidth(const QString& text) const;

    // Tabs move to the next column; text before the first tab prints at the current position.
    void print(const QString& text);
    // print() of a tab and the text.
    void printInNextColumn(const QString& text);
    void endLine();
    void printCentered(const QString& text, double x);
    void printFooter(const QString& text, int justification);
    int linesLeft() const;
    int lineNumber() const { return m_line; }
    int pageNumber() const { return m_page; }

    // Pages outside first..last are composed but not output; 0 for no bound.
    void setOutputRange(int first, int last) {
        m_first = first;
        m_last = last;
    }
    // "%p" the page number, "%0" and "%1" the two status lines.
    void setStatusFormat(const QString& format) { m_statusFormat = format; }
    void setStatusLines(const QString& line0, const QString& line1) {
        m_status0 = line0;
        m_status1 = line1;
    }
    QString statusText() const;
    // Called with the status text at each new page and at the end.
    void setStatusListener(std::function<void(const QString&)> listener) {
        m_statusListener = std::move(listener);
    }

    // The page loop. error() says why a failed run failed.
    Outcome run(const Callbacks& callbacks);
    void abort() { m_aborted = true; }
    bool aborted() const { return m_aborted; }
    bool printing() const { return m_printing; }
    const QString& error() const { return m_error; }
    // Marks the run failed (for a callback that met an error); the loop stops after it.
    void fail(const QString& error);

    PageSink& sink() { return m_sink; }

private:
    double linePosition() const; // top of the current line, inches
    void drawText(double x, const QString& text);
    void moveToColumn();
    void resetPage();
    bool endPage();
    void showStatus();

    PageSink& m_sink;
    PageStream m_scratch; // fonts and pages for sinks that keep nothing
    PageStream* m_stream = &m_scratch;
    RecordedPage m_recording;

    QSizeF m_paper{8.5, 11.0};
    bool m_landscape = false;
    QString m_title = QStringLiteral("Test Report");
    double m_top = 0.5, m_bottom = 0.5, m_left = 0.5, m_right = 0.5;
    double m_bandTop = 0.5, m_bandBottom = 10.5;
    OutputFont m_font;
    int m_fontIndex = -1;
    QFont m_qfont;
    struct Metrics;
    std::vector<std::pair<OutputFont, std::shared_ptr<Metrics>>> m_metricsCache;
    std::shared_ptr<Metrics> m_metrics;
    double m_lineHeight = 0.2;
    double m_ascent = 0.15;

    std::vector<OutputColumn> m_columns;
    int m_line = 1;
    int m_column = 0;
    double m_x = 0.5;

    int m_page = 1;
    int m_first = 0, m_last = 0;
    bool m_aborted = false;
    bool m_printing = false;
    bool m_failed = false;
    QString m_error;
    QString m_statusFormat;
    QString m_status0, m_status1;
    std::function<void(const QString&)> m_statusListener;
};
