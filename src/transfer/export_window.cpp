#include "transfer/export_window.h"

#include "appearance/set_colors.h"
#include "items/item_schema.h"
#include "session/inventory_session.h"
#include "transfer/item_export.h"
#include "transfer/transfer_grid.h"
#include "ui/busy_cursor.h"
#include "ui/designed_widgets.h"
#include "ui/help_window.h"
#include "ui/prompter.h"
#include "ui/window_context.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

namespace {

using ui::button;
// Design layout at 640 x 480: the grid on the left, choices and buttons on the right.
constexpr int kClientWidth = 600;
constexpr int kClientHeight = 440;
constexpr int kDesignPointSize = 9;
constexpr int kGridLeft = 16;
constexpr int kGridTop = 16;
constexpr int kGridWidth = 300 + 20;
constexpr int kGridHeight = 412;
constexpr int kRight = 352;
constexpr int kRightWidth = 232;
constexpr int kFieldRole = Qt::UserRole;

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

QRadioButton* radio(QWidget* parent, const char* name, const QString& caption, int top) {
    auto* r = new QRadioButton(caption, parent);
    r->setObjectName(QString::fromLatin1(name));
    r->setGeometry(12, top, kRightWidth - 24, 20);
    return r;
}

QString lastDirectory(const QString& last) {
    const QFileInfo info(last);
    return info.isDir() ? info.absoluteFilePath() : info.absolutePath();
}
} // namespace

TMyExport::TMyExport(InventorySession& session, WindowContext& context, QWidget* parent)
    : QDialog(parent), m_session(session), m_context(context) {
    setObjectName(QStringLiteral("TMyExport"));
    setWindowTitle(QStringLiteral("Export"));
    prepareDesignDialog(this, {kClientWidth, kClientHeight}, kDesignPointSize);

    m_grid =
        makeTransferGrid(this, "ExportGrid", {QStringLiteral("FIELD"), QStringLiteral("EXPORT IT")},
                         kItemFieldCount);
    m_grid->setGeometry(kGridLeft, kGridTop, kGridWidth, kGridHeight);

    heading(this, "FieldHeading", QStringLiteral("Field"), {kRight, 14, 80, 16});
    heading(this, "OrderingHeading", QStringLiteral("Ordering"), {kRight, 30, 80, 16});
    auto* up = button(this, "UpButton", QStringLiteral("&Up"), {kRight, 50, 72, 27});
    auto* down = button(this, "DownButton", QStringLiteral("&Down"), {kRight + 80, 50, 72, 27});
    auto* defaults =
        button(this, "DefaultsButton", QStringLiteral("D&efaults"), {kRight + 160, 50, 72, 27});

    auto* what = new QGroupBox(QStringLiteral("What to Export"), this);
    what->setObjectName(QStringLiteral("WhatPanel"));
    what->setGeometry(kRight, 88, kRightWidth, 66);
    m_entire = radio(what, "ExportEntire", QStringLiteral("Export Entire Database"), 20);
    m_search = radio(what, "ExportSearch", QStringLiteral("Export Search Criteria"), 40);

    auto* how = new QGroupBox(QStringLiteral("How To Export"), this);
    how->setObjectName(QStringLiteral("HowPanel"));
    how->setGeometry(kRight, 160, kRightWidth, 66);
    m_text = radio(how, "AsciiButton", QStringLiteral("Ascii Delimited Text File"), 20);
    m_dbase = radio(how, "DbaseButton", QStringLiteral("DBase File (DBF)"), 40);

    m_firstRow = new QCheckBox(QStringLiteral("&First Record Contains Field Names"), this);
    m_firstRow->setObjectName(QStringLiteral("FirstRowCheck"));
    m_firstRow->setGeometry(kRight, 232, kRightWidth, 20);
    m_firstRow->setChecked(m_session.db.exportFirstRow);

    heading(this, "ProgressHeading", QStringLiteral("Export Progress"),
            {kRight, 260, kRightWidth, 16});
    m_gauge = new QProgressBar(this);
    m_gauge->setObjectName(QStringLiteral("ExportGauge"));
    m_gauge->setGeometry(kRight, 278, kRightWidth, 18);
    m_gauge->setRange(0, 1);
    m_gauge->setValue(0);
    m_gauge->setStyleSheet(QStringLiteral("QProgressBar::chunk { background-color: red; }"));

    heading(this, "NotesHeading", QStringLiteral("NOTES"), {kRight, 306, kRightWidth, 16});
    auto* notes = new QLabel(
        QStringLiteral("To have a field included in the export, select \"Yes\".  To exclude it, "
                       "select \"No\".  Double click on the field to toggle between Yes and No."),
        this);
    notes->setObjectName(QStringLiteral("NotesLabel"));
    markHeading(notes, Heading::Minor);
    notes->setWordWrap(true);
    notes->setGeometry(kRight, 324, kRightWidth, 66);

    auto* start =
        button(this, "StartButton", QStringLiteral("&Start Export"), {kRight, 400, 92, 27});
    start->setDefault(true);
    auto* exit = button(this, "ExitButton", QStringLiteral("E&xit"), {kRight + 100, 400, 62, 27});
    auto* help = button(this, "HelpButton", QStringLiteral("&Help"), {kRight + 170, 400, 62, 27});

    connect(up, &QPushButton::clicked, this, &TMyExport::UpButtonClick);
    connect(down, &QPushButton::clicked, this, &TMyExport::DownButtonClick);
    connect(defaults, &QPushButton::clicked, this, &TMyExport::DefaultsButtonClick);
    connect(m_grid, &QTableWidget::cellDoubleClicked, this, &TMyExport::ExportGridDblClick);
    // Space toggles the flag of the current row, whichever of its cells is current.
    toggleOnSpace(m_grid, [this] {
        if (m_grid->currentRow() >= 0)
            m_grid->setCurrentCell(m_grid->currentRow(), 1);
        ExportGridDblClick();
    });
    connect(m_text, &QRadioButton::toggled, this, [this] { followFileType(); });
    connect(m_firstRow, &QCheckBox::clicked, this, &TMyExport::FirstRowClick);
    connect(start, &QPushButton::clicked, this, &TMyExport::StartButtonClick);
    connect(exit, &QPushButton::clicked, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this,
            [this] { openHelp(QStringLiteral("Export Window"), this); });
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this,
            [this] { openHelp(QStringLiteral("Export Window"), this); });

    fillGrid();
    (m_session.db.exportFileType == 2 ? m_dbase : m_text)->setChecked(true);
    followFileType();
    SaveDimensions(this, m_design, m_context.prompter);
}

void TMyExport::run(InventorySession& session, WindowContext& context, QWidget* owner) {
    TMyExport dialog(session, context, owner);
    dialog.exec();
}

void TMyExport::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TMyExport::FormShow() {
    ApplyUserFonts(this, m_context.fonts);
    RestoreAndScale(this, m_design, m_context.scaleFactor, m_context.screen);
    if (y() > 10)
        move(x(), y() - 10);
    scaleTransferGrid(m_grid, {200, 100}, m_context.scaleFactor);
    m_search->setEnabled(m_session.searchOn);
    (m_session.searchOn ? m_search : m_entire)->setChecked(true);
    followFileType();
    SetColors(this, m_session.db.colors(WindowKind::Configure));
}

void TMyExport::fillGrid() {
    // Row i shows the field at export position i; a position held twice or out of range
    // (a hand-edited settings file) leaves the field for the first free row.
    std::array<int, kItemFieldCount> rowField{};
    std::array<bool, kItemFieldCount> placed{};
    for (int n = 1; n <= kItemFieldCount; ++n) {
        const int position = m_session.db.exportOrder[size_t(n - 1)];
        if (position >= 1 && position <= kItemFieldCount && rowField[size_t(position - 1)] == 0) {
            rowField[size_t(position - 1)] = n;
            placed[size_t(n - 1)] = true;
        }
    }
    for (int n = 1; n <= kItemFieldCount; ++n)
        for (size_t r = 0; !placed[size_t(n - 1)] && r < rowField.size(); ++r)
            if (rowField[r] == 0) {
                rowField[r] = n;
                placed[size_t(n - 1)] = true;
            }
    for (int r = 0; r < kItemFieldCount; ++r) {
        const int n = rowField[size_t(r)];
        setCellText(m_grid, r, 0, m_session.db.fieldNames[size_t(n - 1)]);
        m_grid->item(r, 0)->setData(kFieldRole, n);
        setCellText(m_grid, r, 1, m_session.db.exportFields[size_t(n - 1)] ? kYes : kNo);
    }
    m_grid->setCurrentCell(0, 0);
}

void TMyExport::storeGrid() {
    // Each row knows its field, so two fields with the same display name keep their places.
    for (int r = 0; r < kItemFieldCount; ++r) {
        const int n = m_grid->item(r, 0)->data(kFieldRole).toInt();
        if (n < 1 || n > kItemFieldCount)
            continue;
        m_session.db.exportOrder[size_t(n - 1)] = r + 1;
        m_session.db.exportFields[size_t(n - 1)] = cellText(m_grid, r, 1) == kYes;
    }
}

void TMyExport::followFileType() {
    const bool text = m_text->isChecked();
    m_firstRow->setVisible(text);
    m_firstRow->setEnabled(text);
}

void TMyExport::done(int result) {
    m_session.db.exportFileType = m_text->isChecked() ? 1 : 2;
    storeGrid();
    QDialog::done(result);
}

void TMyExport::UpButtonClick() {
    const int row = m_grid->currentRow();
    if (row >= 1)
        swapRows(m_grid, row, row - 1, {0, 1});
}

void TMyExport::DownButtonClick() {
    const int row = m_grid->currentRow();
    if (row >= 0 && row < kItemFieldCount - 1)
        swapRows(m_grid, row, row + 1, {0, 1});
}

void TMyExport::DefaultsButtonClick() {
    const MsgButton answer = m_context.prompter.message(
        {QStringLiteral("Re-Order"),
         QStringLiteral("This will set the order of fields to the program defaults.  Continue?"),
         MsgIcon::Question, MsgButton::Yes | MsgButton::No, MsgButton::Yes});
    if (answer != MsgButton::Yes)
        return;
    for (int r = 0; r < kItemFieldCount; ++r) {
        setCellText(m_grid, r, 0, m_session.db.fieldNames[size_t(r)]);
        m_grid->item(r, 0)->setData(kFieldRole, r + 1);
        setCellText(m_grid, r, 1, kYes);
    }
}

void TMyExport::ExportGridDblClick() {
    const int row = m_grid->currentRow();
    if (row < 0 || m_grid->currentColumn() != 1)
        return;
    setCellText(m_grid, row, 1, cellText(m_grid, row, 1) == kYes ? kNo : kYes);
}

void TMyExport::FirstRowClick() {
    m_session.db.exportFirstRow = m_firstRow->isChecked();
}

void TMyExport::StartButtonClick() {
    storeGrid();
    const std::vector<int> fields = exportList(m_session.db.exportOrder, m_session.db.exportFields);
    if (fields.empty()) {
        m_context.prompter.error(QStringLiteral("No fields selected for export."));
        return;
    }
    exportTo(m_dbase->isChecked());
}

void TMyExport::exportTo(bool dbase) {
    FileDialogRequest request;
    request.caption = QStringLiteral("Export Data");
    request.directory = lastDirectory(m_session.global.lastExportFile);
    request.filters = {dbase ? QStringLiteral("DBase (*.DBF *.dbf)")
                             : QStringLiteral("Ascii Delimited Text (*.TXT *.txt)")};
    request.defaultSuffix = dbase ? QStringLiteral("DBF") : QStringLiteral("TXT");
    request.confirmOverwrite = true;
    const std::optional<QString> chosen = m_context.prompter.saveFileName(request);
    if (!chosen)
        return;
    const QString path = *chosen;
    if (dbase && !path.toUpper().endsWith(QLatin1String(".DBF"))) {
        m_context.prompter.error(QStringLiteral("Invalid file type selected."));
        return;
    }
    if (const auto problem =
            exportTargetProblem(path, m_session.items.paths(), m_session.paths.programDir)) {
        m_context.prompter.error(*problem);
        return;
    }
    m_session.global.lastExportFile = path;
    const std::vector<int> fields = exportList(m_session.db.exportOrder, m_session.db.exportFields);

    ExportResult result;
    try {
        BusyCursor busy;
        // The whole database while a search is on: a second cursor of its own over the same
        // file and order, so the search stays in force on the viewer's table throughout.
        std::unique_ptr<ItemTable> whole;
        dbase::Table* table = &m_session.items.table();
        if (m_session.searchOn && m_entire->isChecked()) {
            whole = std::make_unique<ItemTable>();
            whole->setPaths(m_session.items.paths());
            whole->setIndex(m_session.items.indexName());
            whole->open(dbase::OpenMode::ReadOnly);
            table = &whole->table();
        }
        const ExportProgress progress = [this](std::uint64_t done, std::uint64_t total) {
            m_gauge->setRange(0, int(std::min<std::uint64_t>(total, INT_MAX)));
            m_gauge->setValue(int(std::min<std::uint64_t>(done, INT_MAX)));
            m_gauge->repaint();
        };
        if (dbase) {
            result = exportDbase(*table, fields, path, progress);
        } else {
            const QStringList header = exportHeader(*table, fields, m_session.db);
            result = exportText(*table, fields, m_firstRow->isChecked() ? &header : nullptr,
                                m_session.formats.current(), path, progress);
        }
    } catch (const dbase::DatabaseError& e) {
        result.error = QString::fromStdString(e.what());
    }
    if (!result.error.isEmpty()) {
        m_gauge->setValue(0);
        m_context.prompter.error(result.error);
        return;
    }
    m_context.prompter.message({QStringLiteral("Ok"), QStringLiteral("Export Complete."),
                                MsgIcon::Information, static_cast<unsigned>(MsgButton::Ok),
                                MsgButton::Ok});
    m_gauge->setValue(0);
    accept();
}
