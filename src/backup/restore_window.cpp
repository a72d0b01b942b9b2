#include "backup/restore_window.h"

#include "appearance/set_colors.h"
#include "session/inventory_session.h"
#include "ui/designed_widgets.h"
#include "ui/help_window.h"
#include "ui/prompter.h"
#include "ui/window_context.h"

#include <QDir>
#include <QLabel>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>

namespace {
constexpr int kClientWidth = 322;
constexpr int kClientHeight = 195;
constexpr int kDesignPointSize = 9;
const QString kHelpKeyword = QStringLiteral("Backup and Restore");

struct KindControl {
    const char* name;
    const char* caption;
};
constexpr KindControl kKinds[4] = {
    {"RestoreDBF", "&Database File (*.DBF)"},
    {"RestoreLST", "Data &Lists of a Database (*.0xx)"},
    {"RestoreURP", "Global &Report Definitions (*.URP)"},
    {"RestoreINI", "Config &File of a Database (*.INI)"},
};

} // namespace

TMyRestore::TMyRestore(InventorySession& session, WindowContext& context, RestoreJob services,
                       QWidget* parent)
    : QDialog(parent), m_session(session), m_context(context), m_services(std::move(services)) {
    if (!m_services.freeSpace)
        m_services.freeSpace = fileSystemFreeSpace;
    setObjectName(QStringLiteral("TMyRestore"));
    setWindowTitle(QStringLiteral("Restore"));
    prepareDesignDialog(this, {kClientWidth, kClientHeight}, kDesignPointSize);

    ui::panel(this, "Panel1", {8, 8, 306, 142});
    makeBoldHeading(
        ui::label(this, "Label1", QStringLiteral("What To Restore"), {20, 14, 280, 20}));
    for (int k = 0; k < 4; ++k)
        m_kinds[k] = ui::radio(this, kKinds[k].name, QString::fromLatin1(kKinds[k].caption),
                               {28, 38 + k * 27, 278, 24});

    m_start = ui::button(this, "StartButton", QStringLiteral("&Start Restore"), {8, 158, 100, 30});
    m_start->setDefault(true);
    m_cancel = ui::button(this, "CancelButton", QStringLiteral("&Cancel"), {111, 158, 100, 30});
    auto* help = ui::button(this, "HelpButton", QStringLiteral("&Help"), {214, 158, 100, 30});

    connect(m_start, &QPushButton::clicked, this, &TMyRestore::StartButtonClick);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this, &TMyRestore::HelpButtonClick);
    ui::helpOnF1(this, kHelpKeyword);

    SaveDimensions(this, m_design, m_context.prompter);
}

void TMyRestore::run(InventorySession& session, WindowContext& context, RestoreJob services,
                     QWidget* owner) {
    TMyRestore dialog(session, context, std::move(services), owner);
    dialog.exec();
}

void TMyRestore::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TMyRestore::FormShow() {
    ApplyUserFonts(this, m_context.fonts);
    RestoreAndScale(this, m_design, m_context.scaleFactor, m_context.screen);
    SetColors(this, m_session.db.colors(WindowKind::Configure));
    m_kinds[0]->setChecked(true);
}

QRadioButton* TMyRestore::kindButton(RestoreKind kind) const {
    return m_kinds[static_cast<int>(kind)];
}

RestoreKind TMyRestore::selectedKind() const {
    for (int k = 0; k < 4; ++k)
        if (m_kinds[k]->isChecked())
            return static_cast<RestoreKind>(k);
    return RestoreKind::Database;
}

void TMyRestore::StartButtonClick() {
    const RestoreKind kind = selectedKind();
    const RestoreDialogSetup setup = restoreDialogSetup(kind);
    FileDialogRequest request;
    request.caption = setup.title;
    request.directory = m_lastDirectory.isEmpty() ? QDir::homePath() : m_lastDirectory;
    request.fileName = setup.fileName;
    request.filters = {setup.filter};
    request.defaultSuffix = setup.defaultSuffix;
    request.mustExist = true;
    const auto chosen = m_context.prompter.openFileName(request);
    if (!chosen)
        return;
    m_lastDirectory = QFileInfo(*chosen).absolutePath();

    RestoreJob job = m_services;
    job.kind = kind;
    job.chosenFile = *chosen;
    bool completed = false;
    try {
        completed = runRestore(m_session, job, m_context.prompter);
    } catch (const dbase::DatabaseError& e) {
        m_context.prompter.error(QString::fromStdString(e.what()));
    }
    if (completed) {
        m_cancel->setText(QStringLiteral("&Close"));
        m_cancel->setFocus();
    }
}

void TMyRestore::HelpButtonClick() {
    openHelp(kHelpKeyword, this);
}
