// The main window's work on the open database: start-up, the viewer set-up, the record count,
// the commands that change the table, and shutdown.

#include "appearance/color_config.h"
#include "appearance/set_colors.h"
#include "appearance/view_config.h"
#include "edit/record_editor.h"
#include "edit/record_editor_rules.h"
#include "find/locate_dialog.h"
#include "find/search_replace.h"
#include "find/search_session.h"
#include "find/search_window.h"
#include "find/sort_order.h"
#include "items/database_ops.h"
#include "items/item_schema.h"
#include "items/sort_index.h"
#include "items/sort_string.h"
#include "lists/list_maintenance.h"
#include "mainwindow/main_window.h"
#include "mainwindow/tip_dialog.h"
#include "mainwindow/viewer_delegates.h"
#include "mainwindow/viewer_model.h"
#include "reports/print_dialogs.h"
#include "reports/report_catalogue.h"
#include "reports/report_file.h"
#include "session/conversion.h"
#include "session/session_lifecycle.h"
#include "transfer/export_window.h"
#include "transfer/import_window.h"
#include "ui/busy_cursor.h"
#include "ui/help_window.h"
#include "ui/prompter.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include <cmath>

namespace {

const QString kItemGoneMessage =
    QStringLiteral("This item was deleted or changed by another program or user after the "
                   "viewer showed it, so it was not deleted.  The viewer now shows the items as "
                   "they are.");

// Below this distance (in RGB space) two colours are too close for text on a background.
constexpr double kReadableDistance = 120.0;

double colorDistance(const QColor& a, const QColor& b) {
    const double dr = a.red() - b.red();
    const double dg = a.green() - b.green();
    const double db = a.blue() - b.blue();
    return std::sqrt(dr * dr + dg * dg + db * db);
}

Qt::Alignment titleAlignment(int setting) {
    switch (setting) {
    case 1:
        return Qt::AlignLeft | Qt::AlignVCenter;
    case 3:
        return Qt::AlignRight | Qt::AlignVCenter;
    default:
        return Qt::AlignCenter;
    }
}

} // namespace

bool TMain::guarded(const std::function<void()>& work) {
    try {
        work();
        return true;
    } catch (const dbase::DatabaseError& e) {
        m_prompter.error(QString::fromStdString(e.what()));
    } catch (const std::exception& e) {
        m_prompter.error(QString::fromStdString(e.what()));
    }
    return false;
}

// ---------------------------------------------------------------------------------------
// Start-up: the session opens the database; the window lays itself out around it.

void TMain::startUp(const QStringList& arguments) {
    setWindowTitle(QStringLiteral("Tallywick Inventory 97"));
    m_session.detachViewer = [this] { m_viewerModel->setTable(nullptr); };
    m_session.reapplyViewer = viewerRefresher();
    prepareReportFile(m_paths.programDir, m_prompter);

    loadGlobalState(m_session);
    const GlobalSettings& g = m_session.global;
    // The settings hold the frame's place: move() keeps the title bar on the screen.
    const QRect place = keepOnScreen(
        QRect(g.mainWindowLeft, g.mainWindowTop, g.mainWindowWidth, g.mainWindowHeight),
        m_context.screen);
    resize(place.size());
    move(place.topLeft());
    tickFormatMenus();

    if (!openStartupDatabase(m_session, m_prompter))
        return;
    showDatabaseCaption();
    attachViewer();

    SetButtonBar(buttonBarModeFrom(g.buttonBar));
    applyWindowSizeSetting(g.windowSize);
    m_session.numbers.setRegional(RegionalSettings::fromLocale());
    m_recentFiles = g.lastFiles;
    SetMenuLastFiles();
    CheckForConversion(m_session, m_prompter);

    // The record editor lives for the whole run.
    m_editor = new TMyEdit(m_session, m_context, this);
    m_printSelect = new TPrintSelect(m_session.db.reports, m_session.db.colors(WindowKind::Report),
                                     m_context, this);
    m_reports = new TMyReport(m_session, m_context, *m_printSelect, this);
    m_search = new TMySearch(m_session, m_context, viewerRefresher(), this);
    m_locate = new TMyLocateDialog(m_context, this);
    m_locate->Caption = QStringLiteral("Locate Field Value");
    m_locate->DataSource = &m_session;
    m_locate->MatchType = mtPartialMatchStart;
    m_locate->CaseSensitive = false;
    m_locate->SortFields = fsSortByFieldName;
    m_locate->DefaultButton = dbFindNext;
    m_locate->FieldSelection = fsAllFields;
    m_locate->ShowMessages = true;

    if (m_paths.browse || (!arguments.isEmpty() && isBrowseArgument(arguments.first())))
        m_session.startBrowseMode();
    applyBrowseMode();
    m_startedUp = true;
}

void TMain::showDatabaseCaption() {
    setWindowTitle(QStringLiteral("Tallywick Inventory 97 (%1)").arg(m_session.items.paths().name));
}

void TMain::attachViewer() {
    m_viewerModel->setTable(m_session.items.isOpen() ? &m_session.items.table() : nullptr);
}

// ---------------------------------------------------------------------------------------
// The viewer and the per-database set-up

void TMain::SetViewerOptions() {
    const DatabaseSettings& db = m_session.db;
    const bool editing = db.fieldEditing && !m_session.browseMode;
    m_viewerGrid->verticalHeader()->setVisible(db.rowIndicator);
    m_viewerGrid->setShowGrid(db.rowLines || db.columnLines);
    m_viewerGrid->horizontalHeader()->setVisible(db.showTitles);
    m_viewerGrid->setSelectionBehavior(editing ? QAbstractItemView::SelectItems
                                               : QAbstractItemView::SelectRows);
    m_viewerGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    // A double-click runs Edit, so cells are edited by typing, F2 or a second click.
    m_viewerGrid->setEditTriggers(editing ? QAbstractItemView::SelectedClicked |
                                                QAbstractItemView::EditKeyPressed |
                                                QAbstractItemView::AnyKeyPressed
                                          : QAbstractItemView::NoEditTriggers);
    m_viewerModel->setEditable(editing);

    const QFont cellFont = toQFont(db.gridFont);
    const QFont titleFont = toQFont(db.titleFont);
    m_viewerGrid->setFont(cellFont);
    m_viewerGrid->horizontalHeader()->setFont(titleFont);
    QString lines;
    if (!db.rowLines)
        lines += QStringLiteral("QTableView { gridline-color: transparent; }");
    m_viewerGrid->setStyleSheet(
        QStringLiteral("QTableView { background-color: %1; color: %2; }"
                       "QHeaderView::section { background-color: %3; color: %4; }")
            .arg(toQColor(db.cellColor).name(), toQColor(db.gridFont.color).name(),
                 toQColor(db.titleBackground).name(), toQColor(db.titleFont.color).name()) +
        lines);
    m_viewerGrid->horizontalHeader()->setDefaultAlignment(titleAlignment(db.titleAlignment));

    // Columns by Field Order; a position nobody claims shows field 1.
    std::vector<ViewerColumn> columns;
    for (int j = 1; j <= kItemFieldCount; ++j) {
        int field = 1;
        for (int n = 1; n <= kItemFieldCount; ++n) {
            if (db.fieldOrder[static_cast<size_t>(n - 1)] == j) {
                field = n;
                break;
            }
        }
        const size_t i = static_cast<size_t>(field - 1);
        if (!db.displayFields[i])
            continue;
        columns.push_back({field, db.fieldNames[i], db.fieldWidth[i]});
    }
    m_viewerModel->setColumns(columns);
    refreshDates();
    const QFontMetrics fm(cellFont);
    const QFontMetrics titleMetrics(titleFont);
    for (int c = 0; c < static_cast<int>(columns.size()); ++c) {
        const ViewerColumn& column = columns[static_cast<size_t>(c)];
        // A column is never narrower than its title ("Replacement Cost" over a 12-wide field).
        const int cells = fm.averageCharWidth() * std::max(1, column.widthChars) + 8;
        const int title = db.showTitles ? titleMetrics.horizontalAdvance(column.title) + 12 : 0;
        m_viewerGrid->horizontalHeader()->resizeSection(c, std::max(cells, title));
    }
    m_viewerGrid->verticalHeader()->setDefaultSectionSize(fm.height() + 6);
    m_lookupDelegate->setLists(&m_session.lists);
    m_lookupDelegate->setFont(cellFont);
    // The model reads the rows again by itself whenever the table is reopened or its order or
    // search changes; rows it holds for the table as it is now are read only once.
    if (!m_viewerModel->liveCount())
        m_viewerModel->reload();
    selectCurrentRecordInGrid();
}

void TMain::DisplayCount() {
    quint32 count = 0;
    if (const auto rows = m_viewerModel->liveCount()) {
        // The viewer already holds one row per visible record.
        count = *rows;
    } else if (m_session.items.isOpen()) {
        guarded([this, &count] {
            BusyCursor busy;
            count = m_session.items.table().countVisible();
        });
    }
    m_countLabel->setText(QString::number(count));
    applyVerticalLayout();
}

void TMain::applyUserFontsToMain() {
    const DatabaseSettings& db = m_session.db;
    m_context.fonts.label = toQFont(db.labelFont, font().pointSize());
    m_context.fonts.edit = toQFont(db.editFont, font().pointSize());
    m_context.fonts.button = toQFont(db.buttonFont, font().pointSize());
    ApplyUserFonts(this, m_context.fonts);
}

void TMain::SetColors() {
    const ColorSet& set = m_session.db.colors(WindowKind::Main);
    ::SetColors(this, set);
    // The menu keeps the desktop's colours whatever the set; a black window background
    // would otherwise hide its black text.
    QPalette desktop = QApplication::palette(menuBar());
    desktop.setResolveMask(~QPalette::ResolveMask(0)); // every role its own, none inherited
    menuBar()->setPalette(desktop);
    menuBar()->setAutoFillBackground(true);
    // The item count stands on the window background: it takes the minor-title colour, which
    // every set makes readable there. "SEARCH ON" keeps its red unless the background is
    // too close to it.
    const QColor background = toQColor(set[ColorSet::MainBackground]);
    for (QLabel* label : {m_countLabel, m_count2Label}) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, toQColor(set[ColorSet::MinorTitle]));
        label->setPalette(p);
    }
    const QColor searchRed(0xb0, 0x00, 0x00);
    const QColor searchColor = colorDistance(searchRed, background) < kReadableDistance
                                   ? toQColor(set[ColorSet::MajorTitle])
                                   : searchRed;
    m_searchOnLabel->setStyleSheet(QStringLiteral("color: %1").arg(searchColor.name()));
    applyVerticalLayout();
}

void TMain::DoFileSpecific() {
    applyUserFontsToMain();
    SetViewerOptions();
    // Another database starts at its first column.
    m_viewerGrid->horizontalScrollBar()->setValue(0);
    SetColors();
    DisplayCount();
}

bool TMain::syncCursorToGrid() {
    const QModelIndex current = m_viewerGrid->currentIndex();
    if (!current.isValid())
        return true;
    const std::uint32_t rec = m_viewerModel->recordAt(current.row());
    m_viewerModel->moveCursorToRow(current.row());
    return rec == 0 || !m_session.items.isOpen() || m_session.items.table().recordNumber() == rec;
}

void TMain::withOneViewerReload(const std::function<void()>& work) {
    {
        ViewerModel::Batch batch(*m_viewerModel);
        work();
    }
    selectCurrentRecordInGrid();
}

void TMain::selectCurrentRecordInGrid() {
    const int row = m_viewerModel->currentRow();
    if (row < 0)
        return;
    const QModelIndex idx =
        m_viewerModel->index(row, std::max(0, m_viewerGrid->currentIndex().column()));
    m_viewerGrid->setCurrentIndex(idx);
    m_viewerGrid->scrollTo(idx);
}

// ---------------------------------------------------------------------------------------
// Commands

void TMain::DoDelete() {
    if (!syncCursorToGrid()) {
        // The cursor stands on a neighbour now; that one is not the item the user chose.
        withOneViewerReload([this] { m_viewerModel->reload(); });
        m_prompter.error(kItemGoneMessage);
        DisplayCount();
        return;
    }
    if (m_prompter.confirm(QStringLiteral("Delete this record?")) && m_session.items.isOpen() &&
        !m_session.items.table().isEmpty()) {
        guarded([this] { m_session.items.table().deleteRecord(); });
        selectCurrentRecordInGrid();
    }
    DisplayCount();
}

void TMain::runEditor(int mode) {
    if (!m_editor || !m_session.items.isOpen())
        return;
    syncCursorToGrid();
    m_editor->showModal(static_cast<EditorMode>(mode));
    DisplayCount();
    selectCurrentRecordInGrid();
}

void TMain::DoAdd() {
    runEditor(static_cast<int>(EditorMode::New));
}
void TMain::DoEdit() {
    runEditor(static_cast<int>(EditorMode::Edit));
}
void TMain::DoCopy() {
    runEditor(static_cast<int>(EditorMode::Copy));
}

void TMain::EnableEndSearch() {
    m_session.searchOn = true;
    action(QStringLiteral("Navi&gate/&End Search"))->setEnabled(true);
    m_searchOnLabel->show();
    updateLetteredButtons();
}

void TMain::DisableEndSearch() {
    m_session.searchOn = false;
    action(QStringLiteral("Navi&gate/&End Search"))->setEnabled(false);
    m_searchOnLabel->hide();
    updateLetteredButtons();
}

std::function<void()> TMain::viewerRefresher() {
    return [this] {
        attachViewer();
        SetViewerOptions();
    };
}

void TMain::DoSearch() {
    if (!m_search)
        return;
    withOneViewerReload([this] {
        guarded([this] {
            // A new search over one in force keeps the same table open with another filter.
            if (m_search->execute())
                m_viewerModel->reload();
        });
    });
    if (m_session.searchOn)
        EnableEndSearch();
    else
        DisableEndSearch();
    DisplayCount();
}

void TMain::DoEndSearch() {
    DisableEndSearch();
    withOneViewerReload([this] { guarded([this] { m_session.endSearch(); }); });
    DisplayCount();
}

void TMain::DoSortOrder() {
    withOneViewerReload([this] {
        guarded([this] { TMySortOrder::run(m_session, m_context, viewerRefresher(), this); });
    });
    DisplayCount();
}

void TMain::DoReports() {
    if (!m_reports)
        return;
    syncCursorToGrid();
    guarded([this] { m_reports->exec(); });
    DisplayCount();
}

void TMain::DoImport() {
    guarded([this] { TImportFormat::run(m_session, m_context, this); });
    DisplayCount();
}

void TMain::DoExport() {
    guarded([this] { TMyExport::run(m_session, m_context, this); });
}

void TMain::DoFind() {
    if (!m_locate)
        return;
    syncCursorToGrid();
    if (guarded([this] { m_locate->execute(); }))
        followCurrentRecord();
}

void TMain::DoFindNext() {
    if (!m_locate)
        return;
    syncCursorToGrid();
    if (guarded([this] { m_locate->DoFindNext(); }))
        followCurrentRecord();
}

void TMain::followCurrentRecord() {
    selectCurrentRecordInGrid();
}

void TMain::DoSearchAndReplace() {
    syncCursorToGrid();
    guarded([this] { TSearchAndReplace::run(m_session, m_context, viewerRefresher(), this); });
    if (m_session.searchOn)
        EnableEndSearch();
    else
        DisableEndSearch();
    DisplayCount();
}

void TMain::DoViewerConfig() {
    TViewConfig::run(m_session.db, m_context, this);
    SetViewerOptions();
}

void TMain::DoUpdateDatabase() {
    // The search stays in force across the reopening: the table keeps its filter.
    QString error;
    if (!m_session.saveSettings(&error))
        m_prompter.error(error);
    withOneViewerReload([this] {
        guarded([this] { m_session.reopen(); });
        attachViewer();
        SetViewerOptions();
    });
    DisplayCount();
}

void TMain::MenuPackClick() {
    if (!m_session.writable(m_prompter))
        return;
    BusyCursor busy;
    withOneViewerReload([this] {
        guarded([this] { packDatabase(m_session.items, m_prompter, [this] { attachViewer(); }); });
        attachViewer();
        SetViewerOptions();
    });
    DisplayCount();
}

void TMain::MenuRebuildClick() {
    if (!m_session.writable(m_prompter))
        return;
    BusyCursor busy;
    withOneViewerReload([this] {
        guarded(
            [this] { rebuildIndexes(m_session.items, m_prompter, [this] { attachViewer(); }); });
        attachViewer();
        SetViewerOptions();
    });
    DisplayCount();
}

void TMain::chooseFont(int which) {
    UserFontSettings* target = which == 0   ? &m_session.db.labelFont
                               : which == 1 ? &m_session.db.editFont
                                            : &m_session.db.buttonFont;
    const auto chosen = m_prompter.font({toQFont(*target, font().pointSize()), {}}, QString());
    if (!chosen)
        return;
    const QString family = chosenFamily(target->name, chosen->font);
    *target = userFontFrom(chosen->font);
    target->name = family;
    applyUserFontsToMain();
}

void TMain::chooseColors(int kind) {
    if (TColorConfig::run(m_context, m_session.db.colorSets, kind, this))
        SetColors();
}

void TMain::showTips() {
    TTipOfDay tips(m_context, m_session.global.showTips, this);
    tips.exec();
    m_session.global.showTips = tips.showTipsAtStartup();
}

void TMain::showAbout() {
    TAboutBox about(m_context, this);
    about.exec();
}

void TMain::showHelp(const QString& keyword) {
    openHelp(keyword, this);
}

void TMain::applyBrowseMode() {
    const bool browse = m_session.browseMode;
    for (const char* path : {"&Records/&Add", "&Records/&Copy", "&Records/&Delete",
                             "&File/&Back Up Data", "&File/&Restore Data", "Navi&gate/&Viewer",
                             "&Records/&Import", "&Tools/&Search and Replace"})
        action(QString::fromLatin1(path))->setEnabled(!browse);
    menu(QStringLiteral("List &Maintenance"))->setEnabled(!browse);
    menu(QStringLiteral("List &Maintenance"))->menuAction()->setEnabled(!browse);
    for (const char* name : {"AddSpeed", "CopySpeed", "DeleteSpeed"})
        speedButton(QString::fromLatin1(name))->setEnabled(!browse);
    m_navigator->setBrowseOnly(browse);
    updateLetteredButtons();
}

// ---------------------------------------------------------------------------------------
// Wiring, activation and shutdown

void TMain::wireCommands() {
    m_viewerModel = new ViewerModel(this);
    m_viewerGrid->setModel(m_viewerModel);
    keepOwnColors(m_viewerGrid);
    markHeading(m_viewerLabel, Heading::Major);
    markHeading(m_navigatorLabel, Heading::Minor);
    m_lookupDelegate = new LookupDelegate(m_viewerGrid);
    m_viewerGrid->setItemDelegate(m_lookupDelegate);
    // Amounts typed into the grid read as in the record editor, grouping and all.
    m_viewerModel->setNumberReader([this](int fieldNumber, const QString& text,
                                          QString& refusal) -> std::optional<QString> {
        const auto stored = storedNumberText(fieldNumber, text, m_session.numbers, m_session.items);
        if (!stored)
            refusal = invalidNumberMessage(fieldNumber);
        return stored;
    });
    // ... and are offered for editing as the editor shows them, so an unchanged or partly
    // changed amount reads back as meant under the regional decimal character.
    m_viewerModel->setNumberEditText([this](int fieldNumber, const QString& stored) {
        return typedNumberText(fieldNumber, stored, m_session.numbers);
    });
    connect(m_viewerModel, &ViewerModel::editRefused, this,
            [this](const QString& message) { m_prompter.error(message); });
    connect(m_viewerModel, &ViewerModel::viewerError, this,
            [this](const QString& message) { m_prompter.error(message); });
    // Rows come and go with grid edits, adds and deletes; the count follows at once.
    const auto showLiveCount = [this] {
        if (const auto rows = m_viewerModel->liveCount()) {
            m_countLabel->setText(QString::number(*rows));
            applyVerticalLayout();
        }
    };
    connect(m_viewerModel, &QAbstractItemModel::rowsInserted, this, showLiveCount);
    connect(m_viewerModel, &QAbstractItemModel::rowsRemoved, this, showLiveCount);
    connect(m_viewerModel, &QAbstractItemModel::modelReset, this, showLiveCount);
    connect(m_viewerGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    m_viewerModel->moveCursorToRow(current.row());
            });

    auto on = [this](const char* path, const char* speed, const char* button, auto slot) {
        QAction* a = action(QString::fromLatin1(path));
        connect(a, &QAction::triggered, this, slot);
        connectCommand(a, speed, button);
    };
    on("&File/&Update Database", nullptr, nullptr, [this] { DoUpdateDatabase(); });
    on("&File/&Back Up Data", nullptr, nullptr, [this] { DoBackup(); });
    on("&File/&Restore Data", nullptr, nullptr, [this] { DoRestore(); });
    on("&Records/&Delete", "DeleteSpeed", "DeleteButton", [this] { DoDelete(); });
    on("Navi&gate/&End Search", "EndSearchSpeed", "EndSearchButton", [this] { DoEndSearch(); });
    on("&Tools/&Pack Database", nullptr, nullptr, [this] { MenuPackClick(); });
    on("&Tools/&Rebuild Indexes", nullptr, nullptr, [this] { MenuRebuildClick(); });
    on("&Options/&Label Font", nullptr, nullptr, [this] { chooseFont(0); });
    on("&Options/&Edit Font", nullptr, nullptr, [this] { chooseFont(1); });
    on("&Options/&Button Font", nullptr, nullptr, [this] { chooseFont(2); });
    static const char* const colorItems[6] = {
        "&Options/&Color/&Main Window Color",      "&Options/&Color/&Edit Window Color",
        "&Options/&Color/&Search Window Color",    "&Options/&Color/&Report Window Color",
        "&Options/&Color/&Configure Window Color", "&Options/&Color/&ALL Windows Color"};
    for (int k = 0; k < 6; ++k)
        on(colorItems[k], k == 5 ? "ColorSpeed" : nullptr, nullptr,
           [this, k] { chooseColors(k + 1); });
    on("&Help/&Contents", "HelpSpeed", "HelpButton", [this] { showHelp(); });
    on("&Help/&Review \"Tips of the Day\"", nullptr, nullptr, [this] { showTips(); });
    on("&Help/&About", nullptr, nullptr, [this] { showAbout(); });
    on("Navi&gate/&Search (Query)", "SearchSpeed", "SearchButton", [this] { DoSearch(); });
    on("&Options/Sort &Order", "SpeedSetOrder", nullptr, [this] { DoSortOrder(); });
    on("Navi&gate/&Locate", "LocateSpeed", nullptr, [this] { DoFind(); });
    on("Navi&gate/Locate &Next", "LocateNextSpeed", nullptr, [this] { DoFindNext(); });
    on("Navi&gate/&Viewer", "ViewerSpeed", "ViewerButton", [this] { DoViewerConfig(); });
    on("&Tools/&Search and Replace", nullptr, nullptr, [this] { DoSearchAndReplace(); });
    on("&Records/&Add", "AddSpeed", "AddButton", [this] { DoAdd(); });
    on("&Records/&Edit", "EditSpeed", "EditButton", [this] { DoEdit(); });
    on("&Records/&Copy", "CopySpeed", "CopyButton", [this] { DoCopy(); });
    on("&Records/&Import", "ImportSpeed", nullptr, [this] { DoImport(); });
    on("&Records/E&xport", "ExportSpeed", nullptr, [this] { DoExport(); });
    connect(m_viewerGrid, &QAbstractItemView::doubleClicked, this, [this] { DoEdit(); });
    static const char* const listItems[kLookupListCount] = {
        "&Options/List &Maintenance/&Brand", "&Options/List &Maintenance/&Location",
        "&Options/List &Maintenance/&Purchased From", "&Options/List &Maintenance/&Category",
        "&Options/List &Maintenance/&Owner"};
    for (int n = 0; n < kLookupListCount; ++n)
        on(listItems[n], nullptr, nullptr, [this, n] {
            EditAList(m_session.lists, m_session.items.paths().base,
                      m_session.db.colors(WindowKind::Configure), m_context, n + 1, this);
        });
    on("&File/&New Database", "NewSpeed", nullptr, [this] { DoNew(); });
    on("&File/&Open Database", "OpenSpeed", nullptr, [this] { DoOpen(); });
    for (int i = 0; i < kRecentFileCount; ++i)
        connect(m_recentActions[i], &QAction::triggered, this,
                [this, i] { OpenSaveFile(m_recentFiles[static_cast<size_t>(i)]); });
    QList<QAction*> dateItems;
    for (QAction* a : menu(QStringLiteral("&Date Format"))->actions())
        if (!a->isSeparator() && a->text() != QLatin1String("&Leading Zeros"))
            dateItems << a;
    for (int n = 0; n < dateItems.size(); ++n)
        connect(dateItems[n], &QAction::triggered, this, [this, n] { chooseDateFormat(n + 1); });
    on("&Options/&Date Format/&Leading Zeros", nullptr, nullptr, [this] { toggleLeadingZeros(); });
    on("&Options/C&urrency Format/&U.S. Dollars", nullptr, nullptr,
       [this] { chooseCurrencyFormat(1); });
    on("&Options/C&urrency Format/&Windows Setting", nullptr, nullptr,
       [this] { chooseCurrencyFormat(2); });
    on("&Options/&Numeric Format/&U.S. Format", nullptr, nullptr,
       [this] { chooseNumericFormat(1); });
    on("&Options/&Numeric Format/&Windows Setting", nullptr, nullptr,
       [this] { chooseNumericFormat(2); });
    on("&Options/List &Maintenance/&Save As Defaults", nullptr, nullptr,
       [this] { m_session.lists.saveAsDefaults(m_prompter, m_paths.programDir); });
    on("&Options/List &Maintenance/Load In &Defaults", nullptr, nullptr,
       [this] { m_session.lists.loadInDefaults(m_prompter, m_paths.programDir); });
    DisableEndSearch();

    on("&File/&Print", nullptr, nullptr, [this] { DoReports(); });
    on("Navi&gate/&Reports", "ReportSpeed", "ReportButton", [this] { DoReports(); });

    connect(m_navigator, &RecordNavigator::clicked, this, [this](int b) {
        guarded([this, b] {
            dbase::Table& t = m_session.items.table();
            switch (b) {
            case RecordNavigator::First:
                t.first();
                break;
            case RecordNavigator::Prior:
                syncCursorToGrid();
                t.prior();
                break;
            case RecordNavigator::Next:
                syncCursorToGrid();
                t.next();
                break;
            case RecordNavigator::Last: {
                // The row map knows the last record: no walk back past records the search
                // hides. A map another program made stale falls back to the walk.
                const int rows = m_viewerModel->rowCount();
                const std::uint32_t rec = rows > 0 ? m_viewerModel->recordAt(rows - 1) : 0;
                if (rec != 0)
                    t.gotoBookmark({rec});
                if (rec == 0 || t.recordNumber() != rec)
                    t.last();
                break;
            }
            case RecordNavigator::Delete:
                DoDelete();
                return;
            case RecordNavigator::Refresh: {
                ViewerModel::Batch batch(*m_viewerModel);
                t.refresh();
                m_viewerModel->reload();
                DisplayCount();
                break;
            }
            case RecordNavigator::Edit:
            case RecordNavigator::Insert:
            case RecordNavigator::Post:
            case RecordNavigator::Cancel:
                // The grid posts each cell as it is left; there is no pending edit to act on.
                break;
            }
            selectCurrentRecordInGrid();
        });
    });
    for (int b : {RecordNavigator::Insert, RecordNavigator::Edit, RecordNavigator::Post,
                  RecordNavigator::Cancel})
        m_navigator->button(static_cast<RecordNavigator::Button>(b))->setEnabled(false);
}

void TMain::refreshDates() {
    // The viewer shows the new form at once.
    m_viewerModel->setDateFormat(
        [this](const dbase::Date& d) { return m_session.formats.format(toQDate(d)); },
        [this](const QString& text) -> std::optional<dbase::Date> {
            const auto d = m_session.formats.parse(text);
            if (!d)
                return std::nullopt;
            return toDbaseDate(*d);
        },
        // Offered for editing as the editor's date boxes show it: with a two-digit year a
        // date of 1935 would read back as 2035.
        [this](const dbase::Date& d) {
            return dateBoxFormat(m_session.formats.current()).format(toQDate(d));
        });
}

void TMain::chooseDateFormat(int number) {
    if (m_session.formats.chooseDateFormat(number))
        refreshDates();
    tickFormatMenus();
}

void TMain::toggleLeadingZeros() {
    m_session.formats.toggleLeadingZeros();
    refreshDates();
    tickFormatMenus();
}

void TMain::chooseCurrencyFormat(int setting) {
    m_session.numbers.setCurrencyFormat(setting);
    tickFormatMenus();
}

void TMain::chooseNumericFormat(int setting) {
    m_session.numbers.setNumericFormat(setting);
    tickFormatMenus();
}

void TMain::tickFormatMenus() {
    const int ticked = m_session.formats.tickedDateFormat();
    const QList<QAction*> dateItems = menu(QStringLiteral("&Date Format"))->actions();
    int number = 0;
    for (QAction* a : dateItems) {
        if (a->isSeparator())
            continue;
        if (a->text() == QLatin1String("&Leading Zeros")) {
            a->setChecked(m_session.formats.leadingZeros());
            continue;
        }
        a->setChecked(++number == ticked);
    }
    const QList<QAction*> currency = menu(QStringLiteral("C&urrency Format"))->actions();
    for (int i = 0; i < currency.size(); ++i)
        currency[i]->setChecked(m_session.numbers.currencyFormat() == i + 1);
    const QList<QAction*> numeric = menu(QStringLiteral("&Numeric Format"))->actions();
    for (int i = 0; i < numeric.size(); ++i)
        numeric[i]->setChecked(m_session.numbers.numericFormat() == i + 1);
}

bool TMain::event(QEvent* e) {
    if (e->type() == QEvent::Show && m_startedUp && !m_activatedOnce)
        DoFileSpecific();
    const bool handled = QMainWindow::event(e);
    if (e->type() == QEvent::WindowActivate && m_startedUp && !m_activatedOnce) {
        m_activatedOnce = true;
        if (m_session.global.showTips)
            QTimer::singleShot(0, this, [this] { showTips(); });
    }
    return handled;
}

void TMain::closeEvent(QCloseEvent* event) {
    if (m_startedUp) {
        GlobalSettings& g = m_session.global;
        // Start-up gives the place to move(), which places the frame; the geometries are the
        // client area's, a title bar lower. Saving those walked the window down every run.
        const QRect client = normalGeometry().isValid() ? normalGeometry() : geometry();
        const QPoint frameOffset = geometry().topLeft() - pos();
        g.mainWindowLeft = client.x() - frameOffset.x();
        g.mainWindowTop = client.y() - frameOffset.y();
        g.mainWindowWidth = client.width();
        g.mainWindowHeight = client.height();
        g.lastFiles = m_recentFiles;
        g.buttonBar = static_cast<int>(m_buttonBar);
        g.windowSize = m_windowSize;
        g.dateFormat = m_session.formats.dateFormatNumber();
        g.dateLeadingZeros = m_session.formats.leadingZeros();
        g.currencyFormat = m_session.numbers.currencyFormat();
        g.numericFormat = m_session.numbers.numericFormat();
        saveAtShutdown(m_session, m_prompter);
        m_startedUp = false;
    }
    QMainWindow::closeEvent(event);
}

TMain::~TMain() {
    if (m_viewerModel)
        m_viewerModel->setTable(nullptr);
}
