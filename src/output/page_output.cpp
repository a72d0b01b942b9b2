#include "output/page_output.h"

#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace {
double units(double inches) {
    return inches * kUnitsPerInch;
}
} // namespace

// --- PDF ---------------------------------------------------------------------------------

struct PdfSink::Job {
    QSaveFile file;
    std::unique_ptr<QPdfWriter> writer;
    std::unique_ptr<QPainter> painter;
    int pages = 0;
    explicit Job(const QString& name) : file(name) {}
};

PdfSink::PdfSink(QString fileName) : m_fileName(std::move(fileName)) {}
PdfSink::~PdfSink() {
    abort();
}

bool PdfSink::start(const QString& title, QSizeF pageInches, QString* error) {
    m_job = std::make_unique<Job>(m_fileName);
    if (!m_job->file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = m_job->file.errorString();
        m_job.reset();
        return false;
    }
    m_job->writer = std::make_unique<QPdfWriter>(&m_job->file);
    m_job->writer->setTitle(title);
    m_job->writer->setCreator(QStringLiteral("Tallywick Inventory 97"));
    m_job->writer->setResolution(600);
    m_job->writer->setPageLayout(
        QPageLayout(QPageSize(pageInches, QPageSize::Inch, QString(), QPageSize::ExactMatch),
                    QPageLayout::Portrait, QMarginsF()));
    return true;
}

bool PdfSink::output(const PageStream& stream, int index, QString*) {
    if (!m_job)
        return false;
    if (!m_job->painter)
        m_job->painter = std::make_unique<QPainter>(m_job->writer.get());
    else
        m_job->writer->newPage();
    QPainter& p = *m_job->painter;
    p.save();
    p.scale(m_job->writer->resolution() / kUnitsPerInch,
            m_job->writer->resolution() / kUnitsPerInch);
    stream.draw(p, index);
    p.restore();
    ++m_job->pages;
    return true;
}

bool PdfSink::finish(QString* error) {
    if (!m_job)
        return false;
    if (!m_job->painter) // a PDF needs one page, even an empty one
        m_job->painter = std::make_unique<QPainter>(m_job->writer.get());
    m_job->painter->end();
    m_job->painter.reset();
    m_job->writer.reset();
    const bool ok = m_job->file.commit();
    if (!ok && error)
        *error = m_job->file.errorString();
    m_job.reset();
    return ok;
}

void PdfSink::abort() {
    if (!m_job)
        return;
    if (m_job->painter)
        m_job->painter->end();
    m_job->painter.reset();
    m_job->writer.reset();
    m_job->file.cancelWriting();
    m_job.reset();
}

bool writePdf(const PageStream& pages, const QString& fileName, int first, int last,
              QString* error) {
    PdfSink sink(fileName);
    if (!sink.start(QStringLiteral("Test Report"), pages.pageSize(), error))
        return false;
    first = std::max(first, 1);
    last = std::min(last, pages.pageCount());
    for (int n = first; n <= last; ++n)
        if (!sink.output(pages, n - 1, error)) {
            sink.abort();
            return false;
        }
    return sink.finish(error);
}

// --- Page output -------------------------------------------------------------------------

PageOutput::PageOutput(PageSink& sink) : m_sink(sink) {
    selectFont(OutputFont{});
}

void PageOutput::setMargins(double top, double bottom, double left, double right) {
    m_top = top;
    m_bottom = bottom;
    m_left = left;
    m_right = right;
}

void PageOutput::setBand(double top, double bottom) {
    m_bandTop = top;
    m_bandBottom = bottom;
}

void PageOutput::home() {
    m_line = 1;
    m_column = 0;
    m_x = m_left;
}

// Advances of the first 256 characters are kept per font: a long report measures millions of
// short texts, and shaping each one anew would dominate its run time.
struct PageOutput::Metrics {
    explicit Metrics(const QFont& font) : fm(font) { advance.fill(-1); }
    QFontMetricsF fm;
    std::array<double, 256> advance;
};

void PageOutput::selectFont(const OutputFont& font) {
    if (m_metrics && font == m_font)
        return;
    m_font = font;
    m_qfont = font.toQFont();
    auto it = std::find_if(m_metricsCache.begin(), m_metricsCache.end(),
                           [&](const auto& entry) { return entry.first == font; });
    if (it == m_metricsCache.end()) {
        m_metricsCache.emplace_back(font, std::make_shared<Metrics>(m_qfont));
        it = m_metricsCache.end() - 1;
    }
    m_metrics = it->second;
    m_lineHeight = m_metrics->fm.lineSpacing() / kUnitsPerInch;
    if (m_lineHeight <= 0)
        m_lineHeight = std::max(1, font.points) / 72.0;
    m_ascent = m_metrics->fm.ascent() / kUnitsPerInch;
    m_fontIndex = m_stream->fontIndex(font);
    m_recording.setFont(m_fontIndex);
}

void PageOutput::addColumn(int justification, double width, int margin, int rules, int shading,
                           std::optional<double> position) {
    OutputColumn c;
    c.position =
        position
            ? *position
            : (m_columns.empty() ? m_left : m_columns.back().position + m_columns.back().width);
    c.width = width;
    c.justification = justification;
    c.margin = margin;
    c.rules = rules;
    c.shading = shading;
    m_columns.push_back(c);
}

double PageOutput::columnWidth(int i) const {
    if (i < 1 || i > columnCount())
        return 0;
    const OutputColumn& c = m_columns[std::size_t(i - 1)];
    return c.width - 2 * c.margin / 100.0;
}

double PageOutput::textWidth(const QString& text) const {
    double units = 0;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 256) {
            units = m_metrics->fm.horizontalAdvance(text);
            break;
        }
        double& a = m_metrics->advance[u];
        if (a < 0)
            a = m_metrics->fm.horizontalAdvance(c);
        units += a;
    }
    return std::max(units / kUnitsPerInch, 1 / kUnitsPerInch);
}

double PageOutput::linePosition() const {
    return m_bandTop + (m_line - 1) * m_lineHeight;
}

void PageOutput::drawText(double x, const QString& text) {
    m_recording.text(units(x), units(linePosition() + m_ascent), text);
}

void PageOutput::moveToColumn() {
    ++m_column;
    if (m_column > columnCount())
        return;
    const OutputColumn& c = m_columns[std::size_t(m_column - 1)];
    const double y = linePosition();
    const double x1 = c.position, x2 = c.position + c.width, y2 = y + m_lineHeight;
    if (c.shading > 0) {
        const int g = 255 - std::clamp(c.shading, 0, 100) * 255 / 100;
        m_recording.fill(units(x1), units(y), units(c.width), units(m_lineHeight), qRgb(g, g, g));
    }
    const QRgb black = qRgb(0, 0, 0);
    if (c.rules & RuleLeft)
        m_recording.line(units(x1), units(y), units(x1), units(y2), black);
    if (c.rules & RuleRight)
        m_recording.line(units(x2), units(y), units(x2), units(y2), black);
    if (c.rules & RuleTop)
        m_recording.line(units(x1), units(y), units(x2), units(y), black);
    if (c.rules & RuleBottom)
        m_recording.line(units(x1), units(y2), units(x2), units(y2), black);
    m_x = x1;
}

void PageOutput::print(const QString& text) {
    qsizetype from = 0;
    qsizetype tab = text.indexOf(QLatin1Char('\t'));
    const QString first = tab < 0 ? text : text.left(tab);
    drawText(m_x, first);
    m_x += first.isEmpty() ? 0 : textWidth(first);
    while (tab >= 0) {
        from = tab + 1;
        tab = text.indexOf(QLatin1Char('\t'), from);
        printInNextColumn(tab < 0 ? text.mid(from) : text.mid(from, tab - from));
    }
}

void PageOutput::printInNextColumn(const QString& piece) {
    moveToColumn();
    if (m_column < 1 || m_column > columnCount()) {
        drawText(m_x, piece);
        m_x += piece.isEmpty() ? 0 : textWidth(piece);
        return;
    }
    const OutputColumn& c = m_columns[std::size_t(m_column - 1)];
    const double inner = c.margin / 100.0;
    double x = c.position + inner;
    if (c.justification == JustifyRight || c.justification == JustifyCenter) {
        const double w = piece.isEmpty() ? 0 : textWidth(piece);
        x = c.justification == JustifyRight ? c.position + c.width - inner - w
                                            : c.position + (c.width - w) / 2;
    }
    drawText(x, piece);
    m_x = c.position + c.width;
}

void PageOutput::endLine() {
    m_column = 0;
    m_x = m_left;
    ++m_line;
}

void PageOutput::printCentered(const QString& text, double x) {
    drawText(x - textWidth(text) / 2, text);
}

void PageOutput::printFooter(const QString& text, int justification) {
    m_line = std::max(1, int(std::floor((m_bandBottom - m_bandTop) / m_lineHeight + 1e-9)));
    const double right = pageWidth() - m_right;
    const double w = textWidth(text);
    double x = m_left;
    if (justification == JustifyRight)
        x = right - w;
    else if (justification == JustifyCenter)
        x = m_left + (right - m_left - w) / 2;
    drawText(x, text);
}

int PageOutput::linesLeft() const {
    const double y = linePosition();
    if (y > m_bandBottom + 1e-9)
        return 0;
    return int(std::floor((m_bandBottom - y) / m_lineHeight + 1e-9)) + 1;
}

QString PageOutput::statusText() const {
    QString s = m_statusFormat;
    s.replace(QLatin1String("%p"), QString::number(m_page));
    s.replace(QLatin1String("%0"), m_status0);
    s.replace(QLatin1String("%1"), m_status1);
    return s;
}

void PageOutput::showStatus() {
    if (m_statusListener)
        m_statusListener(statusText());
}

void PageOutput::fail(const QString& error) {
    if (!m_failed)
        m_error = error;
    m_failed = true;
}

void PageOutput::resetPage() {
    m_recording = RecordedPage();
    m_recording.setFont(m_fontIndex);
    m_columns.clear();
    home();
}

bool PageOutput::endPage() {
    const bool inRange = (m_first <= 0 || m_page >= m_first) && (m_last <= 0 || m_page <= m_last);
    if (!inRange)
        return true;
    m_stream->addPage(std::move(m_recording));
    m_recording = RecordedPage();
    QString why;
    const bool ok = m_sink.output(*m_stream, m_stream->pageCount() - 1, &why);
    if (!m_sink.keptStream())
        m_stream->clear(); // only the fonts are worth keeping
    if (!ok)
        fail(why.isEmpty() ? QStringLiteral("The page could not be printed.") : why);
    return ok;
}

PageOutput::Outcome PageOutput::run(const Callbacks& cb) {
    m_aborted = false;
    m_failed = false;
    m_error.clear();
    m_page = 1;
    m_stream = m_sink.keptStream() ? m_sink.keptStream() : &m_scratch;
    m_scratch.clear();
    if (cb.beforeRun)
        cb.beforeRun();
    QString why;
    if (!m_failed && !m_sink.start(m_title, QSizeF(pageWidth(), pageHeight()), &why))
        fail(why);
    if (m_failed) {
        if (cb.afterRun)
            cb.afterRun();
        return Outcome::Failed;
    }
    m_printing = true;
    m_fontIndex = m_stream->fontIndex(m_font);
    resetPage();
    showStatus();
    if (cb.pageHeader)
        cb.pageHeader();
    while (!m_failed) {
        const bool more = cb.pageBody ? cb.pageBody() : false;
        if (!more || m_aborted || m_failed)
            break;
        if (cb.pageFooter)
            cb.pageFooter();
        if (!endPage())
            break;
        ++m_page;
        resetPage();
        showStatus();
        if (cb.pageHeader)
            cb.pageHeader();
    }
    if (!m_aborted && !m_failed) {
        if (cb.pageFooter)
            cb.pageFooter();
        if (endPage() && !m_sink.finish(&why))
            fail(why);
    }
    if (m_aborted || m_failed)
        m_sink.abort();
    m_printing = false;
    showStatus();
    if (cb.afterRun)
        cb.afterRun();
    if (m_failed)
        return Outcome::Failed;
    return m_aborted ? Outcome::Aborted : Outcome::Completed;
}
