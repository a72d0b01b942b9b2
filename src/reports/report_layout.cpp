#include "reports/report_layout.h"

#include "appearance/set_colors.h"
#include "ui/designed_widgets.h"
#include "ui/help_window.h"
#include "ui/prompter.h"
#include "ui/window_context.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

namespace {

using ui::button;
using ui::helpOnF1;

constexpr int kDesignPointSize = 8;
// The drawn rows end at 375 design pixels; the buttons sit below them.
constexpr int kLayoutClientWidth = 633;
constexpr int kLayoutClientHeight = 420;
constexpr int kPartClientWidth = 360;
constexpr int kPartClientHeight = 334;

const QString kLayoutHelp = QStringLiteral("Specify Report Layout");
const QString kPartHelp = QStringLiteral("Select Report Part");

QLabel* label(QWidget* parent, const char* name, const QString& text, QRect geometry,
              Heading heading = Heading::None) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(geometry);
    if (heading != Heading::None) {
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
        markHeading(l, heading);
    }
    return l;
}

void showDesigned(QDialog* dialog, const DesignGeometry& design, const ColorSet& colors,
                  WindowContext& context) {
    ApplyUserFonts(dialog, context.fonts);
    RestoreAndScale(dialog, design, context.scaleFactor, context.screen);
    SetColors(dialog, colors);
}

} // namespace

// --- Specify Report Layout -----------------------------------------------------------------

TRepLayout::TRepLayout(const ReportDefinition& definition, const QString& reportName, int chars,
                       bool useTotals, const std::array<QString, 22>& captions,
                       const ColorSet& colors, WindowContext& context, QWidget* parent)
    : QDialog(parent), m_copy(definition), m_chars(chars), m_useTotals(useTotals),
      m_captions(captions), m_colors(colors), m_context(context) {
    setObjectName(QStringLiteral("TRepLayout"));
    setWindowTitle(QStringLiteral("Specify Report Layout"));
    prepareDesignDialog(this, {kLayoutClientWidth, kLayoutClientHeight}, kDesignPointSize);

    auto* note = label(this, "NoteLabel",
                       QStringLiteral("Using the left mouse button, click on the area where you "
                                      "would like to add or change the report layout."),
                       {8, 6, 617, 18});
    note->setWordWrap(true);
    markHeading(note, Heading::Minor);
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("NamePanel"));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setGeometry(4, 28, 625, 24);
    m_nameLabel = label(panel, "ReportNameLabel", QStringLiteral("Report: ") + reportName,
                        {6, 3, 613, 18}, Heading::Minor);
    m_bodyLabel = label(this, "ReportBodyLabel", QStringLiteral("Report Body"), {4, 56, 200, 17},
                        Heading::Minor);
    m_totalsLabel = label(this, "ReportTotalsLabel", QStringLiteral("Report Totals"),
                          {4, 336, 200, 17}, Heading::Minor);

    auto* ok = button(this, "OkButton", QStringLiteral("&Ok"), {220, 386, 90, 27});
    auto* cancel = button(this, "CancelButton", QStringLiteral("&Cancel"), {324, 386, 90, 27});
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    helpOnF1(this, kLayoutHelp);
    SaveDimensions(this, m_design, m_context.prompter);
}

LayoutGeometry TRepLayout::geometry() const {
    return LayoutGeometry(m_context.scaleFactor);
}

void TRepLayout::showEvent(QShowEvent* event) {
    showDesigned(this, m_design, m_colors, m_context);
    m_bodyLabel->setVisible(m_copy.numLines > 0);
    m_totalsLabel->setVisible(m_useTotals);
    QDialog::showEvent(event);
}

void TRepLayout::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    const LayoutGeometry g = geometry();
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(std::max(1, g.fontPoints));
    painter.setFont(font);
    const int lines = std::clamp(m_copy.numLines, 0, kBodyLineCount);
    for (int k = 1; k <= lines; ++k) {
        const int top = g.bodyTop + (k - 1) * g.rowHeight;
        const int bottom = k == lines ? g.bodyBottom(lines) : top + g.rowHeight;
        drawLine(painter, m_copy.body[std::size_t(k - 1)], false, top, bottom);
    }
    if (m_useTotals)
        drawLine(painter, m_copy.totals, true, g.totalsTop, g.totalsBottom);
}

void TRepLayout::drawLine(QPainter& painter, const ReportLine& line, bool totalsLine, int top,
                          int bottom) const {
    const LayoutGeometry g = geometry();
    const std::vector<int> edges = cellRightEdges(line, m_chars, g);
    const QFontMetrics metrics = painter.fontMetrics();
    int left = g.left;
    for (std::size_t i = 0; i < edges.size(); ++i) {
        const int right = edges[i];
        // Cells share their edges; the closing pixel row and column belong to the line.
        const QRect cell(left, top, right - left, bottom - top - 1);
        painter.fillRect(cell, Qt::white);
        painter.setPen(Qt::black);
        painter.drawRect(cell);

        const ReportPart& part = line.parts[i];
        QString text = partCellText(part, totalsLine, m_captions);
        QColor color = Qt::black;
        if (part.partKind() == PartKind::Label)
            color = Qt::red;
        else if (part.partKind() == PartKind::Filler)
            color = QColor(0, 128, 0);
        const int room = right - left - 1;
        int x = left + 1;
        if (metrics.horizontalAdvance(text) > room) {
            while (!text.isEmpty() && metrics.horizontalAdvance(text) > room)
                text.chop(1);
        } else if (part.partKind() == PartKind::Filler) {
            x = left + (right - left - metrics.horizontalAdvance(text)) / 2;
        } else if (part.partKind() == PartKind::Label) {
            x = right - 1 - metrics.horizontalAdvance(text);
        }
        const int baseline = top + (bottom - top - metrics.height()) / 2 + metrics.ascent();
        painter.setPen(color);
        painter.setClipRect(cell.adjusted(1, 1, 0, 0));
        painter.drawText(x, baseline, text);
        painter.setClipping(false);
        left = right;
    }
}

std::optional<LayoutHit> TRepLayout::hitAt(QPoint at) const {
    return layoutHitTest(at, m_copy, m_copy.numLines, m_chars, geometry());
}

void TRepLayout::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_pressed = hitAt(event->position().toPoint());
    QDialog::mousePressEvent(event);
}

void TRepLayout::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QDialog::mouseReleaseEvent(event);
        return;
    }
    // A press on one part and a release on another is no click.
    const std::optional<LayoutHit> released = hitAt(event->position().toPoint());
    const std::optional<LayoutHit> pressed = std::exchange(m_pressed, std::nullopt);
    if (pressed && released && *pressed == *released)
        editPart(released->line, released->part);
}

void TRepLayout::editPart(int line, int part) {
    const bool totals = line == kTotalsLineNumber;
    ReportLine& target = totals ? m_copy.totals : m_copy.body[std::size_t(line - 1)];
    TReportPart window(target, line, part, m_chars, m_captions, m_colors, m_context, this);
    if (window.exec() != QDialog::Accepted)
        return;
    target = window.line();
    update();
}

// --- Select Report Part --------------------------------------------------------------------

TReportPart::TReportPart(const ReportLine& lineParts, int line, int part, int chars,
                         const std::array<QString, 22>& captions, const ColorSet& colors,
                         WindowContext& context, QWidget* parent)
    : QDialog(parent), m_line(lineParts), m_index(part - 1), m_totals(line == kTotalsLineNumber),
      m_chars(chars), m_colors(colors), m_context(context) {
    setObjectName(QStringLiteral("TReportPart"));
    setWindowTitle(QStringLiteral("Select Report Part"));
    prepareDesignDialog(this, {kPartClientWidth, kPartClientHeight}, kDesignPointSize);

    label(this, "SelectedHeading", QStringLiteral("Selected Part"), {12, 10, 170, 16},
          Heading::Minor);
    m_selPart = label(this, "SelPartLabel",
                      m_totals ? QStringLiteral("Totals Line, Item %1").arg(part)
                               : QStringLiteral("Line %1, Item %2").arg(line).arg(part),
                      {12, 28, 170, 18});
    markHeading(m_selPart, Heading::Minor);
    auto radio = [this](const char* name, const QString& caption, int top) {
        auto* r = new QRadioButton(caption, this);
        r->setObjectName(QString::fromLatin1(name));
        r->setGeometry(12, top, 176, 20);
        connect(r, &QRadioButton::toggled, this, [this] { followKind(); });
        return r;
    };
    m_filler = radio("RadioFiller", QStringLiteral("Filler (empty space)"), 58);
    m_label = radio("RadioLabel", QStringLiteral("Label (constant value)"), 82);
    m_field = radio("RadioField", QStringLiteral("Field (database value)"), 106);

    markHeading(label(this, "WidthLabel", QStringLiteral("Width"), {12, 142, 60, 18}),
                Heading::Minor);
    m_width = new QLineEdit(this);
    m_width->setObjectName(QStringLiteral("FieldWidth"));
    m_width->setGeometry(12, 160, 48, 22);
    setTypingLimit(m_width, 3);

    label(this, "FieldsLabel", QStringLiteral("Fields"), {196, 10, 152, 16}, Heading::Minor);
    m_fields = new QListWidget(this);
    m_fields->setObjectName(QStringLiteral("FieldList"));
    m_fields->setGeometry(196, 28, 152, 210);
    m_fields->addItems(partFieldList(m_totals, captions));

    markHeading(label(this, "LabelNameLabel", QStringLiteral("Label Name"), {12, 246, 120, 18}),
                Heading::Minor);
    m_labelName = new QLineEdit(this);
    m_labelName->setObjectName(QStringLiteral("LabelName"));
    m_labelName->setGeometry(12, 264, 336, 22);
    setTypingLimit(m_labelName, kLabelLength);

    auto* ok = button(this, "OkButton", QStringLiteral("&Ok"), {88, 298, 81, 27});
    auto* cancel = button(this, "CancelButton", QStringLiteral("&Cancel"), {191, 298, 81, 27});
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &TReportPart::OkButtonClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    helpOnF1(this, kPartHelp);

    const ReportPart& current = m_line.parts[std::size_t(m_index)];
    switch (current.partKind()) {
    case PartKind::Label:
        m_label->setChecked(true);
        setBoxText(m_labelName, current.label);
        break;
    case PartKind::Filler:
        m_filler->setChecked(true);
        break;
    case PartKind::Field:
        m_field->setChecked(true);
        m_fields->setCurrentRow(partFieldIndex(current, m_totals));
        break;
    }
    followKind();
    setBoxText(m_width, QString::number(current.width));
    SaveDimensions(this, m_design, m_context.prompter);
}

void TReportPart::showEvent(QShowEvent* event) {
    showDesigned(this, m_design, m_colors, m_context);
    QDialog::showEvent(event);
    m_width->setFocus();
    m_width->selectAll();
}

void TReportPart::followKind() {
    m_labelName->setEnabled(m_label->isChecked());
    m_fields->setEnabled(m_field->isChecked());
}

void TReportPart::OkButtonClick() {
    PartChoice choice;
    choice.kind = m_label->isChecked()   ? PartKind::Label
                  : m_field->isChecked() ? PartKind::Field
                                         : PartKind::Filler;
    choice.widthText = m_width->text();
    choice.fieldIndex = m_fields->currentItem() && m_fields->currentItem()->isSelected()
                            ? m_fields->currentRow()
                            : -1;
    choice.labelText = m_labelName->text();
    ReportLine edited = m_line;
    if (const auto problem = applyPartChoice(edited, m_index, m_totals, choice, m_chars)) {
        m_context.prompter.message({problem->caption, problem->message, MsgIcon::Warning,
                                    static_cast<unsigned>(MsgButton::Ok), MsgButton::Ok});
        (problem->box == PartBox::Width ? static_cast<QWidget*>(m_width) : m_fields)->setFocus();
        return;
    }
    m_line = edited;
    accept();
}
