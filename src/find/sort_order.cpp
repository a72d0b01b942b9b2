#include "find/sort_order.h"
#include "ui/window_services.h"

#include "ui/help_window.h"
#include "session/inventory_session.h"
#include "ui/prompter.h"
#include "ui/window_context.h"
#include "appearance/set_colors.h"
#include "find/sort_order_ops.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QShortcut>

namespace {
// Design layout at 640 x 480: the four lists under their headings, the buttons underneath.
constexpr int kClientWidth = 264;
constexpr int kClientHeight = 256;
constexpr int kDesignPointSize = 9;
constexpr int kLeft = 16;
constexpr int kListWidth = kClientWidth - 2 * kLeft;
constexpr int kLevelHeight = 50;

const char* const kHeadings[4] = {"Primary Sort", "Secondary Sort", "Third Level Sort",
                                  "Fourth Level Sort"};
} // namespace

TMySortOrder::TMySortOrder(InventorySession& session, WindowContext& context,
                           std::function<void()> reapplyViewer, QWidget* parent)
    : QDialog(parent), m_session(session), m_context(context),
      m_reapplyViewer(std::move(reapplyViewer)) {
    setObjectName(QStringLiteral("TMySortOrder"));
    setWindowTitle(QStringLiteral("Sort Order"));
    prepareDesignDialog(this, {kClientWidth, kClientHeight}, kDesignPointSize);

    QStringList entries{QStringLiteral("<NONE>")};
    for (const QString& name : m_session.db.fieldNames)
        entries << name;
    for (int level = 0; level < 4; ++level) {
        const int top = 10 + level * kLevelHeight;
        auto* heading = new QLabel(QString::fromLatin1(kHeadings[level]), this);
        heading->setObjectName(QStringLiteral("Label%1").arg(level + 1));
        heading->setGeometry(kLeft, top, kListWidth, 18);
        QFont hf = heading->font();
        hf.setBold(true);
        heading->setFont(hf);
        markHeading(heading, Heading::Minor);
        m_headings[size_t(level)] = heading;

        auto* list = new QComboBox(this);
        list->setObjectName(QStringLiteral("ComboBox%1").arg(level + 1));
        list->setGeometry(kLeft, top + 19, kListWidth, 24);
        list->setMaxVisibleItems(23);
        list->addItems(entries);
        m_lists[size_t(level)] = list;
    }

    auto* ok = new QPushButton(QStringLiteral("&Ok"), this);
    ok->setObjectName(QStringLiteral("OkButton"));
    ok->setGeometry(kLeft + 16, 216, 96, 27);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    cancel->setGeometry(kClientWidth - kLeft - 16 - 96, 216, 96, 27);
    cancel->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &TMySortOrder::OkButtonClick);
    connect(cancel, &QPushButton::clicked, this, &TMySortOrder::CancelButtonClick);
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this,
            [this] { openHelp(QStringLiteral("Sort Order"), this); });

    SaveDimensions(this, m_design, m_context.prompter);
}

bool TMySortOrder::run(InventorySession& session, WindowContext& context,
                       std::function<void()> reapplyViewer, QWidget* owner) {
    TMySortOrder dialog(session, context, std::move(reapplyViewer), owner);
    dialog.exec();
    return dialog.applied();
}

void TMySortOrder::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TMySortOrder::FormShow() {
    ApplyUserFonts(this, m_context.fonts);
    RestoreAndScale(this, m_design, m_context.scaleFactor, m_context.screen);
    for (int level = 0; level < 4; ++level) {
        const int stored = m_session.db.sortKeys[size_t(level)];
        // A level the settings hold that names no field shows as none.
        m_lists[size_t(level)]->setCurrentIndex(stored >= 0 && stored <= 22 ? stored : 0);
    }
    SetColors(this, m_session.db.colors(WindowKind::Configure));
}

void TMySortOrder::OkButtonClick() {
    std::array<int, 4> levels{};
    for (int level = 0; level < 4; ++level)
        levels[size_t(level)] = std::max(0, m_lists[size_t(level)]->currentIndex());
    SortOrderOutcome outcome = SortOrderOutcome::Failed;
    try {
        // Rebuilding the order of a large inventory takes a moment.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        outcome = applySortOrder(m_session, levels, m_context.prompter, m_reapplyViewer);
    } catch (const dbase::DatabaseError& e) {
        // The table would not open again even shared: the engine's own report.
        m_context.prompter.error(QString::fromStdString(e.what()));
        return;
    }
    if (outcome == SortOrderOutcome::Applied) {
        m_applied = true;
        accept();
    }
}

void TMySortOrder::CancelButtonClick() {
    reject();
}
