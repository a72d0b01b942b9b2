#pragma once

#include "formats/date_format.h"
#include "formats/value_format.h"
#include "output/page_output.h"
#include "reports/report_definition.h"

#include <QDate>
#include <QString>

#include <array>
#include <memory>

class ItemTable;

// The owner's insurance details, which every report may print.
struct InsuranceValues {
    QString company; // at most 40 characters
    bool printCompany = false;
    QString policyNumber; // at most 20
    bool printPolicyNumber = false;
    QString yourName; // at most 30
    bool printStatement = false;

    // The footer's insurance text: the company and four spaces, then "#" and the policy number.
    QString footerText() const;
};

// What a run reads besides the definition: the item table in its current order and search,
// the sort levels that grouping follows, the field display names for column headers, the
// number and date formats and the insurance details.
struct ReportSource {
    ItemTable* items = nullptr;
    std::array<int, 4> sortKeys{}; // field numbers of the sort levels, 0 for none
    std::array<QString, 22> captions;
    NumberFormatter numbers;
    DateFormat dateFormat;
    InsuranceValues insurance;
    QDate today = QDate::currentDate();
};

enum class ReportDestination { Printer = 1, View = 2, TextFile = 3, Pdf = 4 };

struct ReportOutcome {
    PageOutput::Outcome outcome = PageOutput::Outcome::Completed;
    QString error; // why a failed run failed, fit to show
    int pages = 0;
};

inline const QString kReportSentinel = QStringLiteral("zzxkytrweq");

// One run of a definition to one destination. Printer: the caller supplies the sink that
// drives the printer. View: the recorded pages are kept for the preview. TextFile: fileName
// receives the text; pages are composed only to paginate it. Pdf: fileName receives the PDF.
class ReportRun {
public:
    ReportRun(ReportDefinition definition, ReportSource source, ReportDestination destination,
              QString fileName = {}, PageSink* printerSink = nullptr);
    ~ReportRun();

    // Paper size in portrait, inches; landscape follows the definition.
    void setPaperSize(QSizeF inches);
    // For the status window: status listener, abort.
    PageOutput& output() { return *m_output; }

    ReportOutcome run();
    // The recorded pages of a View run.
    std::unique_ptr<PageStream> takePages();

private:
    class Engine;
    ReportDefinition m_definition;
    ReportSource m_source;
    ReportDestination m_destination;
    QString m_fileName;
    std::unique_ptr<PageSink> m_ownSink;
    std::unique_ptr<PageOutput> m_output;
};

// The paper a report is laid out on when no printer says otherwise: Letter where the locale
// measures in inches, A4 elsewhere.
QSizeF defaultPaperSize();
