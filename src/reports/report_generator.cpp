#include "reports/report_generator.h"

#include "dbase/database_error.h"
#include "items/item_schema.h"
#include "items/item_table.h"

#include <QLocale>
#include <QPageSize>
#include <QSaveFile>

#include <algorithm>

namespace {

constexpr double kHeaderTop = 0.5;
constexpr double kBodyTop = 1.25;
constexpr double kBodyGapAboveFooter = 0.75;
constexpr double kFooterHeight = 0.5;
constexpr double kHeadingSlack = 0.2; // headings fit within W less this, columns add it
constexpr int kCellMargin = 2;        // hundredths of an inch
constexpr int kBox = RuleLeft | RuleRight | RuleTop | RuleBottom;
constexpr int kSignatureLength = 35;

OutputFont outputFont(const ReportFont& f) {
    OutputFont o;
    o.face = f.face;
    o.points = f.size;
    o.bold = f.bold;
    o.italic = f.italic;
    o.underline = f.underline;
    o.strikeOut = f.strikeOut;
    // Stored as a Windows colour value, 0x00BBGGRR.
    o.color = QColor(int(f.color & 0xFF), int((f.color >> 8) & 0xFF), int((f.color >> 16) & 0xFF));
    return o;
}

// A printer run nobody gave a printer: it must not look as if it printed.
class NoPrinterSink : public DiscardSink {
public:
    bool start(const QString&, QSizeF, QString* error) override {
        if (error)
            *error = QStringLiteral("No printers are defined, aborting print job.");
        return false;
    }
};

bool isNumericField(int number) {
    const ItemField* f = itemField(number);
    return f && (f->type == FieldType::Integer || f->type == FieldType::Float);
}

// What a field part shows. A number is never cut like a text, which would turn
// 12,345,678.90 into 12,345,678.9 or 1,234,567: too wide for its column it drops the cents
// (`whole`), and too wide even then it fills the column with "#".
struct CellValue {
    QString text;
    bool number = false;
    QString whole; // the amount in whole units; empty when there is no shorter form
};

} // namespace

QString InsuranceValues::footerText() const {
    QString text;
    if (printCompany)
        text += company + QStringLiteral("    ");
    if (printPolicyNumber)
        text += QLatin1Char('#') + policyNumber;
    return text;
}

QSizeF defaultPaperSize() {
    const bool inches = QLocale::system().measurementSystem() != QLocale::MetricSystem;
    return QPageSize(inches ? QPageSize::Letter : QPageSize::A4).size(QPageSize::Inch);
}

// The state of one run and the five callbacks of the page loop.
class ReportRun::Engine {
public:
    Engine(const ReportDefinition& d, const ReportSource& s, ReportDestination dest,
           const QString& fileName, PageOutput& out)
        : m_d(d), m_src(s), m_dest(dest), m_fileName(fileName), m_out(out) {}

    PageOutput::Callbacks callbacks() {
        return {
            [this] { guard([this] { beforeRun(); }); }, [this] { guard([this] { pageHeader(); }); },
            [this] {
                bool more = false;
                guard([&] { more = pageBody(); });
                return more;
            },
            [this] { guard([this] { pageFooter(); }); }, [this] { guard([this] { afterRun(); }); }};
    }

private:
    bool textMode() const { return m_dest == ReportDestination::TextFile; }
    ItemTable& items() const { return *m_src.items; }

    template <class F> void guard(F&& f) {
        try {
            f();
        } catch (const dbase::DatabaseError& e) {
            m_out.fail(QString::fromStdString(e.what()));
        }
    }

    // --- before and after -------------------------------------------------------------

    void beforeRun() {
        m_out.setStatusFormat(QStringLiteral("Printing Page %p"));
        m_out.setStatusLines({}, {});
        m_out.setMargins(m_d.topMargin, m_d.bottomMargin, m_d.leftMargin, m_d.rightMargin);
        m_shift = std::max(0.0, m_d.topMargin);
        m_chars = m_d.charsPerLine;
        m_width = m_out.pageWidth() - m_d.leftMargin - m_d.rightMargin;

        m_g1 = m_g2 = 0;
        if (m_d.level1Group) {
            for (int key : m_src.sortKeys) {
                if (key <= 0 || !itemField(key))
                    continue;
                if (m_g1 == 0)
                    m_g1 = key;
                else if (m_g2 == 0)
                    m_g2 = key;
            }
            if (!m_d.level2Group)
                m_g2 = 0;
        }
        m_prev1 = m_prev2 = kReportSentinel;
        m_headingPending = m_subtotalsPending = m_endBlockPending = false;
        m_firstGroup = true;
        m_grand.fill(0);
        m_group.fill(0);

        if (textMode()) {
            m_file = std::make_unique<QSaveFile>(m_fileName);
            if (!m_file->open(QIODevice::WriteOnly)) {
                m_out.fail(m_file->errorString());
                m_file.reset();
                return;
            }
        }
        if (!items().isOpen()) {
            m_out.fail(QStringLiteral("No database is open."));
            return;
        }
        items().table().suspendUpdates();
        m_suspended = true;
        m_mark = items().table().bookmark();
        items().table().first();
    }

    void afterRun() {
        if (m_file) {
            flushText();
            // A cancelled run keeps the lines written so far; a failed one leaves any earlier
            // file as it was.
            if (m_out.error().isEmpty()) {
                if (!m_file->commit())
                    m_out.fail(m_file->errorString());
            } else {
                m_file->cancelWriting();
            }
            m_file.reset();
        }
        if (m_suspended) {
            m_suspended = false;
            if (m_mark.isValid())
                items().table().gotoBookmark(m_mark);
            items().table().resumeUpdates();
        }
    }

    // --- text file ----------------------------------------------------------------------

    void writeLine(const QString& line) {
        if (!m_file)
            return;
        m_text += line.toUtf8();
        m_text += '\n';
        if (m_text.size() > 1 << 16)
            flushText();
        m_out.endLine();
    }
    void writeRaw(const QByteArray& bytes) { m_text += bytes; }
    void flushText() {
        if (!m_file || m_text.isEmpty())
            return;
        if (m_file->write(m_text) != m_text.size())
            m_out.fail(m_file->errorString());
        m_text.clear();
    }

    static QString cell(const QString& text, int width) {
        return text.left(std::max(0, width)).leftJustified(std::max(0, width), QLatin1Char(' '));
    }
    static QString cell(const CellValue& value, int width) {
        if (!value.number || value.text.size() <= width)
            return cell(value.text, width);
        if (!value.whole.isEmpty() && value.whole.size() <= width)
            return cell(value.whole, width);
        return QString(std::max(0, width), QLatin1Char('#'));
    }
    static QString labelCell(const QString& text, int width) {
        return text.left(std::max(0, width)).rightJustified(std::max(0, width), QLatin1Char(' '));
    }
    QString centeredLine(const QString& text) const {
        const int indent = text.size() > m_chars ? 0 : int(m_chars - text.size()) / 2;
        return QString(indent, QLatin1Char(' ')) + text;
    }

    // --- printing helpers ---------------------------------------------------------------

    QString fit(const QString& text, double limit) const {
        if (text.isEmpty() || m_out.textWidth(text) <= limit)
            return text;
        // The longest prefix that fits: what cutting one character at a time would leave.
        qsizetype lo = 0, hi = text.size() - 1;
        while (lo < hi) {
            const qsizetype mid = (lo + hi + 1) / 2;
            if (m_out.textWidth(text.left(mid)) <= limit)
                lo = mid;
            else
                hi = mid - 1;
        }
        return text.left(lo);
    }
    QString fit(const CellValue& value, double limit) const {
        if (!value.number || m_out.textWidth(value.text) <= limit)
            return fit(value.text, limit);
        if (!value.whole.isEmpty() && m_out.textWidth(value.whole) <= limit)
            return value.whole;
        return fit(QString(value.text.size(), QLatin1Char('#')), limit);
    }

    double columnWidthOf(int partWidth) const { return double(partWidth) / m_chars * m_width; }

    void addLineColumns(const ReportLine& line, bool bodyLine1) {
        m_out.clearColumns();
        for (int i = 0; i < line.usedParts(); ++i) {
            const ReportPart& p = line.parts[std::size_t(i)];
            int just = JustifyLeft;
            if (bodyLine1) {
                if (p.partKind() == PartKind::Field && isNumericField(partField(p)))
                    just = JustifyRight;
            } else if (p.partKind() == PartKind::Label) {
                just = JustifyRight;
            }
            m_out.addColumn(just, columnWidthOf(p.width), kCellMargin, bodyLine1 ? m_box : 0, 0);
        }
    }
    void bodyColumns() { addLineColumns(m_d.body[0], true); }

    static int partField(const ReportPart& p) {
        if (itemField(p.fieldNumber))
            return p.fieldNumber;
        return itemFieldNumberOfName(p.kind);
    }

    CellValue money(double v) const {
        return {m_src.numbers.formatMoney(v, 1), true, m_src.numbers.formatMoneyWhole(v, 1)};
    }
    CellValue quantity(double v) const { return {m_src.numbers.formatNumber(v, 1, 0), true, {}}; }

    CellValue fieldText(int number) const {
        const ItemField* f = itemField(number);
        if (!f)
            return {};
        if (f->type == FieldType::Float)
            return money(items().floating(number).value_or(0.0));
        if (f->type == FieldType::Integer)
            return quantity(double(items().integer(number).value_or(0)));
        return {items().displayText(number, m_src.dateFormat), false, {}};
    }

    CellValue totalText(int t, const std::array<double, 4>& set) const {
        if (t < 1 || t > 4)
            return {};
        const double v = set[std::size_t(t - 1)];
        if (t == TotalQuantity)
            return quantity(v);
        return money(v);
    }

    // One line of parts; `value` gives a field part's text.
    template <class Value> void printLine(const ReportLine& line, Value value) {
        const int used = line.usedParts();
        if (textMode()) {
            QString text;
            for (int i = 0; i < used; ++i) {
                const ReportPart& p = line.parts[std::size_t(i)];
                switch (p.partKind()) {
                case PartKind::Filler:
                    text += cell(QString(), p.width);
                    break;
                case PartKind::Label:
                    text += labelCell(p.label, p.width);
                    break;
                case PartKind::Field:
                    text += cell(value(p), p.width);
                    break;
                }
            }
            writeLine(text);
            return;
        }
        for (int i = 0; i < used; ++i) {
            const ReportPart& p = line.parts[std::size_t(i)];
            CellValue text;
            if (p.partKind() == PartKind::Label)
                text.text = p.label;
            else if (p.partKind() == PartKind::Field)
                text = value(p);
            m_out.printInNextColumn(fit(text, m_out.columnWidth(i + 1)));
        }
        m_out.endLine();
    }

    void emptyLine() {
        if (textMode())
            writeLine({});
        else
            m_out.endLine();
    }

    // One centred, ruled cell.
    void centeredCell(const QString& raw, int rules) {
        const QString text = fit(raw, m_width - kHeadingSlack);
        const double tw = m_out.textWidth(text);
        m_out.clearColumns();
        m_out.addColumn(JustifyCenter, tw + kHeadingSlack, kCellMargin, rules, 0,
                        m_d.leftMargin + (m_width - tw) / 2);
        m_out.printInNextColumn(text);
        m_out.endLine();
    }

    void sectionLabel(const QString& text) {
        if (textMode())
            writeLine(centeredLine(text));
        else
            centeredCell(text, RuleBottom);
    }

    void totalsLine(const std::array<double, 4>& set) {
        if (!textMode())
            addLineColumns(m_d.totals, false);
        printLine(m_d.totals, [&](const ReportPart& p) {
            const int t = p.fieldNumber >= 1 && p.fieldNumber <= 4
                              ? p.fieldNumber
                              : totalsFieldNumberOfName(p.kind);
            return totalText(t, set);
        });
    }

    // --- groups -------------------------------------------------------------------------

    bool printHeading() {
        if (m_out.linesLeft() < m_d.numLines + 2) {
            m_headingPending = true;
            return true;
        }
        QString text = m_g1 > 0 ? m_prev1 : QString();
        if (m_g2 > 0)
            text += QStringLiteral(", ") + m_prev2;
        if (textMode()) {
            writeLine({});
            const QString rule(text.size(), QLatin1Char('-'));
            writeLine(centeredLine(rule));
            writeLine(centeredLine(text));
            writeLine(centeredLine(rule));
        } else {
            m_out.endLine();
            centeredCell(text, kBox);
            if (m_d.numLines == 1)
                bodyColumns();
        }
        m_headingPending = false;
        m_progress = true;
        return false;
    }

    bool printSubtotals() {
        if (m_firstGroup) {
            m_firstGroup = false;
            m_subtotalsPending = false;
            return false;
        }
        if (!m_d.useTotals) {
            m_subtotalsPending = false;
            return false;
        }
        if (m_out.linesLeft() < m_d.numLines + 3) {
            m_subtotalsPending = true;
            return true;
        }
        sectionLabel(QStringLiteral("TOTALS"));
        totalsLine(m_group);
        m_group.fill(0);
        if (m_d.numLines == 1 && !textMode())
            bodyColumns();
        m_subtotalsPending = false;
        m_progress = true;
        return false;
    }

    void accumulate() {
        using namespace item_field;
        // From the stored numbers, never from formatted text.
        const double q = double(items().integer(Quantity).value_or(0));
        const double cost = items().floating(Cost).value_or(0.0);
        const double value = items().floating(Value).value_or(0.0);
        const double rep = items().floating(RepCost).value_or(0.0);
        for (auto* set : {&m_grand, &m_group}) {
            (*set)[TotalCost - 1] += q * cost;
            (*set)[TotalValue - 1] += q * value;
            (*set)[TotalRepCost - 1] += q * rep;
            (*set)[TotalQuantity - 1] += q;
        }
    }

    void endBlock() {
        const bool statement = m_src.insurance.printStatement;
        const int needed = (m_d.useTotals ? 5 : 0) + (statement ? 5 : 0);
        if (m_out.linesLeft() < needed) {
            m_endBlockPending = true;
            return;
        }
        if (m_d.useTotals) {
            sectionLabel(QStringLiteral("TOTALS"));
            totalsLine(m_group);
            emptyLine();
            sectionLabel(QStringLiteral("GRAND TOTALS"));
            totalsLine(m_grand);
        }
        if (statement) {
            if (!textMode())
                m_out.clearColumns();
            const QString sentence = QStringLiteral("As of this date, ") +
                                     m_src.dateFormat.format(m_src.today) +
                                     QStringLiteral(", this is a true and accurate inventory of "
                                                    "my home.");
            const QString rule(kSignatureLength, QLatin1Char('_'));
            for (const QString& line :
                 {QString(), sentence, QString(), rule, m_src.insurance.yourName}) {
                if (textMode()) {
                    writeLine(line);
                } else {
                    m_out.print(line);
                    m_out.endLine();
                }
            }
        }
        m_endBlockPending = false;
        m_progress = true;
    }

    // --- the page callbacks -------------------------------------------------------------

    void pageHeader() {
        if (textMode()) {
            for (const QString& title : m_d.titles)
                if (!title.isEmpty())
                    writeLine(title);
            return;
        }
        m_out.setBand(kHeaderTop + m_shift, kBodyTop + m_shift);
        m_out.home();
        m_out.selectFont(outputFont(m_d.fonts[TitleFont]));
        for (const QString& title : m_d.titles) {
            if (title.isEmpty())
                continue;
            m_out.printCentered(title, m_out.pageWidth() / 2);
            m_out.endLine();
        }
    }

    bool pageBody() {
        const int n = m_d.numLines;
        m_progress = false;
        m_out.setBand(kBodyTop + m_shift,
                      m_out.pageHeight() - m_d.bottomMargin - kBodyGapAboveFooter);
        m_out.home();

        m_box = 0;
        if (n == 1) {
            if (m_d.vertLines && m_d.horzLines)
                m_box = kBox;
            else if (m_d.vertLines)
                m_box = RuleLeft | RuleRight;
            else if (m_d.horzLines)
                m_box = RuleTop | RuleBottom;
        }

        if (n == 1 && m_d.columnHeaders)
            columnHeaders();
        m_out.selectFont(outputFont(m_d.fonts[BodyFont]));
        if (n == 1 && !textMode())
            bodyColumns();

        bool stop = false;
        while (m_out.linesLeft() >= n && !items().table().eof() && !stop && !m_out.aborted() &&
               m_out.error().isEmpty()) {
            stop = m_subtotalsPending ? printSubtotals() : false;
            if (!stop && m_headingPending)
                stop = printHeading();
            if (!stop && m_g1 > 0)
                stop = checkGroup();
            if (stop)
                break;
            printRecord();
            if (m_d.useTotals)
                accumulate();
            m_progress = true;
            items().table().next();
        }
        const bool atEnd = items().table().eof();
        if (atEnd && !m_out.aborted())
            endBlock();
        const bool more = !(atEnd && !m_endBlockPending);
        if (more && !m_progress && !m_out.aborted())
            m_out.fail(QStringLiteral("One item of this report does not fit on a page.  Use "
                                      "fewer lines per item, a smaller font or smaller "
                                      "margins."));
        return more;
    }

    bool checkGroup() {
        const QString v1 = items().displayText(m_g1, m_src.dateFormat).left(120);
        bool newGroup = false;
        if (m_g2 > 0) {
            const QString v2 = items().displayText(m_g2, m_src.dateFormat).left(120);
            if (v2 != m_prev2) {
                m_prev1 = v1;
                m_prev2 = v2;
                newGroup = true;
            } else if (v1 != m_prev1) {
                m_prev1 = v1;
                newGroup = true;
            }
        } else if (v1 != m_prev1) {
            m_prev1 = v1;
            newGroup = true;
        }
        if (!newGroup)
            return false;
        if (printSubtotals()) {
            m_headingPending = true;
            return true;
        }
        return printHeading();
    }

    void columnHeaders() {
        const ReportLine& line = m_d.body[0];
        const int used = line.usedParts();
        auto caption = [&](const ReportPart& p) {
            if (p.partKind() != PartKind::Field)
                return QString();
            const int f = partField(p);
            return f > 0 ? m_src.captions[std::size_t(f - 1)] : p.kind;
        };
        m_out.selectFont(outputFont(m_d.fonts[HeaderFont]));
        if (textMode()) {
            QString text;
            for (int i = 0; i < used; ++i)
                text += cell(caption(line.parts[std::size_t(i)]), line.parts[std::size_t(i)].width);
            writeLine(text);
            return;
        }
        m_out.clearColumns();
        for (int i = 0; i < used; ++i)
            m_out.addColumn(JustifyCenter, columnWidthOf(line.parts[std::size_t(i)].width),
                            kCellMargin, m_box, 0);
        for (int i = 0; i < used; ++i)
            m_out.printInNextColumn(
                fit(caption(line.parts[std::size_t(i)]), m_out.columnWidth(i + 1)));
        m_out.endLine();
    }

    void printRecord() {
        const int n = m_d.numLines;
        auto value = [this](const ReportPart& p) { return fieldText(partField(p)); };
        if (n == 1) {
            printLine(m_d.body[0], value);
            return;
        }
        for (int k = 0; k < n; ++k) {
            if (!textMode())
                addLineColumns(m_d.body[std::size_t(k)], false);
            printLine(m_d.body[std::size_t(k)], value);
        }
    }

    void pageFooter() {
        const QString insurance = m_src.insurance.footerText();
        const QString date = m_src.dateFormat.format(m_src.today);
        const QString page = QStringLiteral("Page ") + QString::number(m_out.pageNumber());
        if (textMode()) {
            QString line = m_d.pageNumbers ? page + QStringLiteral("     ") + insurance : insurance;
            if (m_d.dateOnPage)
                line += (line.isEmpty() ? QString() : QStringLiteral("     ")) + date;
            writeLine({});
            writeLine(line);
            writeRaw(QByteArray(1, '\f'));
            return;
        }
        const double bottom = m_out.pageHeight() - m_d.bottomMargin;
        m_out.setBand(bottom - kFooterHeight, bottom);
        m_out.selectFont(outputFont(m_d.fonts[FootnoteFont]));
        if (m_d.pageNumbers)
            m_out.printFooter(page, JustifyLeft);
        m_out.printFooter(insurance, JustifyCenter);
        if (m_d.dateOnPage)
            m_out.printFooter(date, JustifyRight);
    }

    const ReportDefinition& m_d;
    const ReportSource& m_src;
    ReportDestination m_dest;
    QString m_fileName;
    PageOutput& m_out;

    std::unique_ptr<QSaveFile> m_file;
    QByteArray m_text;
    bool m_suspended = false;
    dbase::Bookmark m_mark;

    double m_shift = 0;
    int m_chars = 120;
    double m_width = 7.5;
    int m_box = 0;
    int m_g1 = 0, m_g2 = 0;
    QString m_prev1, m_prev2;
    bool m_headingPending = false, m_subtotalsPending = false, m_endBlockPending = false;
    bool m_firstGroup = true;
    bool m_progress = false;
    std::array<double, 4> m_grand{}, m_group{};
};

ReportRun::ReportRun(ReportDefinition definition, ReportSource source,
                     ReportDestination destination, QString fileName, PageSink* printerSink)
    : m_definition(std::move(definition)), m_source(std::move(source)), m_destination(destination),
      m_fileName(std::move(fileName)) {
    PageSink* sink = printerSink;
    switch (destination) {
    case ReportDestination::Printer:
        if (!sink) {
            m_ownSink = std::make_unique<NoPrinterSink>();
            sink = m_ownSink.get();
        }
        break;
    case ReportDestination::View:
        m_ownSink = std::make_unique<StreamSink>();
        sink = m_ownSink.get();
        break;
    case ReportDestination::TextFile:
        m_ownSink = std::make_unique<DiscardSink>();
        sink = m_ownSink.get();
        break;
    case ReportDestination::Pdf:
        m_ownSink = std::make_unique<PdfSink>(m_fileName);
        sink = m_ownSink.get();
        break;
    }
    m_output = std::make_unique<PageOutput>(*sink);
    m_output->setPageSize(defaultPaperSize());
    m_output->setLandscape(m_definition.landscape);
    m_output->setJobTitle(QStringLiteral("Test Report"));
}

ReportRun::~ReportRun() = default;

void ReportRun::setPaperSize(QSizeF inches) {
    m_output->setPageSize(inches);
}

ReportOutcome ReportRun::run() {
    Engine engine(m_definition, m_source, m_destination, m_fileName, *m_output);
    ReportOutcome result;
    result.outcome = m_output->run(engine.callbacks());
    result.error = m_output->error();
    result.pages = m_output->pageNumber();
    return result;
}

std::unique_ptr<PageStream> ReportRun::takePages() {
    if (m_destination != ReportDestination::View || !m_ownSink)
        return nullptr;
    auto* kept = static_cast<StreamSink*>(m_ownSink.get());
    return std::make_unique<PageStream>(std::move(kept->stream()));
}
