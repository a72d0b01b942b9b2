#include "find/search_replace.h"

#include "appearance/set_colors.h"
#include "formats/value_format.h"
#include "items/item_schema.h"
#include "session/inventory_session.h"
#include "ui/busy_cursor.h"
#include "ui/help_window.h"
#include "ui/prompter.h"
#include "ui/window_context.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>

namespace {
// Design layout at 640 x 480.
constexpr int kClientWidth = 390;
constexpr int kClientHeight = 263;
constexpr int kDesignPointSize = 9;
// Where the counters are drawn, below their headings.
constexpr int kCounterX[3] = {70, 190, 310};
constexpr int kCounterY = 225;
// Counters are drawn at most this often during a pass, and always at its end.
constexpr int kDrawIntervalMs = 50;

template <typename W> W* place(W* w, const char* name, int x, int y, int width, int height) {
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(x, y, width, height);
    return w;
}
} // namespace

TSearchAndReplace::TSearchAndReplace(InventorySession& session, WindowContext& context,
                                     std::function<void()> reapplyViewer, QWidget* parent)
    : QDialog(parent), m_session(session), m_context(context),
      m_reapplyViewer(std::move(reapplyViewer)) {
    setObjectName(QStringLiteral("TSearchAndReplace"));
    setWindowTitle(QStringLiteral("Search and Replace"));
    prepareDesignDialog(this, {kClientWidth, kClientHeight}, kDesignPointSize);

    markHeading(place(new QLabel(QStringLiteral("Field "), this), "FieldLabel", 16, 18, 120, 18),
                Heading::Minor);
    m_fieldBox = place(new QComboBox(this), "FieldBox", 150, 14, 224, 24);
    m_fieldBox->setMaxVisibleItems(15);
    markHeading(place(new QLabel(QStringLiteral("Text To Search For"), this), "SearchLabel", 16, 54,
                      130, 18),
                Heading::Minor);
    m_search = place(new QLineEdit(this), "SearchText", 150, 50, 224, 24);
    markHeading(place(new QLabel(QStringLiteral("Replacement Text"), this), "ReplaceLabel", 16, 90,
                      130, 18),
                Heading::Minor);
    m_replace = place(new QLineEdit(this), "ReplaceText", 150, 86, 224, 24);
    m_confirm = place(new QCheckBox(QStringLiteral("Confirm Before Replacing"), this), "ConfirmBox",
                      16, 122, 250, 20);
    m_start = place(new QPushButton(QStringLiteral("&Start Search"), this), "StartButton", 60, 152,
                    110, 27);
    m_cancel =
        place(new QPushButton(QStringLiteral("&Cancel"), this), "CancelButton", 220, 152, 110, 27);
    m_start->setDefault(true);
    m_cancel->setAutoDefault(false);

    auto* bevel = place(new QFrame(this), "Bevel1", 8, 190, kClientWidth - 16, 64);
    bevel->setProperty("bevel", true);
    bevel->setFrameShape(QFrame::Box);
    bevel->setFrameShadow(QFrame::Sunken);
    const char* const headings[3][2] = {
        {"ProcessedLabel", "Processed"}, {"FoundLabel", "Found"}, {"ChangedLabel", "Changed"}};
    for (int i = 0; i < 3; ++i) {
        auto* heading = place(new QLabel(QString::fromLatin1(headings[i][1]), this), headings[i][0],
                              kCounterX[i] - 30, 198, 90, 18);
        markHeading(heading, Heading::Major);
    }

    connect(m_fieldBox, &QComboBox::activated, this, &TSearchAndReplace::FieldBoxChange);
    connect(m_start, &QPushButton::clicked, this, &TSearchAndReplace::StartButtonClick);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this,
            [this] { openHelp(QStringLiteral("Search and Replace"), this); });

    SaveDimensions(this, m_design, m_context.prompter);
    for (const QString& name : m_session.db.fieldNames)
        m_fieldBox->addItem(name);
    m_fieldBox->setCurrentIndex(-1);
}

void TSearchAndReplace::run(InventorySession& session, WindowContext& context,
                            std::function<void()> reapplyViewer, QWidget* owner) {
    TSearchAndReplace window(session, context, std::move(reapplyViewer), owner);
    window.exec();
}

void TSearchAndReplace::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TSearchAndReplace::FormShow() {
    ApplyUserFonts(this, m_context.fonts);
    RestoreAndScale(this, m_design, m_context.scaleFactor, m_context.screen);
    SetColors(this, m_session.db.colors(WindowKind::Configure));
}

void TSearchAndReplace::FieldBoxChange(int index) {
    const ItemField* field = itemField(index + 1);
    if (!field)
        return;
    m_field = field->number;
    for (QLineEdit* box : {m_search, m_replace}) {
        box->setInputMask({});
        box->clear();
        switch (field->letter) {
        case 'D': {
            const QString sep = QStringLiteral("\\") + m_session.formats.current().separator;
            box->setInputMask(QStringLiteral("00") + sep + QStringLiteral("00") + sep +
                              QStringLiteral("9999;_"));
            box->setMaxLength(10);
            break;
        }
        case 'N':
            box->setMaxLength(9);
            break;
        default:
            box->setMaxLength(field->width);
            break;
        }
    }
}

void TSearchAndReplace::StartButtonClick() {
    const ReplaceCheckResult check = checkReplaceInput(
        {m_field, m_search->text(), m_replace->text()}, m_session.formats.current());
    if (check.outcome != ReplaceCheck::Ok) {
        m_context.prompter.error(check.message);
        (check.outcome == ReplaceCheck::NoField     ? static_cast<QWidget*>(m_fieldBox)
         : check.outcome == ReplaceCheck::BadSearch ? static_cast<QWidget*>(m_search)
                                                    : static_cast<QWidget*>(m_replace))
            ->setFocus();
        return;
    }
    ReplaceResult result;
    try {
        BusyCursor busy;
        m_sinceDrawn.start();
        ReplaceHooks hooks;
        hooks.reapplyViewer = m_reapplyViewer;
        hooks.progress = [this](const ReplaceCounters& c, bool final) {
            m_counters = c;
            if (final || m_sinceDrawn.elapsed() >= kDrawIntervalMs) {
                drawCounters(c);
                m_sinceDrawn.restart();
            }
        };
        result = runSearchAndReplace(m_session, check.values, m_confirm->isChecked(),
                                     m_context.prompter, hooks);
    } catch (const dbase::DatabaseError& e) {
        // The table would not open again even shared: the engine's own report.
        m_context.prompter.error(QString::fromStdString(e.what()));
        return;
    }
    m_counters = result.counters;
    drawCounters(m_counters);
    if (result.outcome == ReplaceOutcome::Completed) {
        m_completed = true;
        accept();
    }
}

void TSearchAndReplace::drawCounters(const ReplaceCounters& counters) {
    m_counters = counters;
    if (isVisible())
        repaint();
}

void TSearchAndReplace::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.setFont(font());
    const double scale = m_context.scaleFactor;
    const qint64 values[3] = {m_counters.processed, m_counters.found, m_counters.changed};
    for (int i = 0; i < 3; ++i)
        painter.drawText(QPointF(kCounterX[i] * scale, kCounterY * scale),
                         formatUs(double(values[i]), 1, 0));
}
