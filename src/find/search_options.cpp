#include "find/search_options.h"
#include "ui/window_services.h"

#include "ui/help_window.h"
#include "ui/window_context.h"
#include "appearance/set_colors.h"
#include "find/search_window.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>

namespace {
// Design layout at 640 x 480.
constexpr int kClientWidth = 224;
constexpr int kClientHeight = 232;
constexpr int kDesignPointSize = 9;
} // namespace

TSearchOptions::TSearchOptions(TMySearch& search, int row, const QString& heading,
                               const QStringList& entries, int selected, WindowContext& context,
                               const ColorSet& colors, QWidget* parent)
    : QDialog(parent ? parent : &search), m_search(search), m_row(row), m_context(context),
      m_colors(colors) {
    setObjectName(QStringLiteral("TSearchOptions"));
    setWindowTitle(QStringLiteral("Search Options"));
    prepareDesignDialog(this, {kClientWidth, kClientHeight}, kDesignPointSize);

    m_heading = new QLabel(heading, this);
    m_heading->setObjectName(QStringLiteral("FieldNameLabel"));
    m_heading->setAlignment(Qt::AlignCenter);
    m_heading->setGeometry(8, 8, kClientWidth - 16, 20);
    QFont hf = m_heading->font();
    hf.setBold(true);
    m_heading->setFont(hf);
    markHeading(m_heading, Heading::Minor);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("ListBox1"));
    m_list->setGeometry(8, 32, kClientWidth - 16, 152);
    m_list->addItems(entries);
    if (selected >= 0 && selected < m_list->count())
        m_list->setCurrentRow(selected);
    else
        m_list->setCurrentRow(-1);

    m_ok = new QPushButton(QStringLiteral("&Ok"), this);
    m_ok->setObjectName(QStringLiteral("OkButton"));
    m_ok->setGeometry(24, 196, 80, 27);
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("CancelButton"));
    m_cancel->setGeometry(120, 196, 80, 27);
    m_cancel->setAutoDefault(false);
    connect(m_ok, &QPushButton::clicked, this, &TSearchOptions::OkButtonClick);
    connect(m_cancel, &QPushButton::clicked, this, &TSearchOptions::CancelButtonClick);
    // A double click chooses, as Ok does.
    connect(m_list, &QListWidget::itemDoubleClicked, this, &TSearchOptions::OkButtonClick);
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this,
            [this] { openHelp(QStringLiteral("Search Options"), this); });

    SaveDimensions(this, m_design, m_context.prompter);
}

void TSearchOptions::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TSearchOptions::FormShow() {
    ApplyUserFonts(this, m_context.fonts);
    RestoreAndScale(this, m_design, m_context.scaleFactor, m_context.screen);
    SetColors(this, m_colors);
}

void TSearchOptions::OkButtonClick() {
    const int chosen =
        m_list->currentItem() && m_list->currentItem()->isSelected() ? m_list->currentRow() : -1;
    if (searchRowKind(m_row) == RowKind::Text) {
        if (chosen >= 0)
            m_search.setCriterion(m_row, m_list->item(chosen)->text());
    } else if (chosen >= 0 && chosen < 4) {
        m_search.setRowOperator(m_row, RowOperator(chosen + 1));
    }
    m_search.makeRowCurrent(m_row);
    accept();
}

void TSearchOptions::CancelButtonClick() {
    reject();
}
