#include "reports/report_form.h"

#include "ui/busy_cursor.h"
#include "ui/prompter.h"
#include "ui/window_context.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

namespace {
const QString kCompleted = QStringLiteral("Report Completed!");
const QString kCanceled = QStringLiteral("Report Canceled!");
} // namespace

TReportForm::TReportForm(WindowContext& context, QWidget* parent)
    : QDialog(parent), m_context(context) {
    setObjectName(QStringLiteral("TReportForm"));
    prepareDesignDialog(this, QSize(281, 121), 8);
    setWindowTitle(QStringLiteral("Report Status Screen"));

    m_label = new QLabel(QStringLiteral("Printing Status"), this);
    m_label->setObjectName(QStringLiteral("Label1"));
    m_label->setGeometry(16, 12, 249, 57);
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setWordWrap(true);

    m_button = new QPushButton(QStringLiteral("Cancel"), this);
    m_button->setObjectName(QStringLiteral("BitBtn1"));
    m_button->setGeometry(100, 80, 81, 27);
    connect(m_button, &QPushButton::clicked, this, [this] { BitBtn1Click(); });

    SaveDimensions(this, m_design, m_context.prompter);
}

void TReportForm::showEvent(QShowEvent* event) {
    RestoreAndScale(this, m_design, m_context.scaleFactor, m_context.screen);
    ApplyUserFonts(this, m_context.fonts);
    QDialog::showEvent(event);
}

void TReportForm::BitBtn1Click() {
    if (m_running) {
        if (m_run)
            m_run->output().abort();
        return;
    }
    accept();
}

// Closing the window while the report runs cancels it; the window stays until the run ends.
void TReportForm::closeEvent(QCloseEvent* event) {
    if (m_running) {
        BitBtn1Click();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TReportForm::reject() {
    if (m_running) {
        BitBtn1Click();
        return;
    }
    QDialog::reject();
}

ReportOutcome TReportForm::runReport(ReportRun& run) {
    m_run = &run;
    m_running = true;
    m_button->setText(QStringLiteral("Cancel"));
    show();
    run.output().setStatusListener([this](const QString& status) {
        m_label->setText(status);
        // Lets the Cancel button through between pages.
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    });
    ReportOutcome outcome;
    {
        BusyCursor busy;
        outcome = run.run();
    }
    run.output().setStatusListener({});
    m_running = false;
    m_run = nullptr;
    const QString last = run.output().statusText();
    m_label->setText(last + QLatin1Char('\n') +
                     (outcome.outcome == PageOutput::Outcome::Completed ? kCompleted : kCanceled));
    m_button->setText(QStringLiteral("OK"));
    m_button->setFocus();
    return outcome;
}

ReportResult generateReport(WindowContext& context, QWidget* parent, ReportRequest request) {
    ReportResult result;
    std::unique_ptr<PrinterSink> printer;
    QSizeF paper = defaultPaperSize();
    if (request.destination == ReportDestination::Printer) {
        if (!anyPrinterInstalled()) {
            context.prompter.error(kNoPrinters);
            return result;
        }
        printer = std::make_unique<PrinterSink>(request.printer, request.definition.landscape);
        paper = printer->paperSize();
    } else if (anyPrinterInstalled()) {
        // Pages are laid out for the paper they will be printed on.
        paper = PrinterSink(request.printer).paperSize();
    }
    result.started = true;

    ReportRun run(std::move(request.definition), std::move(request.source), request.destination,
                  request.fileName, printer.get());
    run.setPaperSize(paper);
    TReportForm form(context, parent);
    form.setWindowModality(Qt::ApplicationModal);
    result.outcome = form.runReport(run);
    if (result.outcome.outcome == PageOutput::Outcome::Failed) {
        form.hide();
        context.prompter.error(result.outcome.error);
        return result;
    }
    if (request.waitForClose)
        form.exec();
    if (result.outcome.outcome == PageOutput::Outcome::Completed)
        result.pages = run.takePages();
    return result;
}
