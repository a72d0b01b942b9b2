#include "reports/report_designer.h"

#include "appearance/set_colors.h"
#include "formats/value_format.h"
#include "reports/report_design_rules.h"
#include "reports/report_file.h"
#include "reports/report_generator.h"
#include "reports/report_layout.h"
#include "ui/designed_widgets.h"
#include "ui/help_window.h"
#include "ui/prompter.h"
#include "ui/window_context.h"

#include <QCheckBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

namespace {

using ui::check;
using ui::group;
using ui::helpOnF1;
using ui::label;

// Design layout at 640 x 480: name, width, fonts and content on the left; titles and the
// miscellaneous switches on the right; the four buttons along the bottom.
constexpr int kClientWidth = 632;
constexpr int kClientHeight = 422;
constexpr int kDesignPointSize = 8;
constexpr int kLeft = 8;
constexpr int kRight = 320;
constexpr int kColumnWidth = 304;
constexpr int kBoxWidth = kColumnWidth - 20;

const QString kDefinitionHelp = QStringLiteral("User Defined Reports");
const QString kFontsHelp = QStringLiteral("Report Fonts");

QLineEdit* edit(QWidget* parent, const char* name, int maxLength, QRect geometry) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setGeometry(geometry);
    if (maxLength > 0)
        setTypingLimit(e, maxLength);
    return e;
}

void showDesigned(QDialog* dialog, const DesignGeometry& design, const ColorSet& colors,
                  WindowContext& context) {
    ApplyUserFonts(dialog, context.fonts);
    RestoreAndScale(dialog, design, context.scaleFactor, context.screen);
    SetColors(dialog, colors);
}

QFont qFontOf(const ReportFont& f) {
    QFont font(f.face);
    font.setPointSize(f.size > 0 ? f.size : 8);
    font.setBold(f.bold);
    font.setItalic(f.italic);
    font.setUnderline(f.underline);
    font.setStrikeOut(f.strikeOut);
    return font;
}

constexpr std::array<ReportFontRole, 4> kShownFonts = {TitleFont, HeaderFont, BodyFont,
                                                       FootnoteFont};

} // namespace

// --- Report Definition ---------------------------------------------------------------------

TUserReport::TUserReport(ReportDefinition& definition, QString programDir,
                         std::optional<int> record, const std::array<QString, 22>& captions,
                         const ColorSet& colors, WindowContext& context, QWidget* parent)
    : QDialog(parent), m_def(definition), m_programDir(std::move(programDir)), m_record(record),
      m_openingName(definition.name), m_captions(captions), m_colors(colors), m_context(context) {
    setObjectName(QStringLiteral("TUserReport"));
    setWindowTitle(QStringLiteral("Report Definition"));
    prepareDesignDialog(this, {kClientWidth, kClientHeight}, kDesignPointSize);

    // Left column.
    auto* name =
        group(this, "NameGroup", QStringLiteral("Report Name"), {kLeft, 6, kColumnWidth, 50});
    edit(name, "ReportName", kReportNameLength, {10, 20, kBoxWidth, 22});

    auto* width =
        group(this, "WidthGroup", QStringLiteral("Report Width"), {kLeft, 60, kColumnWidth, 46});
    const std::pair<const char*, const char*> radios[] = {
        {"Chars90", "90 Chars"}, {"Chars120", "120 Chars"}, {"Chars150", "150 Chars"}};
    const int charsOf[] = {kNarrowChars, kMediumChars, kWideChars};
    for (int i = 0; i < 3; ++i) {
        auto* r = new QRadioButton(QString::fromLatin1(radios[i].second), width);
        r->setObjectName(QString::fromLatin1(radios[i].first));
        r->setGeometry(10 + 96 * i, 20, 92, 20);
        const int chars = charsOf[i];
        connect(r, &QRadioButton::clicked, this, [this, chars] { CharsClick(chars); });
    }

    auto* fonts =
        group(this, "FontsGroup", QStringLiteral("Report Fonts"), {kLeft, 110, kColumnWidth, 156});
    const std::pair<const char*, const char*> fontRows[] = {{"TitleLineFont", "Title Lines"},
                                                            {"ColumnHeaderFont", "Column Headers"},
                                                            {"RepBodyDataFont", "Report Body"},
                                                            {"FootnoteFont", "Footnotes"}};
    for (int i = 0; i < 4; ++i) {
        const QByteArray labelName = QByteArray(fontRows[i].first) + "Label";
        label(fonts, labelName.constData(), QString::fromLatin1(fontRows[i].second),
              {10, 22 + 28 * i, 96, 20});
        QLineEdit* box = edit(fonts, fontRows[i].first, 0, {108, 20 + 28 * i, 186, 22});
        box->setReadOnly(true);
        box->setFocusPolicy(Qt::ClickFocus);
        m_fontBoxes[std::size_t(i)] = box;
    }
    auto* setFonts =
        ui::button(fonts, "SetFonts", QStringLiteral("&Set Fonts"), {108, 129, 120, 24});

    auto* content = group(this, "ContentGroup", QStringLiteral("Report Content"),
                          {kLeft, 270, kColumnWidth, 104});
    label(content, "NumLinesLabel", QStringLiteral("Number of Lines"), {10, 24, 96, 20});
    edit(content, "NumLines", 2, {108, 22, 32, 22});
    check(content, "UseTotals", QStringLiteral("Use Totals"), {164, 23, 130, 20});
    auto* specify = ui::button(content, "SpecifyButton", QStringLiteral("&Specify Report Content"),
                               {10, 62, kBoxWidth, 29});

    // Right column.
    auto* titles =
        group(this, "TitlesGroup", QStringLiteral("Report Titles"), {kRight, 6, kColumnWidth, 104});
    for (int i = 0; i < 3; ++i) {
        const QByteArray boxName = "Title" + QByteArray::number(i + 1);
        edit(titles, boxName.constData(), kTitleLength, {10, 20 + 28 * i, kBoxWidth, 22});
    }

    auto* misc =
        group(this, "MiscGroup", QStringLiteral("Miscellaneous"), {kRight, 114, kColumnWidth, 260});
    const std::pair<const char*, const char*> checks[] = {
        {"ColumnHeaders", "Column Headers"},      {"PageNumbers", "Page Numbers"},
        {"DateOnPage", "Date On Pages"},          {"LandOrient", "Print Landscape"},
        {"HorzLines", "Horizontal Lines"},        {"VertLines", "Vertical Lines"},
        {"Level1Group", "Group by Level 1 Sort"}, {"Level2Group", "Group by Level 2 Sort"}};
    for (int i = 0; i < 8; ++i)
        check(misc, checks[i].first, QString::fromLatin1(checks[i].second),
              {10 + (i / 4) * 140, 24 + (i % 4) * 26, i / 4 ? 150 : 136, 20});
    auto* marginsHeading =
        label(misc, "MarginsLabel", QStringLiteral("Margins (in inches)"), {10, 140, 200, 18});
    QFont bold = marginsHeading->font();
    bold.setBold(true);
    marginsHeading->setFont(bold);
    const std::pair<const char*, const char*> margins[] = {{"TopMargin", "Top"},
                                                           {"BottomMargin", "Bottom"},
                                                           {"LeftMargin", "Left"},
                                                           {"RightMargin", "Right"}};
    for (int i = 0; i < 4; ++i) {
        const int x = 10 + (i % 2) * 140;
        const int y = 166 + (i / 2) * 32;
        const QByteArray labelName = QByteArray(margins[i].first) + "Label";
        label(misc, labelName.constData(), QString::fromLatin1(margins[i].second),
              {x, y + 2, 50, 20});
        m_margins[std::size_t(i)] = edit(misc, margins[i].first, 5, {x + 54, y, 52, 22});
    }

    // Buttons.
    auto* update = ui::button(this, "UpdateButton", QStringLiteral("&Update"), {88, 384, 100, 29});
    auto* remove = ui::button(this, "DeleteButton", QStringLiteral("&Delete"), {208, 384, 100, 29});
    auto* help = ui::button(this, "HelpButton", QStringLiteral("&Help"), {328, 384, 100, 29});
    auto* cancel = ui::button(this, "CancelButton", QStringLiteral("&Cancel"), {448, 384, 100, 29});

    connect(setFonts, &QPushButton::clicked, this, &TUserReport::SetFontsClick);
    connect(specify, &QPushButton::clicked, this, &TUserReport::SpecifyButtonClick);
    connect(checkBox("Level1Group"), &QCheckBox::clicked, this, &TUserReport::Level1GroupClick);
    connect(update, &QPushButton::clicked, this, &TUserReport::UpdateButtonClick);
    connect(remove, &QPushButton::clicked, this, &TUserReport::DeleteButtonClick);
    connect(help, &QPushButton::clicked, this, [this] { openHelp(kDefinitionHelp, this); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    helpOnF1(this, kDefinitionHelp);

    for (const char* watched : {"ReportName", "NumLines"})
        lineEdit(watched)->installEventFilter(this);
    for (QLineEdit* m : m_margins)
        m->installEventFilter(this);

    SaveDimensions(this, m_design, m_context.prompter);
}

QLineEdit* TUserReport::lineEdit(const char* name) const {
    return findChild<QLineEdit*>(QString::fromLatin1(name));
}
QCheckBox* TUserReport::checkBox(const char* name) const {
    return findChild<QCheckBox*>(QString::fromLatin1(name));
}
QRadioButton* TUserReport::radioButton(const char* name) const {
    return findChild<QRadioButton*>(QString::fromLatin1(name));
}
QPushButton* TUserReport::button(const char* name) const {
    return findChild<QPushButton*>(QString::fromLatin1(name));
}

void TUserReport::showEvent(QShowEvent* event) {
    showDesigned(this, m_design, m_colors, m_context);
    fillControls();
    QDialog::showEvent(event);
    lineEdit("ReportName")->setFocus();
}

void TUserReport::fillControls() {
    setBoxText(lineEdit("ReportName"), m_def.name);
    for (int i = 0; i < 3; ++i) {
        const QByteArray boxName = "Title" + QByteArray::number(i + 1);
        setBoxText(lineEdit(boxName.constData()), m_def.titles[std::size_t(i)]);
    }
    setBoxText(lineEdit("NumLines"), QString::number(m_def.numLines));
    const double margins[] = {m_def.topMargin, m_def.bottomMargin, m_def.leftMargin,
                              m_def.rightMargin};
    for (int i = 0; i < 4; ++i)
        setBoxText(m_margins[std::size_t(i)], marginText(margins[i]));
    charsRadio(m_def.charsPerLine)->setChecked(true);
    checkBox("ColumnHeaders")->setChecked(m_def.columnHeaders);
    checkBox("PageNumbers")->setChecked(m_def.pageNumbers);
    checkBox("DateOnPage")->setChecked(m_def.dateOnPage);
    checkBox("LandOrient")->setChecked(m_def.landscape);
    checkBox("HorzLines")->setChecked(m_def.horzLines);
    checkBox("VertLines")->setChecked(m_def.vertLines);
    checkBox("UseTotals")->setChecked(m_def.useTotals);
    checkBox("Level1Group")->setChecked(m_def.level1Group);
    checkBox("Level2Group")->setChecked(m_def.level1Group && m_def.level2Group);
    showFontDescriptions();
    followNumLines();
    Level1GroupClick();
    button("DeleteButton")->setEnabled(m_record.has_value());
}

void TUserReport::showFontDescriptions() {
    for (std::size_t i = 0; i < kShownFonts.size(); ++i)
        setBoxText(m_fontBoxes[i], fontDescription(m_def.fonts[kShownFonts[i]]));
}

QRadioButton* TUserReport::charsRadio(int chars) const {
    if (chars == kWideChars)
        return radioButton("Chars150");
    if (chars == kMediumChars)
        return radioButton("Chars120");
    return radioButton("Chars90");
}

int TUserReport::radioChars() const {
    if (radioButton("Chars150")->isChecked())
        return kWideChars;
    if (radioButton("Chars120")->isChecked())
        return kMediumChars;
    return kNarrowChars;
}

void TUserReport::followNumLines() {
    // Column headers and ruled lines apply to one-line layouts only.
    const bool oneLine = m_def.numLines < 2;
    for (const char* name : {"ColumnHeaders", "HorzLines", "VertLines"})
        checkBox(name)->setEnabled(oneLine);
}

bool TUserReport::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        // Leaving a box for another control of this window; switching windows is no exit.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (watched == lineEdit("ReportName"))
                ReportNameExit();
            else
                NumLinesExit();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TUserReport::ReportNameExit() {
    if (!m_record)
        return;
    m_def.name = trimSpaces(lineEdit("ReportName")->text()).left(kReportNameLength);
    // Delete removes the report as it is in the file, under the name it was opened with.
    button("DeleteButton")->setEnabled(m_def.name == m_openingName);
}

void TUserReport::NumLinesExit() {
    // A text that is no number is left for the check before Update or Specify to refuse.
    storeNumLines();
    followNumLines();
}

void TUserReport::storeNumLines() {
    if (const auto n = readWholeNumber(lineEdit("NumLines")->text())) {
        m_def.numLines = *n;
        setBoxText(lineEdit("NumLines"), QString::number(*n));
    }
}

std::optional<int> TUserReport::checkNumLines() {
    const auto n = checkedNumLines(lineEdit("NumLines")->text());
    if (!n) {
        m_context.prompter.message({QStringLiteral("Notice"), kNumLinesRangeMessage,
                                    MsgIcon::Warning, static_cast<unsigned>(MsgButton::Ok),
                                    MsgButton::Ok});
        lineEdit("NumLines")->setFocus();
        return std::nullopt;
    }
    m_def.numLines = *n;
    setBoxText(lineEdit("NumLines"), QString::number(*n));
    followNumLines();
    return n;
}

void TUserReport::Level1GroupClick() {
    checkBox("Level2Group")->setEnabled(checkBox("Level1Group")->isChecked());
}

void TUserReport::CharsClick(int chars) {
    const CharsSwitch change = charsSwitch(m_def.charsPerLine, chars);
    if (!change.changes)
        return;
    if (!change.question.isEmpty()) {
        m_context.prompter.beep();
        const MsgButton answer =
            m_context.prompter.message({QStringLiteral("Warning"), change.question, MsgIcon::Error,
                                        MsgButton::Yes | MsgButton::No, MsgButton::No});
        if (answer != MsgButton::Yes) {
            charsRadio(m_def.charsPerLine)->setChecked(true);
            return;
        }
    }
    switchChars(m_def, chars);
    showFontDescriptions();
    if (!change.notice.isEmpty())
        m_context.prompter.message({QStringLiteral("Notice"), change.notice, MsgIcon::Warning,
                                    static_cast<unsigned>(MsgButton::Ok), MsgButton::Ok});
}

void TUserReport::SetFontsClick() {
    TReportFonts fonts(m_def, m_colors, m_context, this);
    fonts.exec();
    showFontDescriptions();
}

void TUserReport::SpecifyButtonClick() {
    if (!checkNumLines())
        return;
    const QString name = trimSpaces(lineEdit("ReportName")->text()).left(kReportNameLength);
    TRepLayout layout(m_def, name, radioChars(), checkBox("UseTotals")->isChecked(), m_captions,
                      m_colors, m_context, this);
    if (layout.exec() == QDialog::Accepted)
        m_def = layout.definition();
}

void TUserReport::UpdateButtonClick() {
    if (!checkNumLines())
        return;
    const MarginReading margins = readMargins(
        {m_margins[0]->text(), m_margins[1]->text(), m_margins[2]->text(), m_margins[3]->text()},
        defaultPaperSize(), checkBox("LandOrient")->isChecked());
    if (margins.problem) {
        m_context.prompter.message({QStringLiteral("Error"), margins.problem->message,
                                    MsgIcon::Warning, static_cast<unsigned>(MsgButton::Ok),
                                    MsgButton::Ok});
        m_margins[std::size_t(margins.problem->box)]->setFocus();
        return;
    }

    ReportDefinition d = m_def;
    d.topMargin = margins.margins->top;
    d.bottomMargin = margins.margins->bottom;
    d.leftMargin = margins.margins->left;
    d.rightMargin = margins.margins->right;
    d.name = trimSpaces(lineEdit("ReportName")->text()).left(kReportNameLength);
    for (int i = 0; i < 3; ++i) {
        const QByteArray boxName = "Title" + QByteArray::number(i + 1);
        d.titles[std::size_t(i)] =
            trimSpaces(lineEdit(boxName.constData())->text()).left(kTitleLength);
    }
    d.charsPerLine = radioChars();
    d.columnHeaders = checkBox("ColumnHeaders")->isChecked();
    d.pageNumbers = checkBox("PageNumbers")->isChecked();
    d.dateOnPage = checkBox("DateOnPage")->isChecked();
    d.landscape = checkBox("LandOrient")->isChecked();
    d.horzLines = checkBox("HorzLines")->isChecked();
    d.vertLines = checkBox("VertLines")->isChecked();
    d.useTotals = checkBox("UseTotals")->isChecked();
    d.level1Group = checkBox("Level1Group")->isChecked();
    d.level2Group = d.level1Group && checkBox("Level2Group")->isChecked();
    m_def = d;

    bool asNew = !m_record;
    if (m_record && d.name != m_openingName) {
        m_context.prompter.beep();
        const MsgButton answer = m_context.prompter.message(
            {QStringLiteral("Warning"),
             QStringLiteral("Report Title has changed!  Do you wish to save this as a new "
                            "report?   (YES saves as new report.  NO overwrites old report.  "
                            "CANCEL aborts.)"),
             MsgIcon::Error,
             MsgButton::Yes | MsgButton::No | static_cast<unsigned>(MsgButton::Cancel),
             MsgButton::Yes});
        if (answer == MsgButton::Cancel || answer == MsgButton::None)
            return;
        asNew = answer == MsgButton::Yes;
    }

    ReportFile file = ReportFile::inDirectory(m_programDir);
    QString problem;
    const std::optional<int> written =
        file.write(d, asNew ? ReportFile::kAppend : *m_record, &problem);
    if (!written) {
        m_context.prompter.error(problem);
        return;
    }
    m_outcome = Outcome::Saved;
    m_savedRecord = *written;
    accept();
}

void TUserReport::DeleteButtonClick() {
    if (!m_record)
        return;
    // Its key works while the name box still has the focus: the name typed there decides
    // first, as leaving the box would.
    ReportNameExit();
    if (!button("DeleteButton")->isEnabled())
        return;
    if (!m_context.prompter.warn(QStringLiteral("Are you sure you want to delete this report?")))
        return;
    ReportFile file = ReportFile::inDirectory(m_programDir);
    QString problem;
    if (!file.remove(*m_record, &problem)) {
        m_context.prompter.error(problem);
        return;
    }
    m_outcome = Outcome::Deleted;
    accept();
}

// --- Report Fonts --------------------------------------------------------------------------

TReportFonts::TReportFonts(ReportDefinition& definition, const ColorSet& colors,
                           WindowContext& context, QWidget* parent)
    : QDialog(parent), m_def(definition), m_colors(colors), m_context(context) {
    setObjectName(QStringLiteral("TReportFonts"));
    setWindowTitle(QStringLiteral("Report Fonts"));
    prepareDesignDialog(this, {384, 172}, kDesignPointSize);

    struct Row {
        const char* box;
        const char* caption;
        const char* button;
    };
    const Row rows[] = {{"TitleFont", "Titles Font", "TitleFontButton"},
                        {"ColumnFont", "Column Header Font", "ColumnFontButton"},
                        {"BodyFont", "Report Body Font", "BodyFontButton"},
                        {"FootnoteFont", "Footnote Font", "FootnoteFontButton"}};
    for (int i = 0; i < 4; ++i) {
        const QByteArray labelName = QByteArray(rows[i].box) + "Label";
        markHeading(label(this, labelName.constData(), QString::fromLatin1(rows[i].caption),
                          {12, 16 + 30 * i, 118, 20}),
                    Heading::Minor);
        QLineEdit* box = edit(this, rows[i].box, 0, {132, 14 + 30 * i, 150, 22});
        box->setReadOnly(true);
        box->setFocusPolicy(Qt::ClickFocus);
        setBoxText(box, fontDescription(m_def.fonts[kShownFonts[std::size_t(i)]]));
        auto* b = ui::button(this, rows[i].button, QStringLiteral("New Font"),
                             {292, 12 + 30 * i, 80, 26});
        const ReportFontRole role = kShownFonts[std::size_t(i)];
        connect(b, &QPushButton::clicked, this, [this, role] { NewFontClick(role); });
    }
    auto* ok = ui::button(this, "OkButton", QStringLiteral("&Ok"), {152, 136, 81, 27});
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    helpOnF1(this, kFontsHelp);
    SaveDimensions(this, m_design, m_context.prompter);
}

QLineEdit* TReportFonts::fontBox(ReportFontRole role) const {
    const char* names[] = {"TitleFont", "ColumnFont", "BodyFont", "", "FootnoteFont"};
    return findChild<QLineEdit*>(QString::fromLatin1(names[role]));
}

void TReportFonts::showEvent(QShowEvent* event) {
    showDesigned(this, m_design, m_colors, m_context);
    QDialog::showEvent(event);
}

void TReportFonts::NewFontClick(ReportFontRole role) {
    ReportFont& font = m_def.fonts[std::size_t(role)];
    const QFont initial = installedFont(qFontOf(font));
    const auto chosen = m_context.prompter.font(
        {initial, toQColor(static_cast<ColorRef>(font.color))}, QStringLiteral("Font"));
    if (!chosen)
        return;
    const QFont& f = chosen->font;
    font.face = chosenFamily(font.face, f).left(kFontFaceLength);
    const int points = f.pointSize() > 0 ? f.pointSize() : qRound(f.pointSizeF());
    if (points > 0)
        font.size = points;
    font.bold = f.bold();
    font.italic = f.italic();
    font.underline = f.underline();
    font.strikeOut = f.strikeOut();
    if (chosen->color)
        font.color = static_cast<quint32>(toColorRef(*chosen->color));
    setBoxText(fontBox(role), fontDescription(font));
}
