#include "appearance/view_config.h"

#include "appearance/set_colors.h"
#include "items/item_schema.h"
#include "ui/help_window.h"
#include "ui/prompter.h"
#include "ui/window_context.h"
#include "ui/window_services.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableWidget>

#include <cmath>

namespace {
// Design layout at 640 x 480: the notebook above the two buttons.
constexpr int kClientWidth = 600;
constexpr int kClientHeight = 392;
constexpr int kDesignPointSize = 9;
constexpr int kGridRowHeight = 20;
constexpr int kGridHeight = 250;

const char* const kHelpKeywords[6] = {"Viewer Configuration Title", "Viewer Configuration Look",
                                      "Viewer Configuration Show",  "Viewer Configuration Widths",
                                      "Viewer Configuration Order", "Viewer Configuration Names"};

template <typename W> W* place(W* w, const char* name, int x, int y, int width, int height) {
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(x, y, width, height);
    return w;
}

QLabel* heading(QWidget* page, const char* name, const QString& text, int x, int y, int w) {
    auto* label = place(new QLabel(text, page), name, x, y, w, 18);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    markHeading(label, Heading::Minor);
    return label;
}

QTableWidgetItem* cell(const QString& text, bool editable) {
    auto* item = new QTableWidgetItem(text);
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (editable)
        flags |= Qt::ItemIsEditable;
    item->setFlags(flags);
    return item;
}

// Names are typed no longer than the settings keep them.
class FieldNameDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            setTypingLimit(line, kFieldNameLength);
        return editor;
    }
};

QString yesNo(bool on) {
    return on ? QStringLiteral("Yes") : QStringLiteral("No");
}
} // namespace

TViewConfig::TViewConfig(DatabaseSettings& settings, WindowContext& context, QWidget* parent)
    : QDialog(parent), m_db(settings), m_context(context) {
    setObjectName(QStringLiteral("TViewConfig"));
    setWindowTitle(QStringLiteral("Viewer Configuration"));
    prepareDesignDialog(this, {kClientWidth, kClientHeight}, kDesignPointSize);

    m_pages = place(new QTabWidget(this), "Notebook", 8, 8, kClientWidth - 16, kClientHeight - 56);
    const ViewConfigCells start = viewConfigCells(m_db);

    // Title
    QWidget* page = makePage(QStringLiteral("&Title"), "TitlePage");
    m_showTitles = place(new QCheckBox(QStringLiteral("Show Column Titles"), page), "ShowTitlesBox",
                         16, 14, 220, 20);
    m_showTitles->setChecked(m_db.showTitles);
    connect(m_showTitles, &QCheckBox::clicked, this, [this](bool on) { m_db.showTitles = on; });
    heading(page, "TitleFontLabel", QStringLiteral("Title Font"), 16, 48, 200);
    m_titleFontBox = place(new QLineEdit(page), "TitleFontBox", 16, 68, 220, 24);
    m_titleFontBox->setReadOnly(true);
    auto* titleFont = place(new QPushButton(QStringLiteral("New &Font"), page), "TitleFontButton",
                            250, 66, 100, 27);
    connect(titleFont, &QPushButton::clicked, this, &TViewConfig::titleFontClick);
    heading(page, "BackgroundLabel", QStringLiteral("Background"), 16, 108, 200);
    m_titleSample = place(new QFrame(page), "TitleSample", 16, 128, 100, 40);
    m_titleSample->setFrameShape(QFrame::Box);
    keepOwnColors(m_titleSample);
    auto* titleColor = place(new QPushButton(QStringLiteral("New &Color"), page),
                             "TitleColorButton", 130, 134, 100, 27);
    connect(titleColor, &QPushButton::clicked, this, &TViewConfig::titleColorClick);
    heading(page, "AlignmentLabel", QStringLiteral("Alignment"), 16, 184, 200);
    m_alignment = new QButtonGroup(this);
    const char* const alignNames[3] = {"LeftRadio", "CenterRadio", "RightRadio"};
    const char* const alignTexts[3] = {"Left Justify", "Center", "Right Justify"};
    for (int a = 0; a < 3; ++a) {
        auto* radio = place(new QRadioButton(QString::fromLatin1(alignTexts[a]), page),
                            alignNames[a], 16 + a * 130, 206, 124, 20);
        m_alignment->addButton(radio, a + 1);
    }
    if (auto* b = m_alignment->button(m_db.titleAlignment))
        b->setChecked(true);
    connect(m_alignment, &QButtonGroup::idClicked, this,
            [this](int id) { m_db.titleAlignment = id; });

    // Look and Feel
    page = makePage(QStringLiteral("&Look and Feel"), "LookPage");
    heading(page, "GridOptionsLabel", QStringLiteral("Grid Options"), 16, 10, 200);
    const char* const optionNames[4] = {"ColumnLinesBox", "RowLinesBox", "RowIndicatorBox",
                                        "FieldEditingBox"};
    const char* const optionTexts[4] = {"Show lines between columns", "Show lines between rows",
                                        "Show current row indicator", "Allow field editing"};
    bool* const optionValues[4] = {&m_db.columnLines, &m_db.rowLines, &m_db.rowIndicator,
                                   &m_db.fieldEditing};
    for (int n = 0; n < 4; ++n) {
        m_options[n] = place(new QCheckBox(QString::fromLatin1(optionTexts[n]), page),
                             optionNames[n], 16, 32 + n * 22, 260, 20);
        m_options[n]->setChecked(*optionValues[n]);
        bool* target = optionValues[n];
        connect(m_options[n], &QCheckBox::clicked, this, [target](bool on) { *target = on; });
    }
    heading(page, "CellColorLabel", QStringLiteral("Cell Color"), 16, 130, 200);
    m_cellSample = place(new QFrame(page), "CellSample", 16, 150, 100, 40);
    m_cellSample->setFrameShape(QFrame::Box);
    keepOwnColors(m_cellSample);
    auto* cellColor = place(new QPushButton(QStringLiteral("New &Color"), page), "CellColorButton",
                            130, 156, 100, 27);
    connect(cellColor, &QPushButton::clicked, this, &TViewConfig::cellColorClick);
    heading(page, "CellFontLabel", QStringLiteral("Cell Font"), 16, 204, 200);
    m_cellFontBox = place(new QLineEdit(page), "CellFontBox", 16, 224, 220, 24);
    m_cellFontBox->setReadOnly(true);
    auto* cellFont = place(new QPushButton(QStringLiteral("New &Font"), page), "CellFontButton",
                           250, 222, 100, 27);
    connect(cellFont, &QPushButton::clicked, this, &TViewConfig::cellFontClick);

    // Fields to Show
    page = makePage(QStringLiteral("Fields to &Show"), "ShowPage");
    auto* instruction = place(
        new QLabel(QStringLiteral("For each field that you would like displayed in the Viewer, "
                                  "select 'Yes'.  If you do not wish a field to appear in the "
                                  "Viewer, then select 'No' for that field.  Double Click on "
                                  "the field to change between 'Yes' and 'No'."),
                   page),
        "InstructionLabel", 12, 6, 420, 60);
    instruction->setWordWrap(true);
    markHeading(instruction, Heading::Minor);
    m_display = makeGrid(page, "FieldsToDisplay", 2, 12, 70);
    m_display->setHorizontalHeaderLabels({QStringLiteral("FIELD"), QStringLiteral("DISPLAY IT")});
    connect(m_display, &QTableWidget::cellDoubleClicked, this,
            &TViewConfig::FieldsToDisplayDblClick);

    // Field Widths
    page = makePage(QStringLiteral("Field &Widths"), "WidthsPage");
    m_widths = makeGrid(page, "FieldWidthGrid", 2, 12, 12);
    m_widths->setHorizontalHeaderLabels({QStringLiteral("FIELD"), QStringLiteral("WIDTH")});

    // Field Order
    page = makePage(QStringLiteral("Field &Order"), "OrderPage");
    heading(page, "FieldHeading", QStringLiteral("Field"), 12, 8, 100);
    heading(page, "OrderingHeading", QStringLiteral("Ordering"), 240, 8, 100);
    m_order = makeGrid(page, "FieldOrderGrid", 1, 12, 30);
    m_order->horizontalHeader()->hide();
    auto* up = place(new QPushButton(QStringLiteral("&Up"), page), "UpButton", 240, 40, 90, 27);
    auto* down =
        place(new QPushButton(QStringLiteral("&Down"), page), "DownButton", 240, 76, 90, 27);
    auto* defaults = place(new QPushButton(QStringLiteral("D&efaults"), page), "DefaultsButton",
                           240, 130, 90, 27);
    connect(up, &QPushButton::clicked, this, &TViewConfig::UpButtonClick);
    connect(down, &QPushButton::clicked, this, &TViewConfig::DownButtonClick);
    connect(defaults, &QPushButton::clicked, this, &TViewConfig::DefaultsButtonClick);

    // Field Names
    page = makePage(QStringLiteral("Field &Names"), "NamesPage");
    m_names = makeGrid(page, "FieldNameGrid", 2, 12, 12);
    m_names->setHorizontalHeaderLabels({QStringLiteral("FIELD"), QStringLiteral("NAME TO USE")});
    m_names->setItemDelegateForColumn(1, new FieldNameDelegate(m_names));

    for (int r = 0; r < kFieldCount; ++r) {
        const size_t i = size_t(r);
        m_display->setItem(r, 0, cell(m_db.fieldNames[i], false));
        m_display->setItem(r, 1, cell(start.shown[i], false));
        m_widths->setItem(r, 0, cell(m_db.fieldNames[i], false));
        m_widths->setItem(r, 1, cell(start.widths[i], true));
        m_order->setItem(r, 0, cell(start.ordered[i], false));
        m_names->setItem(r, 0, cell(kItemFields[i].qName(), false));
        m_names->setItem(r, 1, cell(start.names[i], true));
    }
    m_order->setCurrentCell(0, 0);
    for (QTableWidget* grid : {m_display, m_widths, m_names})
        grid->setCurrentCell(0, 1);

    auto* exitButton = place(new QPushButton(QStringLiteral("E&xit"), this), "ExitButton",
                             kClientWidth / 2 - 110, kClientHeight - 40, 100, 29);
    auto* help = place(new QPushButton(QStringLiteral("&Help"), this), "HelpButton",
                       kClientWidth / 2 + 10, kClientHeight - 40, 100, 29);
    exitButton->setAutoDefault(false);
    help->setAutoDefault(false);
    connect(exitButton, &QPushButton::clicked, this, &TViewConfig::ExitButtonClick);
    connect(help, &QPushButton::clicked, this, &TViewConfig::HelpButtonClick);
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this,
            &TViewConfig::HelpButtonClick);

    showFontText(m_titleFontBox, m_db.titleFont);
    showFontText(m_cellFontBox, m_db.gridFont);
    SaveDimensions(this, m_design, m_context.prompter);
}

QWidget* TViewConfig::makePage(const QString& title, const char* name) {
    // Pages are laid out by the notebook; only their controls carry design geometry.
    auto* page = new QWidget;
    page->setProperty("pageName", QString::fromLatin1(name));
    m_pages->addTab(page, title);
    return page;
}

QTableWidget* TViewConfig::makeGrid(QWidget* page, const char* name, int columns, int x, int y) {
    // Room for the columns and the scroll bar.
    const int width = QLatin1String(name) == QLatin1String("FieldNameGrid") ? 400
                      : columns == 1                                        ? 200
                                                                            : 300;
    auto* grid =
        place(new QTableWidget(kFieldCount, columns, page), name, x, y, width + 24, kGridHeight);
    grid->verticalHeader()->hide();
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed);
    return grid;
}

void TViewConfig::run(DatabaseSettings& settings, WindowContext& context, QWidget* owner) {
    TViewConfig window(settings, context, owner);
    window.exec();
}

void TViewConfig::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TViewConfig::FormShow() {
    ApplyUserFonts(this, m_context.fonts);
    RestoreAndScale(this, m_design, m_context.scaleFactor, m_context.screen);
    // Kept on the screen, a little higher when there is room above.
    if (y() > 10)
        move(x(), y() - 10);
    SetColors(this, m_db.colors(WindowKind::Configure));
    // The pages show the window's background, as the headings on them do.
    for (int i = 0; i < m_pages->count(); ++i) {
        QWidget* page = m_pages->widget(i);
        QPalette p = page->palette();
        p.setColor(QPalette::Window, palette().color(QPalette::Window));
        page->setPalette(p);
        page->setAutoFillBackground(true);
    }
    paintSample(m_titleSample, m_db.titleBackground);
    paintSample(m_cellSample, m_db.cellColor);
    scaleGrids();
}

void TViewConfig::scaleGrids() {
    const double f = m_context.scaleFactor;
    for (QTableWidget* grid : {m_display, m_widths, m_order, m_names}) {
        const bool wide = grid == m_names;
        grid->setColumnWidth(0, scaled(200, f));
        if (grid->columnCount() > 1)
            grid->setColumnWidth(1, scaled(wide ? 200 : 100, f));
        for (int r = 0; r < kFieldCount; ++r)
            grid->setRowHeight(r, scaled(kGridRowHeight, f));
    }
}

void TViewConfig::showFontText(QLineEdit* box, const GridFontSettings& font) {
    box->setText(QString::number(font.size) + QStringLiteral(" pt ") + font.name);
}

void TViewConfig::paintSample(QFrame* sample, ColorRef color) {
    sample->setAutoFillBackground(true);
    QPalette p = sample->palette();
    p.setColor(QPalette::Window, toQColor(color));
    sample->setPalette(p);
}

QRadioButton* TViewConfig::alignmentRadio(int alignment) const {
    return qobject_cast<QRadioButton*>(m_alignment->button(alignment));
}

void TViewConfig::titleFontClick() {
    const auto chosen = m_context.prompter.font(
        {toQFont(m_db.titleFont), toQColor(m_db.titleFont.color)}, QStringLiteral("Font"));
    if (!chosen)
        return;
    const QString family = chosenFamily(m_db.titleFont.name, chosen->font);
    m_db.titleFont = gridFontFrom(chosen->font, toColorRef(*chosen->color));
    m_db.titleFont.name = family;
    showFontText(m_titleFontBox, m_db.titleFont);
}

void TViewConfig::cellFontClick() {
    const auto chosen = m_context.prompter.font(
        {toQFont(m_db.gridFont), toQColor(m_db.gridFont.color)}, QStringLiteral("Font"));
    if (!chosen)
        return;
    const QString family = chosenFamily(m_db.gridFont.name, chosen->font);
    m_db.gridFont = gridFontFrom(chosen->font, toColorRef(*chosen->color));
    m_db.gridFont.name = family;
    showFontText(m_cellFontBox, m_db.gridFont);
}

void TViewConfig::titleColorClick() {
    const auto chosen = m_context.prompter.color(toQColor(m_db.titleBackground), QString());
    if (!chosen)
        return;
    m_db.titleBackground = toColorRef(*chosen);
    paintSample(m_titleSample, m_db.titleBackground);
}

void TViewConfig::cellColorClick() {
    const auto chosen = m_context.prompter.color(toQColor(m_db.cellColor), QString());
    if (!chosen)
        return;
    m_db.cellColor = toColorRef(*chosen);
    paintSample(m_cellSample, m_db.cellColor);
}

void TViewConfig::FieldsToDisplayDblClick(int row, int column) {
    if (column != 1 || row < 0 || row >= kFieldCount)
        return;
    QTableWidgetItem* item = m_display->item(row, 1);
    item->setText(yesNo(item->text() != QLatin1String("Yes")));
}

void TViewConfig::UpButtonClick() {
    const int row = m_order->currentRow();
    if (row <= 0)
        return;
    QTableWidgetItem* a = m_order->takeItem(row, 0);
    QTableWidgetItem* b = m_order->takeItem(row - 1, 0);
    m_order->setItem(row - 1, 0, a);
    m_order->setItem(row, 0, b);
    m_order->setCurrentCell(row - 1, 0);
}

void TViewConfig::DownButtonClick() {
    const int row = m_order->currentRow();
    if (row < 0 || row >= kFieldCount - 1)
        return;
    QTableWidgetItem* a = m_order->takeItem(row, 0);
    QTableWidgetItem* b = m_order->takeItem(row + 1, 0);
    m_order->setItem(row + 1, 0, a);
    m_order->setItem(row, 0, b);
    m_order->setCurrentCell(row + 1, 0);
}

void TViewConfig::DefaultsButtonClick() {
    const MsgButton answer = m_context.prompter.message(
        {QStringLiteral("Re-Order"),
         QStringLiteral("This will set the order of fields to the program defaults.  Continue?"),
         MsgIcon::Question, MsgButton::Yes | MsgButton::No, MsgButton::Yes});
    if (answer != MsgButton::Yes)
        return;
    const auto rows = defaultFieldOrderRows(m_db);
    for (int r = 0; r < kFieldCount; ++r)
        m_order->item(r, 0)->setText(rows[size_t(r)]);
}

QString TViewConfig::helpKeyword() const {
    const int page = std::clamp(m_pages->currentIndex(), 0, 5);
    return QString::fromLatin1(kHelpKeywords[page]);
}

void TViewConfig::HelpButtonClick() {
    openHelp(helpKeyword(), this);
}

ViewConfigCells TViewConfig::cells() const {
    ViewConfigCells c;
    for (int r = 0; r < kFieldCount; ++r) {
        const size_t i = size_t(r);
        c.shown[i] = m_display->item(r, 1)->text();
        c.widths[i] = m_widths->item(r, 1)->text();
        c.ordered[i] = m_order->item(r, 0)->text();
        c.names[i] = m_names->item(r, 1)->text();
    }
    return c;
}

bool TViewConfig::FormCloseQuery() {
    // A cell still being typed in counts.
    QWidget* focused = QApplication::focusWidget();
    for (QTableWidget* grid : {m_widths, m_names})
        if (focused && grid->viewport()->isAncestorOf(focused))
            QMetaObject::invokeMethod(grid, "commitData", Q_ARG(QWidget*, focused));
    ViewConfigCells c = cells();
    if (const auto name = duplicateFieldName(c.names)) {
        m_context.prompter.error(duplicateFieldNameMessage(*name));
        m_pages->setCurrentIndex(NamesPage);
        return false;
    }
    return true;
}

void TViewConfig::FormClose() {
    const ViewConfigCells c = cells();
    for (int r = 0; r < kFieldCount; ++r)
        m_widths->item(r, 1)->setText(QString::number(closingFieldWidth(c.widths[size_t(r)])));
    applyViewConfig(m_db, c);
    m_closed = true;
}

void TViewConfig::ExitButtonClick() {
    close();
}

void TViewConfig::done(int result) {
    if (!m_closed) {
        if (!FormCloseQuery())
            return;
        FormClose();
    }
    QDialog::done(result);
}
