#include "find/search_window.h"
#include "ui/window_services.h"

#include "appearance/set_colors.h"
#include "find/search_options.h"
#include "find/search_session.h"
#include "session/inventory_session.h"
#include "ui/busy_cursor.h"
#include "ui/help_window.h"
#include "ui/prompter.h"
#include "ui/window_context.h"

#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

namespace {

// Design layout at 640 x 480: the grid (header row and 22 field rows of 16 pixels) over a row
// of five buttons.
constexpr int kColumnWidths[3] = {200, 20, 378};
constexpr int kRowHeight = 16;
constexpr int kGridLeft = 8;
constexpr int kGridTop = 8;
constexpr int kGridWidth = 600 + 20;
constexpr int kGridHeight = (kSearchRows + 1) * kRowHeight + 4;
constexpr int kButtonTop = kGridTop + kGridHeight + 10;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 25;
constexpr int kClientWidth = kGridLeft * 2 + kGridWidth;
constexpr int kClientHeight = kButtonTop + kButtonHeight + 8;
constexpr int kDesignPointSize = 8;

const QColor kOptionCellColor(128, 128, 128);

const QStringList kOperatorChoices = {QStringLiteral(" = "), QStringLiteral(" > "),
                                      QStringLiteral(" < "), QStringLiteral(" > X < ")};
const QStringList kYesNoChoices = {QStringLiteral("YES"), QStringLiteral("NO")};

bool opensOptions(const QKeyEvent& key) {
    const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
    return (key.key() == Qt::Key_F4 && mods == Qt::NoModifier) ||
           (key.key() == Qt::Key_Down && mods == Qt::AltModifier);
}

} // namespace

TMySearch::TMySearch(InventorySession& session, WindowContext& context,
                     std::function<void()> reapplyViewer, QWidget* parent)
    : QDialog(parent), m_session(session), m_context(context),
      m_reapplyViewer(std::move(reapplyViewer)) {
    setObjectName(QStringLiteral("TMySearch"));
    setWindowTitle(QStringLiteral("Search"));
    prepareDesignDialog(this, {kClientWidth, kClientHeight}, kDesignPointSize);
    setHelpKeyword(this, QStringLiteral("Search Window"));

    m_grid = new QTableWidget(kSearchRows, 3, this);
    m_grid->setObjectName(QStringLiteral("StringGrid1"));
    m_grid->setGeometry(kGridLeft, kGridTop, kGridWidth, kGridHeight);
    m_grid->verticalHeader()->hide();
    m_grid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->horizontalHeader()->setMinimumSectionSize(1);
    m_grid->horizontalHeader()->setHighlightSections(false);
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->verticalHeader()->setMinimumSectionSize(1);
    m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_grid->setSelectionMode(QAbstractItemView::NoSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setTabKeyNavigation(false);
    m_grid->setHorizontalHeaderItem(0, new QTableWidgetItem(QStringLiteral(" FIELD")));
    m_grid->setHorizontalHeaderItem(1, new QTableWidgetItem(QString()));
    m_grid->setHorizontalHeaderItem(2, new QTableWidgetItem(QString()));

    for (int row = 1; row <= kSearchRows; ++row) {
        auto* name = new QTableWidgetItem;
        name->setFlags(Qt::ItemIsEnabled);
        m_grid->setItem(row - 1, 0, name);
        auto* option = new QTableWidgetItem;
        option->setFlags(Qt::ItemIsEnabled);
        if (hasOptionCell(row)) {
            option->setText(QStringLiteral("..."));
            option->setTextAlignment(Qt::AlignCenter);
            option->setBackground(kOptionCellColor);
        }
        m_grid->setItem(row - 1, 1, option);

        // The cell editor is always there: one edit per criterion cell. They stay unnamed so
        // the window's geometry services leave them to the grid; they take the grid's font
        // and colours.
        auto* edit = new QLineEdit;
        edit->setFrame(false);
        edit->installEventFilter(this);
        m_grid->setCellWidget(row - 1, 2, edit);
        m_edits[size_t(row - 1)] = edit;
    }
    m_operators.fill(RowOperator::Equals);

    const auto button = [this](const char* name, const QString& caption, int index) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        const int gap = (kClientWidth - 2 * kGridLeft - 5 * kButtonWidth) / 4;
        b->setGeometry(kGridLeft + index * (kButtonWidth + gap), kButtonTop, kButtonWidth,
                       kButtonHeight);
        b->setAutoDefault(false);
        return b;
    };
    m_ok = button("OkButton", QStringLiteral("&Ok"), 0);
    m_exit = button("ExitButton", QStringLiteral("E&xit"), 1);
    m_clear = button("ClearButton", QStringLiteral("&Clear Search"), 2);
    m_more = button("MoreButton", QStringLiteral("&Find More"), 3);
    m_help = button("HelpButton", QStringLiteral("&Help"), 4);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &TMySearch::OkButtonClick);
    connect(m_exit, &QPushButton::clicked, this, &TMySearch::ExitButtonClick);
    connect(m_clear, &QPushButton::clicked, this, &TMySearch::ClearSearch);
    connect(m_more, &QPushButton::clicked, this, &TMySearch::MoreButtonClick);
    connect(m_help, &QPushButton::clicked, this, &TMySearch::HelpButtonClick);
    // Qt reports a click on release, and only when press and release hit the same cell.
    connect(m_grid, &QTableWidget::cellClicked, this,
            [this](int row, int column) { GridCellClick(row + 1, column); });

    for (int row = 1; row <= kSearchRows; ++row)
        applyMask(row);
    SaveDimensions(this, m_design, m_context.prompter);
}

bool TMySearch::execute() {
    m_applied = false;
    exec();
    return m_applied;
}

void TMySearch::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

bool TMySearch::eventFilter(QObject* watched, QEvent* event) {
    int row = 1;
    while (row <= kSearchRows && m_edits[size_t(row - 1)] != watched)
        ++row;
    if (row > kSearchRows)
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::FocusIn)
        m_grid->setCurrentCell(row - 1, 2);
    // The option cell takes no focus, so the criterion cell opens it with the keys that drop
    // a list down: F4 or Alt+Down.
    if (event->type() == QEvent::KeyPress && opensOptions(*static_cast<QKeyEvent*>(event))) {
        GridCellClick(row, 1);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TMySearch::FormShow() {
    ApplyUserFonts(this, m_context.fonts);
    RestoreAndScale(this, m_design, m_context.scaleFactor, m_context.screen);
    if (y() > 10)
        move(x(), y() - 10);
    scaleGrid();
    m_applied = false;
    m_criteria.clear();
    // Level 1 again, so Find More is available again, however the last showing ended (the
    // window's close box and Escape bypass Exit).
    m_more->setEnabled(true);
    m_grid->horizontalHeaderItem(0)->setText(QStringLiteral(" FIELD"));
    setLevelHeader();
    for (int row = 1; row <= kSearchRows; ++row) {
        const QString name = m_session.db.fieldNames[size_t(row - 1)];
        m_grid->item(row - 1, 0)->setText(QStringLiteral(" ") + name);
        // The date separator may have changed since the last showing.
        m_edits[size_t(row - 1)]->clear();
        applyMask(row);
        m_edits[size_t(row - 1)]->clear();
    }
    SetColors(this, m_session.db.colors(WindowKind::Search));
    makeRowCurrent(1);
}

void TMySearch::scaleGrid() {
    const double f = m_context.scaleFactor;
    for (int c = 0; c < 3; ++c)
        m_grid->setColumnWidth(c, scaled(kColumnWidths[c], f));
    const int rowHeight = scaled(kRowHeight, f);
    for (int r = 0; r < kSearchRows; ++r)
        m_grid->setRowHeight(r, rowHeight);
    m_grid->horizontalHeader()->setFixedHeight(rowHeight);
}

QString TMySearch::criteriaHeader() const {
    return m_grid->horizontalHeaderItem(2)->text();
}

void TMySearch::setLevelHeader() {
    m_grid->horizontalHeaderItem(2)->setText(QStringLiteral(" SEARCH CRITERIA    (Level ") +
                                             QString::number(m_criteria.level) +
                                             QStringLiteral(")"));
}

void TMySearch::emptyCriteria() {
    for (QLineEdit* edit : m_edits)
        edit->clear();
}

QString TMySearch::criterion(int row) const {
    return m_edits[size_t(row - 1)]->text();
}

void TMySearch::setCriterion(int row, const QString& text) {
    m_edits[size_t(row - 1)]->setText(text);
}

void TMySearch::makeRowCurrent(int row) {
    if (row < 1 || row > kSearchRows)
        return;
    m_grid->setCurrentCell(row - 1, 2);
    m_edits[size_t(row - 1)]->setFocus();
}

int TMySearch::currentRow() const {
    return m_grid->currentRow() + 1;
}

void TMySearch::setRowOperator(int row, RowOperator op) {
    if (row < 1 || row > kSearchRows || searchRowKind(row) == RowKind::Text)
        return;
    m_operators[size_t(row - 1)] = op;
    applyMask(row);
}

// Gives the cell the template of its row's operator. What was typed stays: the value moves
// into the new template (a single value becomes the lower side of a range, and back).
void TMySearch::applyMask(int row) {
    QLineEdit* edit = m_edits[size_t(row - 1)];
    const RowKind kind = searchRowKind(row);
    if (kind == RowKind::Text) {
        edit->setInputMask(QString());
        edit->setMaxLength(criterionMaxLength(row));
        return;
    }
    const QString mask =
        criterionMask(row, rowOperator(row), m_session.formats.current().separator);
    if (edit->inputMask() == mask)
        return;

    const QString old = edit->text();
    const auto isEmptyValue = [kind](const QString& s) {
        return s.isEmpty() || (kind == RowKind::Date && isUntouchedDateSlot(s));
    };
    QString low;
    QString high;
    if (old.contains(QLatin1String("AND"))) {
        QString rest = old;
        for (const QChar c : {QLatin1Char('<'), QLatin1Char('>')})
            if (const qsizetype at = rest.indexOf(c); at >= 0)
                rest.remove(at, 1);
        const qsizetype at = rest.indexOf(QLatin1String("AND"));
        low = rest.left(at).trimmed();
        high = rest.mid(at + 3).trimmed();
    } else if (!old.isEmpty()) {
        low = old.trimmed();
        if (!low.isEmpty() && (low[0] == QLatin1Char('=') || low[0] == QLatin1Char('>') ||
                               low[0] == QLatin1Char('<')))
            low = low.mid(1).trimmed();
    }
    if (isEmptyValue(low))
        low.clear();
    if (isEmptyValue(high))
        high.clear();

    // The old text must be gone before the new mask comes, or the mask would take its
    // operator characters as typed ones.
    edit->setInputMask(QString());
    edit->clear();
    edit->setInputMask(mask);
    const RowOperator op = rowOperator(row);
    // Numbers sit in free-text places, so they are padded to their places; dates find their
    // places by their separators.
    const auto place = [kind](const QString& value, int width) {
        return kind == RowKind::Numeric ? value.left(width).leftJustified(width, QLatin1Char('_'))
                                        : value;
    };
    QString text;
    if (op == RowOperator::Range) {
        if (low.isEmpty() && high.isEmpty())
            return;
        text = QStringLiteral("> ") + place(low, 9) + QStringLiteral(" AND < ") + place(high, 8);
    } else {
        const QString value = low.isEmpty() ? high : low;
        if (value.isEmpty())
            return;
        text = QString(operatorChar(op)) + QLatin1Char(' ') + place(value, 9);
    }
    edit->setText(text);
}

bool TMySearch::SaveFields() {
    std::array<QString, kSearchRows> cells;
    for (int row = 1; row <= kSearchRows; ++row)
        cells[size_t(row - 1)] = criterion(row);
    const SaveResult result =
        ::SaveFields(m_criteria, cells, m_operators, m_session.formats.current());
    switch (result.outcome) {
    case SaveOutcome::Saved:
        return true;
    case SaveOutcome::Invalid:
        m_context.prompter.error(kInvalidCriteriaMessage);
        makeRowCurrent(result.row);
        return false;
    case SaveOutcome::NoCriteria:
        m_context.prompter.error(kNoCriteriaMessage);
        m_grid->setFocus();
        return false;
    case SaveOutcome::Overflow:
        m_context.prompter.error(tooManyItemsMessage());
        emptyCriteria();
        m_criteria.clear();
        m_more->setEnabled(true);
        setLevelHeader();
        m_grid->viewport()->update();
        return false;
    }
    return false;
}

bool TMySearch::Doit() {
    BusyCursor busy;
    return applySearch(m_session, m_criteria.items, m_reapplyViewer);
}

void TMySearch::OkButtonClick() {
    // Find More stays off at the last level, whatever Ok finds wrong.
    m_more->setEnabled(m_criteria.level < kMaxSearchLevels);
    if (!SaveFields())
        return;
    bool matches = false;
    try {
        matches = Doit();
    } catch (const dbase::DatabaseError& e) {
        m_context.prompter.error(QString::fromStdString(e.what()));
        return;
    }
    if (matches) {
        m_applied = true;
        accept();
        return;
    }
    m_context.prompter.notice(kNoMatchesMessage);
    ClearSearch();
}

void TMySearch::ExitButtonClick() {
    m_more->setEnabled(true);
    reject();
}

void TMySearch::ClearSearch() {
    emptyCriteria();
    m_criteria.clear();
    m_more->setEnabled(true);
    setLevelHeader();
    m_grid->viewport()->update();
}

void TMySearch::MoreButtonClick() {
    if (m_criteria.level >= kMaxSearchLevels)
        return;
    if (SaveFields()) {
        emptyCriteria();
        ++m_criteria.level;
        setLevelHeader();
        if (m_criteria.level > kMaxSearchLevels - 1)
            m_more->setEnabled(false);
    }
    m_grid->viewport()->update();
}

void TMySearch::HelpButtonClick() {
    openHelp(QStringLiteral("Search Window"), this);
}

void TMySearch::GridCellClick(int row, int column) {
    if (column != 1 || row < 1 || row > kSearchRows || !hasOptionCell(row))
        return;
    const QString heading = m_session.db.fieldNames[size_t(row - 1)];
    QStringList entries;
    int selected = -1;
    if (searchRowKind(row) != RowKind::Text) {
        entries = kOperatorChoices;
        selected = int(rowOperator(row)) - 1;
    } else if (hasYesNoChoices(row)) {
        entries = kYesNoChoices;
    } else {
        entries = m_session.lists.editorList(searchRowLookupList(row));
    }
    TSearchOptions options(*this, row, heading, entries, selected, m_context,
                           m_session.db.colors(WindowKind::Search));
    options.exec();
}
