#pragma once

#include "output/page_output.h"

#include <QString>
#include <QStringList>

#include <memory>

class QPrinter;

// Which printer a report goes to: the default one, or the installed printer at an index.
struct PrinterChoice {
    bool useDefault = true;
    int index = 0;
};

inline const QString kNoPrinters = QStringLiteral("No printers are defined, aborting print job.");

QStringList installedPrinters();
bool anyPrinterInstalled();

// A print job on a real printer. Pages are drawn on the paper as recorded, from its corner.
class PrinterSink : public PageSink {
public:
    explicit PrinterSink(const PrinterChoice& choice, bool landscape = false);
    ~PrinterSink() override;
    // Portrait size of the chosen printer's paper, inches.
    QSizeF paperSize() const;
    bool start(const QString& title, QSizeF pageInches, QString* error) override;
    bool output(const PageStream& stream, int index, QString* error) override;
    bool finish(QString* error) override;
    void abort() override;

private:
    std::unique_ptr<QPrinter> m_printer;
    struct Job;
    std::unique_ptr<Job> m_job;
};

// Sends pages first..last (from 1) of recorded pages to the chosen printer, one copy.
bool printRecordedPages(const PageStream& pages, const PrinterChoice& choice, int first, int last,
                        const QString& title, QString* error);
