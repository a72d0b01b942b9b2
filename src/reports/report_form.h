#pragma once

#include "output/printer_sink.h"
#include "reports/report_generator.h"
#include "ui/window_services.h"

#include <QDialog>

#include <memory>

class QLabel;
class QPushButton;
struct WindowContext;

// The status window of a report run: the page being produced while it runs, then
// "Report Completed!" or "Report Canceled!" and an OK button that closes it.
class TReportForm : public QDialog {
    Q_OBJECT
public:
    explicit TReportForm(WindowContext& context, QWidget* parent = nullptr);

    // Shows the window and runs the report in it; Cancel aborts the run. Returns when the run
    // ends, with the window still open and its button turned into OK.
    ReportOutcome runReport(ReportRun& run);
    bool running() const { return m_running; }

    QLabel* statusLabel() const { return m_label; }
    QPushButton* button() const { return m_button; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void BitBtn1Click();

    WindowContext& m_context;
    DesignGeometry m_design;
    QLabel* m_label = nullptr;
    QPushButton* m_button = nullptr;
    ReportRun* m_run = nullptr;
    bool m_running = false;
};

// What a window asks for: the definition over the open item table (its current order and
// search) to the printer, to recorded pages, to a text file or to a PDF.
struct ReportRequest {
    ReportDefinition definition;
    ReportSource source;
    ReportDestination destination = ReportDestination::View;
    QString fileName;         // text file or PDF
    PrinterChoice printer;    // the printer, and its paper for every destination
    bool waitForClose = true; // keep the status window up until the user presses OK
};

struct ReportResult {
    bool started = false; // false: refused before the run (no printer)
    ReportOutcome outcome;
    std::unique_ptr<PageStream> pages; // View runs that completed
};

// Runs a report with the status window over `parent`. No printer for a printer run: the
// error box, and no run. A failed run closes the status window and says why in an error box.
ReportResult generateReport(WindowContext& context, QWidget* parent, ReportRequest request);
