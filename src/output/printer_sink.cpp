#include "output/printer_sink.h"

#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

QStringList installedPrinters() {
    return QPrinterInfo::availablePrinterNames();
}

bool anyPrinterInstalled() {
    return !installedPrinters().isEmpty();
}

struct PrinterSink::Job {
    QPainter painter;
    bool pageDrawn = false;
};

PrinterSink::PrinterSink(const PrinterChoice& choice, bool landscape)
    : m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    const QStringList names = installedPrinters();
    if (!choice.useDefault && choice.index >= 0 && choice.index < names.size())
        m_printer->setPrinterName(names[choice.index]);
    m_printer->setFullPage(true); // our margins are part of the recorded page
    m_printer->setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
}

PrinterSink::~PrinterSink() {
    abort();
}

QSizeF PrinterSink::paperSize() const {
    return m_printer->pageLayout().pageSize().size(QPageSize::Inch);
}

bool PrinterSink::start(const QString& title, QSizeF, QString* error) {
    m_printer->setDocName(title);
    m_job = std::make_unique<Job>();
    if (!m_job->painter.begin(m_printer.get())) {
        if (error)
            *error = QStringLiteral("The printer %1 could not start the print job.")
                         .arg(m_printer->printerName());
        m_job.reset();
        return false;
    }
    return true;
}

bool PrinterSink::output(const PageStream& stream, int index, QString* error) {
    if (!m_job)
        return false;
    if (m_job->pageDrawn && !m_printer->newPage()) {
        if (error)
            *error = QStringLiteral("The printer %1 stopped the print job.")
                         .arg(m_printer->printerName());
        return false;
    }
    m_job->pageDrawn = true;
    QPainter& p = m_job->painter;
    p.save();
    p.scale(m_printer->logicalDpiX() / kUnitsPerInch, m_printer->logicalDpiY() / kUnitsPerInch);
    stream.draw(p, index);
    p.restore();
    return true;
}

bool PrinterSink::finish(QString*) {
    if (!m_job)
        return false;
    m_job->painter.end();
    m_job.reset();
    return true;
}

void PrinterSink::abort() {
    if (!m_job)
        return;
    m_printer->abort();
    m_job->painter.end();
    m_job.reset();
}

bool printRecordedPages(const PageStream& pages, const PrinterChoice& choice, int first, int last,
                        const QString& title, QString* error) {
    const QSizeF size = pages.pageSize();
    PrinterSink sink(choice, size.width() > size.height());
    if (!sink.start(title, size, error))
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
