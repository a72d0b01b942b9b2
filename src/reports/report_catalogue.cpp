#include "reports/report_catalogue.h"

#include "appearance/set_colors.h"
#include "items/item_table.h"
#include "reports/print_dialogs.h"
#include "reports/report_designer.h"
#include "reports/report_file.h"
#include "reports/report_form.h"
#include "reports/report_preview.h"
#include "reports/report_session.h"
#include "session/inventory_session.h"
#include "ui/help_window.h"
#include "ui/prompter.h"
#include "ui/window_context.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

namespace {
constexpr int kClientWidth = 457;
constexpr int kClientHeight = 345;
constexpr int kMenuHeight = 22;
const QString kHelpKeyword = QStringLiteral("Report Window");
const QString kNothingChosen = QStringLiteral("No Report has been selected.  Please choose one.");
const QString kNotFound = QStringLiteral("Report format could not be located.");

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
} // namespace

TMyReport::TMyReport(InventorySession& session, WindowContext& context, TPrintSelect& printers,
                     QWidget* parent)
    : QDialog(parent), m_session(session), m_context(context), m_printers(printers) {
    setObjectName(QStringLiteral("TMyReport"));
    setWindowTitle(QStringLiteral("Reports"));
    prepareDesignDialog(this, {kClientWidth, kClientHeight + kMenuHeight}, 8);

    auto* bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("MainMenu1"));
    bar->setGeometry(0, 0, kClientWidth, kMenuHeight);
    auto ctrl = [](Qt::Key k) { return QKeySequence(Qt::CTRL | k); };
    auto item = [this](QMenu* menu, const QString& text, QKeySequence key, auto slot) {
        QAction* a = menu->addAction(text);
        a->setShortcut(key);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    item(file, QStringLiteral("&View"), ctrl(Qt::Key_V), [this] { ViewClick(); });
    item(file, QStringLiteral("&Print"), ctrl(Qt::Key_P), [this] { PrintClick(); });
    item(file, QStringLiteral("Print To &File"), ctrl(Qt::Key_F), [this] { FileClick(); });
    item(file, QStringLiteral("Printer &Setup"), ctrl(Qt::Key_S), [this] { PrinterSetupClick(); });
    file->addSeparator();
    // The menu's Exit does what the Exit button does.
    item(file, QStringLiteral("E&xit"), ctrl(Qt::Key_X), [this] { close(); });
    QMenu* options = bar->addMenu(QStringLiteral("&Options"));
    item(options, QStringLiteral("&Insurance"), ctrl(Qt::Key_I), [this] { InsuranceClick(); });
    item(options, QStringLiteral("&Modify Report"), ctrl(Qt::Key_M), [this] { ModifyClick(); });
    item(options, QStringLiteral("&New Report"), ctrl(Qt::Key_N), [this] { NewClick(); });
    QAction* help = bar->addAction(QStringLiteral("&Help"));
    connect(help, &QAction::triggered, this, [this] { openHelp(kHelpKeyword, this); });

    const int y = kMenuHeight;
    heading(this, "WhatLabel", QStringLiteral("What to Print"), {16, y + 8, 200, 18});
    m_search = new QRadioButton(QStringLiteral("Print Search Criteria"), this);
    m_search->setObjectName(QStringLiteral("ExportSearch"));
    m_search->setGeometry(24, y + 28, 200, 20);
    m_entire = new QRadioButton(QStringLiteral("Print Entire Database"), this);
    m_entire->setObjectName(QStringLiteral("ExportEntire"));
    m_entire->setGeometry(24, y + 50, 200, 20);

    heading(this, "StyleLabel", QStringLiteral("Report Selection"), {16, y + 80, 200, 18});
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("ReportBox"));
    m_list->setGeometry(16, y + 100, 281, 169);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { ViewClick(); });

    heading(this, "Label1", QStringLiteral("Current Sort Order"), {16, y + 278, 281, 18});
    m_sortOrder = new QLabel(this);
    m_sortOrder->setObjectName(QStringLiteral("SortOrderLabel"));
    m_sortOrder->setGeometry(16, y + 298, 425, 36);
    m_sortOrder->setWordWrap(true);
    markHeading(m_sortOrder, Heading::Minor);

    struct Def {
        const char* name;
        const char* caption;
    };
    const Def defs[] = {{"ViewButton", "&View"},
                        {"PrintButton", "&Print"},
                        {"FileButton", "Print To &File"},
                        {"NewButton", "&New Report"},
                        {"ModifyButton", "&Modify Report"},
                        {"InsButton", "&Insurance"},
                        {"HelpButton", "&Help"},
                        {"ExitButton", "E&xit"}};
    int top = y + 10;
    for (const Def& d : defs) {
        auto* b = new QPushButton(QString::fromLatin1(d.caption), this);
        b->setObjectName(QString::fromLatin1(d.name));
        b->setGeometry(316, top, 125, 29);
        b->setAutoDefault(false);
        top += 37;
    }
    connect(button("ViewButton"), &QPushButton::clicked, this, [this] { ViewClick(); });
    connect(button("PrintButton"), &QPushButton::clicked, this, [this] { PrintClick(); });
    connect(button("FileButton"), &QPushButton::clicked, this, [this] { FileClick(); });
    connect(button("NewButton"), &QPushButton::clicked, this, [this] { NewClick(); });
    connect(button("ModifyButton"), &QPushButton::clicked, this, [this] { ModifyClick(); });
    connect(button("InsButton"), &QPushButton::clicked, this, [this] { InsuranceClick(); });
    connect(button("HelpButton"), &QPushButton::clicked, this,
            [this] { openHelp(kHelpKeyword, this); });
    connect(button("ExitButton"), &QPushButton::clicked, this, [this] { close(); });
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this,
            [this] { openHelp(kHelpKeyword, this); });
    SaveDimensions(this, m_design, m_context.prompter);
    loadList();
}

QPushButton* TMyReport::button(const char* name) const {
    return findChild<QPushButton*>(QString::fromLatin1(name));
}

QAction* TMyReport::action(const QString& path) const {
    const QStringList parts = path.split(QLatin1Char('/'));
    auto* bar = findChild<QMenuBar*>();
    QList<QAction*> actions = bar ? bar->actions() : QList<QAction*>{};
    QAction* found = nullptr;
    for (const QString& part : parts) {
        found = nullptr;
        for (QAction* a : actions)
            if (a->text() == part)
                found = a;
        if (!found)
            return nullptr;
        actions = found->menu() ? found->menu()->actions() : QList<QAction*>{};
    }
    return found;
}

void TMyReport::loadList() {
    m_list->clear();
    m_list->addItems(ReportFile::inDirectory(m_session.paths.programDir).names());
}

void TMyReport::showEvent(QShowEvent* event) {
    RestoreAndScale(this, m_design, m_context.scaleFactor, m_context.screen);
    ApplyUserFonts(this, m_context.fonts);
    if (y() > 10)
        move(x(), y() - 10);
    SetColors(this, m_session.db.colors(WindowKind::Report));

    m_search->setEnabled(m_session.searchOn);
    (m_session.searchOn ? m_search : m_entire)->setChecked(true);

    const int last = m_session.db.reports.lastReport;
    m_list->setCurrentRow(last >= 0 && last < m_list->count() ? last : -1);
    if (m_list->currentRow() < 0)
        m_list->clearSelection();

    QStringList names;
    for (int key : m_session.db.sortKeys)
        if (key > 0 && key <= int(m_session.db.fieldNames.size()))
            names << m_session.db.fieldNames[std::size_t(key - 1)];
    m_sortOrder->setText(names.isEmpty() ? QStringLiteral("No Sort Order Selected")
                                         : names.join(QStringLiteral(", ")));
    QDialog::showEvent(event);
    m_list->setFocus();
}

void TMyReport::done(int result) {
    m_session.db.reports.lastReport =
        m_list->currentItem() && m_list->currentItem()->isSelected() ? m_list->currentRow() : -1;
    QDialog::done(result);
}

bool TMyReport::haveSelection() {
    if (m_list->currentRow() >= 0 && m_list->currentItem()->isSelected())
        return true;
    m_context.prompter.beep();
    m_context.prompter.message({QStringLiteral("Error"), kNothingChosen, MsgIcon::Warning,
                                static_cast<unsigned>(MsgButton::Ok), MsgButton::Ok});
    m_list->setFocus();
    return false;
}

void TMyReport::ViewClick() {
    run(ReportDestination::View);
}

void TMyReport::PrintClick() {
    run(ReportDestination::Printer);
}

void TMyReport::FileClick() {
    run(ReportDestination::TextFile);
}

// A report file replaces the file whole: never the open database's files or the reports.
std::optional<QString> TMyReport::targetProblem(const QString& fileName) const {
    if (!m_session.items.paths().owns(fileName) &&
        !samePathOrFile(fileName, ReportFile::inDirectory(m_session.paths.programDir).path()))
        return std::nullopt;
    return QStringLiteral("The file %1 holds this program's own data.  Choose another name for "
                          "the report.")
        .arg(QDir::toNativeSeparators(fileName));
}

void TMyReport::run(ReportDestination destination) {
    QString fileName;
    if (destination == ReportDestination::TextFile) {
        const auto name = m_context.prompter.saveFileName(
            {QStringLiteral("Save Report As a Text File"),
             m_session.paths.currentDir,
             QString(),
             {QStringLiteral("Text Files (*.TXT)"), QStringLiteral("PDF Files (*.PDF)")},
             QStringLiteral("TXT"),
             false,
             true});
        if (!name)
            return;
        fileName = *name;
        if (const auto problem = targetProblem(fileName)) {
            m_context.prompter.error(*problem);
            return;
        }
        // The same report as the preview shows, page for page, when a PDF is asked for.
        if (QFileInfo(fileName).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0)
            destination = ReportDestination::Pdf;
    }
    if (!haveSelection())
        return;
    const std::optional<ReportDefinition> definition =
        ReportFile::inDirectory(m_session.paths.programDir).read(m_list->currentRow());
    if (!definition) {
        m_context.prompter.beep();
        m_context.prompter.message({QStringLiteral("Error"), kNotFound, MsgIcon::Warning,
                                    static_cast<unsigned>(MsgButton::Ok), MsgButton::Ok});
        m_list->setFocus();
        return;
    }

    ReportRequest request;
    request.definition = *definition;
    request.source = reportSource(m_session);
    request.destination = destination;
    request.fileName = fileName;
    // The whole table while a search is on: a cursor of its own over the same file and order,
    // so the search stays in force on the viewer's table throughout and afterwards.
    std::unique_ptr<ItemTable> whole;
    if (m_session.searchOn && m_entire->isChecked()) {
        try {
            whole = std::make_unique<ItemTable>();
            whole->setPaths(m_session.items.paths());
            whole->setIndex(m_session.items.indexName());
            whole->open(dbase::OpenMode::ReadOnly);
        } catch (const std::exception& e) {
            m_context.prompter.error(QString::fromStdString(e.what()));
            return;
        }
        request.source.items = whole.get();
    }
    if (destination == ReportDestination::Printer && anyPrinterInstalled())
        request.printer = m_printers.choice();
    else
        request.printer = TPrintSelect::storedChoice(m_session.db.reports);

    const QString title = definition->name;
    ReportResult result = generateReport(m_context, this, std::move(request));
    if (destination == ReportDestination::View && result.pages &&
        result.outcome.outcome == PageOutput::Outcome::Completed) {
        TMyPreview preview(*result.pages, title, m_session.db.reports,
                           m_session.db.colors(WindowKind::Report), m_context, this);
        preview.setTargetCheck([this](const QString& path) { return targetProblem(path); });
        if (m_previewHook)
            m_previewHook(preview);
        else
            preview.exec();
    }
}

void TMyReport::NewClick() {
    m_current = ReportDefinition::newUserDefinition();
    design(std::nullopt);
}

void TMyReport::ModifyClick() {
    if (!haveSelection())
        return;
    const int record = m_list->currentRow();
    // Changing a definition that cannot be read would overwrite it with something else.
    const std::optional<ReportDefinition> definition =
        ReportFile::inDirectory(m_session.paths.programDir).read(record);
    if (!definition) {
        m_context.prompter.beep();
        m_context.prompter.message({QStringLiteral("Error"), kNotFound, MsgIcon::Warning,
                                    static_cast<unsigned>(MsgButton::Ok), MsgButton::Ok});
        m_list->setFocus();
        return;
    }
    m_current = *definition;
    design(record);
}

void TMyReport::design(std::optional<int> record) {
    TUserReport designer(m_current, m_session.paths.programDir, record, m_session.db.fieldNames,
                         m_session.db.colors(WindowKind::Report), m_context, this);
    designer.exec();
    switch (designer.outcome()) {
    case TUserReport::Outcome::Cancelled:
        return;
    case TUserReport::Outcome::Saved:
        loadList();
        m_list->setCurrentRow(designer.savedRecord());
        break;
    case TUserReport::Outcome::Deleted:
        loadList();
        m_list->setCurrentRow(-1);
        m_list->clearSelection();
        break;
    }
    m_list->setFocus();
}

void TMyReport::InsuranceClick() {
    TMyInsurance dialog(m_session.db.reports, m_session.db.colors(WindowKind::Report), m_context,
                        this);
    dialog.exec();
}

void TMyReport::PrinterSetupClick() {
    m_printers.exec();
}
