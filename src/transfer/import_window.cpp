#include "transfer/import_window.h"

#include "appearance/set_colors.h"
#include "formats/text_codec.h"
#include "items/item_schema.h"
#include "session/inventory_session.h"
#include "transfer/delimited_text.h"
#include "transfer/transfer_grid.h"
#include "ui/busy_cursor.h"
#include "ui/designed_widgets.h"
#include "ui/help_window.h"
#include "ui/prompter.h"
#include "ui/window_context.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QShortcut>

#include <cmath>

namespace {

using ui::button;
constexpr int kDesignPointSize = 9;

// Import window at 640 x 480: the grid on the left, the buttons and the count on the right.
constexpr int kImportWidth = 620;
constexpr int kImportHeight = 430;
constexpr int kGridLeft = 16;
constexpr int kGridTop = 64;
constexpr int kGridWidth = 400 + 20;
constexpr int kGridHeight = 350;
constexpr int kRightLeft = 452;
constexpr int kCountLeft = 540;
constexpr int kCountTop = 96;

// Import Format window.
constexpr int kFormatWidth = 280;
constexpr int kFormatHeight = 150;

const QString kYes = QStringLiteral("Yes");
const QString kNo = QStringLiteral("No");

QLabel* heading(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(geometry);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    markHeading(l, Heading::Minor);
    return l;
}

// The windows are centred and scaled; the import window then moves 10 pixels up when it sits
// low enough.
void placeOnShow(QWidget* window, const DesignGeometry& design, const WindowContext& context,
                 bool raise) {
    RestoreAndScale(window, design, context.scaleFactor, context.screen);
    if (raise && window->y() > 10)
        window->move(window->x(), window->y() - 10);
}

QString lastDirectory(const QString& last) {
    const QFileInfo info(last);
    return info.isDir() ? info.absoluteFilePath() : info.absolutePath();
}
} // namespace

// --- TMyImport -------------------------------------------------------------------------

TMyImport::TMyImport(InventorySession& session, WindowContext& context, ImportFileType type,
                     QStringList importFields, QString path, QString text, QWidget* parent)
    : QDialog(parent), m_session(session), m_context(context), m_type(type),
      m_fields(std::move(importFields)), m_path(std::move(path)), m_text(std::move(text)) {
    setObjectName(QStringLiteral("TMyImport"));
    setWindowTitle(type == ImportFileType::Text ? QStringLiteral("Ascii Delimited Text Import")
                                                : QStringLiteral("DBase File Import"));
    prepareDesignDialog(this, {kImportWidth, kImportHeight}, kDesignPointSize);

    auto* notes = new QLabel(
        QStringLiteral("Use the \"Up\" and \"Down\" buttons to match up the Tallywick fields "
                       "with the Import Fields.  Select \"Yes\"  to include it.  Double click "
                       "on the \"USE\" field to toggle between Yes and No."),
        this);
    notes->setObjectName(QStringLiteral("NotesLabel"));
    markHeading(notes, Heading::Minor);
    notes->setWordWrap(true);
    notes->setGeometry(kGridLeft, 8, kImportWidth - 2 * kGridLeft, 48);

    const int rows = std::max<int>(kItemFieldCount, int(m_fields.size()));
    m_grid = makeTransferGrid(this, "ImportGrid",
                              {QStringLiteral("TALLYWICK FIELDS"), QStringLiteral("IMPORT FIELDS"),
                               QStringLiteral("USE")},
                              rows);
    m_grid->setGeometry(kGridLeft, kGridTop, kGridWidth, kGridHeight);
    for (int r = 1; r <= rows; ++r) {
        if (r <= kItemFieldCount)
            setCellText(m_grid, r - 1, 0, m_session.db.fieldNames[size_t(r - 1)]);
        const bool held = r <= m_fields.size();
        setCellText(m_grid, r - 1, 1, held ? m_fields[r - 1] : QStringLiteral("<EMPTY>"));
        setCellText(m_grid, r - 1, 2, held ? kYes : QString());
    }
    m_grid->setCurrentCell(0, 1);

    heading(this, "FieldHeading", QStringLiteral("Field"), {kRightLeft, kGridTop, 80, 16});
    heading(this, "AlignmentHeading", QStringLiteral("Alignment"),
            {kRightLeft, kGridTop + 16, 80, 16});
    heading(this, "ImportHeading", QStringLiteral("Import"), {kCountLeft, kGridTop, 70, 16});
    heading(this, "CountHeading", QStringLiteral("Count"), {kCountLeft, kGridTop + 16, 70, 16});
    m_count = new QLabel(QStringLiteral("0"), this);
    m_count->setObjectName(QStringLiteral("CountLabel"));
    markHeading(m_count, Heading::Minor);
    m_count->setGeometry(kCountLeft, kCountTop, 70, 18);

    auto* up = button(this, "UpButton", QStringLiteral("&Up"), {kRightLeft, 100, 72, 27});
    auto* down = button(this, "DownButton", QStringLiteral("&Down"), {kRightLeft, 132, 72, 27});
    m_skipFirst = new QCheckBox(QStringLiteral("Skip First Record"), this);
    m_skipFirst->setObjectName(QStringLiteral("SkipFirstCheck"));
    m_skipFirst->setGeometry(kRightLeft, 200, 150, 20);
    m_skipFirst->setChecked(m_session.db.importSkipFirst);
    if (type == ImportFileType::Dbase) {
        m_skipFirst->hide();
        m_skipFirst->setEnabled(false);
    }
    m_start =
        button(this, "StartButton", QStringLiteral("&Start Import"), {kRightLeft, 260, 150, 27});
    m_exit = button(this, "ExitButton", QStringLiteral("E&xit"), {kRightLeft, 300, 150, 27});
    auto* help = button(this, "HelpButton", QStringLiteral("&Help"), {kRightLeft, 340, 150, 27});

    connect(up, &QPushButton::clicked, this, &TMyImport::UpButtonClick);
    connect(down, &QPushButton::clicked, this, &TMyImport::DownButtonClick);
    connect(m_grid, &QTableWidget::cellDoubleClicked, this, &TMyImport::ImportGridDblClick);
    // Space toggles the flag of the current row, whichever of its cells is current.
    toggleOnSpace(m_grid, [this] {
        if (m_grid->currentRow() >= 0)
            m_grid->setCurrentCell(m_grid->currentRow(), 2);
        ImportGridDblClick();
    });
    connect(m_skipFirst, &QCheckBox::clicked, this, &TMyImport::SkipFirstClick);
    connect(m_start, &QPushButton::clicked, this, &TMyImport::StartButtonClick);
    connect(m_exit, &QPushButton::clicked, this, &TMyImport::ExitButtonClick);
    connect(help, &QPushButton::clicked, this,
            [this] { openHelp(QStringLiteral("Import Window"), this); });
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this,
            [this] { openHelp(QStringLiteral("Import Window"), this); });

    SaveDimensions(this, m_design, m_context.prompter);
}

void TMyImport::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TMyImport::FormShow() {
    ApplyUserFonts(this, m_context.fonts);
    placeOnShow(this, m_design, m_context, true);
    scaleTransferGrid(m_grid, {179, 179, 38}, m_context.scaleFactor);
    SetColors(this, m_session.db.colors(WindowKind::Configure));
}

void TMyImport::UpButtonClick() {
    const int row = m_grid->currentRow();
    if (row >= 1)
        swapRows(m_grid, row, row - 1, {1, 2});
}

void TMyImport::DownButtonClick() {
    const int row = m_grid->currentRow();
    if (row >= 0 && row < m_grid->rowCount() - 1)
        swapRows(m_grid, row, row + 1, {1, 2});
}

void TMyImport::ImportGridDblClick() {
    const int row = m_grid->currentRow();
    if (row < 0 || m_grid->currentColumn() != 2)
        return;
    const QString use = cellText(m_grid, row, 2);
    if (use == kYes)
        setCellText(m_grid, row, 2, kNo);
    else if (use == kNo)
        setCellText(m_grid, row, 2, kYes);
}

void TMyImport::SkipFirstClick() {
    m_session.db.importSkipFirst = m_skipFirst->isChecked();
}

void TMyImport::setBusy(bool busy) {
    m_importing = busy;
    for (QWidget* w : findChildren<QWidget*>())
        if (qobject_cast<QPushButton*>(w) || w == m_grid || w == m_skipFirst)
            w->setEnabled(!busy && !(w == m_skipFirst && m_type == ImportFileType::Dbase));
}

void TMyImport::StartButtonClick() {
    if (m_importing)
        return;
    QStringList rowImport;
    QStringList rowUse;
    for (int r = 0; r < kItemFieldCount && r < m_grid->rowCount(); ++r) {
        rowImport << cellText(m_grid, r, 1);
        rowUse << cellText(m_grid, r, 2);
    }
    ImportRun run;
    run.items = &m_session.items;
    run.mapping = buildImportMapping(m_fields, rowImport, rowUse);
    run.dates = m_session.formats.current();
    qint64 shown = 0;
    run.progress = [this, &shown](qint64 count) {
        // Drawing every record would cost more than the import; Escape is seen between records.
        if (count - shown >= 97 || count < 10) {
            shown = count;
            m_count->setText(QString::number(count));
            QCoreApplication::processEvents();
        }
        return !m_cancel;
    };

    m_cancel = false;
    setBusy(true);
    ImportReport report;
    {
        BusyCursor busy;
        const auto idle = qScopeGuard([this] { setBusy(false); });
        try {
            report = m_type == ImportFileType::Text
                         ? importText(run, m_text, m_skipFirst->isChecked())
                         : importDbase(run, m_path);
        } catch (const dbase::DatabaseError& e) {
            report.stopError = QString::fromStdString(e.what());
        }
    }
    m_count->setText(QString::number(report.imported));
    m_context.prompter.message({importCaption(report), importSummary(report, m_type),
                                report.stopError.isEmpty() ? MsgIcon::Information : MsgIcon::Error,
                                static_cast<unsigned>(MsgButton::Ok), MsgButton::Ok});
    accept();
}

void TMyImport::ExitButtonClick() {
    if (m_importing)
        m_cancel = true;
    else
        reject();
}

void TMyImport::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && m_importing) {
        m_cancel = true;
        return;
    }
    QDialog::keyPressEvent(event);
}

void TMyImport::closeEvent(QCloseEvent* event) {
    if (m_importing) {
        m_cancel = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TMyImport::reject() {
    if (m_importing) {
        m_cancel = true;
        return;
    }
    QDialog::reject();
}

// --- TImportFormat ---------------------------------------------------------------------

TImportFormat::TImportFormat(InventorySession& session, WindowContext& context, QWidget* parent)
    : QDialog(parent), m_session(session), m_context(context) {
    setObjectName(QStringLiteral("TImportFormat"));
    setWindowTitle(QStringLiteral("Import Format"));
    prepareDesignDialog(this, {kFormatWidth, kFormatHeight}, kDesignPointSize);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setGeometry(16, 12, kFormatWidth - 32, 76);
    m_text = new QRadioButton(QStringLiteral("Ascii Delimited File"), panel);
    m_text->setObjectName(QStringLiteral("AsciiButton"));
    m_text->setGeometry(16, 12, kFormatWidth - 64, 22);
    m_dbase = new QRadioButton(QStringLiteral("DBase File (DBF)"), panel);
    m_dbase->setObjectName(QStringLiteral("DbaseButton"));
    m_dbase->setGeometry(16, 42, kFormatWidth - 64, 22);

    auto* select = button(this, "SelectButton", QStringLiteral("Select &File"), {16, 104, 112, 27});
    select->setDefault(true);
    auto* cancel = button(this, "CancelButton", QStringLiteral("&Cancel"),
                          {kFormatWidth - 16 - 112, 104, 112, 27});
    connect(select, &QPushButton::clicked, this, &TImportFormat::SelectFileClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this,
            [this] { openHelp(QStringLiteral("Import Window"), this); });

    SaveDimensions(this, m_design, m_context.prompter);
}

void TImportFormat::run(InventorySession& session, WindowContext& context, QWidget* owner) {
    TImportFormat dialog(session, context, owner);
    dialog.exec();
}

void TImportFormat::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TImportFormat::FormShow() {
    ApplyUserFonts(this, m_context.fonts);
    placeOnShow(this, m_design, m_context, false);
    (m_session.db.importFileType == 2 ? m_dbase : m_text)->setChecked(true);
    SetColors(this, m_session.db.colors(WindowKind::Configure));
}

void TImportFormat::done(int result) {
    m_session.db.importFileType = m_dbase->isChecked() ? 2 : 1;
    QDialog::done(result);
}

void TImportFormat::SelectFileClick() {
    const bool dbase = m_dbase->isChecked();
    FileDialogRequest request;
    request.caption = QStringLiteral("Import Data");
    request.directory = lastDirectory(m_session.global.lastImportFile);
    request.filters = {dbase ? QStringLiteral("DBase  (*.DBF *.dbf)")
                             : QStringLiteral("Ascii Delimited Text (*.TXT *.txt)")};
    request.defaultSuffix = dbase ? QStringLiteral("DBF") : QStringLiteral("TXT");
    request.mustExist = true;
    const std::optional<QString> chosen = m_context.prompter.openFileName(request);
    if (!chosen)
        return;
    m_session.global.lastImportFile = *chosen;
    if (openImport(dbase ? ImportFileType::Dbase : ImportFileType::Text, *chosen))
        accept();
}

bool TImportFormat::openImport(ImportFileType type, const QString& path) {
    QStringList fields;
    QString text;
    if (type == ImportFileType::Text) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            m_context.prompter.error(QStringLiteral("The file %1 cannot be read: %2.")
                                         .arg(QDir::toNativeSeparators(path), file.errorString()));
            return false;
        }
        {
            BusyCursor busy;
            text = decodeTextFile(file.readAll());
        }
        const FirstLineScan scan = GetFirstLine(text);
        if (scan.code != 0) {
            m_context.prompter.error(firstLineMessage(scan.code));
            return false;
        }
        fields = scan.names;
    } else {
        if (!path.toUpper().endsWith(QLatin1String(".DBF"))) {
            m_context.prompter.error(QStringLiteral("Invalid file type selected."));
            return false;
        }
        try {
            const std::optional<QStringList> names = dbaseImportFields(path);
            if (!names) {
                m_context.prompter.error(tooManyFieldsEnding());
                return false;
            }
            fields = *names;
        } catch (const dbase::DatabaseError& e) {
            m_context.prompter.error(QString::fromStdString(e.what()));
            return false;
        }
    }
    TMyImport window(m_session, m_context, type, fields, path, std::move(text), this);
    m_import = &window;
    const auto forget = qScopeGuard([this] { m_import = nullptr; });
    window.exec();
    return true;
}
