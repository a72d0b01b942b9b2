#include "backup/backup_window.h"

#include "appearance/set_colors.h"
#include "session/inventory_session.h"
#include "ui/designed_widgets.h"
#include "ui/help_window.h"
#include "ui/prompter.h"
#include "ui/window_context.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {
// Design layout at 640 x 480: what to back up above, where to below, the buttons at the foot.
constexpr int kClientWidth = 322;
constexpr int kClientHeight = 393;
constexpr int kDesignPointSize = 9;
const QString kHelpKeyword = QStringLiteral("Backup and Restore");

struct KindControl {
    const char* name;
    const char* caption;
};
constexpr KindControl kKinds[4] = {
    {"BackDBF", "Current &Database (*.DBF)"},
    {"BackLST", "Data &Lists of Current Database (*.0xx)"},
    {"BackURP", "Global &Report Definitions (*.URP)"},
    {"BackINI", "Config &File of Current Database (*.INI)"},
};

} // namespace

TMyBackup::TMyBackup(InventorySession& session, WindowContext& context,
                     std::function<void()> reapplyViewer, QWidget* parent)
    : QDialog(parent), m_session(session), m_context(context),
      m_reapplyViewer(std::move(reapplyViewer)), m_freeSpace(fileSystemFreeSpace) {
    setObjectName(QStringLiteral("TMyBackup"));
    setWindowTitle(QStringLiteral("Backup"));
    prepareDesignDialog(this, {kClientWidth, kClientHeight}, kDesignPointSize);

    ui::panel(this, "Panel1", {8, 8, 306, 158});
    makeBoldHeading(
        ui::label(this, "Label1", QStringLiteral("What To Back Up"), {20, 16, 280, 20}));
    for (int k = 0; k < 4; ++k)
        m_kinds[k] = ui::radio(this, kKinds[k].name, QString::fromLatin1(kKinds[k].caption),
                               {28, 44 + k * 29, 278, 24});

    // A directory chooser takes the place of a drive list and directory tree.
    ui::panel(this, "Panel2", {8, 174, 306, 160});
    makeBoldHeading(
        ui::label(this, "Label2", QStringLiteral("Where To Back Up To"), {20, 182, 280, 20}));
    m_dirBox = ui::edit(this, "DirBox", 32767, {20, 214, 282, 24});
    m_dirBox->setReadOnly(true);
    m_choose = ui::button(this, "ChooseButton", QStringLiteral("Ch&oose Directory..."),
                          {20, 246, 150, 28});

    m_start = ui::button(this, "StartButton", QStringLiteral("&Start Back Up"), {8, 350, 100, 30});
    m_start->setDefault(true);
    m_cancel = ui::button(this, "CancelButton", QStringLiteral("&Cancel"), {111, 350, 100, 30});
    auto* help = ui::button(this, "HelpButton", QStringLiteral("&Help"), {214, 350, 100, 30});

    connect(m_start, &QPushButton::clicked, this, &TMyBackup::StartButtonClick);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_choose, &QPushButton::clicked, this, &TMyBackup::ChooseButtonClick);
    connect(help, &QPushButton::clicked, this, &TMyBackup::HelpButtonClick);
    ui::helpOnF1(this, kHelpKeyword);

    SaveDimensions(this, m_design, m_context.prompter);
}

void TMyBackup::run(InventorySession& session, WindowContext& context,
                    std::function<void()> reapplyViewer, QWidget* owner) {
    TMyBackup dialog(session, context, std::move(reapplyViewer), owner);
    dialog.exec();
}

void TMyBackup::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TMyBackup::FormShow() {
    ApplyUserFonts(this, m_context.fonts);
    RestoreAndScale(this, m_design, m_context.scaleFactor, m_context.screen);
    SetColors(this, m_session.db.colors(WindowKind::Configure));
    m_kinds[0]->setChecked(true);
    setDestination(m_session.paths.programDir);
}

QRadioButton* TMyBackup::kindButton(BackupKind kind) const {
    return m_kinds[static_cast<int>(kind)];
}

BackupKind TMyBackup::selectedKind() const {
    for (int k = 0; k < 4; ++k)
        if (m_kinds[k]->isChecked())
            return static_cast<BackupKind>(k);
    return BackupKind::Database;
}

QString TMyBackup::destination() const {
    return m_dirBox->text();
}

void TMyBackup::setDestination(const QString& directory) {
    m_dirBox->setText(QDir::toNativeSeparators(directory));
    m_dirBox->setCursorPosition(0);
}

void TMyBackup::ChooseButtonClick() {
    const auto chosen =
        m_context.prompter.directory(QStringLiteral("Where To Back Up To"), destination());
    if (chosen)
        setDestination(*chosen);
}

void TMyBackup::StartButtonClick() {
    if (!QDir(destination()).exists()) {
        m_context.prompter.error(
            QStringLiteral("The directory \"%1\" does not exist.  Please choose a different "
                           "directory/folder to backup to.")
                .arg(destination()));
        return;
    }
    BackupJob job{selectedKind(), destination(), m_freeSpace, m_reapplyViewer};
    bool completed = false;
    try {
        completed = runBackup(m_session, job, m_context.prompter);
    } catch (const dbase::DatabaseError& e) {
        // The table would not open again: the engine's own report.
        m_context.prompter.error(QString::fromStdString(e.what()));
    }
    if (completed) {
        m_cancel->setText(QStringLiteral("&Close"));
        m_cancel->setFocus();
    }
}

void TMyBackup::HelpButtonClick() {
    openHelp(kHelpKeyword, this);
}
